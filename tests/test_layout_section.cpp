// [Layout] section: key types by keyword, links to aux layouts by name, and
// the number of words against the number of keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
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

TEST_F(LayoutSectionTest, AuxLayoutsLinkToEachOtherWhatEverTheirOrder)
{
    dir.write("load.cfg", "num sym base\n");
    dir.write("base.cfg", "[Common]\nkeys 2\n[Layout]\nnum sym\n");
    dir.write("num.cfg", "[Common]\ntype 1 keys 2\n[Layout]\nlabel sym\n");
    dir.write("sym.cfg", "[Common]\ntype 1 keys 2\n[Layout]\nnum label\n");
    VX_Engine fresh(engine.searchDirs);
    ASSERT_TRUE(fresh.load()) << log.text();
    EXPECT_EQ(fresh.layoutCount[1], 2u);
    const VX_Layout *num = fresh.layoutNamed("num");
    const VX_Layout *sym = fresh.layoutNamed("sym");
    ASSERT_TRUE(num && sym);
    EXPECT_EQ(num->keys[1].type, VX_KEY_LINK);
    EXPECT_EQ(num->keys[1].linkSlot, 1);
    EXPECT_EQ(sym->keys[0].type, VX_KEY_LINK);
    EXPECT_EQ(sym->keys[0].linkSlot, 0);
    EXPECT_EQ(fresh.layoutNamed("base")->keys[1].linkSlot, 1);
    EXPECT_FALSE(logged("VX_Engine: layout")) << log.text();
}

TEST_F(LayoutSectionTest, ForwardLinkOfALayoutThatFailsIsForgotten)
{
    // kb records a forward link, then fails in [Geometry]: the load goes on
    // and nothing points into the dropped layout.
    dir.write("load.cfg", "base kb sym\n");
    dir.write("base.cfg", "[Common]\nkeys 1\n");
    dir.write("kb.cfg", "[Common]\ntype 1 keys 1\n[Layout]\nsym\n[Geometry]\n( x\n");
    dir.write("sym.cfg", auxFile());
    VX_Engine fresh(engine.searchDirs);
    ASSERT_TRUE(fresh.load());
    EXPECT_TRUE(logged("VX_Engine: loading layout 'kb' failed, remove it")) << log.text();
    EXPECT_EQ(fresh.layoutCount[1], 1u);
    EXPECT_FALSE(logged("VX_Engine: layout 'kb'"));
}

// --- Failures ---

TEST_F(LayoutSectionTest, LinkToANameTheListDoesNotHoldLaterFailsTheLayout)
{
    // "sym" is listed before kb but fails to load; "num" is not listed.
    struct Case {
        const char *word;
    } cases[] = {{"sym"}, {"num"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.word);
        log.clear();
        dir.write("load.cfg", "base sym kb\n");
        dir.write("base.cfg", "[Common]\nkeys 1\n");
        dir.write("sym.cfg", "[Common]\ntype 1 keys 0\n");
        dir.write("num.cfg", auxFile());
        dir.write("kb.cfg", std::string("[Common]\ntype 1 keys 1\n[Layout]\n\n") + c.word + "\n");
        VX_Engine fresh(engine.searchDirs);
        ASSERT_TRUE(fresh.load());
        EXPECT_TRUE(logged(std::string("VX_Layout: unrecognized key type '") + c.word +
                           "' (kb.cfg, 5)")) << log.text();
        EXPECT_TRUE(logged("VX_Engine: loading layout 'kb' failed, remove it"));
        EXPECT_EQ(fresh.layoutCount[1], 0u);
    }
}

TEST_F(LayoutSectionTest, ForwardLinkThatFindsNoAuxLayoutLeavesADeadKey)
{
    // "late" is listed after kb, but it is a basic layout, or it fails.
    const char *lateFiles[] = {"[Common]\nkeys 1\n", "[Common]\ntype 1 keys 0\n"};
    for (const char *late : lateFiles) {
        SCOPED_TRACE(late);
        log.clear();
        dir.write("load.cfg", "base kb late\n");
        dir.write("base.cfg", "[Common]\nkeys 1\n");
        dir.write("kb.cfg", "[Common]\ntype 1 keys 2\n[Layout]\nlabel late\n");
        dir.write("late.cfg", late);
        VX_Engine fresh(engine.searchDirs);
        ASSERT_TRUE(fresh.load());
        const VX_Layout *kb = fresh.layoutNamed("kb");
        ASSERT_NE(kb, nullptr);
        EXPECT_EQ(kb->keys[1].type, VX_KEY_UNTYPED);
        EXPECT_TRUE(logged("VX_Engine: layout 'kb': key 1 links to 'late', which is no loaded aux layout"))
            << log.text();
    }
}

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

}  // namespace
