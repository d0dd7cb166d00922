// vexil-panel on a real (virtual) X server with a real window manager
// (openbox): clicks on the panel type into an xterm and into a Qt text
// field, the focus never leaves them, held keys repeat, quick taps arrive
// whole and in order, characters missing from the keymap are typed through
// spare keycodes, and the keymap is the user's again once typing pauses and
// after the panel exits.
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

#include "tests/TestSupport.h"
#include "tests/XSession.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);

struct Point {
    int x, y;
};

// Centres of the keys of the two test layouts (same board size, so the
// docked panel keeps its place when the switch key changes layouts).
constexpr Point kA{40, 35}, kOne{110, 35}, kBang{180, 35}, kDot{250, 35}, kXyz{320, 35}, kCaps{390, 35};
constexpr Point kBks{40, 95}, kEnt{110, 95}, kSpace{180, 95}, kSwitch{250, 95};
constexpr Point kZhe{40, 35}, kEacute{180, 35}, kEnye{250, 35};
constexpr Point kCyrSwitch{250, 95};
// The letters of the "ru" layout, key by key, and where their keys are.
#define RU_LETTERS "\xd0\xb1 \xd0\xb2 \xd0\xb3 \xd0\xb4 \xd0\xb8 \xd0\xba \xd0\xbb \xd0\xbf \xd1\x84 \xd1\x86 \xd1\x8f"
const char *const kRu[] = {"\xd0\xb1", "\xd0\xb2", "\xd0\xb3", "\xd0\xb4", "\xd0\xb8", "\xd0\xba",
                           "\xd0\xbb", "\xd0\xbf", "\xd1\x84", "\xd1\x86", "\xd1\x8f"};  // бвгдиклпфця
constexpr Point kRuKeys[] = {{40, 35}, {110, 35}, {180, 35}, {250, 35}, {320, 35}, {390, 35},
                             {40, 95}, {110, 95}, {180, 95}, {320, 95}, {390, 95}};
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
constexpr int kBoardW = 430, kBoardH = 130, kScreenW = 1024, kScreenH = 768;
// The kiosk layout's letters, one key each, left to right: йфцыувкаеп.
#define KIOSK_LETTERS "\xd0\xb9 \xd1\x84 \xd1\x86 \xd1\x8b \xd1\x83 \xd0\xb2 \xd0\xba \xd0\xb0 \xd0\xb5 \xd0\xbf"
const char *const kKiosk[] = {"\xd0\xb9", "\xd1\x84", "\xd1\x86", "\xd1\x8b", "\xd1\x83",
                              "\xd0\xb2", "\xd0\xba", "\xd0\xb0", "\xd0\xb5", "\xd0\xbf"};
constexpr int kKioskW = 430, kKioskH = 110;

// The line both targets get: caps and case, digits, a Backspace, punctuation
// that needs Shift and that does not, a multi-tap cycle with its erase step,
// Cyrillic and Latin-1 letters that no key of the US keymap types, Return.
const char *const kLine = "Aa1!. y\xd0\xb6\xc3\xa9\xc3\xb1\n";  // "Aa1!. yжéñ\n"

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool waitUntil(const std::function<bool()> &done)
{
    for (const auto until = Clock::now() + kPatience; Clock::now() < until;
         std::this_thread::sleep_for(kPollStep))
        if (done())
            return true;
    return done();
}

class PanelEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"Xvfb", "openbox", "xterm", "xdotool", "xmodmap", "xprop"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
        writeLayouts();
        ASSERT_TRUE(startXvfb(xserver, display)) << "Xvfb did not start";
        ASSERT_TRUE(startWindowManager()) << "openbox did not start on " << display;
        keymapBefore = keyboardState();
        ASSERT_FALSE(keymapBefore.empty());
        runtime = home.mkdir("run");
        chmod(runtime.c_str(), 0700);
    }

    // On a loaded machine openbox may take long to claim the screen, or
    // give up when the server is slow to answer: it gets a second chance.
    bool startWindowManager()
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            wm.stop(SIGKILL);
            if (!wm.start({"openbox", "--sm-disable"}, {"DISPLAY=" + display}))
                return false;
            const auto until = Clock::now() + 3 * kPatience;
            for (; Clock::now() < until; std::this_thread::sleep_for(kPollStep)) {
                if (x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos)
                    return true;
                if (waitpid(wm.pid(), nullptr, WNOHANG) != 0)
                    break;  // it exited: start it again
            }
        }
        return false;
    }

    std::string x(const std::string &command, bool *ok = nullptr)
    {
        return shell("DISPLAY=" + display + " " + command + " 2>/dev/null", ok);
    }

    // The keymap and the keyboard controls (which keys repeat).
    std::string keyboardState() { return x("sh -c 'xmodmap -pke; xset q'"); }

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
                   "[Common]\ntype 0 keys 8 alpha 2 bwid 60 bhei 50 draw-pressed 1\n"
                   "[Layout]\nalpha alpha alpha alpha alpha bks ent switch\n"
                   "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (10 70) (80 70) (220 70)\n"
                   "[Strings]\n\xd0\xb6 \xd1\x91 \xc3\xa9 \xc3\xb1 \xc3\x9f\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        // The only layout that repeats: quick taps elsewhere stay taps even
        // when a loaded machine delays the panel's release past the period.
        home.write("vexil/hold.cfg",
                   "[Common]\ntype 0 keys 2 alpha 2 bwid 60 bhei 50 repeat-on 1 tm-period 400 tm-rate 60\n"
                   "[Layout]\nalpha switch\n[Geometry]\n(10 10) (220 70)\n[Strings]\n\xd0\xb6\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
        // Eleven letters none of which the US keymap has, so every first tap
        // of one binds a keycode.
        home.write("vexil/ru.cfg",
                   "[Common]\ntype 0 keys 12 alpha 2 bwid 60 bhei 50\n"
                   "[Layout]\nalpha alpha alpha alpha alpha alpha alpha alpha alpha switch alpha alpha\n"
                   "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70) (150 70) "
                   "(220 70) (290 70) (360 70)\n"
                   "[Strings]\n" RU_LETTERS "\n"
                   "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n");
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
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/lat.cfg " + dir + "/cyr.cfg " + dir +
                                          "/hold.cfg " + dir + "/ru.cfg " + dir + "/burst.cfg " + dir + "/azq.cfg 2>&1",
                                      &ok);
        ASSERT_TRUE(ok) << out;
    }

    // Starts `argv` and waits until one of its windows has the focus.
    void startTarget(Child &child, const std::vector<std::string> &argv)
    {
        ASSERT_TRUE(child.start(argv, {"DISPLAY=" + display, "LC_ALL=C.UTF-8", "QT_QPA_PLATFORM=xcb"}));
        targetPid = std::to_string(child.pid());
        const bool focused = waitUntil([&] {
            x("xdotool search --onlyvisible --pid " + targetPid + " windowfocus");
            return focusPid() == targetPid;
        });
        ASSERT_TRUE(focused) << "the target never got the focus";
    }

    std::string focusPid()
    {
        std::string pid = x("xdotool getwindowfocus getwindowpid");
        return pid.substr(0, pid.find('\n'));
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
        Display *dpy = XOpenDisplay(display.c_str());
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
            startTarget(target, {binDir() + "/vexil_typing_target", out});
        else
            startTarget(target, {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c",
                                 "stty -icanon -echo; cat > " + out});
    }

    // The environment every panel of a test runs in: its own layouts and
    // runtime folder (the lock and socket of the display's one panel).
    std::vector<std::string> panelEnv()
    {
        return {"DISPLAY=" + display, "XDG_DATA_HOME=" + home.path(), "XDG_RUNTIME_DIR=" + runtime};
    }

    // Starts the panel with `args`; docked, its window `width` x `height`
    // centred on the bottom edge.
    void startPanel(const std::vector<std::string> &args = {}, int width = kBoardW, int height = kBoardH)
    {
        std::vector<std::string> argv = {binDir() + "/vexil-panel"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(panel.start(argv, panelEnv(), ChildOptions{home.file("panel.log"), home.file("panel.err")}));
        std::string window = x("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(panel.pid()));
        panelWindow = window.substr(0, window.find('\n'));
        ASSERT_FALSE(panelWindow.empty()) << "no panel window; log:\n" << readFile(home.file("panel.err"));
        // Docked: centred on the bottom edge once the window manager has
        // placed it.
        const std::string want = "X=" + std::to_string((kScreenW - width) / 2) + "\nY=" +
                                 std::to_string(kScreenH - height) + "\nWIDTH=" + std::to_string(width) +
                                 "\nHEIGHT=" + std::to_string(height);
        std::string geometry;
        EXPECT_TRUE(waitUntil([&] {
            geometry = x("xdotool getwindowgeometry --shell " + panelWindow);
            return geometry.find(want) != std::string::npos;
        })) << geometry;
        origin = {(kScreenW - width) / 2, kScreenH - height};
    }

    // A press on `from`, a slide to screen point `to`, a lift there.
    void drag(const Point &from, const Point &to)
    {
        x("xdotool mousemove " + std::to_string(origin.x + from.x) + " " + std::to_string(origin.y + from.y) +
          " mousedown 1 mousemove " + std::to_string(to.x) + " " + std::to_string(to.y) + " mouseup 1");
    }

    // The work area the window manager gives maximised windows has `height`
    // pixels, within the patience.
    bool workAreaHeight(int height)
    {
        return waitUntil([&] {
            return x("xprop -root _NET_WORKAREA").find("= 0, 0, 1024, " + std::to_string(height)) != std::string::npos;
        });
    }

    bool panelMapped()
    {
        return x("xwininfo -id " + panelWindow).find("Map State: IsViewable") != std::string::npos;
    }

    // A second vexil-panel with `args`: its error output and exit status.
    std::string runPanel(const std::string &args, const std::string &runtimeDir = std::string())
    {
        return shell("env DISPLAY=" + display + " XDG_DATA_HOME=" + home.path() + " XDG_RUNTIME_DIR=" +
                     (runtimeDir.empty() ? runtime : runtimeDir) + " timeout 20 " + binDir() + "/vexil-panel " +
                     args + " 2>&1 >/dev/null; echo \"status $?\"");
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

    // Saves `image` as docs picture `name` when $VEXIL_PICTURES_DIR names a
    // folder (make pictures).
    void keepPicture(const QImage &image, const char *name)
    {
        const char *dir = std::getenv("VEXIL_PICTURES_DIR");
        if (dir && *dir) {
            EXPECT_TRUE(image.save(QString::fromStdString(std::string(dir) + "/" + name))) << name;
        }
    }

    // One click on a key of the panel; the focus must stay where it was.
    void tap(const Point &key)
    {
        x("xdotool mousemove " + std::to_string(origin.x + key.x) + " " + std::to_string(origin.y + key.y) +
          " click 1");
        EXPECT_EQ(focusPid(), targetPid) << "focus moved after a click at " << key.x << "," << key.y;
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
        for (const Point &key : {kSwitch, kZhe, kEacute, kEnye, kCyrSwitch, kCyrSwitch, kCyrSwitch, kEnt})  // cyr, hold, ru, lat
            tap(key);
    }

    // Runs over letters the keymap lacks, each right after the panel has
    // put its bindings back, then Return; gives the text `out` must hold.
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
            EXPECT_TRUE(keymapRestored()) << "keymap still changed before run " << run;
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

    // Waits until the panel has put every binding back.
    bool keymapRestored()
    {
        return waitUntil([&] { return keyboardState() == keymapBefore; });
    }

    // Ends the panel with `signal`; its exit status must be 0 and the
    // keymap the one from before it started.
    void stopPanel(int signal)
    {
        const int status = panel.stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        EXPECT_EQ(keyboardState(), keymapBefore);
    }

    TempDir home;
    Child xserver, wm, target, panel;
    std::string display, keymapBefore, targetPid, panelWindow, runtime;
    Point origin{0, 0};
};

TEST_F(PanelEndToEnd, TypesALineIntoAnXtermWithoutTakingTheFocus)
{
    const std::string out = home.file("out.txt");
    startTarget(target, {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "cat > " + out});
    startPanel();

    // The window manager keeps the panel's height free at the bottom.
    std::string workarea;
    EXPECT_TRUE(waitUntil([&] {
        workarea = x("xprop -root _NET_WORKAREA");
        return workarea.find("= 0, 0, 1024, " + std::to_string(kScreenH - kBoardH)) != std::string::npos;
    })) << workarea;
    const std::string props = x("xprop -id " + panelWindow);
    EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE_DOCK"), std::string::npos) << props;
    EXPECT_NE(props.find("Client accepts input or input focus: False"), std::string::npos) << props;

    typeLine();
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(focusPid(), targetPid);
    EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
    stopPanel(SIGTERM);
}

TEST_F(PanelEndToEnd, HeldKeysRepeatAndQuickTapsArriveWholeAndInOrder)
{
    const std::string out = home.file("out.txt");
    startTarget(target, {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "cat > " + out});
    startPanel();

    // Held: the first character at once, then the repeats; a character
    // the keymap lacks, so its spare keycode is pressed again and again.
    tap(kSwitch);
    tap(kCyrSwitch);
    x("xdotool mousemove " + std::to_string(origin.x + kZhe.x) + " " + std::to_string(origin.y + kZhe.y) +
      " mousedown 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    x("xdotool mouseup 1");
    tap(kSwitch);  // ru
    tap(kSwitch);  // back to lat
    tap(kEnt);
    const std::string zhe = "\xd0\xb6";
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)).find('\n') != std::string::npos; }));
    size_t repeats = 0;
    while (got.compare(repeats * zhe.size(), zhe.size(), zhe) == 0)
        ++repeats;
    EXPECT_GE(repeats, 3u) << "'" << got << "'";
    EXPECT_EQ(got.size(), repeats * zhe.size() + 1) << "'" << got << "'";

    // 200 quick taps, a third of them with Shift held around the key.
    const Point keys[] = {kA, kBang, kOne, kDot, kBang, kA};
    const char *const chars[] = {"a", "!", "1", ".", "!", "a"};
    std::string expected = got;
    std::string command = "xdotool";
    for (int i = 0; i < 200; ++i) {
        const Point &key = keys[i % 6];
        command += " mousemove " + std::to_string(origin.x + key.x) + " " + std::to_string(origin.y + key.y) +
                   " click 1";
        expected += chars[i % 6];
    }
    x(command);
    tap(kEnt);
    expected += "\n";
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
    stopPanel(SIGINT);
}

TEST_F(PanelEndToEnd, RunsOfMissingCharactersArriveWholeAndInOrderInAnXterm)
{
    // Not line by line: each character reaches the file as it is typed.
    const std::string out = home.file("out.txt");
    startTarget(target,
                {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "stty -icanon -echo; cat > " + out});
    startPanel();
    const std::string expected = typeRunsOfMissing(out);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
    stopPanel(SIGTERM);
}

TEST_F(PanelEndToEnd, RunsOfMissingCharactersArriveWholeAndInOrderInAQtTextField)
{
    const std::string out = home.file("field.txt");
    startTarget(target, {binDir() + "/vexil_typing_target", out});
    startPanel();
    const std::string expected = typeRunsOfMissing(out);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got\n" << got << "\nwanted\n"
                                                                                 << expected;
    stopPanel(SIGINT);
}

TEST_F(PanelEndToEnd, TypesTheSameLineIntoAQtTextField)
{
    const std::string out = home.file("field.txt");
    startTarget(target, {binDir() + "/vexil_typing_target", out});
    startPanel();
    typeLine();
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == kLine; })) << "got '" << got << "'";
    EXPECT_EQ(focusPid(), targetPid);
    stopPanel(SIGTERM);
}

// The touch model: the lift types the key under the pointer, a slide
// types nothing on its way, a slide off the board nothing at all; caps
// capitalises one letter, twice it locks.
TEST_F(PanelEndToEnd, TypesOnTheLiftAndCapsIsAOneShotShift)
{
    const std::string out = home.file("out.txt");
    startTarget(target,
                {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "stty -icanon -echo; cat > " + out});
    startPanel();
    // Each gesture's text arrives before the next begins: a pointer warp
    // may overtake a button still queued in a server busy with a keymap.
    std::string expected;
    auto gives = [&](const std::string &text, const char *what) {
        expected += text;
        std::string got;
        EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; }))
            << what << ": got '" << got << "', wanted '" << expected << "'";
    };
    drag(kA, {origin.x + kOne.x, origin.y + kOne.y});  // a, slide to 1: only 1
    gives("1", "a slid to 1");
    drag(kA, {origin.x + kA.x, origin.y - 60});  // a, slide off the top: nothing
    drag(kDot, {origin.x + kBang.x, origin.y + 12});  // ., slide to ! near its top: !
    gives("!", "a slid off, . slid to !");
    drag(kDot, {origin.x + 215, origin.y + 35});  // ., slide into the gap beside it: .
    gives(".", ". slid into the gap");
    for (const Point &key : {kCaps, kA, kA})
        tap(key);
    gives("Aa", "caps a a");
    for (const Point &key : {kCaps, kCaps, kA, kA})
        tap(key);
    gives("AA", "caps caps a a");
    for (const Point &key : {kCaps, kA, kEnt})
        tap(key);
    gives("a\n", "caps (released) a");
    stopPanel(SIGTERM);
}

// One panel per display: a second one, docked or floating, says so and
// exits with 1, also when another user (another runtime folder) starts it;
// the first goes on typing every letter exactly.
TEST_F(PanelEndToEnd, ASecondPanelOnTheDisplayIsRefusedAndTheFirstKeepsTyping)
{
    const std::string out = home.file("out.txt");
    startTarget(target,
                {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "stty -icanon -echo; cat > " + out});
    const std::string list = writeKiosk();
    startPanel({"--set", list}, kKioskW, kKioskH);
    const std::string other = home.mkdir("other-run");
    chmod(other.c_str(), 0700);
    const std::string refused = "a panel is already running on this display (DISPLAY=" + display + ")";
    for (const std::string &args : {std::string(), std::string("--float"), std::string("--float --scale 2")}) {
        for (const std::string &dir : {runtime, other}) {
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

// --toggle, --show, --hide and SIGUSR1 hide and show the docked panel,
// and the work area of maximised windows follows.
TEST_F(PanelEndToEnd, ToggleHidesAndShowsTheDockAndTheWorkAreaFollows)
{
    const std::string out = home.file("out.txt");
    startTarget(target, {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "cat > " + out});
    startPanel();
    EXPECT_TRUE(workAreaHeight(kScreenH - kBoardH));
    struct Step {
        const char *how;  // a command line, or "USR1"
        bool shown;
    } steps[] = {
        {"--toggle", false}, {"--hide", false}, {"--toggle", true}, {"--show", true},
        {"USR1", false},     {"--show", true},  {"USR1", false},    {"USR1", true},
    };
    for (const Step &step : steps) {
        if (std::string(step.how) == "USR1") {
            kill(panel.pid(), SIGUSR1);
        } else {
            const std::string said = runPanel(step.how);
            EXPECT_EQ(said, "status 0\n") << step.how;
        }
        EXPECT_TRUE(waitUntil([&] { return panelMapped() == step.shown; })) << step.how;
        EXPECT_TRUE(workAreaHeight(step.shown ? kScreenH - kBoardH : kScreenH)) << step.how << " "
                                                                              << x("xprop -root _NET_WORKAREA");
    }
    // Shown again where it was, it types.
    tap(kA);
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "a\n"; })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

// --width full: the dock is as wide as the screen, the layout scaled to it,
// and a tap at its right edge types the rightmost key.
TEST_F(PanelEndToEnd, FullWidthSpansTheScreenAndItsEdgesType)
{
    const std::string out = home.file("out.txt");
    startTarget(target,
                {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c", "stty -icanon -echo; cat > " + out});
    const std::string list = writeKiosk();
    const double scale = double(kScreenW) / kKioskW;
    const int height = static_cast<int>(std::lround(kKioskH * scale));
    startPanel({"--width", "full", "--set", list}, kScreenW, height);
    EXPECT_TRUE(workAreaHeight(kScreenH - height));
    tap({kScreenW - 1, int(25 * scale)});  // the right edge: п
    tap({0, int(25 * scale)});             // the left edge: й
    tap({int(20 * scale), int(85 * scale)});
    const std::string expected = std::string(kKiosk[9]) + kKiosk[0] + "\n";
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; })) << "got '" << got << "'";
    keepPicture(readXwd(x("xwd -root -silent")), "panel-full-width.png");
    stopPanel(SIGTERM);
}

// A held letter shows its preview above it: a window of its own, 1.5 times
// the key, that the window manager does not manage and that goes at the
// lift.
TEST_F(PanelEndToEnd, APreviewShowsAboveAHeldKey)
{
    const std::string out = home.file("out.txt");
    startTarget(target, {"xterm", "-u8", "-geometry", "80x24+0+0", "-e", "sh", "-c", "cat > " + out});
    startPanel();
    tap(kCaps);  // the preview shows the capital the lift will type
    x("xdotool mousemove " + std::to_string(origin.x + kXyz.x) + " " + std::to_string(origin.y + kXyz.y) +
      " mousedown 1");
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

    const QImage screen = readXwd(x("xwd -root -silent"));
    ASSERT_FALSE(screen.isNull());
    // The preview holds the key's picture enlarged: the board's colour at
    // its corners, the key's own inside, and a dark frame around it.
    const QColor frame = screen.pixelColor(keyX - 15, keyY - 79);
    EXPECT_EQ(frame, QColor(0, 0, 0));
    const QColor inside = screen.pixelColor(keyX - 15 + 45, keyY - 79 + 37);
    EXPECT_NE(inside, screen.pixelColor(keyX - 15 + 45, keyY - 79 - 20)) << "the preview looks like what is behind it";
    keepPicture(screen, "panel-preview.png");

    x("xdotool mouseup 1");
    EXPECT_TRUE(waitUntil([&] { return x("xdotool search --onlyvisible --name 'vexil-panel preview'").empty(); }));
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "X\n"; })) << "got '" << got << "'";
    EXPECT_EQ(focusPid(), targetPid);
    stopPanel(SIGTERM);
}

// The keys of a shell: letters and digits for two commands, and the sticky
// Ctrl and the Up key; centres of key `i` in its row.
Point shellKey(int row, int i) { return {25 + 47 * i, row == 0 ? 35 : 95}; }
const Point kShS = shellKey(0, 0), kShL = shellKey(0, 1), kShE = shellKey(0, 2), kShP = shellKey(0, 3),
            kSh1 = shellKey(0, 4), kSh0 = shellKey(0, 5), kShT = shellKey(0, 6), kShR = shellKey(0, 7),
            kShU = shellKey(0, 8), kShC = shellKey(1, 0), kShSpace = shellKey(1, 1), kShEnt = shellKey(1, 2),
            kShCtrl = shellKey(1, 3), kShUp = shellKey(1, 4);

// Ctrl+C through the panel stops a command in an xterm (the shell reports
// it interrupted), and Up recalls the history: bash writes the status of
// each command line to a file at every prompt.
TEST_F(PanelEndToEnd, CtrlCStopsACommandAndUpRecallsItInAnXterm)
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

    const std::string out = home.file("status.txt");
    startTarget(target, {"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "env", "PROMPT_COMMAND=echo $? >> " + out,
                         "PS1=$ ", "HISTFILE=/dev/null", "bash", "--norc", "--noprofile", "-i"});
    std::string got;
    ASSERT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n"; })) << "no prompt: '" << got << "'";
    startPanel();

    auto typeKeys = [&](std::initializer_list<Point> keys) {
        for (const Point &key : keys)
            tap(key);
    };
    // A command that runs a long time, and that only an interrupt ends
    // soon: its status is then 130.
    typeKeys({kShS, kShL, kShE, kShE, kShP, kShSpace, kSh1, kSh0, kSh0, kShEnt});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(readFile(out), "0\n") << "sleep 100 did not start";
    typeKeys({kShCtrl, kShC});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n"; })) << "got '" << got << "'";

    // The latch is gone: c is a letter again, and "true" runs.
    typeKeys({kShT, kShR, kShU, kShE, kShEnt});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n0\n"; })) << "got '" << got << "'";

    // Up twice recalls "sleep 100" (once would give "true", which ends at
    // once with 0); Ctrl+C ends it again.
    typeKeys({kShUp, kShUp, kShEnt});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(readFile(out), "0\n130\n0\n") << "the recalled command is not the sleep";
    typeKeys({kShCtrl, kShC});
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == "0\n130\n0\n130\n"; })) << "got '" << got << "'";
    EXPECT_EQ(focusPid(), targetPid);
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
        EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
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
        EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
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
        keymapBefore = keyboardState();
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
        EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
        stopPanel(SIGTERM);
        target.stop();
    }
}

// Someone maps a keycode the panel had bound: the panel's clean-up leaves
// that mapping alone and gives the key its auto-repeat back.
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
    const std::string taken = x("sh -c \"xmodmap -pke | grep '^keycode *" + std::to_string(keycode) + " '\"");
    // Once the panel has cleaned up, the keymap is as before but for that
    // one keycode, which still holds F13.
    std::string now;
    const bool settled = waitUntil([&] {
        const std::string keymap = x("xmodmap -pke");
        return keymap.find("Cyrillic") == std::string::npos;
    });
    EXPECT_TRUE(settled);
    now = x("sh -c \"xmodmap -pke | grep '^keycode *" + std::to_string(keycode) + " '\"");
    EXPECT_EQ(now, taken);
    EXPECT_NE(now.find("F13"), std::string::npos) << now;
    panel.stop(SIGTERM);
    now = x("sh -c \"xmodmap -pke | grep '^keycode *" + std::to_string(keycode) + " '\"");
    EXPECT_NE(now.find("F13"), std::string::npos) << "emptied at the exit: " << now;
    // Every key repeats as before (xset q lists the repeating keys).
    const std::string before = keymapBefore.substr(keymapBefore.find("auto repeat:"));
    const std::string state = keyboardState();
    EXPECT_EQ(state.substr(state.find("auto repeat:")), before);
}

// A panel killed outright leaves its bindings; the next one takes them
// back at its start, types every letter and leaves the keymap as it was.
TEST_F(PanelEndToEnd, AFreshStartTakesBackWhatAKilledPanelLeft)
{
    const std::string out = home.file("out.txt");
    useLayouts("burst\n");
    startTargetOf(false, out);
    startPanel();
    tap(burstKey(0));
    ASSERT_TRUE(expectText(out, burstLetter(0), "first letter"));
    panel.stop(SIGKILL);
    ASSERT_NE(keyboardState(), keymapBefore) << "the killed panel left nothing to take back";
    startPanel();
    EXPECT_TRUE(keymapRestored()) << "the new panel left the old bindings";
    std::vector<Point> keys;
    std::string expected = burstLetter(0);
    for (int i = 0; i < kBurstLetters; ++i) {
        keys.push_back(burstKey(i));
        expected += burstLetter(i);
    }
    burst(keys);
    expectText(out, expected, "after the fresh start");
    EXPECT_TRUE(keymapRestored()) << "keymap still changed while the panel runs";
    stopPanel(SIGTERM);
}

}  // namespace
