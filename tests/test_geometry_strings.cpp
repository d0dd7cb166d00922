// [Geometry] entry forms and [Strings] entries per mode, counted as UTF-8
// characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "tests/LayoutFileTest.h"
#include "tests/TestSupport.h"

namespace {

using SectionTest = LayoutFileTest;

// --- [Geometry] ---

constexpr const char *kGeometryHead = "[Common]\nkeys 1 bwid 20 bhei 25\n[Geometry]\n";  // 3 lines

TEST_F(SectionTest, GeometryEntryForms)
{
    struct Case {
        const char *entry;
        int32_t x, y, w, h;
    } cases[] = {
        {"(10 20)", 10, 20, 20, 25},
        {"( 10 20 )", 10, 20, 20, 25},
        {"(\n10\n\n# comment\n20\n)", 10, 20, 20, 25},
        {"\t(10\t20)", 10, 20, 20, 25},
        {"(0 0 30)", 0, 0, 30, 25},
        {"(0 0 30 40)", 0, 0, 30, 40},
        {"(1 2\n3\n4)", 1, 2, 3, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        ASSERT_TRUE(loadLayout(std::string(kGeometryHead) + c.entry + "\n")) << log.text();
        const VX_Key &key = layout->keys[0];
        EXPECT_EQ(key.x, c.x);
        EXPECT_EQ(key.y, c.y);
        EXPECT_EQ(key.width, c.w);
        EXPECT_EQ(key.height, c.h);
        EXPECT_TRUE(logged("VX_Layout: read 1 entries from [Geometry] (kb)"));
    }
}

TEST_F(SectionTest, GeometryEntriesInKeyOrder)
{
    ASSERT_TRUE(loadLayout("[Common]\nkeys 3 bwid 8 bhei 9\n[Geometry]\n"
                           "(0 0) (8 0 16) (24 0 8 18)\n[Board]\nwid 32\n"));
    EXPECT_EQ(layout->keys[1].x, 8);
    EXPECT_EQ(layout->keys[1].width, 16);
    EXPECT_EQ(layout->keys[1].height, 9);
    EXPECT_EQ(layout->keys[2].x, 24);
    EXPECT_EQ(layout->keys[2].height, 18);
    EXPECT_EQ(layout->width, 32);
}

// --- [Strings] ---

struct StringsCase {
    const char *common;   // [Common] parameters besides keys
    const char *types;    // [Layout] words, one per key
    const char *strings;  // [Strings] body
    // Per key: mode 0 and mode 1 string and counts.
    std::vector<std::vector<std::string>> chars;
    std::vector<std::vector<int32_t>> counts;
};

std::string stringsFile(const StringsCase &c)
{
    const size_t keys = c.chars.size();
    return "[Common]\nkeys " + std::to_string(keys) + " " + c.common + "\n[Layout]\n" + c.types +
           "\n[Strings]\n" + c.strings + "\n";
}

TEST_F(SectionTest, StringsEntries)
{
    const StringsCase cases[] = {
        {"", "alpha", "abc", {{"abc", ""}}, {{3, 0}}},
        {"mode 2", "alpha alpha", "( abc ABC )\n(x\tX\t)", {{"abc", "ABC"}, {"x", "X"}},
         {{3, 3}, {1, 1}}},
        {"mode 2", "alpha", "(abc ABC )", {{"abc", "ABC"}}, {{3, 3}}},
        {"mode 2", "alpha", "(\nabc\nABC\n)", {{"abc", "ABC"}}, {{3, 3}}},
        // With one mode, parentheses are strings of their own.
        {"", "alpha alpha alpha", "( abc )", {{"(", ""}, {"abc", ""}, {")", ""}},
         {{1, 0}, {3, 0}, {1, 0}}},
        {"", "alpha alpha", "() ,", {{"()", ""}, {",", ""}}, {{2, 0}, {1, 0}}},
        {"", "alpha", "12#", {{"12#", ""}}, {{3, 0}}},
        // Characters are UTF-8 sequences whatever "alpha" says: two-byte
        // letters, ASCII and a mix of both count the same with alpha 2...
        {"alpha 2", "alpha alpha alpha", "\xd0\xb0\xd0\xb1\xd0\xb2 abcde a",
         {{"\xd0\xb0\xd0\xb1\xd0\xb2", ""}, {"abcde", ""}, {"a", ""}}, {{3, 0}, {5, 0}, {1, 0}}},
        // ...and with alpha 1: a\u00e4, \u20ac (three bytes), U+1F600 (four).
        {"mode 2", "alpha alpha",
         "( a\xc3\xa4 A\xc3\x84 )\n( \xe2\x82\xac\xf0\x9f\x98\x80 \xe1\xba\x9e )",
         {{"a\xc3\xa4", "A\xc3\x84"}, {"\xe2\x82\xac\xf0\x9f\x98\x80", "\xe1\xba\x9e"}},
         {{2, 2}, {2, 1}}},
        // Fifteen bytes of three-byte characters are five characters.
        {"", "alpha", "\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac",
         {{"\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac\xe2\x82\xac", ""}}, {{5, 0}}},
        // Keys of other types are skipped and keep empty strings.
        {"", "label alpha bks alpha", "ab cd", {{"", ""}, {"ab", ""}, {"", ""}, {"cd", ""}},
         {{0, 0}, {2, 0}, {0, 0}, {2, 0}}},
        // Fifteen bytes is the longest string that fits.
        {"", "alpha", "abcdefghijklmno", {{"abcdefghijklmno", ""}}, {{15, 0}}},
    };
    for (const StringsCase &c : cases) {
        const std::string file = stringsFile(c);
        SCOPED_TRACE(file);
        ASSERT_TRUE(loadLayout(file)) << log.text();
        int alpha = 0;
        for (size_t i = 0; i < c.chars.size(); ++i) {
            SCOPED_TRACE("key " + std::to_string(i));
            const VX_Key &key = layout->keys[i];
            alpha += key.type == VX_KEY_ALPHA;
            for (int m = 0; m < VX_Key::kModes; ++m) {
                EXPECT_STREQ(key.chars[m], c.chars[i][m].c_str());
                EXPECT_EQ(key.charCount[m], c.counts[i][m]);
            }
        }
        EXPECT_TRUE(logged("VX_Layout: read " + std::to_string(alpha) +
                           " entries from [Strings] (kb)"));
    }
}

TEST_F(SectionTest, AlphaKeyTypedAfterStringsKeepsEmptyString)
{
    ASSERT_TRUE(loadLayout("[Common]\nkeys 2\n[Layout]\nlabel alpha\n[Strings]\nab\n"
                           "[Layout]\nalpha alpha\n"));
    EXPECT_STREQ(layout->keys[0].chars[0], "");
    EXPECT_EQ(layout->keys[0].charCount[0], 0);
    EXPECT_STREQ(layout->keys[1].chars[0], "ab");
}

TEST_F(SectionTest, EmptyStringsBeforeLayoutLoads)
{
    ASSERT_TRUE(loadLayout("[Common]\nkeys 1\n[Strings]\n[Layout]\nalpha\n"));
    EXPECT_TRUE(logged("VX_Layout: read 0 entries from [Strings] (kb)"));
    EXPECT_STREQ(layout->keys[0].chars[0], "");
}

// --- Failures ---

TEST_F(SectionTest, GeometryFailures)
{
    struct Case {
        const char *entry;  // on line 4
        const char *message;
    } cases[] = {
        {"(10)", "VX_Layout: number expected (kb.cfg, 4)"},
        {"(-5 0)", "VX_Layout: number expected (kb.cfg, 4)"},
        {"10 20)", "VX_Layout: '(' expected (kb.cfg, 4)"},
        {"(1 2 3 4 5)", "VX_Layout: ')' expected (kb.cfg, 4)"},
        {"(1 2 w)", "VX_Layout: expect number or ')' (kb.cfg, 4)"},
        {"(1 2 3 h)", "VX_Layout: expect number or ')' (kb.cfg, 4)"},
        {"(1 2 3 (", "VX_Layout: expect number or ')' (kb.cfg, 4)"},
        {"(1 2", "VX_Layout: expect number or ')' (kb.cfg, 4)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_FALSE(loadLayout(std::string(kGeometryHead) + c.entry + "\n"));
        EXPECT_TRUE(logged(c.message)) << log.text();
    }
}

TEST_F(SectionTest, StringsFailures)
{
    struct Case {
        const char *common;
        const char *strings;  // starts on line 6
        const char *message;
    } cases[] = {
        // "ABC)" is one string; the entry's ')' is then missing.
        {"mode 2", "( abc ABC)", "VX_Layout: ')' expected (kb.cfg, 6)"},
        {"mode 2", "abc ABC", "VX_Layout: '(' expected (kb.cfg, 6)"},
        {"", "abc\n[Board]", "VX_Layout: string expected (kb.cfg, 7)"},
        {"", "abcdefghijklmnop", "VX_Layout: string too long, at most 15 bytes (kb.cfg, 6)"},
        {"mode 2", "( a\nabcdefghijklmnopqrstuvwxyz )",
         "VX_Layout: string too long, at most 15 bytes (kb.cfg, 7)"},
        // Not UTF-8 text, with either value of "alpha": the byte named
        // counts from 1.
        {"", "ab\xe4", "VX_Layout: invalid UTF-8 at byte 3 of string (kb.cfg, 6)"},  // Latin-1
        {"alpha 2", "x\n\xd0\xb0\xd0", "VX_Layout: invalid UTF-8 at byte 3 of string (kb.cfg, 7)"},
        {"", "\xe2\x82 z", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},   // cut
        {"", "\xf0\x9f\x98", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},
        {"", "\x80" "a", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},  // continuation
        {"", "\xc0\xaf", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},  // overlong
        {"", "\xe0\x80\xaf", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},
        {"", "\xf0\x80\x80\xaf", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},
        {"", "a\xed\xa0\x80", "VX_Layout: invalid UTF-8 at byte 2 of string (kb.cfg, 6)"},  // surrogate
        {"", "\xf4\x90\x80\x80", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},  // > U+10FFFF
        {"", "\xf8\x88\x80\x80\x80", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},
        {"mode 2", "( a \xc3 )", "VX_Layout: invalid UTF-8 at byte 1 of string (kb.cfg, 6)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.strings);
        EXPECT_FALSE(loadLayout(std::string("[Common]\nkeys 2 ") + c.common +
                                "\n[Layout]\nalpha alpha\n[Strings]\n" + c.strings + "\n"));
        EXPECT_TRUE(logged(c.message)) << log.text();
    }
}

TEST_F(SectionTest, OverLongStringLeavesKeyUntouched)
{
    EXPECT_FALSE(loadLayout("[Common]\nkeys 1\n[Layout]\nalpha\n[Strings]\n"
                            "abcdefghijklmnopqrstuvwxyz0123456789\n"));
    EXPECT_STREQ(layout->keys[0].chars[0], "");
    EXPECT_STREQ(layout->keys[0].chars[1], "");
}

TEST_F(SectionTest, StringsBeforeLayoutLeaveEntriesToTheLoader)
{
    EXPECT_FALSE(loadLayout("[Common]\nkeys 1\n[Strings]\nabc\n[Layout]\nalpha\n"));
    EXPECT_TRUE(logged("VX_Layout: read 0 entries from [Strings] (kb)"));
    EXPECT_TRUE(logged("VX_Layout: section expected (kb.cfg, 4)")) << log.text();
}

}  // namespace
