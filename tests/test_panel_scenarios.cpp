// What vexil-panel does the same on X11 and on Wayland, written once and
// run on both: under Xvfb with openbox (clicks through xdotool, typing
// into xterm) and under a headless sway (clicks from a virtual pointer,
// typing into foot), and into the session's own text field (Qt; GTK 4
// through the input method). A line across four layouts arrives exactly
// and the focus never leaves the application; held keys repeat and quick taps
// arrive whole and in order; the touch model (type on the lift, slide,
// one-shot caps); Ctrl+C and Up reach a shell; a held letter's preview
// shows above it; --toggle, --show, --hide and SIGUSR1 hide and show the
// dock; --width full spans the screen and its edges type. Every panel ends
// with status 0 and gives back what it changed.
#include <gtest/gtest.h>

#include <csignal>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/PanelFixture.h"
#include "tests/SwayPanelSession.h"
#include "tests/X11PanelSession.h"

namespace {

using namespace e2e;

template <class Session>
class PanelScenario : public PanelFixture<Session> {};

struct SessionName {
    template <class Session>
    static std::string GetName(int)
    {
        return Session::kName;
    }
};

using Sessions = ::testing::Types<X11PanelSession, SwayPanelSession>;
TYPED_TEST_SUITE(PanelScenario, Sessions, SessionName);

TYPED_TEST(PanelScenario, TypesALineIntoATerminalWithoutTakingTheFocus)
{
    const std::string out = this->home.file("out.txt");
    this->startTerminal("cat > " + out);
    this->startPanel();
    // Drawn where it is docked, in the board's colour.
    const QImage screen = this->session.screenshot();
    ASSERT_FALSE(screen.isNull());
    const Point empty = this->onScreen(kEmpty);
    EXPECT_EQ(screen.pixel(empty.x, empty.y), kBoardColour) << "the board is not drawn where it is docked";

    this->typeLine();
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGTERM);
}

// The same line into the session's text field: a Qt field on X11, a GTK 4
// field through the input method on Wayland.
TYPED_TEST(PanelScenario, TypesTheLineIntoATextField)
{
    const std::string out = this->home.file("field.txt");
    this->startTextField(out);
    this->startPanel();
    this->typeLine();
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGTERM);
}

TYPED_TEST(PanelScenario, HeldKeysRepeatAndQuickTapsArriveWholeAndInOrder)
{
    const std::string out = this->home.file("out.txt");
    this->startTextField(out);
    this->startPanel();

    // Held: the first character at once, then the repeats; a character
    // the X keymap lacks, so its spare keycode is pressed again and again.
    this->tap(kSwitch);
    this->tap(kCyrSwitch);
    ASSERT_TRUE(this->session.press(this->onScreen(kZhe)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(this->session.release());
    this->tap(kSwitch);  // ru
    this->tap(kSwitch);  // back to lat
    this->tap(kEnt);
    const std::string zhe = "\xd0\xb6";
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)).find('\n') != std::string::npos; }))
        << "got '" << got << "'";
    size_t repeats = 0;
    while (got.compare(repeats * zhe.size(), zhe.size(), zhe) == 0)
        ++repeats;
    EXPECT_GE(repeats, 3u) << "'" << got << "'";
    EXPECT_EQ(got.size(), repeats * zhe.size() + 1) << "'" << got << "'";

    // 200 quick taps, a third of them with Shift held around the key on
    // X11, sent without waiting between them.
    const Point keys[] = {kA, kBang, kOne, kDot, kBang, kA};
    const char *const chars[] = {"a", "!", "1", ".", "!", "a"};
    std::vector<Point> points;
    for (const Point &key : keys)
        points.push_back(this->onScreen(key));
    std::string expected = got;
    for (int i = 0; i < 200; ++i)
        expected += chars[i % 6];
    ASSERT_TRUE(this->session.quickTaps(points, 200));
    this->tap(kEnt);
    expected += "\n";
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == expected; }))
        << "got\n" << got << "\nwanted\n" << expected;
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGINT);
}

// The touch model: the lift types the key under the pointer, a slide
// types nothing on its way, a slide off the board nothing at all; caps
// capitalises one letter, twice it locks.
TYPED_TEST(PanelScenario, TypesOnTheLiftAndCapsIsAOneShotShift)
{
    const std::string out = this->home.file("out.txt");
    this->startTerminal("stty -icanon -echo; cat > " + out);
    this->startPanel();
    // Each gesture's text arrives before the next begins: a pointer warp
    // may overtake a button still queued in a server busy with a keymap.
    std::string expected;
    auto gives = [&](const std::string &text, const char *what) {
        expected += text;
        std::string got;
        EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == expected; }))
            << what << ": got '" << got << "', wanted '" << expected << "'";
    };
    auto drag = [&](const Point &from, const Point &to) {
        ASSERT_TRUE(this->session.press(this->onScreen(from)));
        ASSERT_TRUE(this->session.move(to));
        ASSERT_TRUE(this->session.release());
    };
    const Point origin = this->origin;
    drag(kA, this->onScreen(kOne));  // a, slide to 1: only 1
    gives("1", "a slid to 1");
    drag(kA, {origin.x + kA.x, origin.y - 60});  // a, slide off the top: nothing
    drag(kDot, {origin.x + kBang.x, origin.y + 12});  // ., slide to ! near its top: !
    gives("!", "a slid off, . slid to !");
    drag(kDot, {origin.x + 215, origin.y + 35});  // ., slide into the gap beside it: .
    gives(".", ". slid into the gap");
    for (const Point &key : {kCaps, kA, kA})
        this->tap(key);
    gives("Aa", "caps a a");
    for (const Point &key : {kCaps, kCaps, kA, kA})
        this->tap(key);
    gives("AA", "caps caps a a");
    for (const Point &key : {kCaps, kA, kEnt})
        this->tap(key);
    gives("a\n", "caps (released) a");
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGTERM);
}

// Ctrl+C through the panel stops a command in a terminal (the shell
// reports it interrupted), and Up recalls the history: bash writes the
// status of each command line to a file at every prompt. On Wayland a key
// under a modifier goes as a key of the virtual keyboard with the
// modifier's mask, though the terminal takes text through the input method.
TYPED_TEST(PanelScenario, CtrlCStopsACommandAndUpRecallsIt)
{
    this->home.write("vexil/load.cfg", "shell\n");
    this->home.write("vexil/shell.cfg",
                     "[Common]\ntype 0 keys 14 bwid 40 bhei 50 draw-pressed 1\n"
                     "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha alpha space ent !Control_L "
                     "!Up\n"
                     "[Geometry]\n(5 10) (52 10) (99 10) (146 10) (193 10) (240 10) (287 10) (334 10) (381 10)\n"
                     "(5 70) (52 70) (99 70) (146 70) (193 70)\n"
                     "[Strings]\ns l e p 1 0 t r u c\n"
                     "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
    bool ok = false;
    const std::string skin =
        shell(binDir() + "/vexil-skin --write " + this->home.file("vexil/shell.cfg") + " 2>&1", &ok);
    ASSERT_TRUE(ok) << skin;
    this->session.share(this->home.path());
    auto key = [](int row, int i) { return Point{25 + 47 * i, row == 0 ? 35 : 95}; };
    const Point s = key(0, 0), l = key(0, 1), e = key(0, 2), p = key(0, 3), one = key(0, 4), zero = key(0, 5),
                t = key(0, 6), r = key(0, 7), u = key(0, 8), c = key(1, 0), space = key(1, 1), ent = key(1, 2),
                ctrl = key(1, 3), up = key(1, 4);

    const std::string out = this->home.file("status.txt");
    this->startTarget(this->session.terminal({"env", "PROMPT_COMMAND=echo $? >> " + out, "PS1=$ ",
                                              "HISTFILE=/dev/null", "bash", "--norc", "--noprofile", "-i"}));
    std::string got;
    ASSERT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "0\n"; })) << "no prompt: '" << got << "'";
    this->startPanel();
    auto typeKeys = [&](std::initializer_list<Point> keys) {
        for (const Point &k : keys)
            this->tap(k);
    };
    // A command that runs a long time, and that only an interrupt ends
    // soon: its status is then 130.
    typeKeys({s, l, e, e, p, space, one, zero, zero, ent});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(this->readFile(out), "0\n") << "sleep 100 did not start";
    typeKeys({ctrl, c});
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "0\n130\n"; })) << "got '" << got << "'";
    // The latch is gone: c is a letter again, and "true" runs.
    typeKeys({t, r, u, e, ent});
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "0\n130\n0\n"; }))
        << "got '" << got << "'";
    // Up twice recalls "sleep 100" (once would give "true", which ends at
    // once with 0); Ctrl+C ends it again.
    typeKeys({up, up, ent});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(this->readFile(out), "0\n130\n0\n") << "the recalled command is not the sleep";
    typeKeys({ctrl, c});
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "0\n130\n0\n130\n"; }))
        << "got '" << got << "'";
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGHUP);
}

// A held letter shows its preview above it, on the screen: 1.5 times the
// key, centred, 4 pixels above it, framed in black; it goes at the lift,
// and the lift types the letter.
TYPED_TEST(PanelScenario, APreviewShowsAboveAHeldKey)
{
    const std::string out = this->home.file("out.txt");
    this->startTerminal("cat > " + out);
    this->startPanel();
    const QImage before = this->session.screenshot();
    ASSERT_FALSE(before.isNull());
    ASSERT_TRUE(this->session.press(this->onScreen(kXyz)));
    const int keyX = this->origin.x + 290, keyY = this->origin.y + 10;  // the xyz key's top left
    const QRect preview(keyX - 15, keyY - 4 - 75, 90, 75);
    QImage held;
    const bool shown = this->waitUntil([&] {
        held = this->session.screenshot();
        return !held.isNull() && held.pixelColor(preview.topLeft()) == QColor(0, 0, 0) &&
               held.pixelColor(preview.center()) != before.pixelColor(preview.center());
    });
    EXPECT_TRUE(shown) << "no preview at " << preview.x() << "," << preview.y();
    ASSERT_TRUE(this->session.release());
    EXPECT_TRUE(this->waitUntil([&] {
        const QImage after = this->session.screenshot();
        return !after.isNull() && after.pixelColor(preview.center()) == before.pixelColor(preview.center());
    })) << "the preview stayed after the lift";
    this->tap(kEnt);
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "x\n"; })) << "got '" << got << "'";
    EXPECT_EQ(this->session.focusedPid(), this->targetPid);
    this->stopPanel(SIGTERM);
}

// --toggle, --show, --hide and SIGUSR1 hide and show the docked panel, and
// the room of the other windows follows; shown again, it types.
TYPED_TEST(PanelScenario, ToggleHidesAndShowsTheDockAndTheRoomFollows)
{
    const std::string out = this->home.file("out.txt");
    this->startTerminal("cat > " + out);
    this->startPanel();
    struct Step {
        const char *how;  // an option, or "USR1"
        bool shown;
    } steps[] = {
        {"--toggle", false}, {"--hide", false}, {"--toggle", true}, {"--show", true},
        {"USR1", false},     {"--show", true},  {"USR1", false},    {"USR1", true},
    };
    for (const Step &step : steps) {
        if (std::string(step.how) == "USR1")
            kill(this->panel.pid(), SIGUSR1);
        else
            EXPECT_EQ(this->panelCommand({step.how}), 0) << step.how;
        const int want = step.shown ? kScreenH - kBoardH : kScreenH;
        EXPECT_TRUE(this->waitUntil([&] { return this->session.usableHeight() == want; }))
            << step.how << ": the other windows have " << this->session.usableHeight() << " pixels, not " << want;
    }
    this->tap(kA);
    this->tap(kEnt);
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == "a\n"; })) << "got '" << got << "'";
    this->stopPanel(SIGTERM);
}

// --width full: the dock is as wide as the screen, the layout scaled to
// it, and taps at its right and left edges type the rightmost and leftmost
// keys. The layouts come from a list of its own (--set), one row of ten
// letters the US keymap lacks from edge to edge, Return below.
TYPED_TEST(PanelScenario, FullWidthSpansTheScreenAndItsEdgesType)
{
    const std::string dir = this->home.mkdir("kiosk");
    const char *const letters[] = {"\xd0\xb9", "\xd1\x84", "\xd1\x86", "\xd1\x8b", "\xd1\x83",
                                   "\xd0\xb2", "\xd0\xba", "\xd0\xb0", "\xd0\xb5", "\xd0\xbf"};  // йфцыувкаеп
    std::string geometry, strings;
    for (int i = 0; i < 10; ++i) {
        geometry += "(" + std::to_string(i * 43) + " 0) ";
        strings += std::string(i ? " " : "") + letters[i];
    }
    this->home.write("kiosk/list.cfg", "kiosk\n");
    this->home.write("kiosk/kiosk.cfg", "[Common]\ntype 0 keys 11 alpha 2 bwid 43 bhei 50\n"
                                        "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha alpha ent\n"
                                        "[Geometry]\n" + geometry + "(0 60)\n[Strings]\n" + strings +
                                            "\n[Board]\nwid 430 hei 110 color ( 40 60 90 )\n");
    bool ok = false;
    const std::string skin = shell(binDir() + "/vexil-skin --write " + dir + "/kiosk.cfg 2>&1", &ok);
    ASSERT_TRUE(ok) << skin;
    this->session.share(this->home.path());

    const std::string out = this->home.file("out.txt");
    this->startTerminal("stty -icanon -echo; cat > " + out);
    const double scale = double(kScreenW) / 430;
    const int height = static_cast<int>(std::lround(110 * scale));
    this->startPanel({"--width", "full", "--set", dir + "/list.cfg"}, kScreenW, height);
    this->tap({kScreenW - 1, int(25 * scale)});  // the right edge: п
    this->tap({0, int(25 * scale)});             // the left edge: й
    this->tap({int(20 * scale), int(85 * scale)});
    const std::string expected = std::string(letters[9]) + letters[0] + "\n";
    std::string got;
    EXPECT_TRUE(this->waitUntil([&] { return (got = this->readFile(out)) == expected; })) << "got '" << got << "'";
    this->stopPanel(SIGTERM);
}

}  // namespace
