// Broken picture files: each one gives the picture's message, and the layout
// that asked for it loads without it, with no crash and bounded memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include <QPixmap>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// A valid 2 x 2 GIF whose logical screen and first frame both claim
// `width` x `height`: the header promises far more pixels than follow.
std::string gifClaiming(int width, int height)
{
    GifPicture gif;
    gif.width = width;
    gif.height = height;
    return gif.bytes();
}

// Peak resident set of this process in KiB.
long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct BadPicture {
    const char *what;
    std::string bytes;  // content of the file named bad.gif
};

std::vector<BadPicture> badPictures()
{
    std::string good = gifClaiming(2, 2);
    return {
        {"empty file", ""},
        {"text file", "this is not a picture\n"},
        {"truncated after the header", good.substr(0, 13)},
        {"truncated inside the frame", good.substr(0, good.size() - 6)},
        {"huge screen and frame", gifClaiming(60000, 60000)},
    };
}

struct BadPictureTest : testing::Test {
    BadPictureTest() : engine({dir.path()}) { ensureApp(); }

    TempDir dir;
    VX_Engine engine;
};

}  // namespace

TEST(PictureSize, GoodPicturesLoadQuietly)
{
    ensureApp();
    TempDir dir;
    dir.write("ok.gif", gifClaiming(2, 2));
    dir.writeGif("big.gif", 640, 480, 0x112233);
    for (const char *name : {"ok.gif", "big.gif"}) {
        SCOPED_TRACE(name);
        VX_Image image;
        LogCapture log;
        EXPECT_TRUE(image.load(dir.file(name).c_str()));
        EXPECT_EQ(log.lines(), Lines{});
    }
}

TEST_F(BadPictureTest, KeyPictureIsLeftOutAndLayoutLoads)
{
    dir.writeGif("bg.gif", 8, 8, 0x000000);
    dir.writeGif("good.gif", 20, 10, 0x00ff00);
    dir.write("load.cfg", "kb\n");
    // Key 0 wants the broken picture, key 1 a good one.
    dir.write("kb.cfg",
              "[Common]\nkeys 2 bwid 10 bhei 10\n[Layout]\nspace bks\n"
              "[Geometry]\n(0 0) (10 0)\n[Pixs]\n( ( bad.gif ) ) ( ( 10 0 good.gif ) )\n");
    const long before = peakKiB();
    for (const BadPicture &bad : badPictures()) {
        SCOPED_TRACE(bad.what);
        dir.write("bad.gif", bad.bytes);
        VX_Engine fresh({dir.path()});
        LogCapture log;
        ASSERT_TRUE(fresh.load()) << log.text();
        EXPECT_EQ(log.lines(),
                  (Lines{"VX_Layout: read 2 entries from [Layout] (kb)",
                         "VX_Layout: read 2 entries from [Geometry] (kb)",
                         "VX_Image: can't create QPixmap('" + dir.file("bad.gif") + "')",
                         "VX_Layout: read 2 entries from [Pixs] (kb)",
                         "VX_Engine: load complete - basic: 1, aux: 0"}));
        const VX_Layout &kb = *fresh.layouts[0][0];
        EXPECT_EQ(kb.keys[0].pix[0][0], nullptr);
        EXPECT_EQ(kb.keys[0].pix[0][1], nullptr);
        ASSERT_NE(kb.keys[1].pix[0][0], nullptr);
        EXPECT_STREQ(kb.keys[1].pix[0][0]->rootName(), "good.gif");
        // The broken picture is not cached: nothing in the caches is null.
        EXPECT_EQ(fresh.keyPictures.find("bad.gif"), nullptr);
    }
    // The huge claims were refused before their pixels were allocated
    // (60000 x 60000 would be 13 GiB).
    EXPECT_LT(peakKiB() - before, 256L * 1024);
}

TEST_F(BadPictureTest, BackgroundIsLeftOutAndLayoutLoads)
{
    dir.write("load.cfg", "kb\n");
    dir.write("kb.cfg", "[Common]\nkeys 1\n[Board]\nfill pixmap pixmap bad.gif\n");
    for (const BadPicture &bad : badPictures()) {
        SCOPED_TRACE(bad.what);
        // Also the default background and the layout's own: all broken.
        dir.write("bad.gif", bad.bytes);
        dir.write("bg.gif", bad.bytes);
        dir.write("kb_bg.gif", bad.bytes);
        VX_Engine fresh({dir.path()});
        LogCapture log;
        ASSERT_TRUE(fresh.load()) << log.text();
        EXPECT_EQ(log.lines(),
                  (Lines{"VX_Image: can't create QPixmap('" + dir.file("bg.gif") + "')",
                         "VX_Image: can't create QPixmap('" + dir.file("bad.gif") + "')",
                         "VX_Image: can't create QPixmap('" + dir.file("kb_bg.gif") + "')",
                         "VX_Engine: load complete - basic: 1, aux: 0"}));
        EXPECT_EQ(fresh.layouts[0][0]->background, nullptr);
        EXPECT_EQ(fresh.boardPictures.first(), nullptr);
    }
}

TEST_F(BadPictureTest, HugeFrameInSmallScreenStaysSmall)
{
    // The frame claims 60000 x 60000 inside a 2 x 2 screen: what is drawn is
    // the screen, and nothing of the frame's size is allocated.
    std::string gif = gifClaiming(2, 2);
    gif.replace(24, 4, std::string{char(0x60), char(0xea), char(0x60), char(0xea)});
    dir.write("frame.gif", gif);
    const long before = peakKiB();
    VX_Image image;
    LogCapture log;
    ASSERT_TRUE(image.load(dir.file("frame.gif").c_str())) << log.text();
    ASSERT_TRUE(image.decode()) << log.text();
    EXPECT_EQ(image.pixmap->size(), QSize(2, 2));
    EXPECT_LT(peakKiB() - before, 256L * 1024);
}

TEST_F(BadPictureTest, BrokenPictureIsTriedAgainAtEveryRequest)
{
    dir.write("bad.gif", gifClaiming(60000, 60000));
    LogCapture log;
    EXPECT_EQ(engine.getKeyPiece("bad.gif", 0, 0, 4, 4), nullptr);
    EXPECT_EQ(engine.getKeyPiece("bad.gif", 4, 0, 4, 4), nullptr);
    const std::string message = "VX_Image: can't create QPixmap('" + dir.file("bad.gif") + "')";
    EXPECT_EQ(log.lines(), (Lines{message, message}));
    // Mended on disk, the same name loads.
    dir.writeGif("bad.gif", 8, 4, 0xffffff);
    EXPECT_NE(engine.getKeyPiece("bad.gif", 4, 0, 4, 4), nullptr);
}

// A refused file named by two keys (the same rectangle) and as the
// background: one message per request, at the moment of the request, in
// order with the section's own lines; nothing cached; the background falls
// back to the layout's own, as for a missing file.
TEST_F(BadPictureTest, EveryRequestOfARefusedFileIsReportedInItsPlace)
{
    dir.writeGif("kb_bg.gif", 40, 20, 0x0000ff);
    dir.write("load.cfg", "kb\n");
    dir.write("kb.cfg", "[Common]\nkeys 2 bwid 20 bhei 20\n[Layout]\nspace bks\n"
                        "[Geometry]\n(0 0) (20 0)\n[Pixs]\n( ( 0 0 bad.gif ) ) ( ( 0 0 bad.gif ) )\n"
                        "[Board]\nwid 40 hei 20 fill pixmap pixmap bad.gif\n");
    std::vector<BadPicture> rows = badPictures();
    rows.push_back({"a directory", ""});
    for (const BadPicture &bad : rows) {
        SCOPED_TRACE(bad.what);
        std::remove(dir.file("bad.gif").c_str());
        if (std::string(bad.what) == "a directory")
            dir.mkdir("bad.gif");
        else
            dir.write("bad.gif", bad.bytes);
        VX_Engine fresh({dir.path()});
        LogCapture log;
        ASSERT_TRUE(fresh.load()) << log.text();
        const std::string refused = "VX_Image: can't create QPixmap('" + dir.file("bad.gif") + "')";
        EXPECT_EQ(log.lines(), (Lines{"VX_Engine: no 'bg.gif' in ( " + dir.path() + " )",
                                      "VX_Layout: read 2 entries from [Layout] (kb)",
                                      "VX_Layout: read 2 entries from [Geometry] (kb)", refused, refused,
                                      "VX_Layout: read 2 entries from [Pixs] (kb)", refused,
                                      "VX_Engine: load complete - basic: 1, aux: 0"}));
        const VX_Layout &kb = *fresh.layouts[0][0];
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(kb.keys[k].pix[0][0], nullptr);
            EXPECT_EQ(kb.keys[k].pix[0][1], nullptr);
        }
        ASSERT_NE(kb.background, nullptr);
        EXPECT_STREQ(kb.background->rootName(), "kb_bg.gif");
        EXPECT_EQ(fresh.keyPictures.find("bad.gif"), nullptr);
        EXPECT_EQ(fresh.boardPictures.find("bad.gif"), nullptr);
        EXPECT_EQ(fresh.keyPieces.findPiece("bad.gif", 0, 0, 20, 20), nullptr);
        std::filesystem::remove_all(dir.file("bad.gif"));
    }
}
