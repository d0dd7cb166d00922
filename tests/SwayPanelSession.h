// The panel's end-to-end session on Wayland: a headless sway of its own
// (WaylandSession) and its virtual pointer, the focus and the docks'
// room read through swaymsg, the screen through grim.
#ifndef VEXIL_TESTS_SWAYPANELSESSION_H
#define VEXIL_TESTS_SWAYPANELSESSION_H

#include <string>
#include <vector>

#include "tests/PanelSession.h"
#include "tests/WaylandSession.h"

class SwayPanelSession : public PanelSession {
public:
    static constexpr const char *kName = "sway";
    const char *name() const override { return kName; }
    bool start(int width, int height) override { return start(width, height, 1); }
    // The same on an output of `scale`.
    bool start(int width, int height, int scale);
    const std::string &error() const override { return error_; }
    void share(const std::string &path) override { session_.share(path); }

    bool launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &env,
                const ChildOptions &options) override
    {
        return session_.launch(child, argv, env, options);
    }
    std::vector<std::string> terminal(const std::vector<std::string> &argv) const override;
    std::vector<std::string> textField(const std::string &out) const override;
    std::vector<std::string> panel() const override;
    bool focus(int pid) override { return focusedPid() == pid; }
    int focusedPid() override { return session_.focusedPid(); }

    bool awaitDock(int pid, int width, int height, std::string &seen) override;
    int usableHeight() override;

    bool tap(e2e::Point at) override { return pointer_.tap(at.x, at.y); }
    bool press(e2e::Point at) override { return pointer_.move(at.x, at.y) && pointer_.down(); }
    bool move(e2e::Point to) override { return pointer_.move(to.x, to.y); }
    bool release() override { return pointer_.up(); }
    bool quickTaps(const std::vector<e2e::Point> &points, int count) override;

    QImage screenshot() override;
    std::string inputState() override { return session_.inputs(); }

    // The compositor and the pointer themselves, for what only Wayland has.
    WaylandSession &compositor() { return session_; }
    SessionPointer &pointer() { return pointer_; }

private:
    WaylandSession session_;  // sway and its runtime folder
    SessionPointer pointer_;  // clicks on its output
    std::string error_;       // why start() failed
    int shots_ = 0;           // screenshots taken, for their file names
};

#endif
