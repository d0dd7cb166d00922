#include "tools/skin/SkinSheet.h"

#include <QPainter>
#include <sstream>

#include "engine/VX_Layout.h"
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

int columns(const VX_Layout &layout) { return layout.modes * VX_Key::kStates; }

}  // namespace

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
    const QRect board(0, 0, layout.width, layout.height);
    const SkinPainter painter(QColor(layout.red, layout.green, layout.blue));

    background = QImage(board.size(), QImage::Format_RGB32);
    {
        QPainter p(&background);
        painter.drawBackground(p, board);
    }

    warnings.clear();
    keys = QImage(layout.width * columns(layout), layout.height, QImage::Format_RGB32);
    QPainter p(&keys);
    for (int column = 0; column < columns(layout); ++column) {
        const int mode = column / VX_Key::kStates;
        const bool pressed = column % VX_Key::kStates == VX_PIX_PRESSED;
        painter.drawBackground(p, board.translated(column * layout.width, 0));
        for (int32_t i = 0; i < layout.keyCount; ++i) {
            const VX_Key &key = layout.keys[i];
            const QRect rect(key.x, key.y, key.width, key.height);
            if (!board.contains(rect)) {
                if (column == 0)
                    warnings += "key " + std::to_string(i) + " lies outside the board\n";
                continue;
            }
            KeyLook look;
            look.label = labels.label(layout, i, mode);
            look.style = styleOf(key.type);
            look.pressed = pressed && key.type != VX_KEY_LABEL;
            look.lit = key.type == VX_KEY_CAPS && mode > 0;
            painter.drawKey(p, rect.translated(column * layout.width, 0), look);
        }
    }
    return true;
}

std::string SkinSheet::boardSection(const VX_Layout &layout) const
{
    std::ostringstream out;
    out << "[Board]\n"
        << "wid " << layout.width << " hei " << layout.height << "\n"
        << "color ( " << layout.red << ' ' << layout.green << ' ' << layout.blue << " )\n"
        << "fill pixmap\n"
        << "pixmap " << layout.displayName() << "_bg.gif\n";
    return out.str();
}

std::string SkinSheet::pixsSection(const VX_Layout &layout) const
{
    std::ostringstream out;
    out << "[Pixs]\n"
        << "# Made by vexil-skin: " << layout.displayName() << ".gif holds one board per mode and state.\n";
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        out << '(';
        for (int mode = 0; mode < layout.modes; ++mode) {
            if (mode > 0)
                out << " |";
            for (int state = 0; state < VX_Key::kStates; ++state) {
                const int column = mode * VX_Key::kStates + state;
                out << " (" << key.x + column * layout.width << ' ' << key.y << ')';
            }
        }
        out << " )\n";
    }
    return out.str();
}
