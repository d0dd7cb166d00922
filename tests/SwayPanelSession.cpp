#include "tests/SwayPanelSession.h"

#include <cstdlib>

using e2e::Point;

bool SwayPanelSession::start(int width, int height, int scale)
{
    for (const char *tool : {"sway", "swaymsg", "foot", "grim"})
        if (!haveProgram(tool)) {
            error_ = std::string(tool) + " is missing (make test installs it)";
            return false;
        }
    if (!session_.start(width, height, scale)) {
        error_ = session_.error();
        return false;
    }
    if (!pointer_.start(session_)) {
        error_ = "the virtual pointer did not start";
        return false;
    }
    return true;
}

std::vector<std::string> SwayPanelSession::terminal(const std::vector<std::string> &argv) const
{
    std::vector<std::string> all = {"foot"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

std::vector<std::string> SwayPanelSession::textField(const std::string &out) const
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    return {"/usr/bin/python3", session_.reachable(std::string(source ? source : ".") + "/tests/gtk_target.py"), "4",
            out};
}

std::vector<std::string> SwayPanelSession::panel() const
{
    return {session_.reachable(binDir() + "/vexil-panel"), "--wayland"};
}

bool SwayPanelSession::awaitDock(int, int, int height, std::string &seen)
{
    // The compositor keeps the board's height free at the bottom edge.
    return e2e::waitUntil([&] {
        const int usable = usableHeight();
        seen = "usable height " + std::to_string(usable);
        return usable == session_.height() - height;
    });
}

int SwayPanelSession::usableHeight()
{
    int x = 0, y = 0, width = 0, height = 0;
    return session_.usableArea(x, y, width, height) ? height : -1;
}

bool SwayPanelSession::quickTaps(const std::vector<Point> &points, int count)
{
    // The driver goes round the points itself, without waiting for the
    // compositor between the clicks.
    std::string command = "taps " + std::to_string(count);
    for (const Point &at : points)
        command += " " + std::to_string(at.x) + " " + std::to_string(at.y);
    return !points.empty() && pointer_.command(command);
}

QImage SwayPanelSession::screenshot()
{
    const std::string path = session_.runtimeDir() + "/screen-" + std::to_string(++shots_) + ".png";
    if (!session_.screenshot(path))
        return QImage();
    return QImage(QString::fromStdString(path));
}
