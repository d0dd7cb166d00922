// Every way a layout file can fail, seen from the engine: the exact message,
// the failing layout dropped, and the layouts around it still loaded. Then
// the failures of load.cfg itself. The rows of each section's own failures
// are in that section's test; here stand the ones that test does not have.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/LayoutFileTest.h"
#include "tests/TestSupport.h"

// Allocation failures on demand: the allocations that the loaders make with
// new (std::nothrow) fail when their size is `failSize`, after `failSkip`
// of that size have succeeded. Nothing else is affected.
namespace {
size_t failSize = 0;
int failSkip = 0;

bool refuse(size_t size)
{
    if (failSize == 0 || size != failSize || failSkip-- != 0)
        return false;
    failSize = 0;
    return true;
}
}  // namespace

void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    if (refuse(size))
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void *operator new[](size_t size, const std::nothrow_t &) noexcept
{
    if (refuse(size))
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

using Lines = std::vector<std::string>;

// A complete small basic layout that loads without a message.
const char *const kGood = "[Common]\nkeys 1\n";

// Replaces every "$D" in `text` with `dir`.
std::string withDir(std::string text, const std::string &dir)
{
    for (size_t at = text.find("$D"); at != std::string::npos;
         at = text.find("$D", at + dir.size()))
        text.replace(at, 2, dir);
    return text;
}

// Makes a Unix socket at `path`: it passes the search's read test but
// cannot be opened as a file.
bool makeSocket(const std::string &path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    std::strcpy(addr.sun_path, path.c_str());
    bool ok = bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

enum class BadFile { Text, Missing, Directory, Socket, Fifo };

struct FailureRow {
    const char *situation;
    std::string file;      // content of bad.cfg
    Lines messages;        // what loading bad.cfg writes; "$D" = the directory
    bool dropped = true;   // false: the layout loads despite the message
    BadFile kind = BadFile::Text;
};

// bad.cfg between two good layouts in load.cfg.
struct FailureTest : testing::Test {
    FailureTest() : engine({dir.path()})
    {
        ensureApp();
        dir.writeGif("bg.gif", 8, 8, 0x101010);
        dir.writeGif("bad.gif", 40, 20, 0x00ff00);
        dir.write("first.cfg", kGood);
        dir.write("last.cfg", kGood);
    }

    Lines row(int r) const { return layoutNames(engine, r); }

    TempDir dir;
    VX_Engine engine;
};

void runRow(const FailureRow &row)
{
    SCOPED_TRACE(std::string(row.situation) + "\n--- bad.cfg ---\n" + row.file);
    TempDir dir;
    dir.writeGif("bg.gif", 8, 8, 0x101010);
    dir.writeGif("bad.gif", 40, 20, 0x00ff00);
    dir.write("first.cfg", kGood);
    dir.write("last.cfg", kGood);
    dir.write("load.cfg", "first bad last\n");
    switch (row.kind) {
    case BadFile::Text: dir.write("bad.cfg", row.file); break;
    case BadFile::Missing: break;
    case BadFile::Directory: dir.mkdir("bad.cfg"); break;
    case BadFile::Socket: ASSERT_TRUE(makeSocket(dir.file("bad.cfg"))); break;
    case BadFile::Fifo: ASSERT_EQ(mkfifo(dir.file("bad.cfg").c_str(), 0600), 0); break;
    }
    Watchdog guard;  // a FIFO must not hold the load

    VX_Engine engine({dir.path()});
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();

    Lines expected;
    for (const std::string &m : row.messages)
        expected.push_back(withDir(m, dir.path()));
    if (row.dropped) {
        expected.push_back("VX_Engine: loading layout 'bad' failed, remove it");
        expected.push_back("VX_Engine: load complete - basic: 2, aux: 0");
    } else {
        expected.push_back("VX_Engine: load complete - basic: 3, aux: 0");
    }
    EXPECT_EQ(log.lines(), expected);

    EXPECT_EQ(layoutNames(engine, 0), row.dropped ? (Lines{"first", "last"}) : (Lines{"first", "bad", "last"}));
    EXPECT_EQ(engine.layoutCount[1], 0u);
    EXPECT_EQ(engine.activeLayout(), engine.layouts[0][0].get());
}

void runTable(const std::vector<FailureRow> &rows)
{
    for (const FailureRow &row : rows)
        runRow(row);
}

const std::string kLongLine(300, 'x');

}  // namespace

TEST(LayoutFailures, LineReader)
{
    runTable({
        {"line too long", "[Common]\nkeys 1\n" + kLongLine + "\n",
         {"VX_Input: 'bad.cfg': line 3 too long"}},
        {"last line of 255 characters without line end", "[Common]\n" + std::string(255, 'k'),
         {"VX_Input: 'bad.cfg': line 2 too long"}},
        {"NUL byte inside a line", std::string("[Common]\nkeys\0 1\n", 17),
         {"VX_Input: 'bad.cfg': line 2 holds a NUL byte"}},
        {"a directory", "", {"VX_Input: can't open '$D/bad.cfg'"}, true, BadFile::Directory},
        {"a socket", "", {"VX_Input: can't open '$D/bad.cfg'"}, true, BadFile::Socket},
        {"a FIFO without a writer", "", {"VX_Input: can't open '$D/bad.cfg'"}, true,
         BadFile::Fifo},
        {"file in no search directory", "", {"VX_Engine: no 'bad.cfg' in ( $D )"}, true,
         BadFile::Missing},
    });
}

TEST(LayoutFailures, Tokenizer)
{
    runTable({
        {"'[' without ']'", "# head\n[Common\nkeys 1\n", {"VX_Parser: ']' expected (bad.cfg, 2)"}},
        {"number above the 32-bit range", "[Common]\nkeys 2147483648\n",
         {"VX_Parser: read number failed (bad.cfg, 2)"}},
    });
}

TEST(LayoutFailures, LoaderAndCommon)
{
    runTable({
        {"word before any section", "# c\nkeys 1\n", {"VX_Layout: section expected (bad.cfg, 2)"}},
        {"number where a section is due", "[Common]\nkeys 1 number\n1\n",
         {"VX_Layout: section expected (bad.cfg, 3)"}},
        {"unknown section header", "[Comon]\nkeys 1\n", {}},
        {"unknown parameter", "[Common]\nkeys 1\nKeys 2\n",
         {"VX_Layout: unknown parameter 'Keys' in [Common] section (bad.cfg, 3)"}},
        {"value that is a word", "[Common]\nkeys -5\n", {"VX_Layout: number expected (bad.cfg, 2)"}},
        {"value missing at the end", "[Common]\nkeys\n", {"VX_Layout: number expected (bad.cfg, 2)"}},
        {"type out of range", "[Common]\nkeys 1 type 2\n", {"VX_Layout: invalid value for type"}},
        {"three bad values, in check order", "[Common]\nmode 0 alpha 3\n",
         {"VX_Layout: invalid value for alpha", "VX_Layout: invalid value for modes",
          "VX_Layout: keys count not specified"}},
        {"pixs out of range", "[Common]\nkeys 1 pixs 2\n", {"VX_Layout: invalid value for pixs"}},
        {"keys 0", "[Common]\nkeys 0\n", {"VX_Layout: keys count not specified"}},
        {"empty [Common]", "[Common]\n[Board]\n", {"VX_Layout: keys count not specified"}},
        {"more keys than any keyboard", "[Common]\nkeys 1025\n",
         {"VX_Layout: invalid value for keys (at most 1024)"}},
    });
}

TEST(LayoutFailures, LayoutSection)
{
    runTable({
        {"no keyword and no aux layout", "[Common]\nkeys 2\n[Layout]\nspace\nLabel\n",
         {"VX_Layout: unrecognized key type 'Label' (bad.cfg, 5)"}},
        {"more words than keys", "[Common]\nkeys 1\n[Layout]\nspace bks\n",
         {"VX_Layout: read 1 entries from [Layout] (bad)",
          "VX_Layout: section expected (bad.cfg, 4)"}},
    });
}

TEST(LayoutFailures, GeometrySection)
{
    const std::string head = "[Common]\nkeys 2\n[Geometry]\n";
    runTable({
        {"end of file after w", head + "(0 0) (1 2 3\n",
         {"VX_Layout: expect number or ')' (bad.cfg, 4)"}},
        {"entries missing", head + "(0 0)\n", {"VX_Layout: '(' expected (bad.cfg, 4)"}},
    });
}

TEST(LayoutFailures, StringsSection)
{
    const std::string one = "[Common]\nkeys 2\n[Layout]\nalpha alpha\n[Strings]\n";
    const std::string two = "[Common]\nkeys 1 mode 2\n[Layout]\nalpha\n[Strings]\n";
    const std::string typed1 = "VX_Layout: read 1 entries from [Layout] (bad)";
    const std::string typed2 = "VX_Layout: read 2 entries from [Layout] (bad)";
    runTable({
        {"string missing", one + "abc\n", {typed2, "VX_Layout: string expected (bad.cfg, 6)"}},
    });
}

TEST(LayoutFailures, BoardSection)
{
    runTable({
        {"colour component a word", "[Board]\ncolor ( 1 x 3 )\n",
         {"VX_Layout: number expected (bad.cfg, 2)"}},
        {"colour with four numbers", "[Board]\ncolor (1 2 3 4)\n",
         {"VX_Layout: ')' expected (bad.cfg, 2)"}},
        {"fill without a method", "[Board]\nfill\n", {"VX_Layout: string expected (bad.cfg, 2)"}},
        {"pixmap without a name", "[Board]\nfill pixmap pixmap\n",
         {"VX_Layout: string expected (bad.cfg, 2)"}},
    });
}

TEST(LayoutFailures, PixsSection)
{
    const std::string head = "[Common]\nkeys 1 bwid 10 bhei 10\n[Geometry]\n(0 0)\n[Pixs]\n";
    const std::string placed = "VX_Layout: read 1 entries from [Geometry] (bad)";
    runTable({
        // The name takes the ')' and the item the entry's ')': the entry
        // then meets the end of the file.
        {"')' glued to the name", head + "( ( bad.gif) )\n",
         {placed, "VX_Engine: no 'bad.gif)' in ( $D )",
          "VX_Layout: 'x' or '|' or '(' expected (bad.cfg, 6)"}},
        {"name followed by a word", head + "( ( bad.gif x ) )\n",
         {placed, "VX_Layout: ')' expected (bad.cfg, 6)"}},
        {"entry not closed after the last mode", head + "( (bad.gif) | x\n",
         {placed, "VX_Layout: ')' expected (bad.cfg, 6)"}},
        {"entries missing", head, {placed, "VX_Layout: '(' expected (bad.cfg, 5)"}},
    });
}

TEST(LayoutFailures, MessagesThatDoNotDropTheLayout)
{
    const std::string pixs = "[Common]\nkeys 1 bwid 10 bhei 10\n[Geometry]\n(0 0)\n[Pixs]\n";
    runTable({
        {"unknown fill method", "[Common]\nkeys 1\n[Board]\nfill stripes\n",
         {"VX_Layout: unknown fill method 'stripes', board fill method will be 'color' "
          "(bad.cfg, 4)"},
         false},
        {"key picture missing", pixs + "( ( nope.gif ) )\n",
         {"VX_Layout: read 1 entries from [Geometry] (bad)", "VX_Engine: no 'nope.gif' in ( $D )", "VX_Layout: read 1 entries from [Pixs] (bad)"},
         false},
        // The default background then goes on with the layout's own picture
        // and at last takes bg.gif.
        {"background picture missing", "[Common]\nkeys 1\n[Board]\nfill pixmap pixmap nope.gif\n",
         {"VX_Engine: no 'nope.gif' in ( $D )", "VX_Engine: no 'bad_bg.gif' in ( $D )"}, false},
    });
}

// --- memory that cannot be allocated ---

TEST_F(FailureTest, AllocationFailures)
{
    struct Case {
        const char *what;
        size_t size;  // allocation to refuse
        int skip;     // allocations of that size to let through first
        const char *badFile;
        Lines messages;
        Lines placed;
    };
    const char *const badKeys = "[Common]\nkeys 7\n";
    const Case cases[] = {
        {"layout record", sizeof(VX_Layout), 1, kGood,
         {"VX_Engine: can't allocate memory for layout 'bad' (need " +
              std::to_string(sizeof(VX_Layout)) + " bytes)",
          "VX_Engine: load complete - basic: 2, aux: 0"},
         {"first", "last"}},
        {"layout name (\"bad\")", 4, 0, kGood,
         {"VX_Layout: can't allocate memory", "VX_Engine: load complete - basic: 3, aux: 0"},
         {"first", "NoName", "last"}},
        {"reader's file name (\"bad.cfg\")", 8, 0, "[Common]\nkeys x\n",
         {"VX_Input: can't allocate memory", "VX_Layout: number expected (some_file, 2)",
          "VX_Engine: loading layout 'bad' failed, remove it",
          "VX_Engine: load complete - basic: 2, aux: 0"},
         {"first", "last"}},
        {"key array", 7 * sizeof(VX_Key), 0, badKeys,
         {"VX_Layout: can't allocate memory for 7 keys",
          "VX_Engine: loading layout 'bad' failed, remove it",
          "VX_Engine: load complete - basic: 2, aux: 0"},
         {"first", "last"}},
        {"picture record (bg.gif)", sizeof(VX_Image), 0, kGood,
         {"VX_Engine: can't allocate memory", "VX_Engine: load complete - basic: 3, aux: 0"},
         {"first", "bad", "last"}},
        {"list node (bg.gif)", 2 * sizeof(void *), 0, kGood,
         {"VX_ImageList: can't allocate memory", "VX_Engine: load complete - basic: 3, aux: 0"},
         {"first", "bad", "last"}},
    };
    dir.write("load.cfg", "first bad last\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("bad.cfg", c.badFile);
        VX_Engine fresh({dir.path()});
        LogCapture log;
        failSize = c.size;
        failSkip = c.skip;
        EXPECT_TRUE(fresh.load());
        EXPECT_EQ(failSize, 0u) << "the allocation was never made";
        failSize = 0;
        EXPECT_EQ(log.lines(), c.messages);
        EXPECT_EQ(layoutNames(fresh, 0), c.placed);
    }
}

// --- load.cfg (its own failures are the engine's test; here what only
// the engine's view of files shows) ---

// A FIFO where a file should be is a file that cannot be opened: nothing
// waits for a writer.
TEST_F(FailureTest, FifoAsLoadCfgOrPictureDoesNotBlock)
{
    Watchdog guard;
    ASSERT_EQ(mkfifo(dir.file("load.cfg").c_str(), 0600), 0);
    {
        LogCapture log;
        EXPECT_FALSE(engine.load());
        EXPECT_EQ(log.lines(), Lines{"VX_Input: can't open '" + dir.file("load.cfg") + "'"});
    }
    TempDir pictures;
    pictures.write("load.cfg", "kb\n");
    pictures.write("kb.cfg", "[Common]\nkeys 1\n[Board]\nfill pixmap\n");
    ASSERT_EQ(mkfifo(pictures.file("bg.gif").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(pictures.file("kb_bg.gif").c_str(), 0600), 0);
    VX_Engine withFifos({pictures.path()});
    LogCapture log;
    EXPECT_TRUE(withFifos.load());
    EXPECT_EQ(log.lines(),
              (Lines{"VX_Image: can't create QPixmap('" + pictures.file("bg.gif") + "')",
                     "VX_Image: can't create QPixmap('" + pictures.file("kb_bg.gif") + "')",
                     "VX_Engine: load complete - basic: 1, aux: 0"}));
    EXPECT_EQ(withFifos.layouts[0][0]->background, nullptr);
}

TEST_F(FailureTest, MissingDefaultBackgroundIsNoFailure)
{
    std::remove(dir.file("bg.gif").c_str());
    dir.write("load.cfg", "first last\n");
    LogCapture log;
    EXPECT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), (Lines{"VX_Engine: no 'bg.gif' in ( " + dir.path() + " )",
                                  "VX_Engine: load complete - basic: 2, aux: 0"}));
    EXPECT_EQ(row(0), (Lines{"first", "last"}));
}

TEST_F(FailureTest, FailedAuxLayoutCannotBeLinked)
{
    // The aux layout fails, so the basic layout that links to it fails too,
    // and only the layouts around them stay.
    dir.write("aux.cfg", "[Common]\ntype 1 keys 1\n[Layout]\nshift\n[Geometry]\n(1)\n");
    dir.write("kb.cfg", "[Common]\nkeys 1\n[Layout]\naux\n");
    dir.write("load.cfg", "first aux kb last\n");
    LogCapture log;
    EXPECT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), (Lines{"VX_Layout: read 1 entries from [Layout] (aux)",
                                  "VX_Layout: number expected (aux.cfg, 6)",
                                  "VX_Engine: loading layout 'aux' failed, remove it",
                                  "VX_Layout: unrecognized key type 'aux' (kb.cfg, 4)",
                                  "VX_Engine: loading layout 'kb' failed, remove it",
                                  "VX_Engine: load complete - basic: 2, aux: 0"}));
    EXPECT_EQ(row(0), (Lines{"first", "last"}));
    EXPECT_EQ(row(1), Lines{});
}

// --- Faults found by fuzzing, kept as regressions ---

TEST_F(FailureTest, KeyAtTheEndOfTheNumberRangeCanBePressed)
{
    // From fuzz/corpus/load/regress-key-at-int32-max: a key placed at the
    // largest x; its right edge x + width does not fit in 32 bits.
    dir.writeGif("kb.gif", 10, 10, 0x808080);
    dir.write("kb.cfg", "[Common]\nkeys 1 bwid 5 bhei 5\n[Layout]\nspace\n"
                        "[Geometry]\n(2147483647 0)\n[Pixs]\n( ( 0 0 ) )\n");
    dir.write("load.cfg", "kb\n");
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();
    VX_Layout &kb = *engine.layouts[0][0];
    EXPECT_EQ(kb.hitTest(INT32_MAX, 2), 0);
    EXPECT_EQ(kb.hitTest(INT32_MAX - 1, 2), kb.keyCount);
    const VX_KeyResult out = kb.press(INT32_MAX, 5);
    EXPECT_TRUE(out.send);
    EXPECT_STREQ(out.text, " ");
    kb.release();
}
