// Pictures load encoded and are decoded when a layout that draws them is
// prepared: before the window first shows a layout and when the board
// switches to another. Broken files are refused at load; damaged image data
// inside intact blocks loads and draws what decodes, so when a picture is
// decoded cannot be seen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "engine/VX_Engine.h"
#include "image/VX_GifReader.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// A GIF of width x height with a two-colour table (0x204060, black) and one
// full frame whose image data (code size, sub-blocks, terminator) is `data`.
std::string gif(int width, int height, const std::string &data)
{
    GifPicture picture;
    picture.width = width;
    picture.height = height;
    picture.data = data;
    return picture.bytes();
}

const std::string kFourPixels = GifPicture::fourPixels();
const std::string kBeyondTheTable = GifPicture::beyondTheTable();

// A layout file: `keys` keys of 20 x 20 in a row, types `types`, key i cut
// from (20 i, 20) of `sheet`, on the background `background` ("transp": no
// board colour, so nothing is painted where a picture draws nothing).
std::string layoutFile(const std::string &types, int keys, const std::string &sheet,
                       const std::string &background)
{
    std::string geometry, pixs;
    for (int i = 0; i < keys; ++i) {
        geometry += "(" + std::to_string(20 * i) + " 0) ";
        pixs += "( ( " + std::to_string(20 * i) + " 20 " + sheet + " ) )\n";
    }
    return "[Common]\nkeys " + std::to_string(keys) + " bwid 20 bhei 20\n[Layout]\n" + types +
           "\n[Geometry]\n" + geometry + "\n[Strings]\na\n[Pixs]\n" + pixs +
           "[Board]\nwid 60 hei 20 fill pixmap pixmap " + background + " transp\n";
}

// Pixels of a picture, null when it is not decoded.
const QPixmap *pixelsOf(const VX_Image *image) { return image ? image->rootPixmap() : nullptr; }

bool decoded(const VX_Layout &layout)
{
    return pixelsOf(layout.background) && pixelsOf(layout.keys[0].pix[0][0]);
}

bool undecoded(const VX_Layout &layout)
{
    return layout.background && !pixelsOf(layout.background) && layout.keys[0].pix[0][0] &&
           !pixelsOf(layout.keys[0].pix[0][0]);
}

bool anyImageLine(const Lines &lines)
{
    for (const std::string &line : lines)
        if (line.rfind("VX_Image", 0) == 0)
            return true;
    return false;
}

// Two basic layouts, each with its own key sheet and background; key 1 of
// each switches to the other.
struct PrepareTest : testing::Test {
    PrepareTest()
    {
        ensureApp();
        dir.writeGif("bg.gif", 8, 8, 0x000000);
        dir.writeGif("first.gif", 60, 40, 0xff0000);
        dir.writeGif("first_bg.gif", 60, 20, 0x00ff00);
        dir.writeGif("second.gif", 60, 40, 0x0000ff);
        dir.writeGif("second_bg.gif", 60, 20, 0xffff00);
        dir.write("load.cfg", "first\nsecond\n");
        dir.write("first.cfg", layoutFile("alpha switch", 2, "first.gif", "first_bg.gif"));
        dir.write("second.cfg", layoutFile("alpha switch", 2, "second.gif", "second_bg.gif"));
    }

    TempDir dir;
};

// Notes, at the board's first paint, whether a layout's pictures were there.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget *board, const VX_Layout &layout) : layout_(layout) { board->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && paints++ == 0)
            decodedAtFirstPaint = decoded(layout_);
        return false;
    }

    int paints = 0;
    bool decodedAtFirstPaint = false;

private:
    const VX_Layout &layout_;
};

void click(QWidget *w, int x, int y)
{
    const QPointF at(x, y);
    QMouseEvent down(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QCoreApplication::sendEvent(w, &up);
}

}  // namespace

TEST_F(PrepareTest, PicturesWaitUntilTheirLayoutIsPrepared)
{
    VX_Engine engine({dir.path()});
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();
    const VX_Layout &first = *engine.layouts[0][0];
    const VX_Layout &second = *engine.layouts[0][1];
    EXPECT_TRUE(undecoded(first));
    EXPECT_TRUE(undecoded(second));

    engine.preparePictures(*engine.layouts[0][0]);
    ASSERT_TRUE(decoded(first));
    EXPECT_EQ(pixelsOf(first.background)->size(), QSize(60, 20));
    EXPECT_EQ(pixelsOf(first.keys[1].pix[0][0])->toImage().pixel(25, 5), 0xffff0000u);
    EXPECT_TRUE(undecoded(second));
    EXPECT_FALSE(anyImageLine(log.lines())) << log.text();
}

TEST_F(PrepareTest, SharedPictureIsDecodedOnceFromTheBytesReadAtLoad)
{
    dir.write("second.cfg", layoutFile("alpha switch", 2, "first.gif", "first_bg.gif"));
    VX_Engine engine({dir.path()});
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();
    VX_Layout &first = *engine.layouts[0][0];
    VX_Layout &second = *engine.layouts[0][1];
    ASSERT_EQ(first.background, second.background);
    ASSERT_EQ(first.keys[0].pix[0][0]->parent, second.keys[0].pix[0][0]->parent);
    // Decoding reads nothing from disk any more.
    for (const char *name : {"first.gif", "first_bg.gif"})
        ASSERT_EQ(std::remove(dir.file(name).c_str()), 0);

    engine.preparePictures(first);
    const QPixmap *sheet = pixelsOf(first.keys[0].pix[0][0]);
    const QPixmap *background = pixelsOf(first.background);
    ASSERT_NE(sheet, nullptr);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(first.background->encoded, nullptr);
    EXPECT_EQ(first.keys[0].pix[0][0]->parent->encoded, nullptr);

    engine.preparePictures(second);
    engine.prepareAll();
    EXPECT_EQ(pixelsOf(second.keys[0].pix[0][0]), sheet);
    EXPECT_EQ(pixelsOf(second.keys[1].pix[0][0]), sheet);
    EXPECT_EQ(pixelsOf(second.background), background);
    EXPECT_EQ(background->toImage().pixel(0, 0), 0xff00ff00u);
    EXPECT_FALSE(anyImageLine(log.lines())) << log.text();
}

TEST_F(PrepareTest, BoardDecodesTheLayoutItSwitchesToBeforePaintingIt)
{
    LogCapture log;
    QVX_Main window({dir.path()});
    VX_Engine &engine = window.board->engine;
    ASSERT_NE(engine.layouts[0][1], nullptr) << log.text();
    const VX_Layout &first = *engine.layouts[0][0];
    const VX_Layout &second = *engine.layouts[0][1];
    // The window prepares the layout it shows first, and only that one.
    EXPECT_TRUE(decoded(first));
    EXPECT_TRUE(undecoded(second));

    PaintWatch watch(window.board, second);
    click(window.board, 30, 10);  // key 1: switch
    ASSERT_EQ(engine.activeSlot, 1);
    EXPECT_TRUE(decoded(second));
    EXPECT_EQ(watch.paints, 0);

    const QImage shown = window.board->grab().toImage();
    EXPECT_GE(watch.paints, 1);
    EXPECT_TRUE(watch.decodedAtFirstPaint);
    EXPECT_EQ(shown.pixel(5, 5), 0xff0000ffu);   // second's key sheet
    EXPECT_EQ(shown.pixel(50, 5), 0xffffff00u);  // second's background

    // And back: the first layout is still decoded, nothing decodes twice.
    const QPixmap *firstSheet = pixelsOf(first.keys[0].pix[0][0]);
    click(window.board, 30, 10);
    ASSERT_EQ(engine.activeSlot, 0);
    EXPECT_EQ(pixelsOf(first.keys[0].pix[0][0]), firstSheet);
    EXPECT_FALSE(anyImageLine(log.lines())) << log.text();
}

// --- Broken pictures ---

TEST_F(PrepareTest, DamagedImageDataLoadsQuietlyAndDrawsWhatDecodes)
{
    dir.write("broken.gif", gif(60, 40, kBeyondTheTable));
    dir.write("broken_bg.gif", gif(60, 20, kBeyondTheTable));
    dir.write("load.cfg", "kb\n");
    dir.write("kb.cfg", layoutFile("alpha switch", 2, "broken.gif", "broken_bg.gif"));
    VX_Engine engine({dir.path()});
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();
    EXPECT_FALSE(anyImageLine(log.lines())) << log.text();
    VX_Layout &kb = *engine.layouts[0][0];
    ASSERT_TRUE(undecoded(kb));

    engine.preparePictures(kb);
    EXPECT_FALSE(anyImageLine(log.lines())) << log.text();
    ASSERT_TRUE(decoded(kb));

    // Code 7 stands for the string being defined, and no string was read
    // before it: one pixel of index 7, beyond the table (white, as the
    // toolkit shows it), then nothing more; the rest of the frame is black.
    QImage canvas(60, 20, QImage::Format_RGB32);
    canvas.fill(0x123456);
    {
        QPainter painter(&canvas);
        kb.paint(painter);
    }
    const QImage background = pixelsOf(kb.background)->toImage();
    EXPECT_EQ(background.pixel(0, 0), 0xffffffffu);
    EXPECT_EQ(background.pixel(1, 0), 0xff000000u);
    EXPECT_EQ(canvas.pixel(50, 10), 0xff000000u);  // the background, right of the keys
    EXPECT_EQ(canvas.pixel(5, 5), 0xff000000u);    // key 0, cut from (0, 20) of the sheet
}

// A file the decoder refuses is refused at load: by the structure check
// alone, or (when it ends inside its image data) decoded at load and
// refused then. Whatever loads, decodes.
TEST(PictureCheck, LoadRefusesWhatTheDecoderRefuses)
{
    ensureApp();
    TempDir dir;
    const std::string good = gif(2, 2, kFourPixels);
    std::string unknownBlock = good;
    unknownBlock.insert(19, "x");  // before the image descriptor
    std::string brokenExtension = good.substr(0, 19) + std::string{0x21, char(0xf9), 4, 1, 0};
    const struct Row {
        const char *what;
        std::string bytes;
        bool loads;          // load() accepts it
        bool decodesAtLoad;  // and has decoded it already
        bool decodes;        // the decoder accepts it
    } rows[] = {
        {"whole", good, true, false, true},
        {"no terminator nor trailer, every pixel there", good.substr(0, good.size() - 2), true, true, true},
        {"damaged image data in intact blocks", gif(2, 2, kBeyondTheTable), true, false, true},
        {"LZW code size 9", gif(2, 2, std::string{9, 1, 0, 0}), true, false, true},
        {"empty file", "", false, false, false},
        {"text file", "this is not a picture\n", false, false, false},
        {"signature only", "GIF89a", false, false, false},
        {"truncated after the header", good.substr(0, 13), false, false, false},
        {"truncated in the colour table", good.substr(0, 16), false, false, false},
        {"truncated in the image descriptor", good.substr(0, 25), false, false, false},
        {"truncated inside the frame", good.substr(0, good.size() - 6), false, false, false},
        {"truncated inside the image data", good.substr(0, good.size() - 4), false, false, false},
        {"unterminated extension", brokenExtension, false, false, false},
        {"unknown block", unknownBlock, false, false, false},
        {"no image descriptor", good.substr(0, 19) + ";", false, false, false},
        {"huge screen and frame", gif(60000, 60000, kFourPixels), false, false, false},
        {"more pixels than allowed", gif(16384, 16384, kFourPixels), false, false, false},
        {"frame of no size", gif(0, 0, kFourPixels), false, false, false},
        {"LZW code size 13", gif(2, 2, std::string{13, 1, 0, 0}), false, false, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const auto *data = reinterpret_cast<const uint8_t *>(row.bytes.data());
        QImage image;
        VX_GifReader reader;
        ASSERT_EQ(reader.decode(data, row.bytes.size(), image), row.decodes) << reader.error();
        bool terminated = false;
        if (!row.loads && VX_GifReader::isGif(data, row.bytes.size())) {
            EXPECT_FALSE(reader.check(data, row.bytes.size(), terminated) && terminated);
        }

        dir.write("p.gif", row.bytes);
        const std::string message = "VX_Image: can't create QPixmap('" + dir.file("p.gif") + "')";
        VX_Image picture;
        LogCapture log;
        ASSERT_EQ(picture.load(dir.file("p.gif").c_str()), row.loads);
        EXPECT_EQ(log.lines(), row.loads ? Lines{} : Lines{message});
        EXPECT_EQ(picture.name != nullptr, row.loads);
        EXPECT_EQ(picture.pixmap != nullptr, row.decodesAtLoad);
        if (!row.loads)
            continue;
        EXPECT_EQ(picture.decode(), row.decodes);
        EXPECT_EQ(log.lines(), row.decodes ? Lines{} : Lines{message});
        EXPECT_EQ(picture.rootPixmap() != nullptr, row.decodes);
        if (row.decodes) {
            EXPECT_EQ(picture.rootPixmap()->size(), QSize(2, 2));
        }
    }
}
