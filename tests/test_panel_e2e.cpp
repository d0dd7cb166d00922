// What vexil-panel does on X11 only, on a real (virtual) X server with a
// real window manager (openbox): characters missing from the keymap typed
// through the panel's own keyboard group in runs and bursts, also into a
// stopped application and across keymap changes; the keymap the user's
// again after the panel exits and after a killed panel; one panel per
// display; the dock and the preview as windows that take no focus. What it
// does alike on Wayland is in test_panel_scenarios.cpp.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/PanelFixture.h"
#include "tests/TestSupport.h"
#include "tests/X11PanelSession.h"
#include "tests/XSession.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

// The "burst" layout: 31 Cyrillic letters in rows of 11.
constexpr int kBurstLetters = 31;
Point burstKey(int i) { return {20 + 39 * (i % 11), 21 + 43 * (i / 11)}; }
std::string burstLetter(int i)
{
    const int cp = 0x430 + i;
    return {static_cast<char>(0xc0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3f))};
}
constexpr Point kAzq[] = {{40, 35}, {110, 35}, {180, 35}, {250, 35}, {320, 35}};  // a z q w y
constexpr Point kAzqEnt{40, 95};
// The kiosk layout's letters, one key each, left to right: йфцыувкаеп.
#define KIOSK_LETTERS "\xd0\xb9 \xd1\x84 \xd1\x86 \xd1\x8b \xd1\x83 \xd0\xb2 \xd0\xba \xd0\xb0 \xd0\xb5 \xd0\xbf"
const char *const kKiosk[] = {"\xd0\xb9", "\xd1\x84", "\xd1\x86", "\xd1\x8b", "\xd1\x83",
                              "\xd0\xb2", "\xd0\xba", "\xd0\xb0", "\xd0\xb5", "\xd0\xbf"};
constexpr int kKioskW = 430, kKioskH = 110;

class PanelEndToEnd : public PanelFixture<X11PanelSession> {
protected:
    void SetUp() override
    {
        PanelFixture::SetUp();
        if (!HasFatalFailure())
            writeLayouts();
    }

    std::string x(const std::string &command, bool *ok = nullptr) { return session.x(command, ok); }

    // The keymap and the keyboard controls (which keys repeat).
    std::string keyboardState() { return session.inputState(); }

    // The X11 tests' own layouts beside the test board.
    void writeLayouts()
    {
        const std::string dir = home.path() + "/vexil";
        // 31 Cyrillic letters (U+0430..U+044E), more than the spare
        // keycodes of the server, so typing them all rebinds keycodes. Held
        // keys repeat soon: a repeat tick that comes while the panel is busy
        // with a key must still find the release of that key.
        std::string strings, geometry, types;
        for (int i = 0; i < kBurstLetters; ++i) {
            strings += (i ? " " : "") + burstLetter(i);
            const Point at = burstKey(i);
            geometry += "(" + std::to_string(at.x - 18) + " " + std::to_string(at.y - 19) + ")" +
                        (i % 11 == 10 ? "\n" : " ");  // a row a line: lines hold 255 bytes
            types += "alpha ";
        }
        home.write("vexil/burst.cfg",
                   "[Common]\ntype 0 keys " + std::to_string(kBurstLetters) +
                       " alpha 2 bwid 36 bhei 38 repeat-on 1 tm-period 100 tm-rate 60\n[Layout]\n" + types +
                       "\n[Geometry]\n" + geometry + "\n[Strings]\n" + strings +
                       "\n[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        // Letters that French and German keymaps put on other keys than
        // the US one, and Return.
        home.write("vexil/azq.cfg",
                   "[Common]\ntype 0 keys 6 alpha 2 bwid 60 bhei 50\n[Layout]\nalpha alpha alpha alpha alpha ent\n"
                   "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (10 70)\n[Strings]\na z q w y\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/burst.cfg " + dir + "/azq.cfg 2>&1", &ok);
        ASSERT_TRUE(ok) << out;
    }

    // Only `layouts` (names, one a line) shown, the first at start.
    void useLayouts(const std::string &layouts) { home.write("vexil/load.cfg", layouts); }

    // Clicks `keys` one after the other as quickly as the server takes
    // them, through XTest. Each step waits until the server has carried it
    // out (the pointer is there; the button is up): a server that reads a
    // run of such requests at once may place a click where the pointer
    // goes next, which reads as a slide onto that key.
    void burst(const std::vector<Point> &keys)
    {
        Display *dpy = XOpenDisplay(session.display().c_str());
        ASSERT_NE(dpy, nullptr);
        auto until = [dpy](const std::function<bool(int, int, unsigned)> &done) {
            for (int i = 0; i < 2000; ++i) {
                Window root, child;
                int rx, ry, wx, wy;
                unsigned mask;
                XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
                if (done(rx, ry, mask))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
        for (const Point &key : keys) {
            const int px = origin.x + key.x, py = origin.y + key.y;
            XTestFakeMotionEvent(dpy, 0, px, py, CurrentTime);
            until([&](int rx, int ry, unsigned) { return rx == px && ry == py; });
            XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
            XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
            until([](int, int, unsigned mask) { return (mask & Button1Mask) == 0; });
        }
        XCloseDisplay(dpy);
    }

    // Waits until `out` holds `expected`; false (and a failure) otherwise.
    bool expectText(const std::string &out, const std::string &expected, const std::string &what)
    {
        std::string got;
        if (waitUntil([&] { return (got = readFile(out)) == expected; }))
            return true;
        ADD_FAILURE() << what << ": got\n" << got << "\nwanted\n" << expected << "\npanel log:\n"
                      << readFile(home.file("panel.err"));
        return false;
    }

    // A target whose every character reaches `out` as it is typed: an
    // xterm (with the terminal not in line mode) or the Qt field.
    void startTargetOf(bool qt, const std::string &out)
    {
        if (qt)
            startTextField(out);
        else
            startTerminal("stty -icanon -echo; cat > " + out);
    }

    // A second vexil-panel with `args`: its error output and exit status.
    std::string runPanel(const std::string &args, const std::string &runtimeDir = std::string())
    {
        return shell("env DISPLAY=" + session.display() + " XDG_DATA_HOME=" + home.path() + " XDG_RUNTIME_DIR=" +
                     (runtimeDir.empty() ? session.runtimeDir() : runtimeDir) + " timeout 20 " + binDir() +
                     "/vexil-panel " + args + " 2>&1 >/dev/null; echo \"status $?\"");
    }

    // A load list of its own (for --set): "kiosk", one row of ten letters
    // the US keymap lacks from edge to edge, Return below.
    std::string writeKiosk()
    {
        const std::string dir = home.mkdir("kiosk");
        home.write("kiosk/list.cfg", "kiosk\n");
        std::string geometry;
        for (int i = 0; i < 10; ++i)
            geometry += "(" + std::to_string(i * 43) + " 0) ";
        home.write("kiosk/kiosk.cfg",
                   "[Common]\ntype 0 keys 11 alpha 2 bwid 43 bhei 50\n"
                   "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha alpha ent\n"
                   "[Geometry]\n" + geometry + "(0 60)\n"
                   "[Strings]\n" KIOSK_LETTERS "\n"
                   "[Board]\nwid 430 hei 110 color ( 40 60 90 )\n");
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/kiosk.cfg 2>&1", &ok);
        EXPECT_TRUE(ok) << out;
        return dir + "/list.cfg";
    }

    // Runs over letters the keymap lacks, then Return; gives the text `out`
    // must hold.
    // Each tap waits for its letter: xdotool warps the pointer, and a warp
    // can overtake a click still queued in a server that is busy with the
    // clients reading a new keymap, which would type a letter twice.
    // Starts and ends on "lat".
    std::string typeRunsOfMissing(const std::string &out)
    {
        for (int i = 0; i < 3; ++i)
            tap(kSwitch);  // lat -> cyr -> hold -> ru
        std::string expected;
        for (int run = 0; run < 4; ++run) {
            for (int i = 0; i < 22; ++i) {
                const int k = (i * 7 + run) % 11;  // every letter twice, in an order of its own per run
                tap(kRuKeys[k]);
                expected += kRu[k];
                std::string got;
                if (!waitUntil([&] { return (got = readFile(out)) == expected; })) {
                    ADD_FAILURE() << "run " << run << " tap " << i << ": got\n" << got << "\nwanted\n" << expected;
                    return expected;
                }
            }
        }
        tap(kSwitch);  // back to lat
        tap(kEnt);
        return expected + "\n";
    }

};

TEST_F(PanelEndToEnd, RunsOfMissingCharactersArriveWholeAndInOrderInAnXterm)
{
    // Not line by line: each character reaches the file as it is typed.
    const std::string out = home.file("out.txt");
    startTerminal("stty -icanon -echo; cat > " + out);
    startPanel();
    const std::string expected = typeRunsOfMissing(out);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    stopPanel(SIGTERM);
}

TEST_F(PanelEndToEnd, RunsOfMissingCharactersArriveWholeAndInOrderInAQtTextField)
{
    const std::string out = home.file("field.txt");
    startTextField(out);
    startPanel();
    const std::string expected = typeRunsOfMissing(out);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    stopPanel(SIGINT);
}

// One panel per display: a second one, docked or floating, says so and
// exits with 1, also when another user (another runtime folder) starts it;
// the first goes on typing every letter exactly.
TEST_F(PanelEndToEnd, ASecondPanelOnTheDisplayIsRefusedAndTheFirstKeepsTyping)
{
    const std::string out = home.file("out.txt");
    startTerminal("stty -icanon -echo; cat > " + out);
    const std::string list = writeKiosk();
    startPanel({"--set", list}, kKioskW, kKioskH);
    const std::string other = home.mkdir("other-run");
    chmod(other.c_str(), 0700);
    const std::string refused = "a panel is already running on this display (DISPLAY=" + session.display() + ")";
    for (const std::string &args : {std::string(), std::string("--float"), std::string("--float --scale 2")}) {
        for (const std::string &dir : {session.runtimeDir(), other}) {
            const std::string said = runPanel(args + " --set " + list, dir);
            EXPECT_NE(said.find(refused), std::string::npos) << args << " in " << dir << ": " << said;
            EXPECT_NE(said.find("status 1\n"), std::string::npos) << args << " in " << dir << ": " << said;
        }
    }
    EXPECT_TRUE(panel.running());
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        tap({43 * i + 21, 25});
        expected += kKiosk[i];
    }
    tap({20, 85});
    expected += "\n";
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    stopPanel(SIGTERM);
    // With no panel left, a command finds none.
    const std::string said = runPanel("--toggle");
    EXPECT_NE(said.find("no panel is running on this display"), std::string::npos) << said;
    EXPECT_NE(said.find("status 1\n"), std::string::npos) << said;
}

// The dock and a held letter's preview are windows that never take the
// focus: the dock a dock window that accepts no input, the preview an
// override-redirect window of 1.5 times the key, just above it, that the
// window manager does not manage and that goes at the lift.
TEST_F(PanelEndToEnd, TheDockAndThePreviewAreWindowsThatTakeNoFocus)
{
    const std::string out = home.file("out.txt");
    startTerminal("cat > " + out);
    startPanel();
    const std::string props = x("xprop -id " + session.panelWindow());
    EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE_DOCK"), std::string::npos) << props;
    EXPECT_NE(props.find("Client accepts input or input focus: False"), std::string::npos) << props;

    tap(kCaps);  // the preview shows the capital the lift will type
    ASSERT_TRUE(session.press(onScreen(kXyz)));
    std::string found;
    ASSERT_TRUE(waitUntil([&] {
        found = x("xdotool search --onlyvisible --name 'vexil-panel preview'");
        return !found.empty();
    })) << "no preview window";
    const std::string preview = found.substr(0, found.find('\n'));
    const std::string info = x("xwininfo -id " + preview);
    EXPECT_NE(info.find("Override Redirect State: yes"), std::string::npos) << info;
    const int keyX = origin.x + 290, keyY = origin.y + 10;  // the xyz key's top left
    const std::string want = "Absolute upper-left X:  " + std::to_string(keyX + (60 - 90) / 2) +
                             "\n  Absolute upper-left Y:  " + std::to_string(keyY - 4 - 75);
    EXPECT_NE(info.find(want), std::string::npos) << info;
    EXPECT_NE(info.find("Width: 90\n  Height: 75"), std::string::npos) << info;
    EXPECT_NE(x("xprop -id " + preview + " WM_HINTS").find("accepts input or input focus: False"), std::string::npos);
    ASSERT_TRUE(session.release());
    EXPECT_TRUE(waitUntil([&] { return x("xdotool search --onlyvisible --name 'vexil-panel preview'").empty(); }));
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "X\n"; })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
    stopPanel(SIGTERM);
}

// Bursts of taps over letters the keymap lacks, with auto-repeat on: no
// letter comes twice, none is lost, none changes. The panel is slowest
// exactly then (it rebinds keycodes, or waits for one), so a repeat tick
// may find the release already queued.
TEST_F(PanelEndToEnd, BurstsOfMissingLettersWithRepeatOnArriveExactly)
{
    for (bool qt : {false, true}) {
        SCOPED_TRACE(qt ? "Qt field" : "xterm");
        const std::string out = home.file(qt ? "field.txt" : "out.txt");
        useLayouts("burst\n");
        startTargetOf(qt, out);
        startPanel();
        std::vector<Point> keys;
        std::string letters;
        for (int i = 0; i < kBurstLetters; ++i) {
            keys.push_back(burstKey(i));
            letters += burstLetter(i);
        }
        std::string expected;
        for (int run = 0; run < 10; ++run) {
            burst(keys);
            expected += letters;
            if (!expectText(out, expected, "run " + std::to_string(run)))
                break;
        }
            stopPanel(SIGTERM);
        target.stop();
    }
}

// The application is stopped while letters are typed that need more
// keycodes than there are spare: it reads every key late, with the
// mapping of the moment it wakes up, and must still read the right ones.
TEST_F(PanelEndToEnd, AnApplicationThatIsBusyForAMomentGetsTheRightLetters)
{
    for (bool qt : {false, true}) {
        SCOPED_TRACE(qt ? "Qt field" : "xterm");
        const std::string out = home.file(qt ? "field.txt" : "out.txt");
        useLayouts("burst\n");
        startTargetOf(qt, out);
        startPanel();
        std::vector<Point> keys;
        std::string expected;
        for (int i = 0; i < 25; ++i) {
            const int k = (i * 5) % kBurstLetters;
            keys.push_back(burstKey(k));
            expected += burstLetter(k);
        }
        const auto stopped = Clock::now();
        kill(target.pid(), SIGSTOP);
        burst(keys);
        std::this_thread::sleep_until(stopped + std::chrono::milliseconds(600));
        kill(target.pid(), SIGCONT);
        expectText(out, expected, "stopped for 0.6 s");
            stopPanel(SIGTERM);
        target.stop();
    }
}

// Another program loads another keymap while the panel runs: the next
// key already goes by the new one.
TEST_F(PanelEndToEnd, FollowsEveryKeymapChangeBeforeTheNextKey)
{
    for (bool qt : {false, true}) {
        SCOPED_TRACE(qt ? "Qt field" : "xterm");
        const std::string out = home.file(qt ? "field.txt" : "out.txt");
        x("setxkbmap us");
        stateBefore = keyboardState();
        useLayouts("azq\n");
        startTargetOf(qt, out);
        startPanel();
        std::string expected;
        for (const char *change : {"setxkbmap fr", "setxkbmap de", "xmodmap -e 'keycode 38 = q Q'", "setxkbmap us"}) {
            bool ok = false;
            x(change, &ok);
            ASSERT_TRUE(ok) << change;
            burst({kAzq[0], kAzq[1], kAzq[2], kAzq[3], kAzq[4]});
            expected += "azqwy";
            if (!expectText(out, expected, std::string("after ") + change))
                break;
        }
            stopPanel(SIGTERM);
        target.stop();
    }
}

// Someone maps a keycode the panel had given a letter: the letter goes on
// typing through another keycode, and the panel's clean-up leaves that
// mapping alone and gives every key its auto-repeat back.
TEST_F(PanelEndToEnd, CleanUpLeavesAMappingMadeMeanwhile)
{
    const std::string out = home.file("out.txt");
    useLayouts("burst\n");
    startTargetOf(false, out);
    startPanel();
    tap(burstKey(0));
    ASSERT_TRUE(expectText(out, burstLetter(0), "first letter"));
    // The keycode that types the first letter.
    const std::string line = x("sh -c \"xmodmap -pke | grep -m1 -w Cyrillic_a\"");
    int keycode = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "keycode %d", &keycode), 1) << line;
    bool ok = false;
    x("xmodmap -e 'keycode " + std::to_string(keycode) + " = F13'", &ok);
    ASSERT_TRUE(ok);
    tap(burstKey(0));
    EXPECT_TRUE(expectText(out, burstLetter(0) + burstLetter(0), "the letter again"));
    std::string now = x("sh -c \"xmodmap -pke | grep '^keycode *" + std::to_string(keycode) + " '\"");
    EXPECT_NE(now.find("F13"), std::string::npos) << "taken back while running: " << now;
    panel.stop(SIGTERM);
    now = x("sh -c \"xmodmap -pke | grep '^keycode *" + std::to_string(keycode) + " '\"");
    EXPECT_NE(now.find("F13"), std::string::npos) << "emptied at the exit: " << now;
    // Letters stay only on the keycodes that had no keysym (the spares).
    EXPECT_EQ(keyboardState().find("Cyrillic"), std::string::npos) << "letters left on the user's keys";
    // Every key repeats as before (xset q lists the repeating keys).
    const std::string before = stateBefore.substr(stateBefore.find("auto repeat:"));
    const std::string state = keyboardState();
    EXPECT_EQ(state.substr(state.find("auto repeat:")), before);
}

// A panel killed outright leaves its keys; the next one takes them back at
// its start, types every letter and leaves the keymap as it was: keys of
// the killed one still there would differ at the end.
TEST_F(PanelEndToEnd, AFreshStartTakesBackWhatAKilledPanelLeft)
{
    const std::string out = home.file("out.txt");
    useLayouts("burst\n");
    startTargetOf(false, out);
    startPanel();
    tap(burstKey(0));
    ASSERT_TRUE(expectText(out, burstLetter(0), "first letter"));
    panel.stop(SIGKILL);
    ASSERT_NE(keyboardState(), stateBefore) << "the killed panel left nothing to take back";
    startPanel();
    std::vector<Point> keys;
    std::string expected = burstLetter(0);
    for (int i = 0; i < kBurstLetters; ++i) {
        keys.push_back(burstKey(i));
        expected += burstLetter(i);
    }
    burst(keys);
    expectText(out, expected, "after the fresh start");
    stopPanel(SIGTERM);
}

}  // namespace
