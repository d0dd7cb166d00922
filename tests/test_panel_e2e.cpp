// vexil-panel on a real (virtual) X server with a real window manager
// (openbox): clicks on the panel type into an xterm and into a Qt text
// field, the focus never leaves them, held keys repeat, quick taps arrive
// whole and in order, characters missing from the keymap are typed through
// spare keycodes, and the keymap is the user's again once typing pauses and
// after the panel exits.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"
#include "tests/XSession.h"

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
constexpr int kBoardW = 430, kBoardH = 130, kScreenW = 1024, kScreenH = 768;

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
        ASSERT_TRUE(wm.start({"openbox", "--sm-disable"}, {"DISPLAY=" + display}));
        ASSERT_TRUE(waitUntil([&] { return x("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }))
            << "openbox did not start";
        keymapBefore = keyboardState();
        ASSERT_FALSE(keymapBefore.empty());
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
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/lat.cfg " + dir + "/cyr.cfg " + dir +
                                          "/hold.cfg " + dir + "/ru.cfg 2>&1",
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

    void startPanel()
    {
        ASSERT_TRUE(panel.start({binDir() + "/vexil-panel"}, {"DISPLAY=" + display, "XDG_DATA_HOME=" + home.path()},
                                home.file("panel.log")));
        std::string window = x("timeout 10 xdotool search --sync --onlyvisible --pid " + std::to_string(panel.pid()));
        panelWindow = window.substr(0, window.find('\n'));
        ASSERT_FALSE(panelWindow.empty()) << "no panel window; log:\n" << readFile(home.file("panel.log"));
        // Docked: centred on the bottom edge once the window manager has
        // placed it.
        const std::string want = "X=" + std::to_string((kScreenW - kBoardW) / 2) + "\nY=" +
                                 std::to_string(kScreenH - kBoardH) + "\nWIDTH=" + std::to_string(kBoardW) +
                                 "\nHEIGHT=" + std::to_string(kBoardH);
        std::string geometry;
        EXPECT_TRUE(waitUntil([&] {
            geometry = x("xdotool getwindowgeometry --shell " + panelWindow);
            return geometry.find(want) != std::string::npos;
        })) << geometry;
        origin = {(kScreenW - kBoardW) / 2, kScreenH - kBoardH};
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
    std::string display, keymapBefore, targetPid, panelWindow;
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

}  // namespace
