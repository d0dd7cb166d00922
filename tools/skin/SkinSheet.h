// All pictures of one loaded layout and the sections that cut them:
//
//   <name>.gif     every distinct key picture once (a released and a pressed
//                  picture per key and mode; a picture equal to another one
//                  of the same size is shared), packed into one sheet;
//   background     the board background, for <name>_bg.gif when the layout
//                  does not use the set's shared bg.gif.
//
// The key pictures are given with explicit offsets, never cut in place, so
// that a full repaint draws the picture of the current mode.
#ifndef VEXIL_TOOLS_SKIN_SKINSHEET_H
#define VEXIL_TOOLS_SKIN_SKINSHEET_H

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <array>
#include <string>
#include <vector>

#include "engine/VX_Layout.h"

class SkinLabels;

class SkinSheet {
public:
    // False with a reason when the layout cannot be given pictures.
    bool render(const VX_Layout &layout, const SkinLabels &labels, std::string &error);

    // The board background in `colour` for a board of `size`.
    static QImage drawBackground(QColor colour, QSize size);

    // The [Board] and [Pixs] sections matching the pictures, header line
    // included, each line ending in a line feed. With `sharedBackground`
    // the board takes bg.gif ("pixmap default"), otherwise <name>_bg.gif.
    std::string boardSection(const VX_Layout &layout, bool sharedBackground) const;
    std::string pixsSection(const VX_Layout &layout) const;

    QImage keys;        // <name>.gif
    QImage background;  // the layout's own background, board-sized
    int pieces = 0;     // distinct pictures on the sheet
    std::string warnings;  // one line per key that does not fit the board

private:
    // Offset of each key's picture on the sheet per mode and state; a key
    // without a size has none (x < 0).
    std::vector<std::array<std::array<QPoint, VX_Key::kStates>, VX_Key::kModes>> offsets_;
};

#endif
