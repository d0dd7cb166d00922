// The panel's end-to-end session on X11: an Xvfb of its own with openbox,
// programs started on it with a runtime folder of the session's own, focus
// and geometry read with xdotool and xprop, clicks through xdotool.
#ifndef VEXIL_TESTS_X11PANELSESSION_H
#define VEXIL_TESTS_X11PANELSESSION_H

#include <string>
#include <vector>

#include "tests/PanelSession.h"
#include "tests/TestSupport.h"

class X11PanelSession : public PanelSession {
public:
    static constexpr const char *kName = "X11";
    const char *name() const override { return kName; }
    bool start(int width, int height) override;
    const std::string &error() const override { return error_; }
    void share(const std::string &) override {}

    bool launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &env,
                const ChildOptions &options) override;
    std::vector<std::string> terminal(const std::vector<std::string> &argv) const override;
    std::vector<std::string> textField(const std::string &out) const override;
    std::vector<std::string> panel() const override;
    bool focus(int pid) override;
    int focusedPid() override;

    bool awaitDock(int pid, int width, int height, std::string &seen) override;
    int usableHeight() override;

    bool tap(e2e::Point at) override;
    bool press(e2e::Point at) override;
    bool move(e2e::Point to) override;
    bool release() override;
    bool quickTaps(const std::vector<e2e::Point> &points, int count) override;

    QImage screenshot() override;
    std::string inputState() override;

    // Output of `command` run through the shell on the session's display;
    // its error output dropped.
    std::string x(const std::string &command, bool *ok = nullptr) const;
    const std::string &display() const { return display_; }
    // $XDG_RUNTIME_DIR of the session's programs (mode 0700).
    const std::string &runtimeDir() const { return runtime_; }
    // The window of the panel awaitDock() last found ("0x..."), for xprop.
    const std::string &panelWindow() const { return panelWindow_; }

private:
    bool startWindowManager();

    TempDir dir_;              // holds the runtime folder
    Child server_, wm_;        // Xvfb and openbox
    std::string display_;      // ":N"
    std::vector<int> spares_;  // keycodes without a keysym at the first inputState()
    bool sparesRead_ = false;  // spares_ is set
    std::string runtime_;      // in dir_
    std::string panelWindow_;  // see panelWindow()
    std::string error_;        // why start() failed
    int width_ = 0, height_ = 0;  // the screen
};

#endif
