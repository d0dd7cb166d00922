#include "tools/skin/SkinSheet.h"

#include <QPainter>
#include <sstream>

#include "tools/skin/PieceSheet.h"
#include "tools/skin/SkinLabels.h"
#include "tools/skin/SkinPainter.h"

namespace {

KeyStyle styleOf(int32_t type)
{
    switch (type) {
    case VX_KEY_ALPHA:
    case VX_KEY_SPACE:
        return KeyStyle::Plain;
    case VX_KEY_ENT:
        return KeyStyle::Accent;
    case VX_KEY_LABEL:
        return KeyStyle::Label;
    default:
        return KeyStyle::Function;
    }
}

const QPoint kNoPicture(-1, -1);

}  // namespace

QImage SkinSheet::drawBackground(QColor colour, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    SkinPainter(colour).drawBackground(p, QRect(QPoint(0, 0), size));
    return image;
}

bool SkinSheet::render(const VX_Layout &layout, const SkinLabels &labels, std::string &error)
{
    if (layout.keyCount <= 0 || !layout.keys) {
        error = "the layout has no keys";
        return false;
    }
    if (layout.pixelUnits != 1) {
        error = "the layout gives [Pixs] offsets in key units (pixs 0); the pictures need pixel offsets (pixs 1)";
        return false;
    }
    if (layout.width <= 0 || layout.height <= 0 || layout.modes < 1 || layout.modes > VX_Key::kModes) {
        error = "the layout has no board size";
        return false;
    }
    const QColor colour(layout.red, layout.green, layout.blue);
    const QRect board(0, 0, layout.width, layout.height);
    const SkinPainter painter(colour);
    background = drawBackground(colour, board.size());

    // Each picture is drawn on its own, over the part of the background the
    // key covers, exactly as it would look drawn on the whole board.
    warnings.clear();
    PieceSheet sheet;
    std::vector<std::array<std::array<int, VX_Key::kStates>, VX_Key::kModes>> piece(
        static_cast<size_t>(layout.keyCount));
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        const QRect rect(key.x, key.y, key.width, key.height);
        if (!board.contains(rect))
            warnings += "key " + std::to_string(i) + " lies outside the board\n";
        for (int mode = 0; mode < layout.modes; ++mode)
            for (int state = 0; state < VX_Key::kStates; ++state) {
                int &slot = piece[static_cast<size_t>(i)][static_cast<size_t>(mode)][static_cast<size_t>(state)];
                slot = -1;
                if (rect.isEmpty() || labels.hidden(i, mode))
                    continue;
                QImage image(rect.size(), QImage::Format_RGB32);
                image.fill(colour);
                {
                    QPainter p(&image);
                    p.translate(-rect.topLeft());
                    painter.drawBackground(p, board);
                    KeyLook look;
                    look.label = labels.label(layout, i, mode);
                    look.style = styleOf(key.type);
                    look.pressed = state == VX_PIX_PRESSED && key.type != VX_KEY_LABEL;
                    look.lit = key.type == VX_KEY_CAPS && mode > 0;
                    // A modifier shows its pressed picture while latched
                    // or locked: lit, so it reads as on, not as held.
                    look.latched = look.pressed && key.type == VX_KEY_MODIFIER;
                    painter.drawKey(p, rect, look);
                }
                slot = sheet.add(image);
            }
    }
    if (sheet.count() == 0) {
        error = "the layout has no key with a size";
        return false;
    }
    keys = sheet.pack(layout.width, colour);
    pieces = sheet.count();

    offsets_.assign(static_cast<size_t>(layout.keyCount), {});
    for (size_t i = 0; i < offsets_.size(); ++i)
        for (size_t mode = 0; mode < VX_Key::kModes; ++mode)
            for (size_t state = 0; state < VX_Key::kStates; ++state) {
                const int p = mode < static_cast<size_t>(layout.modes) ? piece[i][mode][state] : -1;
                offsets_[i][mode][state] = p < 0 ? kNoPicture : sheet.position(p);
            }
    return true;
}

std::string SkinSheet::boardSection(const VX_Layout &layout, bool sharedBackground) const
{
    std::ostringstream out;
    out << "[Board]\n"
        << "wid " << layout.width << " hei " << layout.height << "\n"
        << "color ( " << layout.red << ' ' << layout.green << ' ' << layout.blue << " )\n"
        << "fill pixmap\n";
    if (sharedBackground)
        out << "pixmap default\n";
    else
        out << "pixmap " << layout.displayName() << "_bg.gif\n";
    return out.str();
}

std::string SkinSheet::pixsSection(const VX_Layout &layout) const
{
    std::ostringstream out;
    out << "[Pixs]\n"
        << "# Made by vexil-skin: " << layout.displayName()
        << ".gif holds every distinct key picture once; keys that look alike share one.\n";
    for (int32_t i = 0; i < layout.keyCount && static_cast<size_t>(i) < offsets_.size(); ++i) {
        out << '(';
        for (int mode = 0; mode < layout.modes; ++mode) {
            if (mode > 0)
                out << " |";
            for (int state = 0; state < VX_Key::kStates; ++state) {
                const QPoint at = offsets_[static_cast<size_t>(i)][static_cast<size_t>(mode)][static_cast<size_t>(state)];
                if (at.x() < 0)
                    out << " x";
                else
                    out << " (" << at.x() << ' ' << at.y() << ')';
            }
        }
        out << " )\n";
    }
    return out.str();
}
