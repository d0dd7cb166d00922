// vexil-panel under a real Wayland compositor (headless sway): clicks from a
// virtual pointer on the docked board type into foot running cat, into a
// GTK 4 field through the input method and into a GTK 3 field through the
// virtual keyboard alone; the focus never leaves them, held keys repeat,
// quick taps arrive whole and in order, --auto follows the GTK 4 field's
// focus, the user's own text is never erased by a multi-tap step, and the
// panel's virtual devices go with it.
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

#include "tests/TestSupport.h"
#include "tests/WaylandSession.h"
#include "tests/XSession.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);

struct Point {
    int x, y;
};

// Centres of the keys of the test layouts (one board size for all, so the
// dock keeps its place when the switch key changes layouts).
constexpr Point kA{40, 35}, kOne{110, 35}, kBang{180, 35}, kDot{250, 35}, kXyz{320, 35}, kCaps{390, 35};
constexpr Point kBks{40, 95}, kEnt{110, 95}, kSpace{180, 95}, kSwitch{250, 95};
constexpr Point kZhe{40, 35}, kEacute{180, 35}, kEnye{250, 35}, kLambda{390, 35};
constexpr Point kCyrSwitch{250, 95};
constexpr int kBoardW = 430, kBoardH = 130, kScreenW = 1024, kScreenH = 768;
constexpr Point kEmpty{400, 100};  // a point of every test board that no key covers
const QRgb kBoardColour = qRgb(40, 60, 90);

// Caps and case, digits, a Backspace, punctuation, a multi-tap cycle with
// its erase step, Cyrillic, Latin-1 and Greek letters, Return.
const char *const kLine = "Aa1!. y\xd0\xb6\xc3\xa9\xc3\xb1\xce\xbb\n";  // "Aa1!. yжéñλ\n"

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds patience = kPatience)
{
    for (const auto until = Clock::now() + patience; Clock::now() < until; std::this_thread::sleep_for(kPollStep))
        if (done())
            return true;
    return done();
}

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

class PanelWayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"sway", "swaymsg", "foot", "grim"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
        writeLayouts();
        ASSERT_TRUE(session.start(kScreenW, kScreenH)) << session.error();
        session.share(home.path());
        ASSERT_TRUE(pointer.start(session)) << "the virtual pointer did not start";
        devicesBefore = session.inputs();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            std::cerr << "panel output:\n" << readFile(home.file("panel.log")) << readFile(home.file("panel.err"));
        }
    }

    void writeLayouts()
    {
        const std::string dir = home.mkdir("vexil");
        home.write("vexil/load.cfg", "lat\ncyr\nhold\nru\n");
        home.write("vexil/lat.cfg",
                   "[Common]\ntype 0 keys 10 mode 2 bwid 60 bhei 50 draw-pressed 1 tm-enum-reset 2500\n"
                   "[Layout]\nalpha alpha alpha alpha alpha caps bks ent space switch\n"
                   "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (150 70) (220 70)\n"
                   "[Strings]\n( a A ) ( 1 1 ) ( ! ? ) ( . , ) ( xyz XYZ )\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        home.write("vexil/cyr.cfg",
                   "[Common]\ntype 0 keys 9 alpha 2 bwid 60 bhei 50 draw-pressed 1\n"
                   "[Layout]\nalpha alpha alpha alpha alpha alpha bks ent switch\n"
                   "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (220 70)\n"
                   "[Strings]\n\xd0\xb6 \xd1\x91 \xc3\xa9 \xc3\xb1 \xc3\x9f \xce\xbb\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        // The only layout that repeats: quick taps elsewhere stay taps even
        // when a loaded machine delays the panel's release past the period.
        home.write("vexil/hold.cfg",
                   "[Common]\ntype 0 keys 2 alpha 2 bwid 60 bhei 50 repeat-on 1 tm-period 400 tm-rate 60\n"
                   "[Layout]\nalpha switch\n[Geometry]\n(10 10) (220 70)\n[Strings]\n\xd0\xb6\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        home.write("vexil/ru.cfg",
                   "[Common]\ntype 0 keys 2 alpha 2 bwid 60 bhei 50\n"
                   "[Layout]\nalpha switch\n[Geometry]\n(10 10) (220 70)\n[Strings]\n\xd0\xb1\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/lat.cfg " + dir + "/cyr.cfg " + dir +
                                          "/hold.cfg " + dir + "/ru.cfg 2>&1",
                                      &ok);
        ASSERT_TRUE(ok) << out;
    }

    // Starts `argv` in the session and waits until its window has the focus.
    void startTarget(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                     bool pipes = false)
    {
        ChildOptions options;
        options.pipes = pipes;
        options.errPath = home.file("target.err");
        ASSERT_TRUE(session.launch(target, argv, env, options));
        targetPid = target.pid();
        const bool focused = waitUntil([&] { return session.focusedPid() == targetPid; });
        ASSERT_TRUE(focused) << "the target never got the focus; its errors:\n" << readFile(home.file("target.err"));
    }

    void startFoot(const std::string &out, const std::string &shellCommand)
    {
        startTarget({"foot", "sh", "-c", shellCommand + " > " + out});
    }

    // A GTK field (version 3 or 4). GTK 3 is kept from the input method, so
    // that only the virtual keyboard reaches it.
    void startGtk(int version, const std::string &out)
    {
        std::vector<std::string> env;
        if (version == 3)
            env.push_back("GTK_IM_MODULE=gtk-im-context-simple");
        startTarget({"/usr/bin/python3", session.reachable(sourceDir() + "/tests/gtk_target.py"),
                     std::to_string(version), out},
                    env, true);
    }

    // A command of the GTK target, answered by "ok".
    bool targetCommand(const std::string &line)
    {
        std::string answer;
        return target.send(line) && target.readLine(answer) && answer == "ok";
    }

    void startPanel(const std::vector<std::string> &args = {}, bool waitShown = true)
    {
        std::vector<std::string> argv = {session.reachable(binDir() + "/vexil-panel"), "--wayland"};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildOptions options;
        options.outPath = home.file("panel.log");
        options.errPath = home.file("panel.err");
        ASSERT_TRUE(session.launch(panel, argv, {"XDG_DATA_HOME=" + home.path()}, options));
        origin = {(kScreenW - kBoardW) / 2, kScreenH - kBoardH};
        if (waitShown) {
            // Docked: the compositor keeps the board's height free.
            ASSERT_TRUE(waitUntil([&] { return usableHeight() == kScreenH - kBoardH; }))
                << "usable height " << usableHeight() << "; panel errors:\n" << readFile(home.file("panel.err"));
        }
    }

    int usableHeight()
    {
        int x = 0, y = 0, w = 0, h = 0;
        return session.usableArea(x, y, w, h) ? h : -1;
    }

    // One click on a key of the board; the focus must stay where it was.
    void tap(const Point &key)
    {
        ASSERT_TRUE(pointer.tap(origin.x + key.x, origin.y + key.y));
        EXPECT_EQ(session.focusedPid(), targetPid) << "focus moved after a click at " << key.x << "," << key.y;
    }

    // The line of kLine, key by key.
    void typeLine()
    {
        // Caps is a one-shot shift: it capitalises the next letter only.
        for (const Point &key : {kCaps, kA, kA, kOne, kOne, kBks, kBang, kDot, kSpace, kXyz})
            tap(key);
        // The second tap of the cycle: later than a double click, well
        // inside the cycle's reset time.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        tap(kXyz);
        for (const Point &key : {kSwitch, kZhe, kEacute, kEnye, kLambda, kCyrSwitch, kCyrSwitch, kCyrSwitch, kEnt})
            tap(key);  // cyr ... hold, ru, lat
    }

    // Ends the panel with `signal`: exit status 0, and its virtual keyboard
    // is gone from the compositor's devices.
    void stopPanel(int signal)
    {
        const int status = panel.stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        std::string devices;
        EXPECT_TRUE(waitUntil([&] { return (devices = session.inputs()) == devicesBefore; }))
            << "before:\n" << devicesBefore << "after:\n" << devices;
    }

    TempDir home;
    WaylandSession session;
    SessionPointer pointer;
    Child target, panel;
    int targetPid = 0;
    std::string devicesBefore;
    Point origin{0, 0};
};

TEST_F(PanelWayland, TypesALineIntoFootWithoutTakingTheFocus)
{
    const std::string out = home.file("out.txt");
    startFoot(out, "cat");
    startPanel();
    EXPECT_NE(session.inputs(), devicesBefore) << "the panel's virtual keyboard is not among the devices";
    typeLine();
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
    EXPECT_TRUE(session.screenshot(home.file("foot.png")));
    EXPECT_EQ(screenshotPixel(home.file("foot.png"), origin.x + kEmpty.x, origin.y + kEmpty.y), kBoardColour)
        << "the board is not drawn where it is docked";
    stopPanel(SIGTERM);
}

TEST_F(PanelWayland, TypesTheLineIntoAGtk4FieldThroughTheInputMethod)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel();
    typeLine();
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
    stopPanel(SIGTERM);
}

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

TEST_F(PanelWayland, HeldKeysRepeatAndQuickTapsArriveWholeAndInOrder)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel();

    // Held: the first character at once, then the repeats.
    tap(kSwitch);
    tap(kCyrSwitch);
    ASSERT_TRUE(pointer.move(origin.x + kZhe.x, origin.y + kZhe.y));
    ASSERT_TRUE(pointer.down());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(pointer.up());
    tap(kSwitch);  // ru
    tap(kSwitch);  // back to lat
    tap(kEnt);
    const std::string zhe = "\xd0\xb6";
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)).find('\n') != std::string::npos; })) << got;
    size_t repeats = 0;
    while (got.compare(repeats * zhe.size(), zhe.size(), zhe) == 0)
        ++repeats;
    EXPECT_GE(repeats, 3u) << "'" << got << "'";
    EXPECT_EQ(got.size(), repeats * zhe.size() + 1) << "'" << got << "'";

    // 200 quick taps, sent without waiting for the compositor between them.
    const Point keys[] = {kA, kBang, kOne, kDot, kBang, kA};
    const char *const chars[] = {"a", "!", "1", ".", "!", "a"};
    std::string command = "taps 200";
    std::string expected = got;
    for (int i = 0; i < 6; ++i)
        command += " " + std::to_string(origin.x + keys[i].x) + " " + std::to_string(origin.y + keys[i].y);
    for (int i = 0; i < 200; ++i)
        expected += chars[i % 6];
    ASSERT_TRUE(pointer.command(command));
    tap(kEnt);
    expected += "\n";
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    EXPECT_EQ(session.focusedPid(), targetPid);
    stopPanel(SIGHUP);
}

TEST_F(PanelWayland, AutoShowsTheBoardWhileTheGtk4FieldIsActive)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel({"--auto"});  // the field is active: shown at once
    EXPECT_TRUE(session.screenshot(home.file("auto-shown.png")));
    EXPECT_EQ(screenshotPixel(home.file("auto-shown.png"), origin.x + kEmpty.x, origin.y + kEmpty.y), kBoardColour);
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
            ASSERT_TRUE(pointer.command(c.what));
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

// Ctrl+C from the panel stops a command in foot, though foot also takes
// text through the input method: a key under a modifier goes as a key of
// the virtual keyboard with the modifier's mask. Up recalls the history.
// bash writes the status of each command line at every prompt.
TEST_F(PanelWayland, CtrlCStopsACommandAndUpRecallsItInFoot)
{
    home.write("vexil/load.cfg", "shell\n");
    home.write("vexil/shell.cfg",
               "[Common]\ntype 0 keys 14 bwid 40 bhei 50 draw-pressed 1\n"
               "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha alpha space ent !Control_L !Up\n"
               "[Geometry]\n(5 10) (52 10) (99 10) (146 10) (193 10) (240 10) (287 10) (334 10) (381 10)\n"
               "(5 70) (52 70) (99 70) (146 70) (193 70)\n"
               "[Strings]\ns l e p 1 0 t r u c\n"
               "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
    bool ok = false;
    const std::string skin = shell(binDir() + "/vexil-skin --write " + home.file("vexil/shell.cfg") + " 2>&1", &ok);
    ASSERT_TRUE(ok) << skin;
    auto key = [](int row, int i) { return Point{25 + 47 * i, row == 0 ? 35 : 95}; };
    const Point s = key(0, 0), l = key(0, 1), e = key(0, 2), p = key(0, 3), one = key(0, 4), zero = key(0, 5),
                t = key(0, 6), r = key(0, 7), u = key(0, 8), c = key(1, 0), space = key(1, 1), ent = key(1, 2),
                ctrl = key(1, 3), up = key(1, 4);

    const std::string out = home.file("status.txt");
    startTarget({"foot", "env", "PROMPT_COMMAND=echo $? >> " + out, "PS1=$ ", "HISTFILE=/dev/null", "bash", "--norc",
                 "--noprofile", "-i"});
    std::string got;
    ASSERT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n"; })) << "no prompt: '" << got << "'";
    startPanel();
    auto typeKeys = [&](std::initializer_list<Point> keys) {
        for (const Point &k : keys)
            tap(k);
    };
    typeKeys({s, l, e, e, p, space, one, zero, zero, ent});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(readFile(out), "0\n") << "sleep 100 did not start";
    typeKeys({ctrl, c});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n"; })) << "got '" << got << "'";
    typeKeys({t, r, u, e, ent});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n0\n"; })) << "got '" << got << "'";
    typeKeys({up, up, ent});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(readFile(out), "0\n130\n0\n") << "the recalled command is not the sleep";
    typeKeys({ctrl, c});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n0\n130\n"; })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
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

// --width full: the compositor gives the docked surface the output's width
// and the board is scaled to it; --toggle hides it (its exclusive zone
// goes) and shows it again, and it still types where its keys now are.
TEST_F(PanelWayland, FullWidthAndToggle)
{
    const std::string out = home.file("out.txt");
    startFoot(out, "cat");
    startPanel({"--width", "full"}, false);
    const double scale = double(kScreenW) / kBoardW;
    const int height = static_cast<int>(std::lround(kBoardH * scale));
    ASSERT_TRUE(waitUntil([&] { return usableHeight() == kScreenH - height; }))
        << "usable height " << usableHeight() << "; panel errors:\n" << readFile(home.file("panel.err"));
    origin = {0, kScreenH - height};
    auto command = [&](const char *what) {
        Child client;
        ASSERT_TRUE(session.launch(client, {session.reachable(binDir() + "/vexil-panel"), "--wayland", what}));
        ASSERT_TRUE(waitUntil([&] { return !client.running(); })) << what;
        const int status = client.stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what << ": wait status " << status;
    };
    command("--toggle");
    EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH; })) << "still shown after --toggle";
    command("--toggle");
    EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH - height; })) << "not shown again";
    for (const Point &key : {kA, kEnt})
        tap({static_cast<int>(key.x * scale), static_cast<int>(key.y * scale)});
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a\n"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

}  // namespace

namespace {

// A held letter shows its preview above it, a subsurface of the board, in
// what the compositor puts on the screen; it goes at the lift, and the lift
// types the letter.
TEST_F(PanelWayland, APreviewShowsAboveAHeldKey)
{
    const std::string out = home.file("out.txt");
    startFoot(out, "cat");
    startPanel();
    const std::string before = home.file("before.png");
    ASSERT_TRUE(session.screenshot(before));
    ASSERT_TRUE(pointer.move(origin.x + kXyz.x, origin.y + kXyz.y));
    ASSERT_TRUE(pointer.down());
    // The xyz key's top left on the screen, and the preview's: 1.5 times
    // the key, centred, 4 pixels above it.
    const int keyX = origin.x + 290, keyY = origin.y + 10;
    const QRect preview(keyX - 15, keyY - 4 - 75, 90, 75);
    QImage held;
    const bool shown = waitUntil([&] {
        const std::string shot = home.file("held.png");
        if (!session.screenshot(shot))
            return false;
        held = QImage(QString::fromStdString(shot));
        return !held.isNull() && held.pixelColor(preview.topLeft()) == QColor(0, 0, 0) &&
               held.pixelColor(preview.center()) != QImage(QString::fromStdString(before)).pixelColor(preview.center());
    });
    EXPECT_TRUE(shown) << "no preview at " << preview.x() << "," << preview.y();
    if (const char *dir = std::getenv("VEXIL_PICTURES_DIR")) {
        EXPECT_TRUE(held.save(QString::fromStdString(std::string(dir) + "/panel-wayland-preview.png")));
    }
    ASSERT_TRUE(pointer.up());
    EXPECT_TRUE(waitUntil([&] {
        const std::string shot = home.file("after.png");
        return session.screenshot(shot) && QImage(QString::fromStdString(shot)).pixelColor(preview.center()) ==
                                               QImage(QString::fromStdString(before)).pixelColor(preview.center());
    })) << "the preview stayed after the lift";
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "x\n"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

}  // namespace

namespace {

// A second panel on the seat (here one with a runtime directory of its own,
// so the first one's lock does not stop it) finds the input method taken:
// it says so once and types through its virtual keyboard, also into the
// GTK 4 field that the first one serves through the input method.
TEST_F(PanelWayland, ASecondInputMethodTypesThroughTheVirtualKeyboard)
{
    const std::string out = home.file("field.txt");
    startGtk(4, out);
    startPanel();
    const std::string runtime = home.mkdir("second-runtime");
    session.share(runtime);
    ChildOptions logs;
    logs.errPath = home.file("second.err");
    Child other;
    ASSERT_TRUE(session.launch(other, {session.reachable(binDir() + "/vexil-panel"), "--wayland", "--float"},
                               {"XDG_DATA_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + runtime,
                                "WAYLAND_DISPLAY=" + session.runtimeDir() + "/" + session.display()},
                               logs));
    const std::string said = "another input method holds this seat";
    std::string err;
    ASSERT_TRUE(waitUntil([&] { return (err = readFile(home.file("second.err"))).find(said) != std::string::npos; }))
        << err;
    EXPECT_EQ(err.find(said), err.rfind(said)) << "said more than once:\n" << err;
    // The first one goes; the second, floating at the bottom centre, types
    // alone, without an input method of its own.
    const int first = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(first) && WEXITSTATUS(first) == 0) << "wait status " << first;
    tap(kA);
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a\n"; })) << "got '" << got << "'";
    const int second = other.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << "wait status " << second;
    std::string devices;
    EXPECT_TRUE(waitUntil([&] { return (devices = session.inputs()) == devicesBefore; })) << devices;
}

// A compositor that goes away ends the panel with a message and status 1.
TEST_F(PanelWayland, ACompositorThatGoesAwayEndsThePanelWithStatus1)
{
    startPanel();
    session.stopCompositor();
    EXPECT_TRUE(waitUntil([&] { return !panel.running(); })) << "the panel still runs";
    const int status = panel.stop(SIGKILL);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
    EXPECT_NE(readFile(home.file("panel.err")).find("the Wayland compositor went away"), std::string::npos)
        << readFile(home.file("panel.err"));
}

}  // namespace
