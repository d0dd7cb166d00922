// The load lists vexil-panel can start with (--set, --list-sets): which
// file a name picks, and the lists found in the search folders with the
// layouts each names. Plain code, shared by the X11 and the Wayland panel.
#ifndef VEXIL_PANEL_VX_LOADLISTS_H
#define VEXIL_PANEL_VX_LOADLISTS_H

#include <string>
#include <vector>

class VX_LoadLists {
public:
    // One load list that --set can pick.
    struct Set {
        std::string name;     // what --set takes ("default" for load.cfg)
        std::string path;     // the file
        std::string layouts;  // the layouts it names, space-separated, as the engine reads them
    };

    // The load list file that --set `set` names, found in `searchDirs`
    // like every file: "load.cfg" for none, a name ending in ".cfg" as it
    // is, "load" or "load-NAME" with ".cfg" added, any other NAME as
    // "load-NAME.cfg". A path (with a '/') puts its folder first in
    // `searchDirs`, so the layouts beside it are found there.
    static std::string fileFor(const std::string &set, std::vector<std::string> &searchDirs);
    // The set's name as --status gives it: "default" for load.cfg, NAME
    // for load-NAME.cfg, else the list's file name.
    static std::string nameOf(const std::string &set);
    // Every load.cfg and load-*.cfg in `searchDirs`, the first of each name
    // (the one loaded), in name order with the default first. The layouts
    // of each are the names the engine would load from it, read with the
    // same tokenizer: up to the first token that is no layout name.
    static std::vector<Set> find(const std::vector<std::string> &searchDirs);
};

#endif
