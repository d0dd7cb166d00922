// Reduction of a rendered picture to the at most 256 colours a GIF holds.
// Colours that cover many pixels (the flat faces of board and keys) keep
// their exact value, so pictures written to different files still meet
// without a seam; the rest (anti-aliased edges, text) share the remaining
// entries by median cut and map to the nearest entry without dithering.
#ifndef VEXIL_TOOLS_SKIN_PALETTE_H
#define VEXIL_TOOLS_SKIN_PALETTE_H

#include <QImage>
#include <cstdint>
#include <vector>

struct PalettedImage {
    static constexpr int kMaxColours = 256;
    // Colours always kept exact when a picture has more than kMaxColours.
    static constexpr int kExactColours = 48;

    int width = 0;
    int height = 0;
    std::vector<QRgb> palette;     // 1..kMaxColours entries, opaque
    std::vector<uint8_t> indices;  // width * height palette indices, row by row
};

// Alpha is ignored: the picture is read as opaque RGB.
PalettedImage reduceToPalette(const QImage &image);

#endif
