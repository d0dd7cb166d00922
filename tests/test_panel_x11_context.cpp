// The typing context of the X11 panel against a real application: a click
// into the application (which may move its cursor) ends the multi-tap
// cycle, so the next tap of the key never erases the user's own text, and
// the panel's own taps do not count as such clicks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "tests/PanelFixture.h"
#include "tests/X11PanelSession.h"

namespace {

using namespace e2e;

class PanelX11Context : public PanelFixture<X11PanelSession> {
protected:
    // The geometry of the window with the focus (the target's), as
    // xwininfo tells it; false when it cannot.
    bool targetGeometry(int &x, int &y, int &width, int &height, std::string &said)
    {
        bool ok = false;
        said = session.x("xwininfo -id $(DISPLAY=" + session.display() + " xdotool getwindowfocus)", &ok);
        x = y = width = height = -1;
        std::istringstream lines(said);
        std::string line;
        while (std::getline(lines, line)) {
            const size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = line.substr(0, colon);
            const int value = std::atoi(line.c_str() + colon + 1);
            if (name == "  Absolute upper-left X")
                x = value;
            else if (name == "  Absolute upper-left Y")
                y = value;
            else if (name == "  Width")
                width = value;
            else if (name == "  Height")
                height = value;
        }
        return ok && x >= 0 && y >= 0 && width > 0 && height > 0;
    }
};

// "a1", Return, then x opens a cycle on the xyz key; a click at the end of
// the first line puts the cursor after "a1". The next tap on xyz types a
// fresh x there: the cycle's erase would have taken the user's 1.
TEST_F(PanelX11Context, AClickIntoTheApplicationClosesTheCycle)
{
    const std::string out = home.file("field.txt");
    startTextField(out);
    startPanel();
    for (const Point &key : {kA, kOne, kEnt, kXyz})
        tap(key);
    std::string got;
    ASSERT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a1\nx"; })) << "got '" << got << "'";
    int x, y, width, height;
    std::string said;
    ASSERT_TRUE(targetGeometry(x, y, width, height, said)) << "xdotool says: " << said;
    // Right of the first line's end, inside the field (its lines are
    // about 14 pixels high, below a margin of 4).
    ASSERT_TRUE(session.tap({x + width - 30, y + 9}));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    tap(kXyz);  // well inside the cycle's reset time
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a1x\nx"; })) << "got '" << got << "'";

    // Without a click the cycle goes on: its erase replaces its own letter.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    tap(kXyz);
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a1y\nx"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

}  // namespace
