// Draws a layout on the board: the whole board, or only the keys whose look
// changed since the last paint. The board keeps its pixels between paints,
// so a partial repaint touches nothing but the named key rectangles.
//
// Only cached pictures are drawn, unscaled; nothing is loaded, computed or
// allocated here.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"

namespace {

QColor boardColour(const VX_Layout &layout)
{
    QColor colour;
    colour.setRgb(layout.red, layout.green, layout.blue, 255);
    return colour;
}

// Moves the start of a span of `length` pixels that begins at `at` on one
// side (and at `other` on the other) up to 0 when it lies before it.
void clipStart(int64_t &at, int64_t &other, int64_t &length)
{
    if (at < 0) {
        other -= at;
        length += at;
        at = 0;
    }
}

// How far the painter's device reaches in the painter's own coordinates
// (the layout's): a painter scaled by the window's factor covers more (or
// fewer) layout pixels than the device has pixels.
QSize deviceExtent(const QPainter &painter)
{
    const QPaintDevice *device = painter.device();
    const QRectF reach =
        painter.combinedTransform().inverted().mapRect(QRectF(0, 0, device->width(), device->height()));
    return QSize(int(std::min<double>(std::ceil(reach.right()), INT32_MAX)),
                 int(std::min<double>(std::ceil(reach.bottom()), INT32_MAX)));
}

// Copies the w x h rectangle at (sx, sy) of `pixels` unscaled to (dx, dy)
// of the painter, leaving out what lies outside the picture or the device.
// Key rectangles come from layout files and may reach the largest 32-bit
// numbers, so every sum is taken in 64 bits before anything is handed
// to the toolkit; a rectangle without area draws nothing (the toolkit would
// read a size of 0 as "to the picture's edge").
void copyRect(QPainter &painter, const QPixmap &pixels, int64_t sx, int64_t sy, int64_t dx,
              int64_t dy, int64_t w, int64_t h)
{
    clipStart(sx, dx, w);
    clipStart(sy, dy, h);
    clipStart(dx, sx, w);
    clipStart(dy, sy, h);
    const QSize device = deviceExtent(painter);
    w = std::min({w, pixels.width() - sx, device.width() - dx});
    h = std::min({h, pixels.height() - sy, device.height() - dy});
    if (w <= 0 || h <= 0)
        return;
    painter.drawPixmap(QPoint(int(dx), int(dy)), pixels, QRect(int(sx), int(sy), int(w), int(h)));
}

// Paints what lies under key k: the board colour, then the part of the
// background (which sits at the board's origin) that the key covers. Only
// the part of the key on the painter's device is filled.
void restoreBackground(const VX_Layout &layout, const VX_Key &k, QPainter &painter)
{
    if (layout.colorFill) {
        const QSize device = deviceExtent(painter);
        const int64_t left = std::max<int64_t>(k.x, 0);
        const int64_t top = std::max<int64_t>(k.y, 0);
        const int64_t right = std::min<int64_t>(int64_t(k.x) + k.width, device.width());
        const int64_t bottom = std::min<int64_t>(int64_t(k.y) + k.height, device.height());
        if (left < right && top < bottom)
            painter.fillRect(QRect(int(left), int(top), int(right - left), int(bottom - top)),
                             boardColour(layout));
    }
    if (layout.background) {
        const QPixmap *pixels = layout.background->rootPixmap();
        if (pixels)
            copyRect(painter, *pixels, k.x, k.y, k.x, k.y, k.width, k.height);
    }
}

// Copies picture p, at the key's size, to the key's place; no picture, no
// drawing.
void drawKeyPicture(const VX_Key &k, const VX_Image *p, QPainter &painter)
{
    if (!p)
        return;
    const QPixmap *pixels = p->rootPixmap();
    if (!pixels)
        return;
    copyRect(painter, *pixels, p->x, p->y, k.x, k.y, k.width, k.height);
}

}  // namespace

void VX_Layout::paint(QPainter &painter)
{
    auto isKey = [this](int32_t index) { return index >= 0 && index < keyCount; };
    // A key may stay drawn pressed after it is let go (a latched modifier,
    // or with marks an open cycle), so every key redrawn takes the look it
    // has now.

    if (!fullRedraw) {
        bool drew = false;
        if (isKey(redrawReleased)) {
            const VX_Key &k = keys[redrawReleased];
            const int state = drawnPressed(redrawReleased) ? VX_PIX_PRESSED : VX_PIX_RELEASED;
            restoreBackground(*this, k, painter);
            drawKeyPicture(k, k.pix[mode][state], painter);
            redrawReleased = -1;
            drew = true;
        }
        if (isKey(redrawPressed)) {
            // Drawn pressed only while it is held (or, a modifier, latched).
            const bool marks = engine && engine->touch.marks;
            const bool down = drawnPressed(redrawPressed) || (!marks && redrawPressed == pressedKey);
            const int state = down ? VX_PIX_PRESSED : VX_PIX_RELEASED;
            const VX_Key &k = keys[redrawPressed];
            restoreBackground(*this, k, painter);
            drawKeyPicture(k, k.pix[mode][state], painter);
            redrawPressed = -1;
            return;
        }
        if (drew)
            return;
    }

    fullRedraw = false;
    if (colorFill)
        painter.fillRect(QRect(0, 0, width, height), boardColour(*this));
    if (background) {
        const QPixmap *pixels = background->rootPixmap();
        if (pixels)
            painter.drawPixmap(QPoint(0, 0), *pixels);
    }
    for (int32_t i = 0; i < keyCount; ++i) {
        const VX_Key &k = keys[i];
        if (!k.pixInPlace)
            drawKeyPicture(k, k.pix[mode][VX_PIX_RELEASED], painter);
    }
    // Latched and locked modifiers, and with marks the open multi-tap key
    // and the locked caps key, keep their pressed look.
    for (int32_t i = 0; i < keyCount; ++i) {
        if (i != pressedKey && drawnPressed(i)) {
            restoreBackground(*this, keys[i], painter);
            drawKeyPicture(keys[i], keys[i].pix[mode][VX_PIX_PRESSED], painter);
        }
    }
    if (isKey(pressedKey) && drawPressed) {
        const VX_Key &k = keys[pressedKey];
        restoreBackground(*this, k, painter);
        drawKeyPicture(k, k.pix[mode][VX_PIX_PRESSED], painter);
        // Its pressed look is on the board now: letting it go must draw it
        // released again.
        if (redrawPressed == pressedKey)
            redrawPressed = -1;
    }
}

void VX_Layout::paintKey(QPainter &painter, int32_t index) const
{
    if (index < 0 || index >= keyCount)
        return;
    const VX_Key &k = keys[index];
    if (colorFill)
        painter.fillRect(QRect(0, 0, k.width, k.height), boardColour(*this));
    if (background) {
        if (const QPixmap *pixels = background->rootPixmap())
            copyRect(painter, *pixels, k.x, k.y, 0, 0, k.width, k.height);
    }
    if (const VX_Image *p = k.pix[mode][VX_PIX_RELEASED]) {
        if (const QPixmap *pixels = p->rootPixmap())
            copyRect(painter, *pixels, p->x, p->y, 0, 0, k.width, k.height);
    }
}
