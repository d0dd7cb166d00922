// Which layout of a set each purpose of a text field shows: vexil's own
// file beside a load list, `load.purpose` for `load.cfg` (`load-NAME.purpose`
// for `load-NAME.cfg`), found where the layouts are. One line per purpose:
//
//     # a comment ('#' in the first column); empty lines are skipped
//     digits  num
//     phone   phone num
//
// the purpose word (as vxPurposeName writes it), then one or more layout
// names, blank-separated: the first of them that the set loaded is shown.
// A purpose without a line leaves the board as it is (a private field
// shows the letters the user last chose).
#ifndef VEXIL_PURPOSE_VX_PURPOSETABLE_H
#define VEXIL_PURPOSE_VX_PURPOSETABLE_H

#include <string>
#include <vector>

#include "purpose/VX_Purpose.h"

class VX_PurposeTable {
public:
    // Layout names one line may give, the first loaded one wins.
    static constexpr int kMaxChoices = 4;

    // The purpose file of the load list `listName` ("load.cfg" gives
    // "load.purpose"; a name without ".cfg" gets ".purpose" added).
    static std::string fileFor(const std::string &listName);
    // The first readable "<dir>/<fileFor(listName)>" of `searchDirs`, as
    // every file of a set is found (a list copied to the user's folder
    // keeps the shipped purposes); empty when no folder has one.
    static std::string find(const std::vector<std::string> &searchDirs, const std::string &listName);

    // Reads `path`, replacing what the table held. False with one
    // diagnostic naming the file and line through the log sink, the table
    // left empty, when it cannot be read or a line is wrong: an unknown
    // purpose, a purpose given twice, no layout name, or more than
    // kMaxChoices of them.
    bool load(const char *path);
    // The layout names for `purpose`, in order of preference; empty when
    // the table has no line for it.
    const std::vector<std::string> &choices(VX_Purpose purpose) const;
    // No purpose has a line.
    bool empty() const;
    // Forgets every line.
    void clear();
    // Gives `purpose` these choices (at most kMaxChoices; the loader and
    // tests).
    void set(VX_Purpose purpose, std::vector<std::string> names);

private:
    std::vector<std::string> choices_[VX_PURPOSE_COUNT];  // by purpose; each at most kMaxChoices names
};

#endif
