// [Board] parameters and the end-of-section colour fill rule; [Pixs] items,
// marks, mode separators, offsets and the fallbacks between slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"
#include "image/VX_Image.h"
#include "tests/LayoutFileTest.h"
#include "tests/TestSupport.h"

namespace {

using BoardPixsTest = LayoutFileTest;

// Root file name of a slot's picture, or "-" when the slot is empty.
std::string slotName(const VX_Image *image) { return image ? image->rootName() : "-"; }

// --- [Board] ---

TEST_F(BoardPixsTest, NoBoardSectionKeepsDefaults)
{
    dir.writeGif("bg.gif", 4, 4, 0x00ff00);
    dir.write("load.cfg", "kb\n");
    dir.write("kb.cfg", "[Common]\nkeys 1\n");
    ASSERT_TRUE(engine.load()) << log.text();
    const VX_Layout &kb = *engine.layouts[0][0];
    EXPECT_EQ(kb.width, 240);
    EXPECT_EQ(kb.height, 128);
    EXPECT_EQ(kb.red + kb.green + kb.blue, 0);
    EXPECT_EQ(kb.fillMethod, VX_FILL_COLOR);
    EXPECT_TRUE(kb.colorFill);
    EXPECT_EQ(kb.background, nullptr);
}

TEST_F(BoardPixsTest, SizeAndColour)
{
    ASSERT_TRUE(loadLayout("[Board]\nwid 300 hei\n90\ncolor (255 0 17)\ncolor ( 1\n2 3 )\n"));
    EXPECT_EQ(layout->width, 300);
    EXPECT_EQ(layout->height, 90);
    EXPECT_EQ(layout->red, 1);
    EXPECT_EQ(layout->green, 2);
    EXPECT_EQ(layout->blue, 3);
    ASSERT_TRUE(loadLayout("[Board]\ncolor (255 0 17)\n"));
    EXPECT_EQ(layout->red, 255);
    EXPECT_EQ(layout->blue, 17);
}

TEST_F(BoardPixsTest, PixmapDefaultOnlyAfterFillPixmap)
{
    dir.writeGif("bg.gif", 4, 4, 0x00ff00);
    dir.writeGif("kb_bg.gif", 4, 4, 0x0000ff);
    ASSERT_NE(engine.getBoardPicture("bg.gif"), nullptr);

    ASSERT_TRUE(loadLayout("[Board]\nfill pixmap\npixmap default\n"));
    EXPECT_EQ(slotName(layout->background), "bg.gif");

    // Read and ignored; the loader then gives the layout's own background.
    ASSERT_TRUE(loadLayout("[Board]\npixmap default\nfill pixmap\n"));
    EXPECT_EQ(slotName(layout->background), "kb_bg.gif");

    // A later fill method does not take the background away.
    ASSERT_TRUE(loadLayout("[Board]\nfill pixmap pixmap default fill color\n"));
    EXPECT_EQ(slotName(layout->background), "bg.gif");
    EXPECT_EQ(layout->fillMethod, VX_FILL_COLOR);
}

TEST_F(BoardPixsTest, TranspCountsOnlyForPixmapFill)
{
    struct Case {
        const char *board;
        int32_t fill;
        bool colorFill;
    } cases[] = {
        {"fill color transp", VX_FILL_COLOR, true},
        {"transp fill color", VX_FILL_COLOR, true},
        {"fill none", VX_FILL_NONE, false},
        {"fill none transp", VX_FILL_NONE, false},
        {"fill pixmap", VX_FILL_PIXMAP, true},
        {"fill pixmap transp", VX_FILL_PIXMAP, false},
        {"transp fill pixmap", VX_FILL_PIXMAP, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.board);
        ASSERT_TRUE(loadLayout(std::string("[Board]\n") + c.board + "\n")) << log.text();
        EXPECT_EQ(layout->fillMethod, c.fill);
        EXPECT_EQ(layout->colorFill, c.colorFill);
    }
}

TEST_F(BoardPixsTest, UnknownFillMethodFallsBackToColour)
{
    ASSERT_TRUE(loadLayout("[Board]\nfill none\n\nfill stripes transp\n"));
    EXPECT_TRUE(logged("VX_Layout: unknown fill method 'stripes', board fill method will be "
                       "'color' (kb.cfg, 4)"))
        << log.text();
    EXPECT_EQ(layout->fillMethod, VX_FILL_COLOR);
    EXPECT_TRUE(layout->colorFill);
}

// --- [Pixs] ---

// One key at (20, 10), 20 x 10, with the [Pixs] body `entry`.
std::string pixsFile(const char *common, const std::string &entry)
{
    return std::string("[Common]\nkeys 1 bwid 20 bhei 10 ") + common +
           "\n[Geometry]\n(20 10)\n[Pixs]\n" + entry + "\n";
}

TEST_F(BoardPixsTest, OffsetsInKeyUnits)
{
    dir.writeGif("kb.gif", 100, 40, 0xff0000);
    ASSERT_TRUE(loadLayout(pixsFile("pixs 0", "((0 0)(1 2))"))) << log.text();
    const VX_Key &key = layout->keys[0];
    ASSERT_NE(key.pix[0][0], nullptr);
    ASSERT_NE(key.pix[0][1], nullptr);
    EXPECT_EQ(slotName(key.pix[0][0]), "kb.gif");
    EXPECT_EQ(key.pix[0][0]->x, 0);
    EXPECT_EQ(key.pix[0][0]->y, 0);
    EXPECT_EQ(key.pix[0][1]->x, 20);
    EXPECT_EQ(key.pix[0][1]->y, 20);
    EXPECT_EQ(key.pix[0][1]->width, 20);
    EXPECT_EQ(key.pix[0][1]->height, 10);
    EXPECT_FALSE(key.pixInPlace);
    EXPECT_EQ(key.pix[1][0], nullptr);
    EXPECT_TRUE(logged("VX_Layout: read 1 entries from [Pixs] (kb)"));
}

TEST_F(BoardPixsTest, OffsetsInPixels)
{
    dir.writeGif("kb.gif", 100, 40, 0xff0000);
    dir.writeGif("other.gif", 100, 40, 0x00ff00);
    ASSERT_TRUE(loadLayout(pixsFile("", "( (5 7) ( 30\n2 other.gif ) )"))) << log.text();
    const VX_Key &key = layout->keys[0];
    ASSERT_NE(key.pix[0][0], nullptr);
    ASSERT_NE(key.pix[0][1], nullptr);
    EXPECT_EQ(slotName(key.pix[0][0]), "kb.gif");
    EXPECT_EQ(key.pix[0][0]->x, 5);
    EXPECT_EQ(key.pix[0][0]->y, 7);
    EXPECT_EQ(slotName(key.pix[0][1]), "other.gif");
    EXPECT_EQ(key.pix[0][1]->x, 30);
    EXPECT_EQ(key.pix[0][1]->y, 2);
}

TEST_F(BoardPixsTest, OnePictureFillsAllSlotsOfTwoModes)
{
    dir.writeGif("pic.gif", 100, 40, 0x0000ff);
    ASSERT_TRUE(loadLayout(pixsFile("mode 2", "( (pic.gif ) )"))) << log.text();
    const VX_Key &key = layout->keys[0];
    ASSERT_NE(key.pix[0][0], nullptr);
    EXPECT_EQ(key.pix[0][0]->x, 20);
    EXPECT_EQ(key.pix[0][0]->y, 10);
    EXPECT_EQ(key.pix[0][1], key.pix[0][0]);
    EXPECT_EQ(key.pix[1][0], key.pix[0][0]);
    EXPECT_EQ(key.pix[1][1], key.pix[0][0]);
    EXPECT_TRUE(key.pixInPlace);
}

TEST_F(BoardPixsTest, SeparatorThenCloseCompletesOneModeEntry)
{
    dir.writeGif("a.gif", 100, 40, 0xff0000);
    dir.writeGif("b.gif", 100, 40, 0x00ff00);
    ASSERT_TRUE(loadLayout("[Common]\nkeys 2 bwid 20 bhei 10\n[Geometry]\n(0 0) (20 0)\n"
                           "[Pixs]\n( (a.gif ) | )\n( (b.gif ) )\n"))
        << log.text();
    EXPECT_EQ(slotName(layout->keys[0].pix[0][0]), "a.gif");
    EXPECT_EQ(slotName(layout->keys[1].pix[0][0]), "b.gif");
    EXPECT_EQ(layout->keys[1].pix[0][0]->x, 20);
}

TEST_F(BoardPixsTest, MissingPictureLeavesSlotEmpty)
{
    dir.writeGif("a.gif", 100, 40, 0xff0000);
    ASSERT_TRUE(loadLayout(pixsFile("", "( (a.gif ) (nofile.gif ) )"))) << log.text();
    EXPECT_TRUE(logged("VX_Engine: no 'nofile.gif' in ( " + dir.path() + " )")) << log.text();
    // The missing pressed picture counts as not given: it falls back.
    EXPECT_EQ(slotName(layout->keys[0].pix[0][0]), "a.gif");
    EXPECT_EQ(slotName(layout->keys[0].pix[0][1]), "a.gif");

    ASSERT_TRUE(loadLayout(pixsFile("", "( (nofile.gif ) )"))) << log.text();
    EXPECT_EQ(layout->keys[0].pix[0][0], nullptr);
    EXPECT_EQ(layout->keys[0].pix[0][1], nullptr);
}

// Every slot after the fallbacks, for two modes: released and pressed of
// mode 0, then of mode 1; '-' is an empty slot, a letter the file <letter>.gif.
TEST_F(BoardPixsTest, FallbacksSlotBySlot)
{
    for (const char *name : {"a.gif", "b.gif", "c.gif", "d.gif"})
        dir.writeGif(name, 100, 40, 0x808080);
    struct Case {
        const char *entry;
        const char *slots;
    } cases[] = {
        {"( (a.gif ) )", "aaaa"},
        {"( (a.gif ) (b.gif ) )", "abaa"},
        {"( (a.gif ) | (c.gif ) )", "aacc"},
        {"( (a.gif ) (b.gif ) | (c.gif ) (d.gif ) )", "abcd"},
        {"( (a.gif ) | | )", "aaaa"},
        {"( x )", "----"},
        {"( xx )", "----"},
        {"( x (b.gif ) )", "-b--"},
        {"( (a.gif ) x )", "a-aa"},
        {"( (a.gif ) x | (c.gif ) )", "a-cc"},
        {"( (a.gif ) | x )", "aa--"},
        {"( (a.gif ) | x (d.gif ) )", "aa-d"},
        {"( (a.gif ) | (c.gif ) x )", "aac-"},
        {"( | (c.gif ) )", "--cc"},
        {"( x | )", "----"},
        {"( )", "----"},
        // A third item of a mode goes to the released slot again.
        {"( (a.gif ) (b.gif ) (c.gif ) )", "cbcc"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        ASSERT_TRUE(loadLayout(pixsFile("mode 2", c.entry))) << log.text();
        const VX_Key &key = layout->keys[0];
        std::string got;
        for (int m = 0; m < 2; ++m)
            for (int s = 0; s < 2; ++s)
                got += key.pix[m][s] ? key.pix[m][s]->rootName()[0] : '-';
        EXPECT_EQ(got, c.slots);
    }
}

// --- Failures ---

TEST_F(BoardPixsTest, BoardFailures)
{
    struct Case {
        const char *board;  // starts on line 2
        const char *message;
    } cases[] = {
        {"color (256 0 0)", "VX_Layout: colour component out of range 0..255 (kb.cfg, 2)"},
        {"color (0 0\n1000 )", "VX_Layout: colour component out of range 0..255 (kb.cfg, 3)"},
        {"color (0 0)", "VX_Layout: number expected (kb.cfg, 2)"},
        {"color 1 2 3", "VX_Layout: '(' expected (kb.cfg, 2)"},
        {"wid x", "VX_Layout: number expected (kb.cfg, 2)"},
        {"hei 8192\nwid 8193", "VX_Layout: board size out of range, at most 8192 pixels (kb.cfg, 3)"},
        {"wid 100 hei 16777216",
         "VX_Layout: board size out of range, at most 8192 pixels (kb.cfg, 2)"},
        {"border 3", "VX_Layout: unknown parameter 'border' in [Board] section (kb.cfg, 2)"},
        {"Fill color", "VX_Layout: unknown parameter 'Fill' in [Board] section (kb.cfg, 2)"},
        // A number where a keyword is due ends the section; the loader then
        // wants a section header.
        {"wid 100\n5", "VX_Layout: section expected (kb.cfg, 3)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.board);
        EXPECT_FALSE(loadLayout(std::string("[Board]\n") + c.board + "\n"));
        EXPECT_TRUE(logged(c.message)) << log.text();
    }
    EXPECT_EQ(layout->width, 100);  // values read before the failure stay
}

TEST_F(BoardPixsTest, RefusedColourLeavesComponentUnchanged)
{
    EXPECT_FALSE(loadLayout("[Board]\ncolor (7 300 9)\n"));
    EXPECT_EQ(layout->red, 7);
    EXPECT_EQ(layout->green, 0);
}

TEST_F(BoardPixsTest, PixsFailures)
{
    dir.writeGif("a.gif", 100, 40, 0xff0000);
    struct Case {
        const char *common;
        const char *entry;  // starts on line 6
        const char *message;
    } cases[] = {
        {"", "( o )", "VX_Layout: 'x' or '|' or '(' expected (kb.cfg, 6)"},
        {"", "( 5 )", "VX_Layout: 'x' or '|' or '(' expected (kb.cfg, 6)"},
        // "a.gif)" is a name: the entry's ')' closes the item, the entry
        // then runs into the end of the file.
        {"", "( (a.gif) )", "VX_Layout: 'x' or '|' or '(' expected (kb.cfg, 6)"},
        {"", "( (1 2 ( ) )", "VX_Layout: another pixmap name or ')' expected (kb.cfg, 6)"},
        {"", "( (1 ) )", "VX_Layout: number expected (kb.cfg, 6)"},
        {"", "x )", "VX_Layout: '(' expected (kb.cfg, 6)"},
        // The '|' ends the only mode, so the entry must close there.
        {"", "( (a.gif ) | (a.gif ) )", "VX_Layout: ')' expected (kb.cfg, 6)"},
        {"mode 2", "( x | x | x )", "VX_Layout: ')' expected (kb.cfg, 6)"},
        {"", "( (a.gif )\n[Board]", "VX_Layout: 'x' or '|' or '(' expected (kb.cfg, 7)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_FALSE(loadLayout(pixsFile(c.common, c.entry)));
        EXPECT_TRUE(logged(c.message)) << log.text();
        EXPECT_EQ(layout->keys[0].pix[0][0], nullptr);
    }
}

// The default picture file is "<name>.gif", formed in a fixed buffer: a name
// that leaves no room for it is refused, not cut.
TEST_F(BoardPixsTest, PictureFileNameTooLongIsRefused)
{
    dir.write("pixs.cfg", "[Pixs]\n( () )\n");
    VX_Layout kb(&engine);
    kb.keyCount = 1;
    kb.keys.reset(new VX_Key[1]);
    kb.keys[0].width = 20;
    kb.keys[0].height = 10;
    const std::string longName(VX_Layout::kFileNameSize - 4, 'n');  // + ".gif" does not fit
    kb.name.reset(new char[longName.size() + 1]);
    std::strcpy(kb.name.get(), longName.c_str());
    EXPECT_FALSE(VX_LayoutLoader(kb).readFile(dir.file("pixs.cfg").c_str()));
    EXPECT_TRUE(logged("VX_Layout: picture file name too long, at most 263 bytes (pixs.cfg, 2)"))
        << log.text();
    EXPECT_EQ(kb.keys[0].pix[0][0], nullptr);
}

}  // namespace
