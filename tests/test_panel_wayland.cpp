// What vexil-panel does on Wayland only, under a real compositor (headless
// sway), clicked by a virtual pointer: the line typed into a GTK 3 field
// through the virtual keyboard alone, --auto following the GTK 4 field's
// focus, the user's own text never erased by a multi-tap step, the board
// on a scaled output, a second input method, a compositor that goes away. What it does alike on
// X11 is in test_panel_scenarios.cpp.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QImage>
#include <QString>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/PanelFixture.h"
#include "tests/SwayPanelSession.h"
#include "tests/TestSupport.h"
#include "tests/WaylandSession.h"
#include "tests/XSession.h"

namespace {

using namespace e2e;

// The colour of pixel (x, y) of a PNG screenshot; 0 when it has none.
QRgb screenshotPixel(const std::string &path, int x, int y)
{
    const QImage shot(QString::fromStdString(path));
    return shot.valid(x, y) ? shot.pixel(x, y) : 0;
}

std::string sourceDir()
{
    const char *dir = std::getenv("VEXIL_SOURCE_DIR");
    return dir ? dir : ".";
}

class PanelWayland : public PanelFixture<SwayPanelSession> {
protected:
    WaylandSession &wayland() { return session.compositor(); }

    // A GTK field (version 3 or 4). GTK 3 is kept from the input method, so
    // that only the virtual keyboard reaches it.
    void startGtk(int version, const std::string &out)
    {
        std::vector<std::string> env;
        if (version == 3)
            env.push_back("GTK_IM_MODULE=gtk-im-context-simple");
        ChildOptions pipes;
        pipes.pipes = true;
        std::vector<std::string> argv = session.textField(out);
        argv[2] = std::to_string(version);
        startTarget(argv, env, pipes);
    }

    // A command of the GTK target, answered by "ok".
    bool targetCommand(const std::string &line)
    {
        std::string answer;
        return target.send(line) && target.readLine(answer) && answer == "ok";
    }

    int usableHeight() { return session.usableHeight(); }
};

TEST_F(PanelWayland, TypesTheLineIntoAGtk3FieldThroughTheVirtualKeyboard)
{
    const std::string out = home.file("field.txt");
    startGtk(3, out);
    startPanel();
    typeLine();
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
    stopPanel(SIGINT);
}

TEST_F(PanelWayland, AutoShowsTheBoardWhileTheGtk4FieldIsActive)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel({"--auto"});  // the field is active: shown at once
    const QImage shown = session.screenshot();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixel(origin.x + kEmpty.x, origin.y + kEmpty.y), kBoardColour);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(targetCommand("blur"));
        EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH; }))
            << "round " << round << ": still shown with no field active";
        ASSERT_TRUE(targetCommand("focus"));
        EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH - kBoardH; }))
            << "round " << round << ": not shown again with the field active";
    }
    // Shown again, it still types.
    tap(kA);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

// The user moves the cursor while a multi-tap cycle is open: the next tap
// on the key must not erase what is now before the cursor. The field tells
// of the move (GTK 4 only when asked, after a click): the key's letter goes
// in at the cursor, the one that closes the cycle or the cycle's next one.
TEST_F(PanelWayland, TheUsersOwnTextUnderAnOpenCycleIsNotErased)
{
    struct Case {
        const char *what;    // the user's move: a command of the target, or a click
        const char *before;  // the text before the cursor after the move
        const char *after;   // the text after it
    } cases[] = {
        {"cursor 1", "a", "1x"},
        {"tap 9 6", "a", "1x"},  // a click between the first two letters
        {"key 16", "a1xq", ""},  // the user's own q typed on a keyboard after the x
    };
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        tap(kA);
        tap(kOne);
        tap(kXyz);
        std::string got;
        ASSERT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a1x"; })) << "got '" << got << "'";
        if (std::string(c.what).compare(0, 4, "tap ") == 0 || std::string(c.what).compare(0, 4, "key ") == 0)
            ASSERT_TRUE(session.pointer().command(c.what));
        else
            ASSERT_TRUE(targetCommand(c.what));
        // The next tap a moment later, as a person's.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        tap(kXyz);  // well inside the cycle's reset time
        const std::string closed = std::string(c.before) + "x" + c.after, next = std::string(c.before) + "y" + c.after;
        EXPECT_TRUE(waitUntil([&] {
            got = readFile(out);
            return got == closed || got == next;
        })) << "got '" << got << "', wanted '" << closed << "' or '" << next << "'";
        // A fresh start for the next case: the field emptied, the cycle
        // closed by the time it waits.
        ASSERT_TRUE(targetCommand("clear"));
        std::this_thread::sleep_for(std::chrono::milliseconds(2700));
    }
    stopPanel(SIGTERM);
}

// On an output of scale 2 the board keeps its logical size (the dock takes
// its height in logical pixels, clicks land on the same keys) and is drawn
// with twice the pixels: a buffer of scale 2 and twice the board's size.
TEST(PanelWaylandScaled, KeepsItsLogicalSizeAndDrawsWithTwiceThePixels)
{
    TempDir home;
    WaylandSession session;
    ASSERT_TRUE(session.start(kScreenW, kScreenH, 2)) << session.error();
    home.mkdir("vexil");
    home.write("vexil/load.cfg", "one\n");
    home.write("vexil/one.cfg",
               "[Common]\ntype 0 keys 2 bwid 60 bhei 50\n[Layout]\nalpha ent\n[Geometry]\n(10 10) (80 70)\n"
               "[Strings]\nq\n[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
    bool ok = false;
    const std::string skin = shell(binDir() + "/vexil-skin --write " + home.file("vexil/one.cfg") + " 2>&1", &ok);
    ASSERT_TRUE(ok) << skin;
    session.share(home.path());
    SessionPointer pointer;
    ASSERT_TRUE(pointer.start(session));
    Child target, panel;
    ChildOptions pipes;
    pipes.pipes = true;
    const std::string out = home.file("field.txt");
    ASSERT_TRUE(session.launch(
        target, {"/usr/bin/python3", session.reachable(sourceDir() + "/tests/gtk_target.py"), "4", out}, {}, pipes));
    const int targetPid = target.pid();
    ASSERT_TRUE(waitUntil([&] { return session.focusedPid() == targetPid; }));
    ChildOptions logs;
    logs.errPath = home.file("panel.err");  // the protocol log: what the panel asks of the compositor
    ASSERT_TRUE(session.launch(panel, {session.reachable(binDir() + "/vexil-panel"), "--wayland"},
                               {"XDG_DATA_HOME=" + home.path(), "WAYLAND_DEBUG=1"}, logs));
    int x = 0, y = 0, w = 0, h = 0;
    EXPECT_TRUE(waitUntil([&] { return session.usableArea(x, y, w, h) && h == kScreenH - kBoardH; }))
        << "usable area " << w << "x" << h;
    const int left = (kScreenW - kBoardW) / 2, top = kScreenH - kBoardH;
    ASSERT_TRUE(pointer.tap(left + 40, top + 35));
    ASSERT_TRUE(pointer.tap(left + 110, top + 95));
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "q\n"; })) << "got '" << got << "'";
    const std::string log = readFile(home.file("panel.err"));
    EXPECT_NE(log.find("wl_surface@"), std::string::npos);
    EXPECT_NE(log.find(".set_buffer_scale(2)"), std::string::npos) << "no buffer of scale 2";
    EXPECT_NE(log.find(".create_buffer(new id wl_buffer@"), std::string::npos);
    EXPECT_NE(log.find(", 0, 860, 260, 3440, "), std::string::npos) << "no buffer of 860 x 260 pixels";
    // The output has twice the pixels each way; so has the board on it.
    EXPECT_TRUE(session.screenshot(home.file("scaled.png")));
    EXPECT_EQ(screenshotPixel(home.file("scaled.png"), 2 * (left + kEmpty.x), 2 * (top + kEmpty.y)), kBoardColour);
    EXPECT_NE(screenshotPixel(home.file("scaled.png"), 2 * left - 2, 2 * (top + kEmpty.y)), kBoardColour)
        << "the board is wider than its logical size";
    panel.stop(SIGTERM);
}

}  // namespace

namespace {

// Another input method holds the seat (another on-screen keyboard or an
// IME; here the test's pointer driver): the panel says so once and types
// through its virtual keyboard, also into the GTK 4 field that the other
// one serves. (A second panel on the same compositor does not start.)
TEST_F(PanelWayland, ASecondInputMethodTypesThroughTheVirtualKeyboard)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    ASSERT_TRUE(session.pointer().command("im"));
    startPanel();
    const std::string said = "another input method holds this seat";
    std::string err;
    ASSERT_TRUE(waitUntil([&] { return (err = readFile(home.file("panel.err"))).find(said) != std::string::npos; }))
        << err;
    EXPECT_EQ(err.find(said), err.rfind(said)) << "said more than once:\n" << err;
    tap(kA);
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a\n"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

// A compositor that goes away ends the panel with a message and status 1.
TEST_F(PanelWayland, ACompositorThatGoesAwayEndsThePanelWithStatus1)
{
    startPanel();
    wayland().stopCompositor();
    EXPECT_TRUE(waitUntil([&] { return !panel.running(); })) << "the panel still runs";
    const int status = panel.stop(SIGKILL);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
    EXPECT_NE(readFile(home.file("panel.err")).find("the Wayland compositor went away"), std::string::npos)
        << readFile(home.file("panel.err"));
}

}  // namespace
