// All pictures of one loaded layout and the sections that cut them:
//
//   <name>.gif     one board-sized column per mode and state (mode 0
//                  released, mode 0 pressed, mode 1 released, ...), each key
//                  drawn at its own board position inside every column;
//   <name>_bg.gif  the board background.
//
// The key pictures are given with explicit offsets, never cut in place, so
// that a full repaint draws the picture of the current mode.
#ifndef VEXIL_TOOLS_SKIN_SKINSHEET_H
#define VEXIL_TOOLS_SKIN_SKINSHEET_H

#include <QImage>
#include <string>

class SkinLabels;
class VX_Layout;

class SkinSheet {
public:
    // False with a reason when the layout cannot be given pictures.
    bool render(const VX_Layout &layout, const SkinLabels &labels, std::string &error);

    // The [Board] and [Pixs] sections matching the pictures, header line
    // included, each line ending in a line feed.
    std::string boardSection(const VX_Layout &layout) const;
    std::string pixsSection(const VX_Layout &layout) const;

    QImage keys;        // <name>.gif
    QImage background;  // <name>_bg.gif
    std::string warnings;  // one line per key that does not fit the board
};

#endif
