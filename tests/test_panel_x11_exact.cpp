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
#include <algorithm>
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

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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

// "exact": letters whose keys differ between US and German keymaps, a
// digit, two Cyrillic letters; one row of keys 36 x 38.
const char *const kExact[] = {"a", "s", "y", "z", "1", "\xd0\xb6", "\xd0\xb9"};  // a s y z 1 ж й
constexpr int kExactKeys = 7;
// "cyr": 31 Cyrillic letters (U+0430..U+044E), more than the spare
// keycodes of a US keymap, in rows of 11.
constexpr int kCyrLetters = 31;
Point gridKey(int i) { return {20 + 39 * (i % 11), 21 + 43 * (i / 11)}; }
std::string cyrLetter(int i)
{
    const int cp = 0x430 + i;
    return {static_cast<char>(0xc0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3f))};
}
constexpr int kGridW = 430, kGridH = 130;

// The group the keyboard has locked and whether Caps Lock is on.
struct LockState {
    int group = 0;
    bool caps = false;
    bool operator==(const LockState &o) const { return group == o.group && caps == o.caps; }
};

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
        writeGrid("exact", std::vector<std::string>(kExact, kExact + kExactKeys));
        std::vector<std::string> cyr;
        for (int i = 0; i < kCyrLetters; ++i)
            cyr.push_back(cyrLetter(i));
        writeGrid("cyr", cyr);
        bool ok = false;
        const std::string out = shell(binDir() + "/vexil-skin --write " + dir + "/rows.cfg " + dir + "/exact.cfg " +
                                          dir + "/cyr.cfg 2>&1",
                                      &ok);
        ASSERT_TRUE(ok) << out;
    }

    // A layout `name` of one letter key per entry of `letters`, placed by
    // gridKey().
    void writeGrid(const std::string &name, const std::vector<std::string> &letters)
    {
        std::string strings, geometry, types;
        for (size_t i = 0; i < letters.size(); ++i) {
            strings += (i ? " " : "") + letters[i];
            const Point at = gridKey(static_cast<int>(i));
            geometry += "(" + std::to_string(at.x - 18) + " " + std::to_string(at.y - 19) + ")" +
                        (i % 11 == 10 ? "\n" : " ");  // a row a line: lines hold 255 bytes
            types += "alpha ";
        }
        home.write("vexil/" + name + ".cfg", "[Common]\ntype 0 keys " + std::to_string(letters.size()) +
                                                 " alpha 2 bwid 36 bhei 38\n[Layout]\n" + types + "\n[Geometry]\n" +
                                                 geometry + "\n[Strings]\n" + strings + "\n[Board]\nwid " +
                                                 std::to_string(kGridW) + " hei " + std::to_string(kGridH) +
                                                 " color ( 40 60 90 )\n");
    }

    void useLayouts(const std::string &layouts) { home.write("vexil/load.cfg", layouts); }

    // An xterm that writes every character as it is typed to `out`; it
    // has the focus.
    void startTarget(const std::string &out)
    {
        ASSERT_TRUE(target.start({"xterm", "-u8", "-geometry", "80x10+0+0", "-e", "sh", "-c",
                                  "stty -icanon -echo; cat > " + out},
                                 {"DISPLAY=" + display, "LC_ALL=C.UTF-8"}));
        const std::string pid = std::to_string(target.pid());
        ASSERT_TRUE(waitUntil([&] {
            x("xdotool search --onlyvisible --pid " + pid + " windowfocus");
            const std::string focus = x("xdotool getwindowfocus getwindowpid");
            return focus.substr(0, focus.find('\n')) == pid;
        })) << "the target never got the focus";
    }

    // Clicks `keys` one after the other as quickly as the server takes
    // them; each step waits until the server has carried it out.
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


    // What the keyboard means to a user: the group count, and what every
    // keycode types in every group for every combination of the modifiers
    // the keyboard's keys can set (keys of the modifier map), as Xlib
    // reads a key event.
    struct Meaning {
        int groups = 0;
        size_t perKeycode = 0;               // entries per keycode: groups x modifier subsets
        std::vector<unsigned long> keysyms;  // keycode, group, modifier subset, in that order
        // Every keycode that typed something in `before` types the same
        // here; a keycode that typed nothing (the panel's spares) may type
        // one character now.
        bool keepsTheKeysOf(const Meaning &before) const
        {
            if (groups != before.groups || perKeycode != before.perKeycode || keysyms.size() != before.keysyms.size())
                return false;
            for (size_t at = 0; at < keysyms.size(); at += perKeycode) {
                const auto from = before.keysyms.begin() + static_cast<long>(at);
                const bool empty = std::all_of(from, from + static_cast<long>(perKeycode),
                                               [](unsigned long k) { return k == NoSymbol; });
                if (!empty && !std::equal(from, from + static_cast<long>(perKeycode), keysyms.begin() + static_cast<long>(at)))
                    return false;
            }
            return true;
        }
    };
    Meaning meaning(unsigned userMods = 0)
    {
        Meaning out;
        Display *dpy = XOpenDisplay(display.c_str());
        if (!dpy)
            return out;
        XkbDescPtr xkb = XkbGetMap(dpy, XkbAllClientInfoMask, XkbUseCoreKbd);
        if (xkb && XkbGetControls(dpy, XkbAllControlsMask, xkb) == Success) {
            out.groups = xkb->ctrls->num_groups;
            if (userMods == 0)
                for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode)
                    userMods |= xkb->map->modmap[keycode];
            std::vector<unsigned> subsets;
            for (unsigned mods = 0; mods < 256; ++mods)
                if ((mods & ~userMods) == 0)
                    subsets.push_back(mods);
            out.perKeycode = subsets.size() * static_cast<size_t>(out.groups);
            for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode)
                for (int group = 0; group < out.groups; ++group)
                    for (unsigned mods : subsets) {
                        unsigned consumed = 0;
                        KeySym keysym = NoSymbol;
                        XkbTranslateKeyCode(xkb, static_cast<KeyCode>(keycode), mods | (unsigned(group) << 13),
                                            &consumed, &keysym);
                        out.keysyms.push_back(keysym);
                    }
        }
        if (xkb)
            XkbFreeKeyboard(xkb, 0, True);
        XCloseDisplay(dpy);
        return out;
    }
    // The first differences between two meanings, for a failure message.
    static std::string differences(const Meaning &a, const Meaning &b)
    {
        std::ostringstream out;
        if (a.groups != b.groups)
            out << "groups " << a.groups << " then " << b.groups << "\n";
        int shown = 0;
        for (size_t i = 0; i < std::min(a.keysyms.size(), b.keysyms.size()) && shown < 8; ++i)
            if (a.keysyms[i] != b.keysyms[i]) {
                out << "entry " << i << ": 0x" << std::hex << a.keysyms[i] << " then 0x" << b.keysyms[i] << std::dec
                    << "\n";
                ++shown;
            }
        if (a.keysyms.size() != b.keysyms.size())
            out << a.keysyms.size() << " entries then " << b.keysyms.size() << "\n";
        return out.str();
    }

    // What the keyboard means to the user, and its controls.
    struct KeyboardState {
        Meaning meaning;
        std::string controls;  // xset q
    };
    KeyboardState keyboardState() { return {meaning(), x("xset q")}; }
    void expectKeyboardAsBefore(const KeyboardState &before)
    {
        const KeyboardState now = keyboardState();
        EXPECT_TRUE(now.meaning.keepsTheKeysOf(before.meaning))
            << "the keyboard means something else after the panel:\n" << differences(before.meaning, now.meaning);
        EXPECT_EQ(now.controls, before.controls);
    }

    LockState lockState()
    {
        LockState state;
        Display *dpy = XOpenDisplay(display.c_str());
        if (!dpy)
            return state;
        XkbStateRec xkb;
        if (XkbGetState(dpy, XkbUseCoreKbd, &xkb) == Success) {
            state.group = xkb.locked_group;
            state.caps = (xkb.locked_mods & LockMask) != 0;
        }
        XCloseDisplay(dpy);
        return state;
    }

    void setLockState(const LockState &state)
    {
        Display *dpy = XOpenDisplay(display.c_str());
        ASSERT_NE(dpy, nullptr);
        XkbLockGroup(dpy, XkbUseCoreKbd, static_cast<unsigned>(state.group));
        XkbLockModifiers(dpy, XkbUseCoreKbd, LockMask, state.caps ? LockMask : 0);
        XSync(dpy, False);
        XCloseDisplay(dpy);
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

// Ends the panel with `signal`: exit status 0.
void expectCleanExit(Child &panel, int signal)
{
    const int status = panel.stop(signal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

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

// The user's keyboard in another group, with Caps Lock on, or both: the
// board types what it shows, and after the panel the keymap, the group
// and the locks are as before.
TEST_F(PanelX11Exact, TypesWhatTheBoardShowsWhateverGroupAndCapsLockTheUserHas)
{
    struct Case {
        const char *layouts;  // setxkbmap -layout
        LockState lock;
    } cases[] = {
        {"us,ru", {1, false}}, {"us,de", {1, false}}, {"us", {0, true}}, {"de,ru", {1, true}}, {"us,ru", {0, false}},
    };
    std::string expected;
    std::vector<Point> keys;
    for (int i = 0; i < kExactKeys; ++i) {
        keys.push_back(gridKey(i));
        expected += kExact[i];
    }
    useLayouts("exact\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.layouts) + " group " + std::to_string(c.lock.group) +
                     (c.lock.caps ? " Caps Lock on" : ""));
        bool ok = false;
        x(std::string("setxkbmap -layout ") + c.layouts, &ok);
        ASSERT_TRUE(ok);
        setLockState(c.lock);
        const KeyboardState before = keyboardState();
        ASSERT_EQ(lockState(), c.lock);
        const std::string out = home.file("out.txt");
        startTarget(out);
        startPanel({}, kGridW, kGridH);
        if (HasFatalFailure())
            return;
        burst(keys);
        burst(keys);
        expectText(out, expected + expected, "typed");
        EXPECT_EQ(lockState(), c.lock) << "while the panel runs";
        expectCleanExit(panel, SIGTERM);
        expectKeyboardAsBefore(before);
        EXPECT_EQ(lockState(), c.lock) << "after the panel";
        target.stop();
    }
}

// The user switches groups on the physical keyboard (Alt+Shift) while the
// panel runs: the switch goes round the user's own groups only, never
// stopping on the panel's, and the board types right in each.
TEST_F(PanelX11Exact, GroupSwitchesOnThePhysicalKeyboardGoRoundTheUsersGroupsOnly)
{
    bool ok = false;
    x("setxkbmap -layout us,ru -option grp:alt_shift_toggle", &ok);
    ASSERT_TRUE(ok);
    setLockState({0, false});
    useLayouts("exact\n");
    const std::string out = home.file("out.txt");
    startTarget(out);
    startPanel({}, kGridW, kGridH);
    Display *dpy = XOpenDisplay(display.c_str());
    ASSERT_NE(dpy, nullptr);
    const int alt = XKeysymToKeycode(dpy, XK_Alt_L), shift = XKeysymToKeycode(dpy, XK_Shift_L);
    std::string expected;
    for (int step = 1; step <= 5; ++step) {
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(alt), True, CurrentTime);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(shift), True, CurrentTime);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(shift), False, CurrentTime);
        XTestFakeKeyEvent(dpy, static_cast<unsigned>(alt), False, CurrentTime);
        XSync(dpy, False);
        const int want = step % 2;
        LockState now;
        EXPECT_TRUE(waitUntil([&] { return (now = lockState()).group == want; }))
            << "step " << step << ": group " << now.group << ", wanted " << want;
        burst({gridKey(0), gridKey(5)});
        expected += std::string(kExact[0]) + kExact[5];
        if (!expectText(out, expected, "step " + std::to_string(step)))
            break;
    }
    XCloseDisplay(dpy);
    expectCleanExit(panel, SIGTERM);
    EXPECT_EQ(lockState().group, 1);
}

// An application stopped for 5 s while 25 letters the keymap lacks are
// tapped reads each key event late, when the panel has typed them all:
// each must still mean its letter.
TEST_F(PanelX11Exact, AnApplicationStoppedForSecondsGetsTheRightLetters)
{
    x("setxkbmap us");
    useLayouts("cyr\n");
    const KeyboardState before = keyboardState();
    const std::string out = home.file("out.txt");
    startTarget(out);
    startPanel({}, kGridW, kGridH);
    std::vector<Point> keys;
    std::string expected;
    for (int i = 0; i < 25; ++i) {
        const int k = (i * 5) % kCyrLetters;
        keys.push_back(gridKey(k));
        expected += cyrLetter(k);
    }
    const auto stopped = Clock::now();
    kill(target.pid(), SIGSTOP);
    burst(keys);
    std::this_thread::sleep_until(stopped + std::chrono::seconds(5));
    kill(target.pid(), SIGCONT);
    expectText(out, expected, "stopped for 5 s");
    expectCleanExit(panel, SIGTERM);
    expectKeyboardAsBefore(before);
}

// Taps quicker than keycodes could be rebound, then at once the panel
// hidden or ended: every tap the server took types, --hide is answered,
// and SIGTERM loses nothing and leaves the keymap as it was.
TEST_F(PanelX11Exact, HideAndSigtermRightAfterABurstLoseNoLetter)
{
    x("setxkbmap us");
    useLayouts("cyr\n");
    const KeyboardState before = keyboardState();
    std::vector<Point> keys;
    std::string letters;
    for (int i = 0; i < 25; ++i) {
        keys.push_back(gridKey(i));
        letters += cyrLetter(i);
    }
    for (const char *how : {"--hide", "SIGTERM"}) {
        SCOPED_TRACE(how);
        const std::string out = home.file(std::string("out-") + (how[0] == '-' ? "hide" : "term") + ".txt");
        startTarget(out);
        startPanel({}, kGridW, kGridH);
        if (HasFatalFailure())
            return;
        burst(keys);
        if (how[0] == '-') {
            const std::string said = shell("env DISPLAY=" + display + " XDG_DATA_HOME=" + home.path() +
                                           " XDG_RUNTIME_DIR=" + runtime + " timeout 60 " + binDir() +
                                           "/vexil-panel --hide 2>&1 >/dev/null; echo \"status $?\"");
            EXPECT_EQ(said, "status 0\n");
            EXPECT_TRUE(waitUntil([&] {
                return x("xwininfo -id " + panelWindow).find("IsUnMapped") != std::string::npos;
            })) << "still shown";
            expectText(out, letters, "hidden right after the taps");
            expectCleanExit(panel, SIGTERM);
        } else {
            expectCleanExit(panel, SIGTERM);
            expectText(out, letters, "SIGTERM right after the taps");
        }
        expectKeyboardAsBefore(before);
        target.stop();
    }
}

// The application reads its events only after the panel has ended (it was
// stopped while the keys were tapped and stays stopped well past the
// panel's exit): each key still means its letter. Afterwards the keyboard
// means to the user what it meant before (same groups, every key that
// typed something typing the same in every group with every modifier the
// user's keys set), and a second panel types right over what the first
// left.
TEST_F(PanelX11Exact, AnApplicationThatReadsAfterThePanelHasEndedGetsTheRightLetters)
{
    struct Case {
        const char *layouts;  // setxkbmap -layout
        LockState lock;
    } cases[] = {{"us", {0, false}}, {"us,ru", {1, true}}};
    std::vector<Point> keys;
    std::string letters;
    for (int i = 0; i < kExactKeys; ++i) {
        keys.push_back(gridKey(i));
        letters += kExact[i];
    }
    useLayouts("exact\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.layouts) + " group " + std::to_string(c.lock.group) +
                     (c.lock.caps ? " Caps Lock on" : ""));
        bool ok = false;
        x(std::string("setxkbmap -layout ") + c.layouts, &ok);
        ASSERT_TRUE(ok);
        setLockState(c.lock);
        const KeyboardState before = keyboardState();
        ASSERT_GT(before.meaning.groups, 0);
        for (int run = 0; run < 2; ++run) {
            SCOPED_TRACE("panel " + std::to_string(run + 1));
            const std::string out = home.file("late-" + std::to_string(run) + ".txt");
            startTarget(out);
            startPanel({}, kGridW, kGridH);
            if (HasFatalFailure())
                return;
            kill(target.pid(), SIGSTOP);
            burst(keys);
            burst(keys);
            // The panel has sent every key before it is told to end: a tap
            // racing the signal is HideAndSigtermRightAfterABurstLoseNoLetter's
            // matter, the late reader this test's.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            expectCleanExit(panel, SIGTERM);
            // Well past any wait of the panel's exit.
            std::this_thread::sleep_for(std::chrono::seconds(3));
            kill(target.pid(), SIGCONT);
            expectText(out, letters + letters, "read after the panel ended");
            expectKeyboardAsBefore(before);
            EXPECT_EQ(lockState(), c.lock) << "after the panel";
            target.stop();
        }
    }
}

// A keymap of four groups leaves no group for the panel: the letters
// beyond the spares it keeps take the few spare keycodes left, each for a
// while, so some keys wait. The board goes on answering meanwhile (a held
// key shows its preview, --hide acts, while keys still wait), the waiting
// keys arrive in order with the held one last, and SIGTERM while they wait
// types them all before the panel ends.
TEST_F(PanelX11Exact, KeysWaitingForASpareKeycodeLeaveTheBoardFreeAndAreTypedBeforeTheExit)
{
    bool ok = false;
    x("setxkbmap -layout us,ru,de,fr", &ok);
    ASSERT_TRUE(ok);
    setLockState({0, false});
    useLayouts("cyr\n");
    const KeyboardState before = keyboardState();
    std::vector<Point> keys;
    std::string letters;
    for (int i = 0; i < kCyrLetters; ++i) {
        keys.push_back(gridKey(i));
        letters += cyrLetter(i);
    }
    for (const char *how : {"board", "SIGTERM"}) {
        SCOPED_TRACE(how);
        const std::string out = home.file(std::string("wait-") + how + ".txt");
        startTarget(out);
        startPanel({}, kGridW, kGridH);
        if (HasFatalFailure())
            return;
        burst(keys);
        if (how[0] == 'b') {
            const Point held = {origin.x + gridKey(0).x, origin.y + gridKey(0).y};
            x("xdotool mousemove " + std::to_string(held.x) + " " + std::to_string(held.y) + " mousedown 1");
            EXPECT_TRUE(waitUntil([&] { return !previewRect().isEmpty(); })) << "no preview";
            // Shown while keys still wait: the board was not held up.
            const std::string typed = readFile(out);
            EXPECT_LT(typed.size(), letters.size()) << "every key had gone out before the board answered: " << typed;
            x("xdotool mouseup 1");
            const std::string said = shell("env DISPLAY=" + display + " XDG_DATA_HOME=" + home.path() +
                                           " XDG_RUNTIME_DIR=" + runtime + " timeout 60 " + binDir() +
                                           "/vexil-panel --hide 2>&1 >/dev/null; echo \"status $?\"");
            EXPECT_EQ(said, "status 0\n");
            EXPECT_TRUE(waitUntil([&] {
                return x("xwininfo -id " + panelWindow).find("IsUnMapped") != std::string::npos;
            })) << "still shown";
            expectText(out, letters + cyrLetter(0), "the keys that waited, then the held one");
            expectCleanExit(panel, SIGTERM);
        } else {
            // The keys that wait go out first, each batch after the hold
            // of the last: the exit takes seconds.
            kill(panel.pid(), SIGTERM);
            EXPECT_TRUE(waitUntil([&] { return !panel.running(); })) << "still running";
            expectCleanExit(panel, SIGTERM);
            expectText(out, letters, "SIGTERM while keys wait");
        }
        expectKeyboardAsBefore(before);
        target.stop();
    }
}
}  // namespace
