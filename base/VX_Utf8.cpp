#include "base/VX_Utf8.h"

#include <cstring>

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

int vxUtf8CharLength(const char *text, size_t size)
{
    if (size == 0)
        return 0;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    const unsigned char lead = s[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    // Range of the second byte that keeps the sequence shortest-form, off the
    // surrogates and at most U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;  // continuation byte, C0/C1 (always overlong), F5..FF
    }
    if (size < static_cast<size_t>(length) || s[1] < low || s[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (!isContinuation(s[i]))
            return 0;
    }
    return length;
}

int32_t vxUtf8Count(const char *text, size_t size, size_t *badOffset)
{
    int32_t count = 0;
    size_t at = 0;
    while (at < size) {
        const int length = vxUtf8CharLength(text + at, size - at);
        if (length == 0) {
            if (badOffset)
                *badOffset = at;
            return -1;
        }
        at += static_cast<size_t>(length);
        ++count;
    }
    return count;
}

const char *vxUtf8At(const char *text, int32_t index, int &length)
{
    // A character never reaches past the NUL: no lead byte accepts 0 as a
    // continuation, and at most kUtf8MaxBytes are looked at.
    const char *at = text;
    for (;;) {
        if (*at == '\0') {
            length = 0;
            return at;
        }
        const int bytes = vxUtf8CharLength(at, strnlen(at, kUtf8MaxBytes));
        length = bytes > 0 ? bytes : 1;
        if (index <= 0)
            return at;
        at += length;
        --index;
    }
}

int vxUtf8Decode(const char *text, size_t size, uint32_t &codePoint)
{
    const int length = vxUtf8CharLength(text, size);
    if (length == 0)
        return 0;
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    uint32_t cp = length == 1 ? s[0] : s[0] & (0x7Fu >> length);
    for (int i = 1; i < length; ++i)
        cp = (cp << 6) | (s[i] & 0x3Fu);
    codePoint = cp;
    return length;
}

void vxUtf8CodePoints(const std::string &text, std::vector<uint32_t> &out)
{
    size_t at = 0;
    while (at < text.size()) {
        uint32_t cp = 0;
        const int length = vxUtf8Decode(text.data() + at, text.size() - at, cp);
        if (length == 0) {
            ++at;
            continue;
        }
        out.push_back(cp);
        at += static_cast<size_t>(length);
    }
}

void vxUtf8Append(std::string &out, uint32_t cp)
{
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

size_t vxUtf8LastLength(const char *text, size_t size)
{
    if (size == 0)
        return 0;
    // Back over at most three continuation bytes to a lead that spans them
    // exactly.
    for (size_t back = 2; back <= static_cast<size_t>(kUtf8MaxBytes) && back <= size; ++back) {
        const size_t at = size - back;
        if (vxUtf8CharLength(text + at, back) == static_cast<int>(back))
            return back;
    }
    return 1;
}

bool vxIsTextChar(uint32_t cp)
{
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return false;
    // The noncharacters: no keysym names them.
    return !(cp >= 0xFDD0 && cp <= 0xFDEF) && (cp & 0xFFFE) != 0xFFFE;
}
