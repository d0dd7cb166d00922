// VX_Parser::nextToken in every token mode, section headers, numbers and their
// overflow.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/VX_Parser.h"
#include "tests/TestSupport.h"

namespace {

// One token as text: "N12", "Wab", "(", ")", "S<name>", "END", or "FAIL".
std::string describe(const VX_Token &t)
{
    switch (t.kind) {
    case VX_TOKEN_WORD:
        EXPECT_EQ(strlen(t.text), t.length);
        return "W" + std::string(t.text, t.length);
    case VX_TOKEN_SECTION:
        EXPECT_EQ(strlen(t.text), t.length);
        return "S" + std::string(t.text, t.length);
    case VX_TOKEN_NUMBER:
        return "N" + std::to_string(t.value);
    case VX_TOKEN_OPEN:
        return "(";
    case VX_TOKEN_CLOSE:
        return ")";
    case VX_TOKEN_END:
        return "END";
    default:
        return "?" + std::to_string(t.kind);
    }
}

struct TokenRun {
    std::vector<std::string> tokens;
    std::vector<uint32_t> lines;  // lineCount after each token
    std::vector<std::string> log;
};

// Tokenizes `content` in the mode the two properties make, until END or failure.
TokenRun tokenize(const std::string &content, bool parens, bool numbers)
{
    TempDir dir;
    dir.write("f.cfg", content);
    LogCapture log;
    VX_Parser p;
    TokenRun r;
    const auto mode =
        static_cast<VX_TokenMode>((parens ? VX_READ_PARENS : 0) | (numbers ? VX_READ_NUMBERS : 0));
    EXPECT_TRUE(p.open(dir.file("f.cfg").c_str()));
    for (int i = 0; i < 1000; ++i) {
        VX_Token t;
        t.kind = 99;
        if (!p.nextToken(t, mode)) {
            EXPECT_EQ(t.kind, VX_TOKEN_NONE);
            r.tokens.push_back("FAIL");
            r.lines.push_back(p.lineCount);
            break;
        }
        r.tokens.push_back(describe(t));
        r.lines.push_back(p.lineCount);
        if (t.kind == VX_TOKEN_END) {
            // A request after END gives END again.
            VX_Token again;
            EXPECT_TRUE(p.nextToken(again, mode));
            EXPECT_EQ(again.kind, VX_TOKEN_END);
            break;
        }
    }
    r.log = log.lines();
    return r;
}

using V = std::vector<std::string>;

struct TokenCase {
    std::string input;
    bool parens;
    bool numbers;
    V tokens;
    V log;
};

}  // namespace

TEST(VX_Parser, NewParserCursorIsEmpty)
{
    VX_Parser p;
    ASSERT_NE(p.cursor, nullptr);
    EXPECT_EQ(*p.cursor, '\0');
    // Never opened: the first request finds no line and gives END.
    VX_Token t;
    EXPECT_TRUE(p.nextToken(t, VX_READ_ENTRIES));
    EXPECT_EQ(t.kind, VX_TOKEN_END);
}

TEST(VX_Parser, OpenDoesNotMoveCursor)
{
    TempDir dir;
    dir.write("f.cfg", "abc\n");
    VX_Parser p;
    char *before = p.cursor;
    ASSERT_TRUE(p.open(dir.file("f.cfg").c_str()));
    EXPECT_EQ(p.cursor, before);
    VX_Token t;
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wabc");
    EXPECT_EQ(t.text, p.buffer);
}

TEST(VX_Parser, TokenTable)
{
    const std::string fail1 = "VX_Parser: read number failed (f.cfg, 1)";
    const std::string bracket1 = "VX_Parser: ']' expected (f.cfg, 1)";
    const std::vector<TokenCase> cases = {
        // numbers stop at the first non-digit
        {"12ab", false, true, {"N12", "Wab", "END"}, {}},
        {"12ab", true, true, {"N12", "Wab", "END"}, {}},
        {"12ab", false, false, {"W12ab", "END"}, {}},
        {"12ab", true, false, {"W12ab", "END"}, {}},
        {"12)", true, true, {"N12", ")", "END"}, {}},
        {"12)", false, true, {"N12", "W)", "END"}, {}},
        {"12)", true, false, {"W12)", "END"}, {}},
        {"12)", false, false, {"W12)", "END"}, {}},
        // parentheses only at the start of a token
        {"(10", true, true, {"(", "N10", "END"}, {}},
        {"(10", true, false, {"(", "W10", "END"}, {}},
        {"(10", false, true, {"W(10", "END"}, {}},
        {"(10", false, false, {"W(10", "END"}, {}},
        {"a(b", true, true, {"Wa(b", "END"}, {}},
        {"x)", true, true, {"Wx)", "END"}, {}},
        {"( )", true, false, {"(", ")", "END"}, {}},
        {"( )", false, false, {"W(", "W)", "END"}, {}},
        {"(a)", true, true, {"(", "Wa)", "END"}, {}},
        // no signs
        {"-5", true, true, {"W-5", "END"}, {}},
        {"+5", true, true, {"W+5", "END"}, {}},
        {"-5 +5", false, true, {"W-5", "W+5", "END"}, {}},
        // '#' is special only in column 1 (the reader's business)
        {"a # b", true, true, {"Wa", "W#", "Wb", "END"}, {}},
        {" #x", true, true, {"W#x", "END"}, {}},
        {"#x y\n", true, true, {"END"}, {}},
        // section headers
        {"[Layout]", false, true, {"SLayout", "END"}, {}},
        {"[Layout]", true, false, {"SLayout", "END"}, {}},
        {"[Layout]", false, false, {"SLayout", "END"}, {}},
        {" [Layout]", false, true, {"W[Layout]", "END"}, {}},
        {"\t[Layout]", true, true, {"W[Layout]", "END"}, {}},
        {"[]", true, true, {"S", "END"}, {}},
        {"[a b]", true, true, {"Sa b", "END"}, {}},
        {"[a]b]", true, true, {"Sa", "Wb]", "END"}, {}},
        {"[Common] keys 12", false, true, {"SCommon", "Wkeys", "N12", "END"}, {}},
        {"[x](1", true, true, {"Sx", "(", "N1", "END"}, {}},
        {"[abc", true, true, {"FAIL"}, {bracket1}},
        {"[abc\nd]\n", true, true, {"FAIL"}, {bracket1}},
        {"x [y", true, true, {"Wx", "W[y", "END"}, {}},
        {"[1]", true, true, {"S1", "END"}, {}},
        // numbers and their range
        {"2147483647", false, true, {"N2147483647", "END"}, {}},
        {"0", false, true, {"N0", "END"}, {}},
        {"007", false, true, {"N7", "END"}, {}},
        {"00000000000000000000042", false, true, {"N42", "END"}, {}},
        {"2147483648", false, true, {"FAIL"}, {fail1}},
        {"99999999999", true, true, {"FAIL"}, {fail1}},
        {"4294967296", false, true, {"FAIL"}, {fail1}},
        {"4294967301", false, true, {"FAIL"}, {fail1}},
        {"2147483648", false, false, {"W2147483648", "END"}, {}},
        {"a\n2147483647 2147483648\n", false, true, {"Wa", "N2147483647", "FAIL"},
         {"VX_Parser: read number failed (f.cfg, 2)"}},
        // white space and words
        {"a,b;c", true, true, {"Wa,b;c", "END"}, {}},
        {"a\tb  c\t \n", true, true, {"Wa", "Wb", "Wc", "END"}, {}},
        {"   \n\t\t\n  x  \n", true, true, {"Wx", "END"}, {}},
        {"\xc3\xa4\xc3\xb6 ok", true, true, {"W\xc3\xa4\xc3\xb6", "Wok", "END"}, {}},
        {"", true, true, {"END"}, {}},
        {"", false, false, {"END"}, {}},
        {"# only\n#comments\n\n", true, true, {"END"}, {}},
        {"   \n \t \n", false, true, {"END"}, {}},
        // reader failures come through as false
        {"a\n" + std::string(300, 'y') + "\n", true, true, {"Wa", "FAIL"},
         {"VX_Input: 'f.cfg': line 2 too long"}},
        {std::string("a b\nc\0d\n", 8), true, true, {"Wa", "Wb", "FAIL"},
         {"VX_Input: 'f.cfg': line 2 holds a NUL byte"}},
    };
    for (const TokenCase &c : cases) {
        SCOPED_TRACE("input '" + c.input + "' parens " + std::to_string(c.parens) + " numbers " +
                     std::to_string(c.numbers));
        TokenRun r = tokenize(c.input, c.parens, c.numbers);
        EXPECT_EQ(r.tokens, c.tokens);
        EXPECT_EQ(r.log, c.log);
    }
}

TEST(VX_Parser, LineNumbersFollowTokens)
{
    TokenRun r = tokenize("# head\n\nalpha beta\n\n  # x\n[S] 5\n\n", false, true);
    EXPECT_EQ(r.tokens, (V{"Walpha", "Wbeta", "W#", "Wx", "SS", "N5", "END"}));
    EXPECT_EQ(r.lines, (std::vector<uint32_t>{3, 3, 5, 5, 6, 6, 7}));
}

TEST(VX_Parser, FlagsPerRequest)
{
    TempDir dir;
    dir.write("f.cfg", "(10 20)\n");
    VX_Parser p;
    ASSERT_TRUE(p.open(dir.file("f.cfg").c_str()));
    VX_Token t;
    ASSERT_TRUE(p.nextToken(t, VX_READ_PARENS));
    EXPECT_EQ(t.kind, VX_TOKEN_OPEN);
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "N10");
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "N20");
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "W)");
    ASSERT_TRUE(p.nextToken(t, VX_READ_ENTRIES));
    EXPECT_EQ(t.kind, VX_TOKEN_END);
}

TEST(VX_Parser, CuttingWritesIntoTheLine)
{
    TempDir dir;
    dir.write("f.cfg", "[Sec]rest word\tnext\n");
    VX_Parser p;
    ASSERT_TRUE(p.open(dir.file("f.cfg").c_str()));
    VX_Token t;
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(t.text, p.buffer + 1);
    EXPECT_EQ(p.buffer[4], '\0');  // the ']'
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wrest");
    EXPECT_EQ(p.buffer[9], '\0');  // the blank
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wword");
    EXPECT_EQ(p.buffer[14], '\0');  // the tab
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wnext");
    EXPECT_EQ(*p.cursor, '\0');
    EXPECT_EQ(p.cursor, p.buffer + 19);
}

TEST(VX_Parser, UnusedFieldsKeepOldContents)
{
    TempDir dir;
    dir.write("f.cfg", "word ( 7\n");
    VX_Parser p;
    ASSERT_TRUE(p.open(dir.file("f.cfg").c_str()));
    VX_Token t;
    ASSERT_TRUE(p.nextToken(t, VX_READ_ENTRIES));
    char *text = t.text;
    ASSERT_TRUE(p.nextToken(t, VX_READ_ENTRIES));
    EXPECT_EQ(t.kind, VX_TOKEN_OPEN);
    EXPECT_EQ(t.text, text);
    EXPECT_EQ(t.length, 4u);
    ASSERT_TRUE(p.nextToken(t, VX_READ_ENTRIES));
    EXPECT_EQ(t.value, 7);
    EXPECT_EQ(t.length, 4u);
}

TEST(VX_Parser, ReopenReadsTheNewFile)
{
    TempDir dir;
    dir.write("a.cfg", "one two three\n");
    dir.write("b.cfg", "four\n");
    VX_Parser p;
    ASSERT_TRUE(p.open(dir.file("a.cfg").c_str()));
    VX_Token t;
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wone");
    ASSERT_TRUE(p.open(dir.file("b.cfg").c_str()));
    ASSERT_TRUE(p.nextToken(t, VX_READ_NUMBERS));
    EXPECT_EQ(describe(t), "Wfour");
    EXPECT_EQ(p.lineCount, 1u);
}
