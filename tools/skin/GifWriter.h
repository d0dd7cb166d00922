// Writes a paletted picture as a GIF file with giflib: one image, a global
// colour table, no transparency.
#ifndef VEXIL_TOOLS_SKIN_GIFWRITER_H
#define VEXIL_TOOLS_SKIN_GIFWRITER_H

#include <string>

#include "tools/skin/Palette.h"

// False with a reason in `error` when the file cannot be written; a file
// left half written is removed.
bool writeGif(const std::string &path, const PalettedImage &image, std::string &error);

#endif
