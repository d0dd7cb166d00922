// vexil-panel's command line: what each option sets, how it is read and the
// --help text. Plain code, shared by the X11 and the Wayland panel.
#ifndef VEXIL_PANEL_VX_PANELOPTIONS_H
#define VEXIL_PANEL_VX_PANELOPTIONS_H

#include <string>

struct VX_PanelOptions {
    // What --toggle, --show, --hide and --status ask of a running panel.
    enum Command { COMMAND_NONE, COMMAND_TOGGLE, COMMAND_SHOW, COMMAND_HIDE, COMMAND_STATUS };

    static constexpr double kMinScale = 0.25;
    static constexpr double kMaxScale = 8.0;

    // Reads argv[1 .. argc) into `options`; false with a one-line `error`
    // when an option is unknown, lacks its value or has a bad one.
    static bool parse(int argc, char **argv, VX_PanelOptions &options, std::string &error);
    // The --help text, ending in a line feed.
    static const char *usage();

    bool help = false;      // --help: print the usage and start nothing
    bool floating = false;  // --float: a movable window instead of the dock
    double scale = 1.0;     // --scale F: board size factor, kMinScale..kMaxScale
    bool x11 = false;       // --x11: type through X11 even in a Wayland session
    bool wayland = false;   // --wayland: Wayland even without $WAYLAND_DISPLAY's hint; not with x11
    bool autoShow = false;  // --auto: shown only while a text field has the focus
    bool pressTypes = false;  // --press-types: keys type on the press, as in vexil
    bool fullWidth = false;   // --width full: each layout scaled to the screen's width
    int heightPercent = 0;    // --height N%: at most N % of the screen's height, 1..100; 0 no cap
    Command command = COMMAND_NONE;  // --toggle, --show, --hide, --status: tell or ask the running panel
    std::string set;          // --set: a load list's name or path; empty: load.cfg
    bool listSets = false;    // --list-sets: name the load lists found and start nothing
    bool noSuggest = false;   // --no-suggest: no strip of word suggestions
    bool noLearn = false;     // --no-learn: nothing learned from what is typed
};

#endif
