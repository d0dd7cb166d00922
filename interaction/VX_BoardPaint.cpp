// Draws a layout on the board: the whole board, or only the keys whose look
// changed since the last paint. The board keeps its pixels between paints,
// so a partial repaint touches nothing but the named key rectangles.
//
// Only cached pictures are drawn, unscaled; nothing is loaded, computed or
// allocated here.
#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include "engine/VX_Layout.h"
#include "image/VX_Image.h"

namespace {

QColor boardColour(const VX_Layout &layout)
{
    QColor colour;
    colour.setRgb(layout.red, layout.green, layout.blue, 255);
    return colour;
}

// Paints what lies under key k: the board colour, then the part of the
// background (which sits at the board's origin) that the key covers.
void restoreBackground(const VX_Layout &layout, const VX_Key &k, QPainter &painter)
{
    const QRect area(k.x, k.y, k.width, k.height);
    if (layout.colorFill)
        painter.fillRect(area, boardColour(layout));
    if (layout.background) {
        const QPixmap *pixels = layout.background->rootPixmap();
        if (pixels)
            painter.drawPixmap(QPoint(k.x, k.y), *pixels, area);
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
    painter.drawPixmap(QPoint(k.x, k.y), *pixels, QRect(p->x, p->y, k.width, k.height));
}

}  // namespace

void VX_Layout::paint(QPainter &painter)
{
    auto isKey = [this](int32_t index) { return index >= 0 && index < keyCount; };

    if (!fullRedraw) {
        bool drew = false;
        if (isKey(redrawReleased)) {
            const VX_Key &k = keys[redrawReleased];
            restoreBackground(*this, k, painter);
            drawKeyPicture(k, k.pix[mode][VX_PIX_RELEASED], painter);
            redrawReleased = -1;
            drew = true;
        }
        if (isKey(redrawPressed)) {
            // Drawn pressed only while it is held.
            const int state = redrawPressed == pressedKey ? VX_PIX_PRESSED : VX_PIX_RELEASED;
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
