#include "tools/skin/SkinPainter.h"

#include "image/VX_LabelFont.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <cstdlib>
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

// The smallest text drawn: 10 px reads on a 96-dpi screen (7.5 pt). A label
// that does not fit at this size is wrapped at a blank, then shortened.
constexpr int kMinFontPixels = 10;


// How a label is laid into its box: font and lines.
struct FittedLabel {
    QFont font;
    QStringList lines;
};

// The label on one line at the largest size from `start` down to the
// floor; else on two lines broken at the blank nearest its middle; else on
// one line cut short with an ellipsis at the floor size.
FittedLabel fitLabel(const QString &text, const QSize &box, int start)
{
    QStringList twoLines;
    int middle = -1;
    for (int i = 0; i < text.size(); ++i)
        if (text[i] == QLatin1Char(' ') && (middle < 0 || std::abs(i - text.size() / 2) < std::abs(middle - text.size() / 2)))
            middle = i;
    if (middle > 0 && middle + 1 < text.size())
        twoLines = QStringList{text.left(middle), text.mid(middle + 1)};

    for (const QStringList &lines : {QStringList{text}, twoLines}) {
        if (lines.isEmpty())
            continue;
        for (int size = std::max(start, kMinFontPixels); size >= kMinFontPixels; --size) {
            const QFont font = vxLabelFont(text, size);
            const QFontMetrics metrics(font);
            int width = 0;
            for (const QString &line : lines)
                width = std::max(width, metrics.horizontalAdvance(line));
            if (width <= box.width() && metrics.height() * lines.size() <= box.height())
                return {font, lines};
        }
    }
    const QFont font = vxLabelFont(text, kMinFontPixels);
    return {font, {QFontMetrics(font).elidedText(text, Qt::ElideRight, box.width())}};
}

// A lone symbol (an arrow, the open box of space) sits low or high in its
// line; it is centred by its ink. Letters and digits keep their baseline so
// that a row of keys reads evenly.
bool centredByInk(const QString &label)
{
    const QVector<uint> chars = label.toUcs4();
    return chars.size() == 1 && !QChar::isLetterOrNumber(chars[0]) && !QChar::isPunct(chars[0]);
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
        if (look.latched) {
            fill = kLitFace;
        } else if (look.pressed) {
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
        // One or two characters read best large; longer texts shrink to fit.
        const int characters = look.label.toUcs4().size();
        // An emoji is a picture: as large as the key's face holds it.
        const int start = vxIsEmojiLabel(look.label) ? rect.height() * 2 / 3
                          : characters <= 2          ? rect.height() * 11 / 20
                                                     : rect.height() * 2 / 5;
        const FittedLabel fitted = fitLabel(look.label, box.size(), start);
        painter.setFont(fitted.font);
        painter.setPen(text);
        if (centredByInk(look.label)) {
            const QRectF ink = QFontMetricsF(fitted.font).tightBoundingRect(look.label);
            const QPointF centre = QRectF(box).center();
            painter.drawText(QPointF(centre.x() - ink.center().x(), centre.y() - ink.center().y()), look.label);
        } else {
            painter.drawText(box, Qt::AlignCenter, fitted.lines.join(QLatin1Char('\n')));
        }
    }
    painter.restore();
}
