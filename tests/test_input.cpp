// VX_Input: line limits, line ends, skipped lines, state after end and
// failure, display names and the failure messages.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/VX_Input.h"
#include "tests/TestSupport.h"

namespace {

struct ReadResult {
    std::vector<std::string> lines;  // lines delivered, in order
    std::vector<uint32_t> numbers;   // lineCount after each delivered line
    std::vector<std::string> log;    // messages written
    int32_t lineLength = 0;          // after the final null
    bool atEnd = false;
    uint32_t lineCount = 0;
};

// Reads "<dir>/<fileName>" holding `content` until readLine gives null.
ReadResult readAll(const std::string &content, const std::string &fileName = "t.cfg")
{
    TempDir dir;
    dir.write(fileName, content);
    LogCapture log;
    VX_Input in;
    ReadResult r;
    EXPECT_TRUE(in.open(dir.file(fileName).c_str()));
    while (char *line = in.readLine()) {
        r.lines.emplace_back(line);
        r.numbers.push_back(in.lineCount);
        EXPECT_EQ(in.lineLength, static_cast<int32_t>(r.lines.back().size()));
        if (r.lines.size() > 100000)
            break;
    }
    r.lineLength = in.lineLength;
    r.atEnd = in.atEnd;
    r.lineCount = in.lineCount;
    // Further calls keep returning null and change nothing.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(in.readLine(), nullptr);
        EXPECT_EQ(in.lineLength, r.lineLength);
        EXPECT_EQ(in.atEnd, r.atEnd);
        EXPECT_EQ(in.lineCount, r.lineCount);
    }
    r.log = log.lines();
    return r;
}

std::string rep(size_t n, char c = 'x') { return std::string(n, c); }

}  // namespace

TEST(VX_Input, NewReaderDeliversNothing)
{
    LogCapture log;
    VX_Input in;
    EXPECT_EQ(in.file, nullptr);
    EXPECT_EQ(in.name, nullptr);
    EXPECT_EQ(in.lineCount, 0u);
    EXPECT_EQ(in.lineLength, 0);
    EXPECT_TRUE(in.atEnd);
    EXPECT_STREQ(in.displayName(), "some_file");
    EXPECT_EQ(in.readLine(), nullptr);
    EXPECT_EQ(in.readLine(), nullptr);
    EXPECT_EQ(in.lineLength, 0);
    EXPECT_TRUE(in.atEnd);
    in.close();
    in.close();
    EXPECT_EQ(log.text(), "");
}

struct LimitCase {
    const char *what;
    std::string content;
    std::vector<std::string> lines;  // delivered
    std::string message;             // "" when the file ends normally
    uint32_t lineCount;              // at the end
};

TEST(VX_Input, LineLimits)
{
    const std::vector<LimitCase> cases = {
        {"254 before LF", rep(254) + "\n", {rep(254)}, "", 1},
        {"253 before CR LF", rep(253) + "\r\n", {rep(253)}, "", 1},
        {"255 before LF", rep(255) + "\n", {}, "VX_Input: 't.cfg': line 1 too long", 1},
        {"254 before CR LF", rep(254) + "\r\n", {}, "VX_Input: 't.cfg': line 1 too long", 1},
        {"long line 3", "a\n\n" + rep(300) + "\nb\n", {"a"}, "VX_Input: 't.cfg': line 3 too long", 3},
        {"long line after comments", "# c\n#\n\r\n" + rep(255) + "\n", {}, "VX_Input: 't.cfg': line 4 too long", 4},
        {"long comment", "#" + rep(254) + "\nb\n", {}, "VX_Input: 't.cfg': line 1 too long", 1},
        {"last 254 no end", "a\n" + rep(254), {"a", rep(254)}, "", 2},
        {"last 253 no end", rep(253), {rep(253)}, "", 1},
        {"last 255 no end", "a\n" + rep(255), {"a"}, "VX_Input: 't.cfg': line 2 too long", 2},
        {"last 256 no end", rep(256), {}, "VX_Input: 't.cfg': line 1 too long", 1},
        {"last 1 no end", "z", {"z"}, "", 1},
        {"CR inside", "a\rb\n", {"a\rb"}, "", 1},
        {"CR first", "\ra\r\n", {"\ra"}, "", 1},
        {"two CR", "ab\r\r\n", {"ab\r"}, "", 1},
        {"CR at end no LF", "ab\r", {"ab\r"}, "", 1},
        {"CR only line kept if no LF", "a\n\r", {"a", "\r"}, "", 2},
        {"254 + CR no LF", rep(254) + "\r", {}, "VX_Input: 't.cfg': line 1 too long", 1},
    };
    for (const LimitCase &c : cases) {
        SCOPED_TRACE(c.what);
        ReadResult r = readAll(c.content);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.lineCount, c.lineCount);
        if (c.message.empty()) {
            EXPECT_TRUE(r.log.empty());
            EXPECT_EQ(r.lineLength, 0);
            EXPECT_TRUE(r.atEnd);
        } else {
            EXPECT_EQ(r.log, std::vector<std::string>{c.message});
            EXPECT_EQ(r.lineLength, -1);
            EXPECT_FALSE(r.atEnd);
        }
    }
}

TEST(VX_Input, SkippedLinesAreCounted)
{
    ReadResult r = readAll("# comment\n\n\r\nword one\n   \n #x\n\t\n#\nlast");
    EXPECT_EQ(r.lines, (std::vector<std::string>{"word one", "   ", " #x", "\t", "last"}));
    EXPECT_EQ(r.numbers, (std::vector<uint32_t>{4, 5, 6, 7, 9}));
    EXPECT_EQ(r.lineCount, 9u);
    EXPECT_EQ(r.lineLength, 0);
    EXPECT_TRUE(r.atEnd);
    EXPECT_TRUE(r.log.empty());
}

TEST(VX_Input, ByteOrderMarkAtTheStartIsSkipped)
{
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char *what;
        std::string content;
        std::vector<std::string> lines;
        std::vector<uint32_t> numbers;
    };
    const std::vector<Case> cases = {
        {"before a header", bom + "[Common]\nkeys 1\n", {"[Common]", "keys 1"}, {1, 2}},
        {"before a comment", bom + "# c\nx\n", {"x"}, {2}},
        {"alone on its line", bom + "\nx", {"x"}, {2}},
        {"whole file", bom, {}, {}},
        {"does not take room of the line", bom + rep(254) + "\n", {rep(254)}, {1}},
        // Only a whole mark at the very start is one.
        {"second line keeps it", "a\n" + bom + "b\n", {"a", bom + "b"}, {1, 2}},
        {"two marks", bom + bom + "x\n", {bom + "x"}, {1}},
        {"two bytes of a mark", "\xEF\xBB" "x\n", {"\xEF\xBB" "x"}, {1}},
        {"one byte of a mark", "\xEF" "x\n", {"\xEF" "x"}, {1}},
        {"cut mark at the end", "\xEF\xBB", {"\xEF\xBB"}, {1}},
        {"first byte a line end", "\nx\n", {"x"}, {2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ReadResult r = readAll(c.content);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.numbers, c.numbers);
        EXPECT_TRUE(r.log.empty());
        EXPECT_TRUE(r.atEnd);
    }
}

TEST(VX_Input, EmptyAndCommentOnlyFiles)
{
    for (const std::string content : {"", "# a\n#b\n", "\n\n\r\n", "#only"}) {
        SCOPED_TRACE(content);
        ReadResult r = readAll(content);
        EXPECT_TRUE(r.lines.empty());
        EXPECT_EQ(r.lineLength, 0);
        EXPECT_TRUE(r.atEnd);
        EXPECT_TRUE(r.log.empty());
    }
}

TEST(VX_Input, ManyLines)
{
    std::string content;
    for (int i = 0; i < 5000; ++i)
        content += (i % 3 == 0 ? "# c\n" : "line " + std::to_string(i) + "\n");
    ReadResult r = readAll(content);
    EXPECT_EQ(r.lineCount, 5000u);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_EQ(r.lines.back(), "line 4999");
    EXPECT_EQ(r.numbers.back(), 5000u);
}

TEST(VX_Input, NulByteIsRefused)
{
    using namespace std::string_literals;
    struct Case {
        const char *what;
        std::string content;
        std::vector<std::string> lines;
        uint32_t line;
    };
    const std::vector<Case> cases = {
        {"inside", "ab\0cd\n"s, {}, 1},
        {"line 3", "ok\n\n\0\n"s, {"ok"}, 3},
        {"at the start", "\0abc\n"s, {}, 1},
        {"in a comment", "#\0\nx\n"s, {}, 1},
        {"last line without end", "a\nb\0"s, {"a"}, 2},
        {"in a 254-byte line", rep(100) + "\0"s + rep(153) + "\n", {}, 1},
        {"in a too long line", rep(10) + "\0"s + rep(300) + "\n", {}, 1},
        {"NUL alone, then LF", "\0\n"s, {}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ReadResult r = readAll(c.content);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.lineCount, c.line);
        EXPECT_EQ(r.lineLength, -1);
        EXPECT_FALSE(r.atEnd);
        EXPECT_EQ(r.log, std::vector<std::string>{"VX_Input: 't.cfg': line " + std::to_string(c.line) +
                                                  " holds a NUL byte"});
    }
}

TEST(VX_Input, ReadError)
{
    // A stream whose descriptor turns into a directory's after the open:
    // reading it fails with a read error.
    TempDir dir;
    dir.write("adir", "[Common]\n");
    const int dirFd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    LogCapture log;
    VX_Input in;
    ASSERT_TRUE(in.open(dir.file("adir").c_str()));
    ASSERT_GE(::dup2(dirFd, fileno(in.file)), 0);
    ::close(dirFd);
    EXPECT_EQ(in.readLine(), nullptr);
    EXPECT_EQ(in.lineLength, -1);
    EXPECT_FALSE(in.atEnd);
    EXPECT_EQ(in.readLine(), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Input: 'adir': read error (readed 0 lines)"});
}

TEST(VX_Input, OpenFailures)
{
    LogCapture log;
    VX_Input in;
    EXPECT_FALSE(in.open(nullptr));
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(in.file, nullptr);
    EXPECT_EQ(in.readLine(), nullptr);

    TempDir dir;
    std::string missing = dir.file("missing.cfg");
    EXPECT_FALSE(in.open(missing.c_str()));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Input: can't open '" + missing + "'"});
    EXPECT_STREQ(in.displayName(), "missing.cfg");
    EXPECT_EQ(in.file, nullptr);
    EXPECT_EQ(in.readLine(), nullptr);  // outside the contract, but harmless
    in.close();
    EXPECT_STREQ(in.displayName(), "some_file");
}

// Only regular files are read: anything else cannot be opened, and a FIFO
// without a writer does not hold the open.
TEST(VX_Input, WhatIsNoRegularFileCannotBeOpened)
{
    Watchdog guard;
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.cfg").c_str(), 0600), 0);
    dir.mkdir("dir.cfg");
    for (const std::string &path : {dir.file("fifo.cfg"), dir.file("dir.cfg"), std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        LogCapture log;
        VX_Input in;
        EXPECT_FALSE(in.open(path.c_str()));
        EXPECT_EQ(in.file, nullptr);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Input: can't open '" + path + "'"});
    }
}

TEST(VX_Input, DisplayName)
{
    LogCapture log;
    VX_Input in;
    in.open("c:\\Qt\\vexil\\load.cfg");  // no '/': the whole path is the name
    EXPECT_STREQ(in.displayName(), "c:\\Qt\\vexil\\load.cfg");
    in.open("/no/such/dir/layout.cfg");
    EXPECT_STREQ(in.displayName(), "layout.cfg");
    in.open("/no/such/dir\\x/a\\b.cfg");
    EXPECT_STREQ(in.displayName(), "a\\b.cfg");
    in.open("dir/");
    EXPECT_STREQ(in.displayName(), "");
    in.close();
    EXPECT_EQ(in.name, nullptr);
    EXPECT_STREQ(in.displayName(), "some_file");

    TempDir dir;
    dir.write("b\\c.cfg", "x\n");
    ASSERT_TRUE(in.open(dir.file("b\\c.cfg").c_str()));
    EXPECT_STREQ(in.displayName(), "b\\c.cfg");
}

TEST(VX_Input, ReopenStartsAfresh)
{
    TempDir dir;
    dir.write("a.cfg", "one\ntwo\n" + rep(300) + "\n");
    dir.write("b.cfg", "\nbee\n");
    LogCapture log;
    VX_Input in;
    ASSERT_TRUE(in.open(dir.file("a.cfg").c_str()));
    EXPECT_STREQ(in.readLine(), "one");
    EXPECT_STREQ(in.readLine(), "two");
    EXPECT_EQ(in.readLine(), nullptr);
    EXPECT_EQ(in.lineLength, -1);
    EXPECT_EQ(in.lineCount, 3u);

    ASSERT_TRUE(in.open(dir.file("b.cfg").c_str()));
    EXPECT_EQ(in.lineCount, 0u);
    EXPECT_EQ(in.lineLength, 0);
    EXPECT_FALSE(in.atEnd);
    EXPECT_STREQ(in.displayName(), "b.cfg");
    EXPECT_STREQ(in.readLine(), "bee");
    EXPECT_EQ(in.lineCount, 2u);
    EXPECT_EQ(in.lineLength, 3);

    // close keeps the state fields.
    in.close();
    EXPECT_EQ(in.file, nullptr);
    EXPECT_EQ(in.lineLength, 3);
    EXPECT_FALSE(in.atEnd);
    EXPECT_EQ(in.lineCount, 2u);
    in.close();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"VX_Input: 'a.cfg': line 3 too long"});
}

TEST(VX_Input, LineIsWritable)
{
    TempDir dir;
    dir.write("w.cfg", "abc def\nxyz\n");
    VX_Input in;
    ASSERT_TRUE(in.open(dir.file("w.cfg").c_str()));
    char *line = in.readLine();
    ASSERT_NE(line, nullptr);
    line[3] = '\0';
    EXPECT_STREQ(line, "abc");
    EXPECT_STREQ(in.readLine(), "xyz");
}
