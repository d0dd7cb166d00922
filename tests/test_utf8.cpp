// UTF-8 as every part reads it: what is one character, what is none, the
// code points of a text with bad bytes in it, the way back to bytes, and
// the keysym that types a character on X11 and on Wayland alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/VX_Keysym.h"
#include "base/VX_Utf8.h"

namespace {

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

TEST(Utf8, DecodesOneCharacterOrNone)
{
    struct Case {
        std::string bytes;
        int length;     // 0: no character starts there
        uint32_t code;  // with length > 0
    } cases[] = {
        {"a", 1, 'a'},
        {"\x7F", 1, 0x7F},
        {"\xC2\x80", 2, 0x80},
        {"\xC3\xA9x", 2, 0xE9},                   // é, and what follows is not read
        {"\xDF\xBF", 2, 0x7FF},
        {"\xE0\xA0\x80", 3, 0x800},
        {"\xE2\x98\x83", 3, 0x2603},              // ☃
        {"\xED\x9F\xBF", 3, 0xD7FF},              // last before the surrogates
        {"\xEE\x80\x80", 3, 0xE000},              // first after them
        {"\xEF\xBF\xBF", 3, 0xFFFF},
        {"\xF0\x90\x80\x80", 4, 0x10000},
        {"\xF0\x9F\x98\x80", 4, 0x1F600},         // 😀
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"", 0, 0},
        {"\x80", 0, 0},                           // a stray continuation byte
        {"\xC0\xAF", 0, 0},                       // overlong '/'
        {"\xC1\xBF", 0, 0},                       // overlong
        {"\xE0\x80\xAF", 0, 0},                   // overlong '/'
        {"\xF0\x80\x80\xAF", 0, 0},               // overlong '/'
        {"\xED\xA0\x80", 0, 0},                   // a surrogate
        {"\xF4\x90\x80\x80", 0, 0},               // above U+10FFFF
        {"\xF5\x80\x80\x80", 0, 0},
        {"\xFF", 0, 0},
        {"\xC3", 0, 0},                           // cut short
        {"\xE2\x98", 0, 0},
        {"\xC3" "a", 0, 0},                       // a lead without its continuation
        {"\xE2\x98" "a", 0, 0},
    };
    for (const Case &c : cases) {
        uint32_t code = 0xDEAD;
        const int length = vxUtf8Decode(c.bytes.data(), c.bytes.size(), code);
        EXPECT_EQ(length, c.length) << hex(c.bytes);
        EXPECT_EQ(code, c.length ? c.code : 0xDEAD) << hex(c.bytes);
        EXPECT_EQ(vxUtf8CharLength(c.bytes.data(), c.bytes.size()), c.length) << hex(c.bytes);
        if (c.length > 0) {
            // And back to the same bytes.
            std::string back;
            vxUtf8Append(back, c.code);
            EXPECT_EQ(hex(back), hex(c.bytes.substr(0, static_cast<size_t>(c.length))));
        }
    }
}

// A byte that starts no character stands for nothing, and the characters
// after it are still read: neither output sends what the text does not
// hold, nor drops what it does.
TEST(Utf8, CodePointsSkipBadBytesOnly)
{
    struct Case {
        std::string bytes;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"", {}},
        {"ab", {'a', 'b'}},
        {"a\xFF" "b", {'a', 'b'}},
        {"\x80\x80\xC3\xA9", {0xE9}},
        {"\xC3" "a", {'a'}},                                      // a cut lead before a letter
        {"\xE2\x98\xE2\x98\x83", {0x2603}},                       // a cut ☃, then a whole one
        {"\xED\xA0\x80" "x", {'x'}},                              // a surrogate's bytes
        {"\xD0\xB6\xF0\x9F\x98\x80\x0A", {0x436, 0x1F600, '\n'}},  // ж 😀 line feed
        {"\xF0\x9F\x98", {}},                                     // an emoji cut short
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> codes = {7};  // appended to, never cleared
        vxUtf8CodePoints(c.bytes, codes);
        std::vector<uint32_t> want = {7};
        want.insert(want.end(), c.codes.begin(), c.codes.end());
        EXPECT_EQ(codes, want) << hex(c.bytes);
    }
}

TEST(Utf8, LastCharacterLength)
{
    struct Case {
        std::string bytes;
        size_t length;
    } cases[] = {
        {"", 0},
        {"a", 1},
        {"ab", 1},
        {"a\xC3\xA9", 2},
        {"\xE2\x98\x83", 3},
        {"x\xF0\x9F\x98\x80", 4},
        {"\xC3\xA9" "a", 1},
        {"\xA9", 1},                  // a stray byte alone
        {"\xC3\xA9\xA9", 1},          // one continuation too many
        {"\xE2\x98", 1},              // cut short: its last byte alone
        {"\x80\x80\x80\x80\x80", 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vxUtf8LastLength(c.bytes.data(), c.bytes.size()), c.length) << hex(c.bytes);
}

TEST(Utf8, TextCharactersAndTheirKeysyms)
{
    struct Case {
        uint32_t code;
        bool text;         // a key types it as text
        uint32_t keysym;   // vxCharKeysym
        uint32_t unicode;  // vxCharUnicodeKeysym
    } cases[] = {
        {0x00, false, 0, 0},
        {'\t', false, 0, 0},       // keys of their own, not text
        {'\n', false, 0, 0},
        {0x1F, false, 0, 0},
        {' ', true, 0x20, 0},
        {'a', true, 0x61, 0},
        {'~', true, 0x7E, 0},
        {0x7F, false, 0, 0},       // DEL
        {0x85, false, 0, 0},       // C1
        {0x9F, false, 0, 0},
        {0xA0, true, 0xA0, 0},     // no-break space
        {0xE9, true, 0xE9, 0},     // é: Latin-1 keysyms are the code points
        {0x436, true, 0x6D6, 0x1000436},    // ж: Cyrillic_zhe, and its Unicode keysym
        {0x3BB, true, 0x7EB, 0x10003BB},    // λ: Greek_lambda
        {0x20AC, true, 0x20AC, 0x10020AC},  // €: EuroSign
        {0x2603, true, 0x1002603, 0},       // ☃: no legacy keysym
        {0x1F600, true, 0x101F600, 0},
        {0xD800, false, 0, 0},     // surrogates are no characters
        {0xDFFF, false, 0, 0},
        {0xFDCF, true, 0x100FDCF, 0},
        {0xFDD0, false, 0, 0},     // noncharacters
        {0xFFFE, false, 0, 0},
        {0x1FFFF, false, 0, 0},
        {0x10FFFD, true, 0x110FFFD, 0},
        {0x10FFFF, false, 0, 0},
        {0x110000, false, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(vxIsTextChar(c.code), c.text) << std::hex << c.code;
        EXPECT_EQ(vxCharKeysym(c.code), c.keysym) << std::hex << c.code;
        EXPECT_EQ(vxCharUnicodeKeysym(c.code), c.unicode) << std::hex << c.code;
    }
}

}  // namespace
