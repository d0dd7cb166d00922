#include "prediction/VX_TextFold.h"

#include "base/VX_Utf8.h"

namespace {

// Base letter of each lower-case letter U+0100..U+017F (Latin Extended-A),
// one ASCII letter per code point.
constexpr char kLatinExtABase[] =
    "aaaaaaccccccccdd" "ddeeeeeeeeeegggg" "gggghhhhiiiiiiii" "iiiijjkkklllllll"
    "lllnnnnnnnnnoooo" "oooorrrrrrssssss" "ssttttttuuuuuuuu" "uuuuwwyyyzzzzzzs";

// What each lower-case letter U+00DF..U+00FF folds to; empty keeps it.
const char *const kLatin1Fold[] = {
    "ss",                                     // DF
    "a", "a", "a", "a", "a", "a", "ae", "c",  // E0..E7
    "e", "e", "e", "e", "i", "i", "i", "i",   // E8..EF
    "d", "n", "o", "o", "o", "o", "o", "",    // F0..F7 (F7 is the division sign)
    "o", "u", "u", "u", "u", "y", "", "y",    // F8..FF
};

// Greek and Cyrillic letters whose folded form is another letter.
struct FoldPair {
    uint32_t from;  // lower-case letter
    uint32_t to;    // its letter without accent, diaeresis or final form
};
constexpr FoldPair kFoldPairs[] = {
    {0x0390, 0x03B9}, {0x03AC, 0x03B1}, {0x03AD, 0x03B5}, {0x03AE, 0x03B7},
    {0x03AF, 0x03B9}, {0x03B0, 0x03C5}, {0x03C2, 0x03C3}, {0x03CA, 0x03B9},
    {0x03CB, 0x03C5}, {0x03CC, 0x03BF}, {0x03CD, 0x03C5}, {0x03CE, 0x03C9},
    {0x0451, 0x0435},
};

// Latin Extended-A and the Cyrillic supplements pair upper and lower case
// in neighbouring code points; which one comes first changes by range.
bool upperIsEven(uint32_t cp)
{
    return (cp >= 0x0100 && cp <= 0x0137) || (cp >= 0x014A && cp <= 0x0177) ||
           (cp >= 0x0460 && cp <= 0x0481) || (cp >= 0x048A && cp <= 0x04BF) ||
           (cp >= 0x04D0 && cp <= 0x052F);
}
bool upperIsOdd(uint32_t cp)
{
    return (cp >= 0x0139 && cp <= 0x0148) || (cp >= 0x0179 && cp <= 0x017E) ||
           (cp >= 0x04C1 && cp <= 0x04CE);
}

}  // namespace

uint32_t vxDecodeAt(std::string_view text, size_t at, int &length)
{
    length = vxUtf8CharLength(text.data() + at, text.size() - at);
    const auto *s = reinterpret_cast<const unsigned char *>(text.data() + at);
    switch (length) {
    case 1: return s[0];
    case 2: return (uint32_t(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
    case 3: return (uint32_t(s[0] & 0x0F) << 12) | (uint32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
    case 4:
        return (uint32_t(s[0] & 0x07) << 18) | (uint32_t(s[1] & 0x3F) << 12) |
               (uint32_t(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    default:
        length = 1;
        return 0xFFFD;
    }
}

void vxAppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool vxIsWordChar(uint32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9');
    if (cp == 0xAA || cp == 0xB5 || cp == 0xBA)
        return true;
    if (cp >= 0xC0 && cp <= 0x2AF)
        return cp != 0xD7 && cp != 0xF7;
    if (cp >= 0x0300 && cp <= 0x036F)  // combining marks stay inside their word
        return true;
    if (cp >= 0x0370 && cp <= 0x03FF)
        return cp != 0x0375 && cp != 0x037E && cp != 0x0387 && cp != 0x0384 && cp != 0x0385;
    if (cp >= 0x0400 && cp <= 0x052F)
        return cp < 0x0482 || cp > 0x0489;
    return cp >= 0x1E00 && cp <= 0x1FFF && cp != 0x1FBD && !(cp >= 0x1FBF && cp <= 0x1FC1) &&
           !(cp >= 0x1FCD && cp <= 0x1FCF) && !(cp >= 0x1FDD && cp <= 0x1FDF) &&
           !(cp >= 0x1FED && cp <= 0x1FEF) && cp != 0x1FFD && cp != 0x1FFE;
}

bool vxIsApostrophe(uint32_t cp) { return cp == '\'' || cp == 0x2019; }

uint32_t vxToLower(uint32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 32;
    if (cp == 0x0130)
        return 'i';
    if (cp == 0x0178)
        return 0xFF;
    if (upperIsEven(cp))
        return cp | 1;
    if (upperIsOdd(cp))
        return (cp & 1) ? cp + 1 : cp;
    if (cp == 0x0386)
        return 0x03AC;
    if (cp >= 0x0388 && cp <= 0x038A)
        return cp + 0x25;
    if (cp == 0x038C)
        return 0x03CC;
    if (cp == 0x038E || cp == 0x038F)
        return cp + 0x3F;
    if ((cp >= 0x0391 && cp <= 0x03A1) || (cp >= 0x03A3 && cp <= 0x03AB))
        return cp + 0x20;
    if (cp >= 0x0410 && cp <= 0x042F)
        return cp + 0x20;
    if (cp >= 0x0400 && cp <= 0x040F)
        return cp + 0x50;
    return cp;
}

uint32_t vxToUpper(uint32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)
        return cp - 32;
    if (cp == 0xFF)
        return 0x0178;
    if (cp == 0x0131)
        return 'I';
    if (upperIsEven(cp))
        return cp & ~uint32_t(1);
    if (upperIsOdd(cp))
        return (cp & 1) ? cp : cp - 1;
    if (cp == 0x03AC)
        return 0x0386;
    if (cp >= 0x03AD && cp <= 0x03AF)
        return cp - 0x25;
    if (cp == 0x03CC)
        return 0x038C;
    if (cp == 0x03CD || cp == 0x03CE)
        return cp - 0x3F;
    if (cp == 0x03C2)
        return 0x03A3;
    if ((cp >= 0x03B1 && cp <= 0x03C1) || (cp >= 0x03C3 && cp <= 0x03CB))
        return cp - 0x20;
    if (cp >= 0x0430 && cp <= 0x044F)
        return cp - 0x20;
    if (cp >= 0x0450 && cp <= 0x045F)
        return cp - 0x50;
    return cp;
}

bool vxIsUpper(uint32_t cp) { return vxToLower(cp) != cp; }

namespace {

template <typename Map>
std::string mapText(std::string_view text, Map map)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        int length = 0;
        const uint32_t cp = vxDecodeAt(text, at, length);
        if (cp == 0xFFFD && length == 1 && static_cast<unsigned char>(text[at]) >= 0x80)
            out += text[at];  // not UTF-8: kept as it is
        else
            map(out, cp);
        at += size_t(length);
    }
    return out;
}

}  // namespace

std::string vxLowerText(std::string_view text)
{
    return mapText(text, [](std::string &out, uint32_t cp) {
        vxAppendUtf8(out, cp == 0x2019 ? uint32_t('\'') : vxToLower(cp));
    });
}

std::string vxUpperText(std::string_view text)
{
    return mapText(text, [](std::string &out, uint32_t cp) { vxAppendUtf8(out, vxToUpper(cp)); });
}

std::string vxCapitalized(std::string_view text)
{
    if (text.empty())
        return std::string();
    int length = 0;
    const uint32_t cp = vxDecodeAt(text, 0, length);
    if (cp == 0xFFFD && length == 1)
        return std::string(text);
    std::string out;
    vxAppendUtf8(out, vxToUpper(cp));
    out.append(text.substr(size_t(length)));
    return out;
}

std::string vxFoldKey(std::string_view text)
{
    return mapText(text, [](std::string &out, uint32_t cp) {
        cp = vxToLower(cp);
        if (cp == 0x2019) {
            out += '\'';
        } else if (cp >= 0xDF && cp <= 0xFF) {
            const char *folded = kLatin1Fold[cp - 0xDF];
            if (*folded)
                out += folded;
            else
                vxAppendUtf8(out, cp);
        } else if (cp >= 0x0100 && cp <= 0x017F) {
            out += kLatinExtABase[cp - 0x0100];
        } else if (cp >= 0x0300 && cp <= 0x036F) {
            // a combining accent: dropped
        } else {
            for (const FoldPair &pair : kFoldPairs) {
                if (pair.from == cp) {
                    cp = pair.to;
                    break;
                }
            }
            vxAppendUtf8(out, cp);
        }
    });
}
