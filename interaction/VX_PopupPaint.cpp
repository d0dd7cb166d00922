// Draws a layout's open popup (a long press's alternates, or the keyboard
// menu) in the board's look: the board's colour around cells that have the
// face colour of the held key's own pictures, released, or pressed for the
// highlighted cell. The text is drawn at the device's resolution, so the
// popup is sharp at every scale.
#include <algorithm>
#include <cmath>

#include <QColor>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <QString>

#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "image/VX_Image.h"
#include "image/VX_LabelFont.h"

namespace {

// The colour of `piece` at (x, y) inside it, or `fallback` without pixels.
QColor pieceColour(const VX_Image *piece, int x, int y, QColor fallback)
{
    if (!piece)
        return fallback;
    const QPixmap *pixels = piece->rootPixmap();
    const int left = piece->x < 0 ? 0 : piece->x;
    const int top = piece->y < 0 ? 0 : piece->y;
    if (!pixels || left + x >= pixels->width() || top + y >= pixels->height())
        return fallback;
    return QColor(pixels->copy(QRect(left + x, top + y, 1, 1)).toImage().pixel(0, 0));
}

QColor textOn(const QColor &face)
{
    return qGray(face.rgb()) > 140 ? QColor(0x1d, 0x20, 0x26) : QColor(0xff, 0xff, 0xff);
}

}  // namespace

void VX_Layout::paintPopup(QPainter &painter, double scale) const
{
    if (!popup.isOpen() || popup.key < 0 || popup.key >= keyCount || scale <= 0)
        return;
    const QColor board(red, green, blue);
    const QRectF whole(0, 0, popup.width() * scale, popup.height() * scale);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(whole, board);
    painter.setPen(QPen(board.lighter(170), std::max(1.0, scale)));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(whole.adjusted(0.5, 0.5, -0.5, -0.5));

    // Faces sampled beside the label of the key the popup belongs to.
    const VX_Key &key = keys[popup.key];
    const int sx = std::max(3, key.width / 10);
    const int sy = key.height / 2;
    const QColor face = pieceColour(key.pix[mode][VX_PIX_RELEASED], sx, sy, QColor(0xf4, 0xf5, 0xf7));
    QColor lit = pieceColour(key.pix[mode][VX_PIX_PRESSED], sx, std::min(key.height - 1, sy + 2),
                             QColor(0x6a, 0xa8, 0xff));
    if (lit == face)
        lit = QColor(0x6a, 0xa8, 0xff);  // a skin without a pressed look still shows the pick

    const qreal cellW = popup.cellWidth * scale;
    const qreal cellH = popup.cellHeight * scale;
    const qreal radius = std::min<qreal>(6.0, popup.cellHeight / 6.0) * scale;
    for (int32_t i = 0; i < popup.items.count; ++i) {
        int32_t cx = 0, cy = 0;
        popup.cellAt(i, cx, cy);
        const QRectF cell((cx - popup.x) * scale, (cy - popup.y) * scale, cellW, cellH);
        const QRectF body = cell.adjusted(2 * scale, 2 * scale, -2 * scale, -2 * scale);
        const bool on = i == popup.highlight;
        QPainterPath path;
        path.addRoundedRect(body, radius, radius);
        painter.fillPath(path, on ? lit : face);

        const QString text = QString::fromUtf8(popup.items.texts[i]);
        const bool emoji = vxIsEmojiLabel(text);
        const int characters = static_cast<int>(text.toUcs4().size());
        const double share = emoji ? 0.62 : characters <= 2 ? 0.55 : 0.38;
        const qreal room = body.width() - 6 * scale;
        int pixels = std::max(1, static_cast<int>(std::lround(cellH * share)));
        const int floor = std::max(1, static_cast<int>(std::lround(10 * std::min(1.0, scale))));
        QFont font = vxLabelFont(text, pixels);
        while (pixels > floor && QFontMetricsF(font).horizontalAdvance(text) > room)
            font = vxLabelFont(text, --pixels);
        painter.setFont(font);
        painter.setPen(on ? textOn(lit) : textOn(face));
        const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, room);
        painter.drawText(body, Qt::AlignCenter, shown);
    }
    painter.restore();
}
