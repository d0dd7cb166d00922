// vexil-panel on a real (virtual) X server with openbox, in the situations
// where what a client reads depends on more than the keycode: what the
// screen shows of a held key's preview wherever the key lies, the user's
// second layout group locked, Caps Lock on, a client that reads its events
// late, and the panel asked to hide or to end while keys wait.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>
#include <QRect>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"
#include "tests/XSession.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr int kScreenW = 1024, kScreenH = 768;

struct Point {
    int x, y;
};

bool waitUntil(const std::function<bool()> &done, Clock::duration patience = kPatience)
{
    for (const auto until = Clock::now() + patience; Clock::now() < until; std::this_thread::sleep_for(kPollStep))
        if (done())
            return true;
    return done();
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// "rows": five rows of three letters, 60 x 40 each, on a board of 430 x 250:
// the preview of the top row lies above the board, that of the second
// partly over it, those of the three lower rows wholly over it.
constexpr int kRowsW = 430, kRowsH = 250, kRowKeyW = 60, kRowKeyH = 40;
Point rowKeyCorner(int row, int column) { return {10 + 140 * column, 5 + 50 * row}; }

class PanelX11Exact : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"Xvfb", "openbox", "xterm", "xdotool", "xwd", "xprop", "xwininfo", "setxkbmap"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
        writeLayouts();
        ASSERT_TRUE(startXvfb(xserver, display)) << "Xvfb did not start";
        ASSERT_TRUE(startWindowManager()) << "openbox did not start on " << display;
        runtime = home.mkdir("run");
        chmod(runtime.c_str(), 0700);
    }

    bool startWindowManager()
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            wm.stop(SIGKILL);
            if (!wm.start({"openbox", "--sm-disable"}, {"DISPLAY=" + display}))
                return false;
            if (waitUntil([&] { return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
                return true;
        }
        return false;
    }

    std::string x(const std::string &command, bool *ok = nullptr)
    {
        return shell("DISPLAY=" + display + " " + command + " 2>/dev/null", ok);
    }

    void writeLayouts()
    {
        const std::string dir = home.mkdir("vexil");
        home.write("vexil/load.cfg", "rows\n");
        std::string geometry, strings, types;
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column) {
                const Point at = rowKeyCorner(row, column);
                geometry += "(" + std::to_string(at.x) + " " + std::to_string(at.y) + ") ";
                strings += std::string(1, static_cast<char>('a' + row * 3 + column)) + " ";
                types += "alpha ";
            }
        home.write("vexil/rows.cfg", "[Common]\ntype 0 keys 15 alpha 2 bwid " + std::to_string(kRowKeyW) + " bhei " +
                                         std::to_string(kRowKeyH) + "\n[Layout]\n" + types + "\n[Geometry]\n" +
                                         geometry + "\n[Strings]\n" + strings + "\n[Board]\nwid " +
                                         std::to_string(kRowsW) + " hei " + std::to_string(kRowsH) +
                                         " color ( 40 60 90 )\n");
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/rows.cfg 2>&1", &ok);
        ASSERT_TRUE(ok) << out;
    }

    std::vector<std::string> panelEnv()
    {
        return {"DISPLAY=" + display, "XDG_DATA_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + runtime};
    }

    // Starts the panel with `args`; waits until the window manager has
    // docked it, `width` x `height`, centred on the bottom edge.
    void startPanel(const std::vector<std::string> &args, int width, int height)
    {
        std::vector<std::string> argv = {binDir() + "/vexil-panel"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(panel.start(argv, panelEnv(), ChildOptions{home.file("panel.log"), home.file("panel.err")}));
        std::string window = x("timeout 20 xdotool search --sync --onlyvisible --pid " + std::to_string(panel.pid()));
        panelWindow = window.substr(0, window.find('\n'));
        ASSERT_FALSE(panelWindow.empty()) << "no panel window; log:\n" << readFile(home.file("panel.err"));
        const std::string want = "X=" + std::to_string((kScreenW - width) / 2) + "\nY=" +
                                 std::to_string(kScreenH - height) + "\nWIDTH=" + std::to_string(width) +
                                 "\nHEIGHT=" + std::to_string(height);
        std::string geometry;
        ASSERT_TRUE(waitUntil([&] {
            geometry = x("xdotool getwindowgeometry --shell " + panelWindow);
            return geometry.find(want) != std::string::npos;
        })) << geometry;
        origin = {(kScreenW - width) / 2, kScreenH - height};
    }

    // The screen as a client reads it (xwd, as screenshot tools do).
    QImage screen() { return readXwd(x("xwd -root -silent")); }

    // The preview window's place on the screen; empty while none is shown.
    QRect previewRect()
    {
        const std::string found = x("xdotool search --onlyvisible --name 'vexil-panel preview'");
        if (found.empty())
            return QRect();
        const std::string info = x("xwininfo -id " + found.substr(0, found.find('\n')));
        int left = 0, top = 0, width = 0, height = 0;
        auto value = [&](const char *label, int &out) {
            const size_t at = info.find(label);
            return at != std::string::npos && std::sscanf(info.c_str() + at + std::strlen(label), "%d", &out) == 1;
        };
        if (!value("Absolute upper-left X:", left) || !value("Absolute upper-left Y:", top) ||
            !value("Width:", width) || !value("Height:", height))
            return QRect();
        return QRect(left, top, width, height);
    }

    TempDir home;
    Child xserver, wm, target, panel;
    std::string display, runtime, panelWindow;
    Point origin{0, 0};
};

// Mean difference per colour channel (0..255) between two pictures of one size.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
        }
    return sum / (3.0 * a.width() * a.height());
}

// A held key of every row shows its preview on the screen as the key's own
// picture enlarged, wherever the preview lies: above the board, partly or
// wholly over the panel's own window; docked at the layout's size and
// scaled to the screen's width.
TEST_F(PanelX11Exact, APreviewShowsItsKeyOnTheScreenOverEveryRow)
{
    struct Case {
        const char *name;
        std::vector<std::string> args;
        double scale;  // board pixels per layout pixel
    } cases[] = {
        {"docked", {}, 1.0},
        {"--width full", {"--width", "full"}, double(kScreenW) / kRowsW},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int width = static_cast<int>(std::lround(kRowsW * c.scale));
        const int height = static_cast<int>(std::lround(kRowsH * c.scale));
        startPanel(c.args, width, height);
        if (HasFatalFailure())
            return;
        // Every key released: the pictures a preview must show.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const QImage before = screen();
        ASSERT_FALSE(before.isNull());
        for (int row = 0; row < 5; ++row) {
            const Point corner = rowKeyCorner(row, 1);
            const QRect key(origin.x + static_cast<int>(std::lround(corner.x * c.scale)),
                            origin.y + static_cast<int>(std::lround(corner.y * c.scale)),
                            static_cast<int>(std::lround(kRowKeyW * c.scale)),
                            static_cast<int>(std::lround(kRowKeyH * c.scale)));
            const QImage released = before.copy(key);
            x("xdotool mousemove " + std::to_string(key.center().x()) + " " + std::to_string(key.center().y()) +
              " mousedown 1");
            // The preview scaled back to the key's size, against the key:
            // a black or stale window differs by far more than smoothing.
            QRect shown;
            double difference = 1e9;
            waitUntil([&] {
                shown = previewRect();
                if (shown.isEmpty())
                    return false;
                const QImage preview = screen().copy(shown.adjusted(1, 1, -1, -1));
                difference = meanDifference(
                    preview.scaled(released.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation), released);
                return difference < 20;
            });
            x("xdotool mouseup 1");
            EXPECT_FALSE(shown.isEmpty()) << "row " << row << ": no preview window";
            EXPECT_LT(difference, 20) << "row " << row << ": the screen shows the preview at (" << shown.x() << ","
                                      << shown.y() << ") " << shown.width() << "x" << shown.height()
                                      << " unlike the key at (" << key.x() << "," << key.y() << ")";
            EXPECT_TRUE(waitUntil([&] { return previewRect().isEmpty(); })) << "row " << row << ": preview stays";
        }
        panel.stop(SIGTERM);
    }
}

}  // namespace
