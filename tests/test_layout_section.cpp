// [Layout] section: key types by keyword, links to aux layouts by name (a
// plain word for one already loaded, "@name" for one anywhere in the list),
// and the number of words against the number of keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Layout.h"
#include "tests/LayoutFileTest.h"
#include "tests/TestSupport.h"

namespace {

class LayoutSectionTest : public LayoutFileTest {
protected:
    // Puts a named aux layout into the next aux slot, as a load would.
    void placeAux(const char *name)
    {
        auto aux = std::make_unique<VX_Layout>(&engine);
        aux->type = VX_LAYOUT_AUX;
        aux->name.reset(new char[std::strlen(name) + 1]);
        std::strcpy(aux->name.get(), name);
        engine.layouts[1][engine.layoutCount[1]++] = std::move(aux);
    }
};

// A one-key aux layout file named `name`.
std::string auxFile() { return "[Common]\ntype 1 keys 1\n[Layout]\nlabel\n"; }

TEST_F(LayoutSectionTest, EveryKeywordGivesItsCode)
{
    ASSERT_TRUE(loadLayout("[Common]\nkeys 9\n[Layout]\n"
                           "label alpha shift\n"
                           "# comment between words\n"
                           "\n"
                           "switch\ttab caps\n"
                           "bks ent space\n"));
    const int32_t expected[] = {VX_KEY_LABEL, VX_KEY_ALPHA, VX_KEY_SHIFT,
                                VX_KEY_SWITCH, VX_KEY_TAB,   VX_KEY_CAPS,
                                VX_KEY_BKS,   VX_KEY_ENT,   VX_KEY_SPACE};
    const int32_t codes[] = {1, 2, 3, 4, 6, 5, 7, 9, 8};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE("key " + std::to_string(i));
        EXPECT_EQ(layout->keys[i].type, expected[i]);
        EXPECT_EQ(layout->keys[i].type, codes[i]);
    }
    EXPECT_TRUE(logged("VX_Layout: read 9 entries from [Layout] (kb)"));
}

TEST_F(LayoutSectionTest, KeywordWinsOverAuxLayoutOfSameName)
{
    placeAux("label");
    ASSERT_TRUE(loadLayout("[Common]\nkeys 1\n[Layout]\nlabel\n"));
    EXPECT_EQ(layout->keys[0].type, VX_KEY_LABEL);
}

// Near-misses of keywords are no keywords: they are looked up as aux layout
// names, so they link when such a layout is placed and fail otherwise.
TEST_F(LayoutSectionTest, NearMissWordsAreLayoutNames)
{
    const char *words[] = {"Label", "SPACE", "tab,", "123"};
    for (const char *word : words) {
        SCOPED_TRACE(word);
        const std::string file = std::string("[Common]\nkeys 2\n[Layout]\nalpha ") + word + "\n";

        ASSERT_FALSE(loadLayout(file));
        EXPECT_TRUE(logged(std::string("VX_Layout: unrecognized key type '") + word +
                           "' (kb.cfg, 4)"))
            << log.text();
        log.clear();

        placeAux("other");
        placeAux(word);
        ASSERT_TRUE(loadLayout(file)) << log.text();
        EXPECT_EQ(layout->keys[1].type, VX_KEY_LINK);
        EXPECT_EQ(layout->keys[1].linkSlot, 1);
        engine.layouts[1][0].reset();
        engine.layouts[1][1].reset();
        engine.layoutCount[1] = 0;
        log.clear();
    }
}

TEST_F(LayoutSectionTest, LinkToAuxLayoutNamedEarlier)
{
    dir.write("load.cfg", "first sym kb\n");
    dir.write("first.cfg", auxFile());
    dir.write("sym.cfg", auxFile());
    dir.write("kb.cfg", "[Common]\nkeys 2\n[Layout]\nsym alpha\n");
    ASSERT_TRUE(engine.load()) << log.text();
    ASSERT_EQ(engine.layoutCount[0], 1u);
    const VX_Layout &kb = *engine.layouts[0][0];
    EXPECT_EQ(kb.keys[0].type, VX_KEY_LINK);
    EXPECT_EQ(kb.keys[0].linkSlot, 1);
    EXPECT_EQ(kb.keys[1].type, VX_KEY_ALPHA);
}

TEST_F(LayoutSectionTest, TwoAuxLayoutsOfOneNameLinkToTheLowerSlot)
{
    dir.write("load.cfg", "first dup dup kb\n");
    dir.write("first.cfg", auxFile());
    dir.write("dup.cfg", auxFile());
    dir.write("kb.cfg", "[Common]\nkeys 1\n[Layout]\ndup\n");
    ASSERT_TRUE(engine.load()) << log.text();
    ASSERT_EQ(engine.layoutCount[1], 3u);
    EXPECT_EQ(engine.layouts[0][0]->keys[0].type, VX_KEY_LINK);
    EXPECT_EQ(engine.layouts[0][0]->keys[0].linkSlot, 1);
}

TEST_F(LayoutSectionTest, EmptySectionWithoutKeysReadsNothing)
{
    ASSERT_TRUE(loadLayout("[Layout]\n[Board]\nwid 100\n"));
    EXPECT_TRUE(logged("VX_Layout: read 0 entries from [Layout] (kb)"));
    EXPECT_EQ(layout->width, 100);
}

// A set of layout files: load.cfg and "<name>.cfg" for each entry.
struct File {
    const char *name;
    const char *text;
};

TEST_F(LayoutSectionTest, PlainWordLinksOnlyAnAuxLayoutAlreadyLoaded)
{
    // b names x, an aux layout listed after it: b fails, and with it the
    // only basic layout.
    dir.writeGif("bg.gif", 8, 8, 0x808080);
    dir.write("load.cfg", "b x\n");
    dir.write("x.cfg", "[Common]\ntype 1 keys 1\n");
    dir.write("b.cfg", "[Common]\nkeys 2\n[Layout]\nalpha x\n");
    VX_Engine fresh(engine.searchDirs);
    EXPECT_FALSE(fresh.load());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "VX_Layout: unrecognized key type 'x' (b.cfg, 4)",
                               "VX_Engine: loading layout 'b' failed, remove it",
                               "VX_Engine: it seems to be no basic layout available",
                           }));
}

TEST_F(LayoutSectionTest, PlainWordThatNamesNoEarlierAuxLayoutFailsTheLayout)
{
    const char *const kBroken = "[Common]\ntype 1 keys 0\n";
    struct Case {
        const char *why;
        const char *list;
        const char *word;  // kb's one [Layout] word
        File other;        // the layout the word names
    } cases[] = {
        {"a basic layout", "other kb", "other", {"other", "[Common]\nkeys 1\n"}},
        {"the layout itself", "other kb", "kb", {"other", "[Common]\ntype 1 keys 1\n"}},
        {"an aux layout listed later", "kb other", "other", {"other", "[Common]\ntype 1 keys 1\n"}},
        {"an aux layout that failed", "other kb", "other", {"other", kBroken}},
        {"no layout at all", "other kb", "nothing", {"other", "[Common]\ntype 1 keys 1\n"}},
        {"the named form without a name", "other kb", "@", {"other", "[Common]\ntype 1 keys 1\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        log.clear();
        dir.write("load.cfg", std::string("base ") + c.list + "\n");
        dir.write("base.cfg", "[Common]\nkeys 1\n");
        dir.write(std::string(c.other.name) + ".cfg", c.other.text);
        dir.write("kb.cfg", std::string("[Common]\ntype 1 keys 1\n[Layout]\n") + c.word + "\n");
        VX_Engine fresh(engine.searchDirs);
        ASSERT_TRUE(fresh.load());
        const auto lines = log.lines();
        const std::string unrecognized =
            std::string("VX_Layout: unrecognized key type '") + c.word + "' (kb.cfg, 4)";
        const auto at = std::find(lines.begin(), lines.end(), unrecognized);
        ASSERT_NE(at, lines.end()) << log.text();
        ASSERT_NE(at + 1, lines.end());
        EXPECT_EQ(*(at + 1), "VX_Engine: loading layout 'kb' failed, remove it");
        EXPECT_EQ(fresh.layoutNamed("kb"), nullptr);
    }
}

TEST_F(LayoutSectionTest, AnEarlierAuxLayoutOfTheExactNameWinsOverTheNamedForm)
{
    // A layout may be called "@sym": naming it links to it, as it always did,
    // even with an aux layout "sym" in the list.
    dir.write("load.cfg", "@sym sym base\n");
    dir.write("@sym.cfg", auxFile());
    dir.write("sym.cfg", auxFile());
    dir.write("base.cfg", "[Common]\nkeys 2\n[Layout]\n@sym @@sym\n");
    VX_Engine fresh(engine.searchDirs);
    ASSERT_TRUE(fresh.load()) << log.text();
    const VX_Layout *base = fresh.layoutNamed("base");
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->keys[0].type, VX_KEY_LINK);
    EXPECT_EQ(base->keys[0].linkSlot, 0);  // "@sym", not "sym"
    EXPECT_EQ(base->keys[1].type, VX_KEY_LINK);
    EXPECT_EQ(base->keys[1].linkSlot, 0);  // "@@sym" names "@sym"
}

TEST_F(LayoutSectionTest, NamedLinksReachAuxLayoutsListedBeforeOrAfter)
{
    dir.writeGif("bg.gif", 8, 8, 0x808080);
    dir.write("load.cfg", "num sym base\n");
    dir.write("base.cfg", "[Common]\nkeys 2\n[Layout]\n@num @sym\n");
    dir.write("num.cfg", "[Common]\ntype 1 keys 2\n[Layout]\nlabel @sym\n");
    dir.write("sym.cfg", "[Common]\ntype 1 keys 2\n[Layout]\n@num label\n");
    VX_Engine fresh(engine.searchDirs);
    const uint64_t diagnostics = vxLog.diagnostics;
    ASSERT_TRUE(fresh.load()) << log.text();
    EXPECT_EQ(vxLog.diagnostics, diagnostics) << log.text();
    struct Case {
        const char *layout;
        int32_t key;
        int32_t slot;
    } cases[] = {{"num", 1, 1}, {"sym", 0, 0}, {"base", 0, 0}, {"base", 1, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " key " + std::to_string(c.key));
        const VX_Layout *layout = fresh.layoutNamed(c.layout);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(layout->keys[c.key].type, VX_KEY_LINK);
        EXPECT_EQ(layout->keys[c.key].linkSlot, c.slot);
        EXPECT_TRUE(layout->namedLinks.empty());
    }
}

TEST_F(LayoutSectionTest, NamedLinkWithoutItsAuxLayoutIsADeadKeyReportedOnce)
{
    struct Case {
        const char *why;
        const char *list;
        const char *late;  // late.cfg
    } cases[] = {
        {"a basic layout", "base kb late", "[Common]\nkeys 1\n"},
        {"an aux layout that failed", "base late kb", "[Common]\ntype 1 keys 0\n"},
        {"a name the list does not hold", "base kb", "[Common]\ntype 1 keys 1\n"},
        {"an aux layout with no slot left", "base x1 x2 x3 x4 kb late", "[Common]\ntype 1 keys 1\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        log.clear();
        dir.write("load.cfg", std::string(c.list) + "\n");
        dir.write("base.cfg", "[Common]\nkeys 1\n");
        for (const char *aux : {"x1", "x2", "x3", "x4"})
            dir.write(std::string(aux) + ".cfg", auxFile());
        dir.write("kb.cfg", "[Common]\nkeys 2\n[Layout]\nlabel @late\n");
        dir.write("late.cfg", c.late);
        VX_Engine fresh(engine.searchDirs);
        ASSERT_TRUE(fresh.load());
        const VX_Layout *kb = fresh.layoutNamed("kb");
        ASSERT_NE(kb, nullptr) << log.text();
        EXPECT_EQ(kb->keys[1].type, VX_KEY_UNTYPED);
        const auto lines = log.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "VX_Engine: layout 'kb': key 1 links to 'late', which is no loaded aux layout"),
                  1)
            << log.text();
    }
}

TEST_F(LayoutSectionTest, NamedLinkGoesWithTheKeysItNamed)
{
    // Each kb records "@sym" for its last key, then replaces or retypes its
    // keys, or fails: nothing is settled into keys the link did not name.
    struct Case {
        const char *why;
        const char *kb;
        int32_t lastType;  // type of kb's last key; -1: kb is dropped
    } cases[] = {
        {"a second [Common] makes fewer keys",
         "[Common]\ntype 1 keys 20\n[Layout]\nlabel label label label label label label label "
         "label label label label label label label label label label label @sym\n"
         "[Common]\nkeys 1\n[Layout]\nspace\n[Geometry]\n(0 0 10 10)\n",
         VX_KEY_SPACE},
        {"a second [Layout] retypes the key",
         "[Common]\ntype 1 keys 2\n[Layout]\nlabel @sym\n[Layout]\nlabel alpha\n", VX_KEY_ALPHA},
        {"a second [Common] makes as many keys",
         "[Common]\ntype 1 keys 2\n[Layout]\nlabel @sym\n[Common]\n", VX_KEY_UNTYPED},
        {"the layout fails after the link",
         "[Common]\ntype 1 keys 2\n[Layout]\nlabel @sym\n[Geometry]\n( x\n", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        log.clear();
        dir.write("load.cfg", "base kb sym\n");
        dir.write("base.cfg", "[Common]\nkeys 1\n");
        dir.write("sym.cfg", auxFile());
        dir.write("kb.cfg", c.kb);
        VX_Engine fresh(engine.searchDirs);
        ASSERT_TRUE(fresh.load());
        EXPECT_FALSE(logged("VX_Engine: layout 'kb': key 19 links to 'sym', which is no loaded aux layout"));
        const VX_Layout *kb = fresh.layoutNamed("kb");
        if (c.lastType < 0) {
            EXPECT_EQ(kb, nullptr);
            continue;
        }
        ASSERT_NE(kb, nullptr) << log.text();
        EXPECT_EQ(kb->keys[kb->keyCount - 1].type, c.lastType);
    }
}

// --- Failures ---

TEST_F(LayoutSectionTest, FewerWordsThanKeys)
{
    struct Case {
        const char *after;   // what follows the two words
        const char *message;
    } cases[] = {
        {"[Geometry]\n", "VX_Layout: string expected (kb.cfg, 5)"},
        {"", "VX_Layout: string expected (kb.cfg, 4)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.after);
        log.clear();
        EXPECT_FALSE(loadLayout(std::string("[Common]\nkeys 3\n[Layout]\nalpha alpha\n") + c.after));
        EXPECT_TRUE(logged(c.message)) << log.text();
        EXPECT_FALSE(logged("VX_Layout: read 2 entries from [Layout] (kb)"));
    }
}

TEST_F(LayoutSectionTest, MoreWordsThanKeys)
{
    EXPECT_FALSE(loadLayout("[Common]\nkeys 2\n[Layout]\nalpha alpha\nbks\n"));
    EXPECT_TRUE(logged("VX_Layout: read 2 entries from [Layout] (kb)"));
    EXPECT_TRUE(logged("VX_Layout: section expected (kb.cfg, 5)")) << log.text();
}

// --- Named keys: "!name" by XKB keysym name ---

TEST_F(LayoutSectionTest, NamedKeysTakeTheirKeysymAndModifiersTheirBit)
{
    struct Case {
        const char *word;
        int32_t type;
        uint32_t keysym;
        uint32_t modifier;
    } cases[] = {
        {"!Left", VX_KEY_NAMED, 0xff51, 0},      {"!Escape", VX_KEY_NAMED, 0xff1b, 0},
        {"!Delete", VX_KEY_NAMED, 0xffff, 0},    {"!F5", VX_KEY_NAMED, 0xffc2, 0},
        {"!Prior", VX_KEY_NAMED, 0xff55, 0},     {"!Page_Down", VX_KEY_NAMED, 0xff56, 0},
        {"!a", VX_KEY_NAMED, 0x61, 0},           {"!A", VX_KEY_NAMED, 0x41, 0},  // exact case first
        {"!escape", VX_KEY_NAMED, 0xff1b, 0},    {"!f12", VX_KEY_NAMED, 0xffc9, 0},  // then any case
        {"!Tab", VX_KEY_NAMED, 0xff09, 0},       {"!Shift_L", VX_KEY_MODIFIER, 0xffe1, VX_MOD_SHIFT},
        {"!Control_L", VX_KEY_MODIFIER, 0xffe3, VX_MOD_CONTROL},
        {"!Control_R", VX_KEY_MODIFIER, 0xffe4, VX_MOD_CONTROL},
        {"!Alt_L", VX_KEY_MODIFIER, 0xffe9, VX_MOD_ALT},
        {"!Super_R", VX_KEY_MODIFIER, 0xffec, VX_MOD_SUPER},
        {"!Meta_L", VX_KEY_NAMED, 0xffe7, 0},  // no sticky modifier of the board
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        ASSERT_TRUE(loadLayout(std::string("[Common]\nkeys 2\n[Layout]\nalpha ") + c.word + "\n"))
            << log.text();
        EXPECT_EQ(layout->keys[1].type, c.type);
        EXPECT_EQ(layout->keys[1].keysym, c.keysym);
        EXPECT_EQ(layout->keys[1].modifier, c.modifier);
        EXPECT_EQ(layout->keys[0].keysym, 0u);
    }
}

TEST_F(LayoutSectionTest, UnknownKeyNamesFailLikeAnyWordThatIsNoKeyType)
{
    const char *words[] = {"!", "!Nope", "!NoSymbol", "!VoidSymbol", "!Left,", "!!Left", "!Left!"};
    for (const char *word : words) {
        SCOPED_TRACE(word);
        ASSERT_FALSE(loadLayout(std::string("[Common]\nkeys 2\n[Layout]\nalpha\n  ") + word + "\n"));
        EXPECT_EQ(log.lines(), (std::vector<std::string>{
                                   "VX_Layout: unrecognized key type '" + std::string(word) +
                                   "' (kb.cfg, 5)"}))
            << log.text();
    }
}

// The named form never changes what a file of the format means: a keyword
// is a keyword, and a word that names a placed aux layout links to it.
TEST_F(LayoutSectionTest, KeywordsAndPlacedAuxLayoutsWinOverKeyNames)
{
    placeAux("!Left");
    ASSERT_TRUE(loadLayout("[Common]\nkeys 3\n[Layout]\ntab !Tab !Left\n")) << log.text();
    EXPECT_EQ(layout->keys[0].type, VX_KEY_TAB);
    EXPECT_EQ(layout->keys[1].type, VX_KEY_NAMED);
    EXPECT_EQ(layout->keys[2].type, VX_KEY_LINK);
    EXPECT_EQ(layout->keys[2].linkSlot, 0);
    EXPECT_EQ(layout->keys[2].keysym, 0u);
}

TEST_F(LayoutSectionTest, ASecondLayoutSectionTypesNamedKeysAnew)
{
    ASSERT_TRUE(loadLayout("[Common]\nkeys 2\n[Layout]\n!Control_L !Up\n[Layout]\nalpha space\n"));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(layout->keys[i].keysym, 0u);
        EXPECT_EQ(layout->keys[i].modifier, 0u);
    }
    EXPECT_EQ(layout->keys[1].type, VX_KEY_SPACE);
}

}  // namespace
