// The layout file loader and its [Common] section.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "tests/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// One layout loaded directly from a file of the test's directory.
struct CommonTest : testing::Test {
    CommonTest() : engine({dir.path()}), layout(&engine) { ensureApp(); }

    bool loadFile(const std::string &text, const char *name = "lay")
    {
        dir.write(std::string(name) + ".cfg", text);
        return layout.load(name);
    }

    TempDir dir;
    VX_Engine engine;
    VX_Layout layout;
};

}  // namespace

TEST_F(CommonTest, OnlyKeysKeepsEveryDefault)
{
    LogCapture log;
    ASSERT_TRUE(loadFile("[Common]\nkeys 3\n"));
    EXPECT_EQ(log.lines(), Lines{});
    EXPECT_STREQ(layout.name.get(), "lay");
    EXPECT_EQ(layout.keyCount, 3);
    EXPECT_EQ(layout.type, VX_LAYOUT_BASIC);
    EXPECT_EQ(layout.charBytes, 1);
    EXPECT_EQ(layout.modes, 1);
    EXPECT_EQ(layout.keyWidth, 0);
    EXPECT_EQ(layout.keyHeight, 0);
    EXPECT_EQ(layout.pixelUnits, 1);
    EXPECT_EQ(layout.tmPeriod, 400);
    EXPECT_EQ(layout.tmRate, 100);
    EXPECT_EQ(layout.tmEnumRate, 300);
    EXPECT_EQ(layout.tmEnumReset, 1000);
    EXPECT_EQ(layout.drawPressed, 0);
    EXPECT_EQ(layout.repeatOn, 0);
    EXPECT_EQ(layout.fillMethod, VX_FILL_COLOR);
    EXPECT_EQ(layout.width, 240);
    EXPECT_EQ(layout.height, 128);
    EXPECT_TRUE(layout.colorFill);
    EXPECT_EQ(layout.red + layout.green + layout.blue, 0);
    EXPECT_EQ(layout.background, nullptr);
    EXPECT_FALSE(layout.numberLayout);
    EXPECT_FALSE(layout.textLayout);
    ASSERT_NE(layout.keys, nullptr);
    for (int i = 0; i < layout.keyCount; ++i) {
        SCOPED_TRACE(i);
        const VX_Key &key = layout.keys[i];
        EXPECT_EQ(key.type, VX_KEY_UNTYPED);
        for (int m = 0; m < VX_Key::kModes; ++m) {
            EXPECT_STREQ(key.chars[m], "");
            EXPECT_EQ(key.charCount[m], 0);
            EXPECT_EQ(key.pix[m][VX_PIX_RELEASED], nullptr);
            EXPECT_EQ(key.pix[m][VX_PIX_PRESSED], nullptr);
        }
        EXPECT_EQ(key.enumPos, 0);
        EXPECT_FALSE(key.enumActive);
        EXPECT_FALSE(key.pixInPlace);
    }
}

TEST_F(CommonTest, EveryParameterReachesItsField)
{
    const struct {
        const char *entry;
        int32_t VX_Layout::*field;
        int32_t value;
    } cases[] = {
        {"type 1", &VX_Layout::type, 1},
        {"alpha 2", &VX_Layout::charBytes, 2},
        {"keys 7", &VX_Layout::keyCount, 7},
        {"mode 2", &VX_Layout::modes, 2},
        {"bwid 30", &VX_Layout::keyWidth, 30},
        {"bhei 25", &VX_Layout::keyHeight, 25},
        {"pixs 0", &VX_Layout::pixelUnits, 0},
        {"tm-period 450", &VX_Layout::tmPeriod, 450},
        {"tm-rate 0", &VX_Layout::tmRate, 0},
        {"tm-enum-rate 333", &VX_Layout::tmEnumRate, 333},
        {"tm-enum-reset 1500", &VX_Layout::tmEnumReset, 1500},
        {"draw-pressed 1", &VX_Layout::drawPressed, 1},
        {"repeat-on 5", &VX_Layout::repeatOn, 5},
        {"bwid 3\n\tbwid 9", &VX_Layout::keyWidth, 9},  // the later one wins
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entry);
        VX_Layout fresh(&engine);
        dir.write("one.cfg", std::string("[Common]\nkeys 1 ") + c.entry + "\n");
        LogCapture log;
        ASSERT_TRUE(fresh.load("one"));
        EXPECT_EQ(fresh.*(c.field), c.value);
        EXPECT_EQ(log.lines(), Lines{});
    }
}

TEST_F(CommonTest, FlagsTakeNoValue)
{
    ASSERT_TRUE(loadFile("[Common]\ntext\nkeys 2 number\n"));
    EXPECT_TRUE(layout.numberLayout);
    EXPECT_TRUE(layout.textLayout);
    EXPECT_EQ(layout.keyCount, 2);
}

TEST_F(CommonTest, SecondCommonStartsFromFirstAndRenewsKeys)
{
    LogCapture log;
    ASSERT_TRUE(loadFile("[Common]\nkeys 2 bwid 5\n[Layout]\nspace bks\n"
                         "[Common]\nkeys 3 bhei 4\n"));
    EXPECT_EQ(layout.keyCount, 3);
    EXPECT_EQ(layout.keyWidth, 5);
    EXPECT_EQ(layout.keyHeight, 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(layout.keys[i].type, VX_KEY_UNTYPED) << "key " << i;
}

TEST_F(CommonTest, FileWithoutCommonHasNoKeys)
{
    const char *files[] = {"", "# nothing\n\n# at all\n", "[Board]\nwid 100\n"};
    for (const char *file : files) {
        SCOPED_TRACE(file);
        VX_Layout fresh(&engine);
        dir.write("plain.cfg", file);
        LogCapture log;
        ASSERT_TRUE(fresh.load("plain"));
        EXPECT_EQ(log.lines(), Lines{});
        EXPECT_EQ(fresh.keyCount, 0);
        EXPECT_EQ(fresh.keys, nullptr);
        EXPECT_EQ(fresh.type, VX_LAYOUT_BASIC);
    }
}

// A pixmap board without a picture of its own: "<name>_bg.gif", else the
// engine's first board picture, else none. Other fills look for nothing.
TEST_F(CommonTest, DefaultBackgroundChain)
{
    dir.writeGif("bg.gif", 8, 8, 0x000000);
    dir.writeGif("own_bg.gif", 8, 8, 0xffffff);
    dir.writeGif("set.gif", 8, 8, 0x808080);
    const char *const pixmap = "[Common]\nkeys 1\n[Board]\nfill pixmap\n";
    struct Case {
        const char *name;
        std::string file;
        bool bgLoaded;       // bg.gif already in the cache
        const char *expect;  // root name of the background, null for none
        Lines messages;      // "$" stands for the directory
    };
    const Case cases[] = {
        {"own", pixmap, true, "own_bg.gif", {}},
        {"other", pixmap, true, "bg.gif", {"VX_Engine: no 'other_bg.gif' in ( $ )"}},
        {"other", pixmap, false, nullptr, {"VX_Engine: no 'other_bg.gif' in ( $ )"}},
        {"own", std::string(pixmap) + "pixmap set.gif\n", true, "set.gif", {}},
        {"own", "[Common]\nkeys 1\n", true, nullptr, {}},
        {"own", "[Common]\nkeys 1\n[Board]\nfill none\n", true, nullptr, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << ", bg.gif cached " << c.bgLoaded << ": "
                                        << c.file);
        VX_Engine owner({dir.path()});
        if (c.bgLoaded) {
            ASSERT_NE(owner.getBoardPicture("bg.gif"), nullptr);
        }
        VX_Layout fresh(&owner);
        dir.write(std::string(c.name) + ".cfg", c.file);
        LogCapture log;
        ASSERT_TRUE(fresh.load(c.name));
        if (c.expect) {
            ASSERT_NE(fresh.background, nullptr);
            EXPECT_STREQ(fresh.background->rootName(), c.expect);
        } else {
            EXPECT_EQ(fresh.background, nullptr);
        }
        Lines expected;
        for (std::string line : c.messages)
            expected.push_back(line.replace(line.find('$'), 1, dir.path()));
        EXPECT_EQ(log.lines(), expected);
    }
}

// --- Failures ---

TEST_F(CommonTest, ChecksReportInOrderAndTreatNegativesAsInvalid)
{
    layout.type = -1;
    layout.charBytes = -1;
    layout.modes = 0;
    layout.keyWidth = -1;
    layout.keyHeight = -2;
    layout.pixelUnits = -1;
    layout.keyCount = 0;
    LogCapture log;
    EXPECT_FALSE(layout.checkCommon());
    EXPECT_EQ(log.lines(), (Lines{"VX_Layout: invalid value for type", "VX_Layout: invalid value for alpha",
                                  "VX_Layout: invalid value for modes", "VX_Layout: invalid value for bwid",
                                  "VX_Layout: invalid value for bhei", "VX_Layout: invalid value for pixs",
                                  "VX_Layout: keys count not specified"}));
    log.clear();
    layout.type = 1;
    layout.charBytes = 2;
    layout.modes = 2;
    layout.keyWidth = 0;
    layout.keyHeight = 0;
    layout.pixelUnits = 0;
    layout.keyCount = VX_Layout::kMaxKeys;
    EXPECT_TRUE(layout.checkCommon());
    layout.keyCount = -3;
    EXPECT_FALSE(layout.checkCommon());
    EXPECT_EQ(log.lines(), Lines{"VX_Layout: invalid value for keys (at most 1024)"});
}

TEST_F(CommonTest, NumberWithValueEndsCommonAfterCreatingKeys)
{
    LogCapture log;
    EXPECT_FALSE(loadFile("[Common]\nkeys 2 number 1\n"));
    EXPECT_EQ(log.lines(), Lines{"VX_Layout: section expected (lay.cfg, 2)"});
    EXPECT_TRUE(layout.numberLayout);
    EXPECT_EQ(layout.keyCount, 2);
    EXPECT_NE(layout.keys, nullptr);
}

TEST_F(CommonTest, RefusedKeyCountCreatesNoArray)
{
    LogCapture log;
    EXPECT_FALSE(loadFile("[Common]\nkeys 1025\n"));
    EXPECT_EQ(layout.keys, nullptr);
    EXPECT_EQ(log.lines(), Lines{"VX_Layout: invalid value for keys (at most 1024)"});
}

TEST_F(CommonTest, NameTooLongForItsFileNamesIsRefused)
{
    // A name that "<name>_bg.gif" would not fit beside is never cut short.
    std::string name(VX_Layout::kFileNameSize - 7, 'n');
    LogCapture log;
    EXPECT_FALSE(layout.load(name.c_str()));
    EXPECT_EQ(log.lines(), Lines{"VX_Layout: name too long for a file name (" + name + ")"});
    EXPECT_STREQ(layout.displayName(), name.c_str());
    // One shorter passes the loader; the search refuses its longer path.
    log.clear();
    name.pop_back();
    VX_Layout fits(&engine);
    EXPECT_FALSE(fits.load(name.c_str()));
    EXPECT_EQ(log.lines(),
              (Lines{"VX_Engine: path too long for '" + name + ".cfg' in '" + dir.path() + "'",
                     "VX_Engine: no '" + name + ".cfg' in ( " + dir.path() + " )"}));
}

// The token helpers every section reader is built from, seen through the
// sections that use them: what each accepts, its message with the position
// of the token it refused, and no message of its own when the reader or the
// tokenizer below it has written one.
TEST_F(CommonTest, TokenHelpersAcceptTheirKindAndNameWhereTheyRefuse)
{
    const struct {
        const char *what;
        std::string file;
        Lines messages;
    } cases[] = {
        {"a number; '(' is a word where a number is due",
         "[Common]\nkeys 12 bwid 2147483647 bhei (\n",
         {"VX_Layout: number expected (lay.cfg, 2)"}},
        {"a number too large has only the tokenizer's message", "[Common]\n\nkeys 2147483648\n",
         {"VX_Parser: read number failed (lay.cfg, 3)"}},
        {"'(' due, ')' found", "[Common]\nkeys 1\n[Geometry]\n) 1 2\n",
         {"VX_Layout: '(' expected (lay.cfg, 4)"}},
        {"')' due, '(' found", "[Common]\nkeys 1\n[Geometry]\n(1 2 3 4 (\n",
         {"VX_Layout: ')' expected (lay.cfg, 4)"}},
        {"')' due, a number found", "[Common]\nkeys 1\n[Geometry]\n(1 2 3 4 5)\n",
         {"VX_Layout: ')' expected (lay.cfg, 4)"}},
        {"')' due at the end of the file", "[Common]\nkeys 1 mode 2\n[Layout]\nalpha\n"
                                           "[Strings]\n( a A\n# end\n",
         {"VX_Layout: read 1 entries from [Layout] (lay)", "VX_Layout: ')' expected (lay.cfg, 7)"}},
        {"digits and parentheses are words where a string is due",
         "[Common]\nkeys 2\n[Layout]\nspace 123\n",
         {"VX_Layout: unrecognized key type '123' (lay.cfg, 4)"}},
        {"a parenthesised word is one word", "[Common]\nkeys 1\n[Layout]\n(x)\n",
         {"VX_Layout: unrecognized key type '(x)' (lay.cfg, 4)"}},
        {"a section header where a string is due", "[Common]\nkeys 2\n[Layout]\nspace\n[Sec]\n",
         {"VX_Layout: string expected (lay.cfg, 5)"}},
        {"the end of the file names its last line", "[Common]\nkeys\n\n# trailing comment\n   \n",
         {"VX_Layout: number expected (lay.cfg, 5)"}},
        {"a string due at the end", "[Common]\nkeys 1\n[Layout]\n\n# c\n",
         {"VX_Layout: string expected (lay.cfg, 5)"}},
        {"'(' due at the end", "[Common]\nkeys 1\n[Geometry]\n# c\n",
         {"VX_Layout: '(' expected (lay.cfg, 4)"}},
        {"a tokenizer failure has no helper message", "[Common]\nkeys 1\n[Layout]\n[abc\n",
         {"VX_Parser: ']' expected (lay.cfg, 4)"}},
        {"a reader failure has no helper message", "[Common]\nkeys\n# c\n" + std::string(255, 'z'),
         {"VX_Input: 'lay.cfg': line 4 too long"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << "\n--- lay.cfg ---\n" << c.file);
        VX_Layout fresh(&engine);
        dir.write("lay.cfg", c.file);
        LogCapture log;
        EXPECT_FALSE(fresh.load("lay"));
        EXPECT_EQ(log.lines(), c.messages);
    }
}

// The numbers read before a refused one are kept in the record.
TEST_F(CommonTest, NumbersBeforeARefusedOneAreStored)
{
    LogCapture log;
    EXPECT_FALSE(loadFile("[Common]\nkeys 12 bwid 2147483647 bhei (\n"));
    EXPECT_EQ(layout.keyCount, 12);
    EXPECT_EQ(layout.keyWidth, 2147483647);
    EXPECT_EQ(layout.keyHeight, 0);
}
