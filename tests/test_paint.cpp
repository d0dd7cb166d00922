// Board painting rendered into an image and checked pixel by pixel. The image
// is filled with a sentinel colour first, so pixels a paint leaves alone show
// it, as the board widget keeps its pixels between paints.
#include <gtest/gtest.h>

#include <climits>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

const QRgb kSentinel = qRgb(200, 0, 200);
const QRgb kBoard = qRgb(10, 20, 30);
const QRgb kBackground = qRgb(0, 0, 255);
const QRgb kReleased = qRgb(255, 0, 0);
const QRgb kPressed = qRgb(0, 255, 0);

class PaintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        // Key sheet: released look in columns 0..19, pressed look in 20..34.
        QImage sheetImage(35, 20, QImage::Format_RGB32);
        sheetImage.fill(kReleased);
        for (int y = 0; y < 20; ++y)
            for (int x = 20; x < 35; ++x)
                sheetImage.setPixel(x, y, kPressed);
        sheet.pixmap = std::make_unique<QPixmap>(QPixmap::fromImage(sheetImage));
        releasedPic = piece(0, 0, 10, 10);
        pressedPic = piece(20, 0, 10, 10);

        layout = std::make_unique<VX_Layout>(&engine);
        layout->red = qRed(kBoard);
        layout->green = qGreen(kBoard);
        layout->blue = qBlue(kBoard);
    }

    VX_Image *piece(int x, int y, int w, int h)
    {
        pieces.push_back(std::make_unique<VX_Image>());
        pieces.back()->cutFrom(&sheet, x, y, w, h);
        return pieces.back().get();
    }

    // A board background of w x h in one colour.
    void setBackground(int w, int h, QRgb colour)
    {
        background.pixmap = std::make_unique<QPixmap>(w, h);
        background.pixmap->fill(QColor(colour));
        layout->background = &background;
    }

    void setKeys(int32_t count)
    {
        layout->keyCount = count;
        layout->keys = std::make_unique<VX_Key[]>(count);
    }

    VX_Key &setKey(int32_t index, int32_t x, int32_t y, int32_t w, int32_t h)
    {
        VX_Key &key = layout->keys[index];
        key.type = VX_KEY_ALPHA;
        key.x = x;
        key.y = y;
        key.width = w;
        key.height = h;
        key.pix[0][VX_PIX_RELEASED] = releasedPic;
        key.pix[0][VX_PIX_PRESSED] = pressedPic;
        return key;
    }

    // Paints the layout once over what the image already shows.
    void paint()
    {
        QPainter painter(&image);
        layout->paint(painter);
    }

    // Every pixel of the rectangle has `want`.
    void expectArea(int x0, int y0, int w, int h, QRgb want, const char *what)
    {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                if (image.pixel(x, y) != want) {
                    ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                                  << std::hex << image.pixel(x, y) << ", want " << want;
                    return;
                }
    }

    QImage image{260, 140, QImage::Format_RGB32};
    VX_Image sheet;
    VX_Image background;
    std::vector<std::unique_ptr<VX_Image>> pieces;
    VX_Image *releasedPic = nullptr;
    VX_Image *pressedPic = nullptr;
    VX_Engine engine;
    std::unique_ptr<VX_Layout> layout;
};

TEST_F(PaintTest, DefaultLayoutPaintsABlackBoard)
{
    VX_Layout fresh(&engine);
    image.fill(kSentinel);
    {
        QPainter painter(&image);
        fresh.paint(painter);
    }
    expectArea(0, 0, 240, 128, qRgb(0, 0, 0), "board");
    expectArea(240, 0, 20, 140, kSentinel, "right of the board");
    expectArea(0, 128, 240, 12, kSentinel, "below the board");
    EXPECT_FALSE(fresh.fullRedraw);
}

TEST_F(PaintTest, FullRepaintLayersFillBackgroundKeysThenHeldKey)
{
    setBackground(100, 128, kBackground);
    setKeys(3);
    setKey(0, 150, 0, 10, 10).pix[0][VX_PIX_RELEASED] = pressedPic;
    setKey(1, 155, 0, 10, 10);  // later key covers the earlier one
    setKey(2, 50, 50, 10, 10);  // over the background
    image.fill(kSentinel);
    paint();

    expectArea(100, 10, 140, 118, kBoard, "fill beside the background");
    expectArea(0, 0, 50, 128, kBackground, "background");
    expectArea(150, 0, 5, 10, kPressed, "uncovered part of key 0");
    expectArea(155, 0, 10, 10, kReleased, "key 1");
    expectArea(50, 50, 10, 10, kReleased, "key 2");
    EXPECT_FALSE(layout->fullRedraw);
}

// A latched or locked modifier keeps its pressed picture, in full repaints
// and in the repaint of its own key, on a layout that draws no held key
// pressed; once it lets go it is drawn released again.
TEST_F(PaintTest, LatchedModifierIsDrawnPressedUntilItLetsGo)
{
    setKeys(2);
    VX_Key &ctrl = setKey(0, 0, 0, 10, 10);
    ctrl.type = VX_KEY_MODIFIER;
    ctrl.keysym = 0xffe3;  // Control_L
    ctrl.modifier = VX_MOD_CONTROL;
    setKey(1, 20, 0, 10, 10);
    layout->drawPressed = 0;
    image.fill(kSentinel);

    const struct {
        VX_Modifiers::State state;
        bool full;  // a full repaint, else one of key 0 alone
        QRgb want;
    } steps[] = {
        {VX_Modifiers::LATCHED, true, kPressed},  {VX_Modifiers::LOCKED, true, kPressed},
        {VX_Modifiers::OFF, true, kReleased},     {VX_Modifiers::LATCHED, false, kPressed},
        {VX_Modifiers::OFF, false, kReleased},    {VX_Modifiers::LOCKED, false, kPressed},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(std::to_string(step.state) + (step.full ? " full" : " key"));
        while (engine.modifiers.state(VX_MOD_CONTROL) != step.state)
            engine.modifiers.tap(VX_MOD_CONTROL);
        layout->fullRedraw = step.full;
        if (!step.full)
            layout->redrawReleased = 0;
        paint();
        expectArea(0, 0, 10, 10, step.want, "the modifier key");
        expectArea(20, 0, 10, 10, kReleased, "the other key");
    }
}

TEST_F(PaintTest, PressedKeyRedrawsOnlyItsRectangleInLayers)
{
    // The background ends two columns into the key, the pressed picture
    // (clipped by its sheet) covers the key's first five columns: all three
    // layers stay visible in one key rectangle.
    setBackground(107, 128, kBackground);
    setKeys(1);
    VX_Key &key = setKey(0, 100, 50, 10, 10);
    key.pix[0][VX_PIX_PRESSED] = piece(30, 0, 5, 10);
    layout->drawPressed = 1;
    layout->fullRedraw = false;
    ASSERT_TRUE(layout->press(105, 55).send);
    ASSERT_EQ(layout->redrawPressed, 0);

    image.fill(kSentinel);
    paint();
    expectArea(100, 50, 5, 10, kPressed, "pressed picture");
    expectArea(105, 50, 2, 10, kBackground, "background piece");
    expectArea(107, 50, 3, 10, kBoard, "board colour");
    expectArea(0, 0, 100, 140, kSentinel, "left of the key");
    expectArea(110, 0, 150, 140, kSentinel, "right of the key");
    expectArea(100, 0, 10, 50, kSentinel, "above the key");
    expectArea(100, 60, 10, 80, kSentinel, "below the key");
    EXPECT_EQ(layout->redrawPressed, -1);
    EXPECT_FALSE(layout->fullRedraw);
}

TEST_F(PaintTest, BothRequestsServedInOnePaintReleasedFirst)
{
    setKeys(2);
    setKey(0, 0, 0, 10, 10);
    setKey(1, 5, 0, 10, 10);
    layout->fullRedraw = false;
    layout->redrawReleased = 0;
    layout->redrawPressed = 1;
    layout->pressedKey = 1;
    image.fill(kSentinel);
    paint();
    expectArea(0, 0, 5, 10, kReleased, "released key");
    expectArea(5, 0, 10, 10, kPressed, "pressed key over it");
    expectArea(15, 0, 245, 140, kSentinel, "rest of the board");
    EXPECT_EQ(layout->redrawReleased, -1);
    EXPECT_EQ(layout->redrawPressed, -1);

    // The released request alone is served without a full repaint.
    layout->redrawReleased = 1;
    image.fill(kSentinel);
    paint();
    expectArea(5, 0, 10, 10, kReleased, "released key");
    expectArea(0, 0, 5, 10, kSentinel, "beside it");

    // A pressed request for a key no longer held draws it released.
    layout->pressedKey = -1;
    layout->redrawPressed = 1;
    image.fill(kSentinel);
    paint();
    expectArea(5, 0, 10, 10, kReleased, "let-go key");
    EXPECT_EQ(layout->redrawPressed, -1);
}

TEST_F(PaintTest, PixInPlaceKeysOnlyInPartialRepaints)
{
    setKeys(1);
    setKey(0, 20, 20, 10, 10).pixInPlace = true;
    image.fill(kSentinel);
    paint();
    expectArea(20, 20, 10, 10, kBoard, "skipped in full repaint");

    layout->redrawReleased = 0;
    paint();
    expectArea(20, 20, 10, 10, kReleased, "drawn in partial repaint");
}

TEST_F(PaintTest, FillNoneKeepsTheOldPixels)
{
    layout->colorFill = false;
    setKeys(1);
    setKey(0, 20, 20, 10, 10);
    image.fill(kSentinel);
    paint();
    expectArea(20, 20, 10, 10, kReleased, "key");
    expectArea(0, 0, 20, 140, kSentinel, "board left of the key");
    expectArea(30, 0, 230, 140, kSentinel, "board right of the key");
}

TEST_F(PaintTest, FullRepaintWhileAKeyIsHeld)
{
    setKeys(1);
    setKey(0, 20, 20, 10, 10);
    for (int32_t drawPressed : {1, 0}) {
        SCOPED_TRACE(drawPressed);
        layout->drawPressed = drawPressed;
        layout->pressedKey = 0;
        layout->redrawPressed = drawPressed ? 0 : -1;
        layout->fullRedraw = true;
        image.fill(kSentinel);
        paint();
        expectArea(20, 20, 10, 10, drawPressed ? kPressed : kReleased, "held key");
        // Drawn pressed by the full repaint: nothing pressed is left to draw.
        EXPECT_EQ(layout->redrawPressed, -1);
    }
}

TEST_F(PaintTest, FullRepaintLeavesKeyRequestsForTheNextPaint)
{
    setKeys(1);
    setKey(0, 20, 20, 10, 10);
    layout->redrawPressed = 0;
    layout->pressedKey = 0;
    image.fill(kSentinel);
    paint();
    EXPECT_EQ(layout->redrawPressed, 0);
    expectArea(20, 20, 10, 10, kReleased, "full repaint");

    image.fill(kSentinel);
    paint();
    EXPECT_EQ(layout->redrawPressed, -1);
    expectArea(20, 20, 10, 10, kPressed, "served request");
    expectArea(0, 0, 20, 140, kSentinel, "rest of the board");

    // Nothing pending: a paint draws the whole board.
    image.fill(kSentinel);
    paint();
    expectArea(0, 0, 20, 128, kBoard, "whole board");
}

// --- Missing pictures ---

TEST_F(PaintTest, KeyWithoutPictureGetsOnlyItsBackground)
{
    setBackground(240, 128, kBackground);
    setKeys(1);
    VX_Key &key = setKey(0, 20, 20, 10, 10);
    key.pix[0][VX_PIX_PRESSED] = nullptr;
    layout->fullRedraw = false;
    layout->redrawPressed = 0;
    layout->pressedKey = 0;
    image.fill(kSentinel);
    paint();
    expectArea(20, 20, 10, 10, kBackground, "restored background");
    expectArea(0, 0, 20, 140, kSentinel, "rest of the board");
}

// --- Key rectangles without area or near the number limit ---

TEST_F(PaintTest, KeyWithoutAreaDrawsNothing)
{
    setBackground(240, 128, kBackground);
    const struct {
        int32_t w, h;
    } cases[] = {{0, 0}, {0, 10}, {10, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        setKeys(1);
        setKey(0, 20, 20, c.w, c.h);
        layout->fullRedraw = true;
        image.fill(kSentinel);
        paint();
        expectArea(0, 0, 240, 128, kBackground, "board");

        layout->drawPressed = 1;
        layout->pressedKey = 0;
        layout->redrawPressed = 0;
        image.fill(kSentinel);
        paint();
        expectArea(0, 0, 260, 140, kSentinel, "partial repaint");
        layout->drawPressed = 0;
        layout->pressedKey = -1;
    }
}

// Only what lies on both the picture and the device is drawn; no sum of a
// key's edges overflows (the sanitizer build checks that).
TEST_F(PaintTest, KeysNearTheNumberLimitDrawOnlyWhatIsOnTheDevice)
{
    VX_Image plain;
    plain.pixmap = std::make_unique<QPixmap>(40, 40);
    plain.pixmap->fill(QColor(kReleased));
    const int32_t kMax = INT32_MAX;
    const int32_t kMin = INT32_MIN;
    const struct {
        const char *what;
        int32_t x, y, w, h;  // key
        int32_t px, py;      // picture offset in `plain`
        bool held;
        int drawnX, drawnY, drawnW, drawnH;
    } cases[] = {
        {"widest key with a picture offset", 0, 0, kMax, 30, 5, 0, false, 0, 0, 35, 30},
        {"widest key one pixel in, held", 1, 0, kMax, 30, 0, 0, true, 1, 0, 40, 30},
        {"tallest key with a picture offset", 0, 1, 30, kMax, 0, 5, true, 0, 1, 30, 35},
        {"key at the far corner", kMax, kMax, kMax, kMax, 0, 0, true, 0, 0, 0, 0},
        {"picture offset at the limit", 0, 0, 30, 30, kMax, kMax, true, 0, 0, 0, 0},
        {"key left of and above the board", kMin, kMin, kMax, kMax, 0, 0, true, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        pieces.push_back(std::make_unique<VX_Image>());
        pieces.back()->cutFrom(&plain, c.px, c.py, 1, 1);
        setKeys(1);
        VX_Key &key = setKey(0, c.x, c.y, c.w, c.h);
        key.pix[0][VX_PIX_RELEASED] = key.pix[0][VX_PIX_PRESSED] = pieces.back().get();
        layout->drawPressed = c.held;
        layout->pressedKey = c.held ? 0 : -1;
        layout->redrawPressed = -1;
        layout->fullRedraw = true;
        image.fill(kSentinel);
        paint();
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                drawn += image.pixel(x, y) == kReleased;
        EXPECT_EQ(drawn, c.drawnW * c.drawnH);
        expectArea(c.drawnX, c.drawnY, c.drawnW, c.drawnH, kReleased, "picture");

        if (c.held) {
            layout->redrawPressed = 0;
            image.fill(kSentinel);
            paint();  // partial: background restored, then the picture
            expectArea(c.drawnX, c.drawnY, c.drawnW, c.drawnH, kReleased, "pressed picture");
        }
    }
}

// The board's painter is scaled by the window's scale factor: keys are
// placed and clipped in layout coordinates, so a board drawn smaller than
// its layout still shows the keys beyond the device's pixel size.
TEST_F(PaintTest, AScaledPainterDrawsKeysBeyondTheDevicesPixelSize)
{
    const struct {
        double scale;
        int deviceW, deviceH;
    } cases[] = {{0.5, 130, 70}, {0.25, 65, 35}, {2.0, 520, 280}};
    // Pictures as large as the key, in one colour each.
    VX_Image released, pressed;
    released.pixmap = std::make_unique<QPixmap>(40, 20);
    released.pixmap->fill(QColor(kReleased));
    pressed.pixmap = std::make_unique<QPixmap>(40, 20);
    pressed.pixmap->fill(QColor(kPressed));
    VX_Image *releasedLook = piece(0, 0, 1, 1), *pressedLook = piece(0, 0, 1, 1);
    releasedLook->cutFrom(&released, 0, 0, 40, 20);
    pressedLook->cutFrom(&pressed, 0, 0, 40, 20);
    for (const auto &c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale));
        setKeys(1);
        VX_Key &key = setKey(0, 200, 100, 40, 20);  // right of and below a half-size device
        key.pix[0][VX_PIX_RELEASED] = releasedLook;
        key.pix[0][VX_PIX_PRESSED] = pressedLook;
        layout->width = 260;
        layout->height = 140;
        layout->drawPressed = true;
        layout->pressedKey = -1;
        layout->fullRedraw = true;
        image = QImage(c.deviceW, c.deviceH, QImage::Format_RGB32);
        image.fill(kSentinel);
        auto paintScaled = [&] {
            QPainter painter(&image);
            painter.scale(c.scale, c.scale);
            layout->paint(painter);
        };
        paintScaled();
        // The key's rectangle on the device, one pixel in from its edges.
        const int kx = int(200 * c.scale) + 1, ky = int(100 * c.scale) + 1;
        const int kw = int(40 * c.scale) - 2, kh = int(20 * c.scale) - 2;
        expectArea(kx, ky, kw, kh, kReleased, "key, full repaint");
        expectArea(0, 0, c.deviceW, int(100 * c.scale), kBoard, "board above the key");

        // A partial repaint of the pressed key: its background and picture.
        layout->pressedKey = 0;
        layout->redrawPressed = 0;
        paintScaled();
        expectArea(kx, ky, kw, kh, kPressed, "key, pressed");
    }
}

}  // namespace
