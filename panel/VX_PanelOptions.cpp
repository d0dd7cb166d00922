#include "panel/VX_PanelOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The options that take no value, and what each sets.
struct Flag {
    const char *name;
    bool VX_PanelOptions::*field;
};
constexpr Flag kFlags[] = {
    {"--help", &VX_PanelOptions::help},          {"-h", &VX_PanelOptions::help},
    {"--float", &VX_PanelOptions::floating},     {"--x11", &VX_PanelOptions::x11},
    {"--wayland", &VX_PanelOptions::wayland},    {"--auto", &VX_PanelOptions::autoShow},
    {"--press-types", &VX_PanelOptions::pressTypes}, {"--list-sets", &VX_PanelOptions::listSets},
    {"--no-suggest", &VX_PanelOptions::noSuggest},   {"--no-learn", &VX_PanelOptions::noLearn},
};

struct CommandFlag {
    const char *name;
    VX_PanelOptions::Command command;
};
constexpr CommandFlag kCommands[] = {
    {"--toggle", VX_PanelOptions::COMMAND_TOGGLE},
    {"--show", VX_PanelOptions::COMMAND_SHOW},
    {"--hide", VX_PanelOptions::COMMAND_HIDE},
    {"--status", VX_PanelOptions::COMMAND_STATUS},
};

// The options that take a value, as "--name value" or "--name=value".
constexpr const char *kValued[] = {"--scale", "--width", "--height", "--set"};

}  // namespace

bool VX_PanelOptions::parse(int argc, char **argv, VX_PanelOptions &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        bool known = false;
        for (const Flag &flag : kFlags) {
            if (std::strcmp(arg, flag.name) == 0) {
                options.*flag.field = true;
                known = true;
            }
        }
        for (const CommandFlag &command : kCommands) {
            if (std::strcmp(arg, command.name) == 0) {
                if (options.command != COMMAND_NONE && options.command != command.command) {
                    error = "--toggle, --show, --hide and --status exclude each other";
                    return false;
                }
                options.command = command.command;
                known = true;
            }
        }
        if (known)
            continue;
        const char *name = nullptr;
        const char *value = nullptr;
        for (const char *valued : kValued) {
            const size_t n = std::strlen(valued);
            if (std::strcmp(arg, valued) == 0) {
                name = valued;
                if (i + 1 < argc)
                    value = argv[++i];
            } else if (std::strncmp(arg, valued, n) == 0 && arg[n] == '=') {
                name = valued;
                value = arg + n + 1;
            }
        }
        if (!name) {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
        if (std::strcmp(name, "--scale") == 0) {
            if (!value) {
                error = "--scale needs a factor, such as --scale 1.5";
                return false;
            }
            char *end = nullptr;
            errno = 0;
            const double factor = std::strtod(value, &end);
            if (end == value || *end != '\0' || errno != 0 || !std::isfinite(factor) || factor < kMinScale ||
                factor > kMaxScale) {
                error = std::string("--scale takes a number from 0.25 to 8, not '") + value + "'";
                return false;
            }
            options.scale = factor;
        } else if (std::strcmp(name, "--width") == 0) {
            if (!value || std::strcmp(value, "full") != 0) {
                error = std::string("--width takes 'full', not '") + (value ? value : "") + "'";
                return false;
            }
            options.fullWidth = true;
        } else if (std::strcmp(name, "--height") == 0) {
            // N% with N a whole number from 1 to 100.
            const char *v = value ? value : "";
            char *end = nullptr;
            errno = 0;
            const long percent = std::strtol(v, &end, 10);
            if (end == v || *v == '-' || *v == '+' || std::strcmp(end, "%") != 0 || errno != 0 || percent < 1 ||
                percent > 100) {
                error = std::string("--height takes a share of the screen from 1% to 100%, not '") + v + "'";
                return false;
            }
            options.heightPercent = static_cast<int>(percent);
        } else {
            if (!value || !*value) {
                error = "--set needs a list of layouts, such as --set de-fr-es (see --list-sets)";
                return false;
            }
            if (value[std::strlen(value) - 1] == '/') {
                error = std::string("--set names a load list, not the folder '") + value + "'";
                return false;
            }
            options.set = value;
        }
    }
    if (options.x11 && options.wayland) {
        error = "--x11 and --wayland exclude each other";
        return false;
    }
    return true;
}

const char *VX_PanelOptions::usage()
{
    return "Usage: vexil-panel [--float] [--scale F] [--width full] [--height N%] [--set NAME]\n"
           "                   [--press-types] [--auto] [--no-suggest] [--no-learn] [--x11 | --wayland]\n"
           "       vexil-panel --toggle | --show | --hide | --status\n"
           "       vexil-panel --list-sets | --help\n"
           "An on-screen keyboard that types into the window that has the keyboard focus.\n"
           "Clicking or touching it never takes the focus away. A key types when the\n"
           "finger or button lifts, with a larger picture of it shown above; sliding\n"
           "moves to another key, sliding off the keyboard types nothing.\n"
           "\n"
           "  --float        not docked: on X11 a movable window that stays above the\n"
           "                 others, on Wayland a board above everything that keeps no\n"
           "                 room for itself at the bottom edge\n"
           "  --scale F      draw the keyboard F times as large (0.25 to 8; e.g. 1.5 or 2\n"
           "                 for a touch screen)\n"
           "  --width full   scale each layout to the width of the screen\n"
           "  --height N%    never taller than N per cent of the screen's height\n"
           "  --set NAME     load the layouts of load-NAME.cfg (e.g. de-fr-es), or of the\n"
           "                 load list NAME.cfg, or of a file given by its path\n"
           "  --list-sets    name the load lists that --set can pick, and exit\n"
           "  --press-types  type on the press and on every key slid over, as vexil does\n"
           "  --no-suggest   no strip of word suggestions above the keyboard\n"
           "  --no-learn     learn nothing from what is typed (the words learned before\n"
           "                 are still suggested)\n"
           "  --toggle, --show, --hide\n"
           "                 hide or show the panel already running on this display\n"
           "                 (SIGUSR1 toggles it too), and exit at once\n"
           "  --status       print what the running panel shows, one 'key: value' line\n"
           "                 each: shown, output, layout, set, purpose, auto\n"
           "  --auto         show the keyboard only while a text field has the focus (on\n"
           "                 Wayland through the input-method protocol, on X11 through\n"
           "                 the accessibility bus, AT-SPI)\n"
           "  --x11          type through X11 (XTest), also in a Wayland session; reaches\n"
           "                 the X11 applications only (XWayland)\n"
           "  --wayland      type through Wayland (the default when $WAYLAND_DISPLAY is set)\n"
           "  --help         show this text and exit\n"
           "\n"
           "The layouts are those of vexil: load.cfg and <name>.cfg in\n"
           "$XDG_DATA_HOME/vexil (~/.local/share/vexil), then in ../share/vexil beside the\n"
           "program. Wayland needs a compositor with the layer-shell and virtual-keyboard\n"
           "protocols (wlroots-based ones: sway, Phosh, labwc, river, Hyprland). One panel\n"
           "runs per display. Exit status 2: wrong command line, or nothing to type into;\n"
           "1: the display went away, a panel already runs on this display, or (with\n"
           "--toggle, --show, --hide, --status) none does.\n";
}
