// Draws every placed layout in every mode into PNG files with the board's
// own painting: "<layout>-mode<m>.png" as the board first shows the mode,
// and "<layout>-mode<m>-pressed.png" with every key that can be hit drawn
// in its pressed look, and "<layout>-mode<m>-alternates.png" with the popup a
// long press opens on each key that has alternates (vexil-panel), beside
// the key. Modes are counted from 0, as in vexil-check's lines.
#ifndef VEXIL_TOOLS_CHECK_VX_PREVIEW_H
#define VEXIL_TOOLS_CHECK_VX_PREVIEW_H

#include <string>

class QImage;
class VX_Engine;
class VX_Layout;

class VX_Preview {
public:
    VX_Preview(VX_Engine &engine, std::string outDir);

    // Writes the pictures of all layouts into the output directory, which
    // is created when missing; false (after one line per problem) when a
    // picture could not be drawn or written.
    bool writeAll();

    // The file name stem of a layout: its name with directory separators
    // replaced, so that every picture lands in the output directory.
    static std::string fileStem(const char *layoutName);

private:
    bool writeLayout(VX_Layout &layout, const std::string &stem);
    // The popups of the keys with alternates in the layout's current mode;
    // nothing written when no key has any.
    bool writeAlternates(VX_Layout &layout, const std::string &fileName);
    bool save(const QImage &image, const std::string &fileName);

    VX_Engine &engine_;
    std::string outDir_;
};

#endif
