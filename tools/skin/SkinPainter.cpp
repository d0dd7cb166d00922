#include "tools/skin/SkinPainter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// The colour scheme: faces, their text, and the press highlight.
const QColor kPlainFace(0xf4, 0xf5, 0xf7);
const QColor kFunctionFace(0xb4, 0xbd, 0xc8);
const QColor kAccentFace(0x3f, 0x7f, 0xd8);
const QColor kLitFace(0xf2, 0xc1, 0x4e);
const QColor kPressedFace(0x6a, 0xa8, 0xff);
const QColor kPressedAccentFace(0x2a, 0x5c, 0xa6);
const QColor kDarkText(0x1d, 0x20, 0x26);
const QColor kLightText(0xff, 0xff, 0xff);
const QColor kLabelText(0xd6, 0xda, 0xe0);

constexpr int kMinFontPixels = 7;

// Largest pixel size up to `start` at which `text` fits into `box`.
QFont fittedFont(const QString &text, const QSize &box, int start)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int size = std::max(start, kMinFontPixels); size >= kMinFontPixels; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= box.width() && metrics.height() <= box.height())
            return font;
    }
    font.setPixelSize(kMinFontPixels);
    return font;
}

}  // namespace

SkinPainter::SkinPainter(QColor board) : board_(board) {}

void SkinPainter::drawBackground(QPainter &painter, const QRect &area) const
{
    painter.fillRect(area, board_);
    painter.setPen(board_.lighter(135));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void SkinPainter::drawKey(QPainter &painter, const QRect &rect, const KeyLook &look) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setClipRect(rect);

    QColor text = kDarkText;
    QRectF face(rect);
    if (look.style != KeyStyle::Label) {
        QColor fill = look.style == KeyStyle::Plain      ? kPlainFace
                      : look.style == KeyStyle::Function ? kFunctionFace
                                                         : kAccentFace;
        if (look.lit)
            fill = kLitFace;
        if (look.style == KeyStyle::Accent)
            text = kLightText;
        if (look.pressed) {
            fill = look.style == KeyStyle::Accent ? kPressedAccentFace : kPressedFace;
            text = kLightText;
        }
        const qreal radius = std::min<qreal>(6.0, rect.height() / 6.0);
        // Released keys stand on a shadow; a pressed key sinks onto it.
        const QRectF body = QRectF(rect).adjusted(1.5, 1.5, -1.5, -3.5);
        if (!look.pressed) {
            QPainterPath shadow;
            shadow.addRoundedRect(body.translated(0, 2), radius, radius);
            painter.fillPath(shadow, board_.darker(170));
            face = body;
        } else {
            face = body.translated(0, 2);
        }
        QPainterPath path;
        path.addRoundedRect(face, radius, radius);
        painter.fillPath(path, fill);
    } else {
        text = kLabelText;
    }

    if (!look.label.isEmpty()) {
        const QRect box = face.toRect().adjusted(4, 2, -4, -2);
        // One character reads best large; longer texts shrink to fit.
        const int start = look.label.size() <= 2 ? rect.height() * 11 / 20 : rect.height() * 2 / 5;
        painter.setFont(fittedFont(look.label, box.size(), start));
        painter.setPen(text);
        painter.drawText(box, Qt::AlignCenter, look.label);
    }
    painter.restore();
}
