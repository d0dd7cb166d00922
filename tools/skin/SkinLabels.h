// The text drawn on each key picture. By default it comes from the loaded
// layout: an alpha key shows all its characters of the mode, special keys a
// symbol, a link key the name of the aux layout it opens. The layout author
// overrides it with comment lines of the layout file, which the loader skips:
//
//   #label <key index> <text> [<text of mode 1>]
//
// The key index counts from 0 in [Layout] order; a text given once serves
// every mode. A key shown in some modes only (a function key on a second
// mode, standing where another key is in the first) gets no picture in the
// modes a line names:
//
//   #hide <key index> <mode> [<mode>]
#ifndef VEXIL_TOOLS_SKIN_SKINLABELS_H
#define VEXIL_TOOLS_SKIN_SKINLABELS_H

#include <QString>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <string>
#include <vector>

class VX_Layout;

class SkinLabels {
public:
    // Reads the override lines of a layout file's text. False with a reason
    // when such a line names no key index or gives no text.
    bool read(const std::string &fileText, std::string &error);
    // Key `index` has no picture in `mode` (a #hide line).
    bool hidden(int index, int mode) const;
    // Label of key `index` of `layout` in `mode`.
    QString label(const VX_Layout &layout, int index, int mode) const;

    // Default label, without overrides.
    static QString defaultLabel(const VX_Layout &layout, int index, int mode);
    // Label of a named or modifier key of XKB `keysym`: "Esc", "Ctrl",
    // arrows, "F5", the character it types, else its keysym name.
    static QString namedLabel(uint32_t keysym);

private:
    std::map<int, std::vector<QString>> overrides_;  // key index -> text per mode
    std::set<std::pair<int, int>> hidden_;           // (key index, mode) without a picture
};

#endif
