// A display server of a test's own, as the panel's end-to-end scenarios
// see it: where programs start, which one has the focus, how the pointer
// clicks, what the dock leaves to other windows and what the screen shows.
// X11PanelSession (Xvfb, openbox, XTest) and SwayPanelSession (a headless
// sway, a virtual pointer) implement it, so a scenario is written once and
// runs on both. Screen coordinates are logical pixels.
#ifndef VEXIL_TESTS_PANELSESSION_H
#define VEXIL_TESTS_PANELSESSION_H

#include <QImage>
#include <string>
#include <vector>

#include "tests/PanelBoard.h"
#include "tests/XSession.h"

class PanelSession {
public:
    virtual ~PanelSession() = default;

    // "X11" or "sway", for messages.
    virtual const char *name() const = 0;
    // Starts the server with one screen of width x height and what clicks
    // on it; false with error() when it cannot.
    virtual bool start(int width, int height) = 0;
    virtual const std::string &error() const = 0;
    // Lets the session's programs read and write `path` (sway's run as a
    // user of their own).
    virtual void share(const std::string &path) = 0;

    // Starts `argv` in the session, with the session's environment and
    // `env` ("NAME=value") on top of it.
    virtual bool launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const ChildOptions &options) = 0;
    // A terminal window running `argv`: xterm or foot.
    virtual std::vector<std::string> terminal(const std::vector<std::string> &argv) const = 0;
    // A text field of the session's toolkit, alone in its window, that
    // writes its whole text to `out` after every change: a Qt field on
    // X11, a GTK 4 field (typed into through the input method) on Wayland.
    // Commands on its standard input where it takes them (gtk_target.py).
    virtual std::vector<std::string> textField(const std::string &out) const = 0;
    // The panel program as the session runs it, with its output option.
    virtual std::vector<std::string> panel() const = 0;
    // Gives the focus to a window of `pid` where the session lets a test do
    // that; true once it has it.
    virtual bool focus(int pid) = 0;
    // The pid of the program whose window has the keyboard focus; 0 when none.
    virtual int focusedPid() = 0;

    // Waits until the panel `pid` is docked: its board width x height on
    // the bottom edge, centred, and the rest of the screen left to the
    // other windows. False with what was seen in `seen`.
    virtual bool awaitDock(int pid, int width, int height, std::string &seen) = 0;
    // The height the docks leave to the other windows; -1 when unknown.
    virtual int usableHeight() = 0;

    // The pointer: a click; a press, a move while pressed, a release; and
    // `count` clicks going round `points`, as quickly as the server takes them.
    virtual bool tap(e2e::Point at) = 0;
    virtual bool press(e2e::Point at) = 0;
    virtual bool move(e2e::Point to) = 0;
    virtual bool release() = 0;
    virtual bool quickTaps(const std::vector<e2e::Point> &points, int count) = 0;

    // The whole screen as the server shows it; null when it cannot say.
    virtual QImage screenshot() = 0;
    // What a panel may change while it runs and must give back when it
    // ends: the X keymap and keyboard controls; the compositor's input
    // devices. A keycode that carried no keysym at the first call counts
    // as empty whatever it holds later: the X11 panel leaves its spares
    // holding its characters, for the clients that read late.
    virtual std::string inputState() = 0;
};

#endif
