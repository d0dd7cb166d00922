#include "tests/X11PanelSession.h"

#include <algorithm>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <thread>

using e2e::Point;

bool X11PanelSession::start(int width, int height)
{
    width_ = width;
    height_ = height;
    runtime_ = dir_.mkdir("run");
    chmod(runtime_.c_str(), 0700);
    for (const char *tool : {"Xvfb", "openbox", "xterm", "xdotool", "xprop", "xmodmap", "xset", "xwd"})
        if (!haveProgram(tool)) {
            error_ = std::string(tool) + " is missing (make test installs it)";
            return false;
        }
    if (!startXvfb(server_, display_, width, height)) {
        error_ = "Xvfb did not start";
        return false;
    }
    if (!startWindowManager()) {
        error_ = "openbox did not start on " + display_;
        return false;
    }
    return true;
}

// On a loaded machine openbox may take long to claim the screen, or give
// up when the server is slow to answer: it gets two more chances, each a
// moment later.
bool X11PanelSession::startWindowManager()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        wm_.stop(SIGKILL);
        if (!wm_.start({"openbox", "--sm-disable"}, {"DISPLAY=" + display_}))
            return false;
        const bool claimed = e2e::waitUntil(
            [&] {
                return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos ||
                       waitpid(wm_.pid(), nullptr, WNOHANG) != 0;
            },
            3 * e2e::kPatience);
        if (claimed && x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos)
            return true;
    }
    return false;
}

std::string X11PanelSession::x(const std::string &command, bool *ok) const
{
    return shell("DISPLAY=" + display_ + " " + command + " 2>/dev/null", ok);
}

bool X11PanelSession::launch(Child &child, const std::vector<std::string> &argv, const std::vector<std::string> &env,
                             const ChildOptions &options)
{
    std::vector<std::string> all = {"DISPLAY=" + display_, "XDG_RUNTIME_DIR=" + runtime_, "LC_ALL=C.UTF-8",
                                    "QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY"};
    all.insert(all.end(), env.begin(), env.end());
    return child.start(argv, all, options);
}

std::vector<std::string> X11PanelSession::terminal(const std::vector<std::string> &argv) const
{
    std::vector<std::string> all = {"xterm", "-u8", "-geometry", "80x10+0+0", "-e"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

std::vector<std::string> X11PanelSession::textField(const std::string &out) const
{
    return {binDir() + "/vexil_typing_target", out};
}

std::vector<std::string> X11PanelSession::panel() const { return {binDir() + "/vexil-panel", "--x11"}; }

bool X11PanelSession::focus(int pid)
{
    x("xdotool search --onlyvisible --pid " + std::to_string(pid) + " windowfocus");
    return focusedPid() == pid;
}

int X11PanelSession::focusedPid()
{
    int pid = 0;
    return std::sscanf(x("xdotool getwindowfocus getwindowpid").c_str(), "%d", &pid) == 1 ? pid : 0;
}

bool X11PanelSession::awaitDock(int pid, int width, int height, std::string &seen)
{
    const std::string window = x("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(pid));
    panelWindow_ = window.substr(0, window.find('\n'));
    if (panelWindow_.empty()) {
        seen = "no panel window";
        return false;
    }
    // Centred on the bottom edge once the window manager has placed it,
    // and the work area of maximised windows ends above it.
    const std::string want = "X=" + std::to_string((width_ - width) / 2) + "\nY=" + std::to_string(height_ - height) +
                             "\nWIDTH=" + std::to_string(width) + "\nHEIGHT=" + std::to_string(height);
    return e2e::waitUntil([&] {
        seen = x("xdotool getwindowgeometry --shell " + panelWindow_);
        if (seen.find(want) == std::string::npos)
            return false;
        seen += "usable height " + std::to_string(usableHeight());
        return usableHeight() == height_ - height;
    });
}

int X11PanelSession::usableHeight()
{
    int left = 0, top = 0, width = 0, height = 0;
    const std::string area = x("xprop -root _NET_WORKAREA");
    const size_t equals = area.find('=');
    if (equals == std::string::npos ||
        std::sscanf(area.c_str() + equals + 1, " %d, %d, %d, %d", &left, &top, &width, &height) != 4)
        return -1;
    return height;
}

bool X11PanelSession::tap(Point at)
{
    bool ok = false;
    x("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1", &ok);
    return ok;
}

bool X11PanelSession::press(Point at)
{
    bool ok = false;
    x("xdotool mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " mousedown 1", &ok);
    return ok;
}

bool X11PanelSession::move(Point to)
{
    bool ok = false;
    x("xdotool mousemove " + std::to_string(to.x) + " " + std::to_string(to.y), &ok);
    return ok;
}

bool X11PanelSession::release()
{
    bool ok = false;
    x("xdotool mouseup 1", &ok);
    return ok;
}

bool X11PanelSession::quickTaps(const std::vector<Point> &points, int count)
{
    if (points.empty())
        return false;
    std::string command = "xdotool";
    for (int i = 0; i < count; ++i) {
        const Point &at = points[i % points.size()];
        command += " mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1";
    }
    bool ok = false;
    x(command, &ok);
    return ok;
}

QImage X11PanelSession::screenshot() { return readXwd(x("xwd -root -silent")); }

std::string X11PanelSession::inputState()
{
    std::istringstream keys(x("xmodmap -pke"));
    std::string out, line;
    while (std::getline(keys, line)) {
        int keycode = 0;
        if (std::sscanf(line.c_str(), "keycode %d", &keycode) == 1) {
            const bool empty = line.find_first_not_of(' ', line.find('=') + 1) == std::string::npos;
            if (!sparesRead_ && empty)
                spares_.push_back(keycode);
            if (std::find(spares_.begin(), spares_.end(), keycode) != spares_.end())
                line = "keycode " + std::to_string(keycode) + " = (spare)";
        }
        out += line + "\n";
    }
    sparesRead_ = true;
    return out + x("xset q");
}
