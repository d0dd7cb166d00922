// The platform's table of layout directories, fixed at start-up: the user's
// own ($XDG_DATA_HOME/vexil, else ~/.local/share/vexil), then the layouts
// shipped beside the executable (<exe dir>/../share/vexil).
#ifndef VEXIL_BASE_SEARCHDIRS_H
#define VEXIL_BASE_SEARCHDIRS_H

#include <string>
#include <vector>

std::vector<std::string> platformSearchDirs();

#endif
