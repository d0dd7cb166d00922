// vexil-panel's command line, its exit statuses without an X server, and
// the window it builds: docked or floating, never taking the focus, closing
// an open multi-tap cycle when the focus moves to another window.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <functional>
#include <sstream>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_KeyPreview.h"
#include "app/QVX_Panel.h"
#include "base/VX_Utf8.h"
#include "engine/VX_Layout.h"
#include "output/VX_Desktop.h"
#include "output/VX_Output.h"
#include "panel/VX_PanelOptions.h"
#include "tests/TestSupport.h"
#include "tests/XSession.h"

namespace {

bool parse(std::vector<std::string> args, VX_PanelOptions &options, std::string &error)
{
    args.insert(args.begin(), "vexil-panel");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return VX_PanelOptions::parse(static_cast<int>(args.size()), argv.data(), options, error);
}

std::string joined(const std::vector<std::string> &args)
{
    std::string all;
    for (const std::string &a : args)
        all += "'" + a + "' ";
    return all;
}

TEST(PanelOptions, AcceptedCommandLines)
{
    struct Case {
        std::vector<std::string> args;
        bool help, floating;
        double scale;
    } cases[] = {
        {{}, false, false, 1.0},
        {{"--float"}, false, true, 1.0},
        {{"--scale", "1.5"}, false, false, 1.5},
        {{"--scale=2"}, false, false, 2.0},
        {{"--scale", "0.25", "--float"}, false, true, 0.25},
        {{"--scale", "8"}, false, false, 8.0},
        {{"--help"}, true, false, 1.0},
        {{"-h", "--float"}, true, true, 1.0},
        {{"--x11", "--auto"}, false, false, 1.0},
        {{"--wayland", "--float"}, false, true, 1.0},
    };
    for (const Case &c : cases) {
        VX_PanelOptions options;
        std::string error;
        ASSERT_TRUE(parse(c.args, options, error)) << joined(c.args) << error;
        EXPECT_EQ(options.help, c.help) << joined(c.args);
        EXPECT_EQ(options.floating, c.floating) << joined(c.args);
        EXPECT_DOUBLE_EQ(options.scale, c.scale) << joined(c.args);
    }
}

// The options of the touch panel: size, load list, commands to a running
// panel.
TEST(PanelOptions, TouchSizeSetAndCommandOptions)
{
    struct Case {
        std::vector<std::string> args;
        bool pressTypes, fullWidth;
        int heightPercent;
        VX_PanelOptions::Command command;
        std::string set;
        bool listSets;
    } cases[] = {
        {{}, false, false, 0, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--press-types"}, true, false, 0, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--width", "full"}, false, true, 0, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--width=full", "--height", "40%"}, false, true, 40, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--height=1%"}, false, false, 1, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--height", "100%"}, false, false, 100, VX_PanelOptions::COMMAND_NONE, "", false},
        {{"--toggle"}, false, false, 0, VX_PanelOptions::COMMAND_TOGGLE, "", false},
        {{"--show", "--show"}, false, false, 0, VX_PanelOptions::COMMAND_SHOW, "", false},
        {{"--hide"}, false, false, 0, VX_PanelOptions::COMMAND_HIDE, "", false},
        {{"--set", "de-fr-es"}, false, false, 0, VX_PanelOptions::COMMAND_NONE, "de-fr-es", false},
        {{"--set=/tmp/kiosk.cfg"}, false, false, 0, VX_PanelOptions::COMMAND_NONE, "/tmp/kiosk.cfg", false},
        {{"--list-sets"}, false, false, 0, VX_PanelOptions::COMMAND_NONE, "", true},
    };
    for (const Case &c : cases) {
        VX_PanelOptions options;
        std::string error;
        ASSERT_TRUE(parse(c.args, options, error)) << joined(c.args) << error;
        EXPECT_EQ(options.pressTypes, c.pressTypes) << joined(c.args);
        EXPECT_EQ(options.fullWidth, c.fullWidth) << joined(c.args);
        EXPECT_EQ(options.heightPercent, c.heightPercent) << joined(c.args);
        EXPECT_EQ(options.command, c.command) << joined(c.args);
        EXPECT_EQ(options.set, c.set) << joined(c.args);
        EXPECT_EQ(options.listSets, c.listSets) << joined(c.args);
    }
}

TEST(PanelOptions, RefusedCommandLines)
{
    const std::vector<std::string> cases[] = {
        {"--scale"},          {"--scale", ""},     {"--scale", "abc"}, {"--scale", "1.5x"},
        {"--scale", "0.2"},   {"--scale", "9"},    {"--scale", "nan"}, {"--scale", "inf"},
        {"--scale=-1"},       {"--scale", "1e400"}, {"--floating"},    {"-display"},
        {"extra"},
        {"--width"},          {"--width", "wide"}, {"--width=1024"},  {"--height"},
        {"--height", "40"},   {"--height", "0%"},  {"--height=101%"}, {"--height", "-5%"},
        {"--height", "4.5%"}, {"--height", "%"},   {"--height", "40%%"}, {"--set"},
        {"--set="},           {"--set", "/tmp/"}, {"--toggle", "--hide"}, {"--show", "--toggle"},
    };
    for (const auto &args : cases) {
        VX_PanelOptions options;
        std::string error;
        EXPECT_FALSE(parse(args, options, error)) << joined(args);
        EXPECT_FALSE(error.empty()) << joined(args);
    }
}

// The program itself: --help needs no display; without an X server or a
// Wayland compositor (whichever it was told or found) it explains itself
// and exits with 2.
TEST(PanelProgram, HelpAndNoXServer)
{
    const TempDir runtime;
    struct Case {
        std::string env, args;
        int status;
        std::string says;
    } cases[] = {
        {"DISPLAY= WAYLAND_DISPLAY=", "--help", 0, "Usage: vexil-panel"},
        {"DISPLAY= WAYLAND_DISPLAY=wayland-vexil-none", "", 2, "cannot connect to the Wayland compositor"},
        {"DISPLAY= WAYLAND_DISPLAY=wayland-vexil-none", "--x11", 2, "cannot connect to the X server"},
        {"DISPLAY=:9999 WAYLAND_DISPLAY=", "--wayland", 2, "cannot connect to the Wayland compositor"},
        {"DISPLAY= WAYLAND_DISPLAY=", "--x11 --wayland", 2, "exclude each other"},
        {"DISPLAY=:9999 WAYLAND_DISPLAY=", "", 2, "cannot connect to the X server"},
        {"DISPLAY= WAYLAND_DISPLAY=", "--scale 0", 2, "--scale takes a number"},
        {"DISPLAY= WAYLAND_DISPLAY=", "--bogus", 2, "unknown option '--bogus'"},
        {"DISPLAY= WAYLAND_DISPLAY=", "--height 40", 2, "--height takes a share of the screen"},
        {"DISPLAY= WAYLAND_DISPLAY=", "--list-sets", 0, "/load-de-fr-es.cfg\n"},
        // No panel listens in an empty runtime folder, on X11 or on Wayland.
        {"DISPLAY=:9999 WAYLAND_DISPLAY= XDG_RUNTIME_DIR=" + runtime.path(), "--toggle", 1,
         "no panel is running on this display (DISPLAY=:9999)"},
        {"DISPLAY= WAYLAND_DISPLAY=wayland-vexil-none XDG_RUNTIME_DIR=" + runtime.path(), "--hide", 1,
         "no panel is running on this display (WAYLAND_DISPLAY=wayland-vexil-none)"},
    };
    for (const Case &c : cases) {
        bool ok = false;
        const std::string out =
            shell("env " + c.env + " " + binDir() + "/vexil-panel " + c.args + " 2>&1; echo \"status $?\"", &ok);
        EXPECT_NE(out.find(c.says), std::string::npos) << c.env << " " << c.args << ": " << out;
        EXPECT_NE(out.find("status " + std::to_string(c.status) + "\n"), std::string::npos)
            << c.env << " " << c.args << ": " << out;
    }
}

// An output that records what it is asked to type, on a desktop whose
// focused window the test moves.
class RecordingOutput : public VX_Output, public VX_Desktop {
public:
    // A field that reports no text, as on X11: a replacement is one
    // Backspace per character, then the text.
    void commitText(const char *text) override { typed.push_back(text); }
    void replaceBefore(const std::string &before, const char *text) override
    {
        for (int32_t i = vxUtf8Count(before.data(), before.size()); i > 0; --i)
            sendBackspace();
        commitText(text);
    }
    void sendBackspace() override { typed.push_back("<" + std::to_string(VX_CODE_BACKSPACE) + ">"); }
    void sendReturn() override { typed.push_back("<" + std::to_string(VX_CODE_RETURN) + ">"); }
    bool askReport(const char *) override { return false; }
    void sendStroke(uint32_t keysym, uint32_t mods) override
    {
        typed.push_back("{" + std::to_string(keysym) + "+" + std::to_string(mods) + "}");
    }
    unsigned long focusedWindow() override { return focus; }
    int settleDelay() const override { return 10; }
    void prepare(const std::vector<std::string> &texts) override
    {
        preparedBeforeKey = typed.size();
        prepared.push_back(texts);
    }
    void settle() override { ++settles; }
    bool reserveBottom(unsigned long, int, int, int height) override
    {
        reserved.push_back(height);
        return true;
    }

    std::vector<std::string> typed;
    unsigned long focus = 1;
    int settles = 0;
    std::vector<std::vector<std::string>> prepared;  // the texts of each prepare() call
    size_t preparedBeforeKey = 0;                     // keys typed before the last prepare() call
    std::vector<int> reserved;                        // the height of each reserveBottom() call
};

class PanelWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        dir.writeGif("k.gif", 120, 40, 0x336699);
        dir.write("load.cfg", "tap\n");
        dir.write("tap.cfg",
                  "[Common]\nkeys 2 bwid 50 bhei 40 tm-enum-reset 5000\n"
                  "[Layout]\nalpha bks\n[Geometry]\n(0 0) (60 0)\n[Strings]\nabc\n"
                  "[Board]\nwid 200 hei 60\n[Pixs]\n( (k.gif ) ) ( (k.gif ) )\n");
    }

    // One mouse event at (x, y) on the board.
    void send(QVX_Board *board, QEvent::Type type, int x, int y)
    {
        QPointF at(x, y);
        QMouseEvent event(type, at, board->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(board, &event);
    }

    // A press and a release at (x, y) on the board.
    void click(QVX_Board *board, int x, int y)
    {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QPointF at(x, y);
            QMouseEvent event(type, at, board->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(board, &event);
        }
    }

    LogCapture log;
    TempDir dir;
    RecordingOutput output;
};

TEST_F(PanelWindow, NeverTakesTheFocusAndDocksOrFloats)
{
    for (bool floating : {false, true}) {
        VX_PanelOptions options;
        options.floating = floating;
        QVX_Panel panel(output, &output, options, {dir.path()});
        ASSERT_TRUE(panel.hasLayout());
        const Qt::WindowFlags flags = panel.windowFlags();
        EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus) << floating;
        EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint) << floating;
        EXPECT_EQ(bool(flags & Qt::FramelessWindowHint), !floating);
        EXPECT_TRUE(panel.testAttribute(Qt::WA_ShowWithoutActivating));
        EXPECT_EQ(panel.testAttribute(Qt::WA_X11NetWmWindowTypeDock), !floating);
        EXPECT_EQ(panel.testAttribute(Qt::WA_X11NetWmWindowTypeUtility), floating);
        EXPECT_EQ(panel.board->size(), QSize(200, 60));
    }
}

TEST_F(PanelWindow, MultiTapEraseNeverReachesAnotherWindow)
{
    QVX_Panel panel(output, &output, VX_PanelOptions(), {dir.path()});
    ASSERT_TRUE(panel.hasLayout());
    click(panel.board, 25, 20);
    click(panel.board, 25, 20);  // same window: erase a, type b
    output.focus = 2;            // the user moved to another window
    click(panel.board, 25, 20);  // a fresh cycle there: a, no erase
    click(panel.board, 25, 20);
    const std::vector<std::string> want = {"a", "<16777219>", "b", "a", "<16777219>", "b"};
    EXPECT_EQ(output.typed, want);
}

// The output hears what the shown layout can type once, before its first
// key goes out, and not again while the layout stays.
TEST_F(PanelWindow, TellsTheOutputTheLayoutsTextsBeforeItsFirstKey)
{
    QVX_Panel panel(output, &output, VX_PanelOptions(), {dir.path()});
    ASSERT_TRUE(panel.hasLayout());
    // At the start, every text of the set, so a keymap change comes
    // before the first tap; then the shown layout's at its first key.
    ASSERT_EQ(output.prepared.size(), 1u);
    EXPECT_EQ(output.prepared[0], std::vector<std::string>{"abc"});
    click(panel.board, 25, 20);
    ASSERT_EQ(output.prepared.size(), 2u);
    EXPECT_EQ(output.prepared[1], std::vector<std::string>{"abc"});
    EXPECT_EQ(output.preparedBeforeKey, 0u);
    click(panel.board, 25, 20);
    click(panel.board, 85, 20);
    EXPECT_EQ(output.prepared.size(), 2u);
}

}  // namespace

namespace {

// --scale: the board's size and its hit test grow together.
TEST_F(PanelWindow, ScaleGrowsTheSizeAndTheHitTestTogether)
{
    struct Case {
        double scale;
        QSize size;
        int x, y;
        std::string typed;  // "" when the point is on no key
    } cases[] = {
        {2.0, {400, 120}, 50, 40, "a"},            // centre of the abc key at (25, 20)
        {2.0, {400, 120}, 99, 79, "a"},            // its far corner (49.5, 39.5)
        {2.0, {400, 120}, 112, 40, ""},            // the gap between the keys (56, 20)
        {2.0, {400, 120}, 130, 40, "<16777219>"},  // the Backspace key at (65, 20)
        {1.5, {300, 90}, 100, 30, "<16777219>"},   // (66.7, 20)
        {0.5, {100, 30}, 12, 10, "a"},             // (24, 20)
    };
    for (const Case &c : cases) {
        RecordingOutput out;
        VX_PanelOptions options;
        options.scale = c.scale;
        QVX_Panel panel(out, &out, options, {dir.path()});
        EXPECT_EQ(panel.board->size(), c.size) << c.scale;
        click(panel.board, c.x, c.y);
        EXPECT_EQ(out.typed, c.typed.empty() ? std::vector<std::string>() : std::vector<std::string>{c.typed})
            << "scale " << c.scale << " at " << c.x << "," << c.y;
    }
}

}  // namespace

namespace {

constexpr int kBks = 16777219;  // the Backspace key's code

// A gesture on the "tap" layout: "p X Y" presses, "m X Y" slides, "r" lifts.
std::vector<std::string> play(RecordingOutput &out, QVX_Board *board, const std::string &script,
                              const std::function<void(QEvent::Type, int, int)> &send)
{
    std::istringstream in(script);
    std::string verb;
    while (in >> verb) {
        int x = 0, y = 0;
        if (verb != "r")
            in >> x >> y;
        send(verb == "p" ? QEvent::MouseButtonPress : verb == "m" ? QEvent::MouseMove : QEvent::MouseButtonRelease,
             x, y);
    }
    (void)board;
    return out.typed;
}

// The panel types on the lift unless told --press-types: a slide moves the
// press without typing, sliding off the board cancels it.
TEST_F(PanelWindow, TypesOnTheLiftUnlessToldToTypeOnThePress)
{
    struct Case {
        const char *script;
        std::vector<std::string> lift, press;  // typed in each model
    } cases[] = {
        {"p 25 20 r", {"a"}, {"a"}},
        {"p 25 20 m 85 20 r", {"<" + std::to_string(kBks) + ">"}, {"a", "<" + std::to_string(kBks) + ">"}},
        {"p 25 20 m 85 20 m 25 20 r", {"a"}, {"a", "<" + std::to_string(kBks) + ">", "a"}},
        {"p 25 20 m 250 20 r", {}, {"a"}},    // off the board to the right
        {"p 25 20 m 25 -5 r", {}, {"a"}},     // off the top edge
        {"p 25 20 m 55 20 r", {"a"}, {"a"}},  // the gap between keys keeps the press
    };
    for (const Case &c : cases) {
        for (bool pressTypes : {false, true}) {
            RecordingOutput out;
            VX_PanelOptions options;
            options.pressTypes = pressTypes;
            QVX_Panel panel(out, &out, options, {dir.path()});
            ASSERT_TRUE(panel.hasLayout());
            play(out, panel.board, c.script,
                 [&](QEvent::Type type, int x, int y) { send(panel.board, type, x, y); });
            EXPECT_EQ(out.typed, pressTypes ? c.press : c.lift)
                << c.script << (pressTypes ? " with --press-types" : "");
        }
    }
}

// Runs the event loop until the preview of a held key is up, for at most
// a second; false if it never is.
bool previewShows(QVX_KeyPreview *preview)
{
    QElapsedTimer clock;
    clock.start();
    while (preview->isHidden() && clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return !preview->isHidden();
}

// The preview shows the held letter above it, follows a slide, and goes
// at the lift; wide keys and --press-types have none.
TEST_F(PanelWindow, PreviewFollowsTheHeldLetter)
{
    QVX_Panel panel(output, &output, VX_PanelOptions(), {dir.path()});
    panel.show();
    auto *preview = panel.findChild<QVX_KeyPreview *>();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isHidden());

    send(panel.board, QEvent::MouseButtonPress, 25, 20);
    EXPECT_TRUE(preview->isHidden());  // not for a tap that lifts at once
    EXPECT_TRUE(previewShows(preview));
    EXPECT_EQ(preview->key(), 0);
    const QRect key(panel.board->mapToGlobal(QPoint(0, 0)), QSize(50, 40));
    const QRect shown = preview->geometry();
    EXPECT_EQ(shown.size(), QSize(75, 60));  // 1.5 times the key
    const QScreen *screen = panel.screen();
    if (key.top() >= shown.height() + QVX_KeyPreview::kGap) {
        EXPECT_EQ(shown.bottom() + 1 + QVX_KeyPreview::kGap, key.top());
    }
    EXPECT_GE(shown.left(), screen->geometry().left());

    send(panel.board, QEvent::MouseMove, 85, 20);  // onto Backspace: no preview
    EXPECT_TRUE(preview->isHidden());
    send(panel.board, QEvent::MouseMove, 25, 20);
    EXPECT_TRUE(previewShows(preview));
    send(panel.board, QEvent::MouseButtonRelease, 25, 20);
    EXPECT_TRUE(preview->isHidden());
    EXPECT_EQ(preview->key(), -1);
    EXPECT_EQ(output.typed, std::vector<std::string>{"a"});

    VX_PanelOptions options;
    options.pressTypes = true;
    QVX_Panel pressPanel(output, &output, options, {dir.path()});
    EXPECT_EQ(pressPanel.findChild<QVX_KeyPreview *>(), nullptr);
}

TEST(KeyPreview, PlacedAboveTheKeyAndKeptOnTheScreen)
{
    const QRect screen(0, 0, 1000, 800);
    struct Case {
        QRect key;
        QPoint at;  // top left of a 60 x 40 preview
    } cases[] = {
        {{500, 700, 40, 30}, {490, 700 - 4 - 40}},  // centred above
        {{0, 700, 40, 30}, {0, 656}},               // left edge: moved right
        {{980, 700, 20, 30}, {940, 656}},           // right edge: moved left
        {{500, 10, 40, 30}, {490, 44}},             // no room above: below
    };
    for (const Case &c : cases)
        EXPECT_EQ(QVX_KeyPreview::placeAbove(c.key, QSize(60, 40), screen), QRect(c.at, QSize(60, 40)))
            << c.key.x() << "," << c.key.y();
}

// --width full scales every layout to the screen's width, --height N% caps
// the height; the hit test follows the picture.
TEST_F(PanelWindow, FullWidthAndHeightCap)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    struct Case {
        bool fullWidth;
        int heightPercent;
        double scale;
    } cases[] = {
        {true, 0, double(screen.width()) / 200},
        {true, 5, screen.height() * 5 / 100 / 60.0},
        {false, 5, screen.height() * 5 / 100 / 60.0},
        {false, 100, 1.0},
    };
    for (const Case &c : cases) {
        RecordingOutput out;
        VX_PanelOptions options;
        options.fullWidth = c.fullWidth;
        options.heightPercent = c.heightPercent;
        QVX_Panel panel(out, &out, options, {dir.path()});
        EXPECT_DOUBLE_EQ(panel.board->scale(), c.scale) << c.fullWidth << " " << c.heightPercent;
        EXPECT_EQ(panel.board->size(), QSize(qRound(200 * c.scale), qRound(60 * c.scale)));
        click(panel.board, qRound(85 * c.scale), qRound(20 * c.scale));  // Backspace
        click(panel.board, qRound(200 * c.scale) - 1, qRound(20 * c.scale));  // right of every key
        EXPECT_EQ(out.typed, std::vector<std::string>{"<" + std::to_string(kBks) + ">"})
            << c.fullWidth << " " << c.heightPercent;
    }
}

// Hidden, a held key types nothing and the dock's room is given back;
// shown again, it is kept again.
TEST_F(PanelWindow, HidingLetsGoOfTheHeldKeyAndGivesTheRoomBack)
{
    QVX_Panel panel(output, &output, VX_PanelOptions(), {dir.path()});
    panel.show();
    send(panel.board, QEvent::MouseButtonPress, 25, 20);
    panel.toggle();
    EXPECT_TRUE(panel.isHidden());
    ASSERT_FALSE(output.reserved.empty());
    EXPECT_EQ(output.reserved.back(), 0);
    send(panel.board, QEvent::MouseButtonRelease, 25, 20);
    EXPECT_TRUE(output.typed.empty());
    panel.toggle();
    EXPECT_FALSE(panel.isHidden());
    EXPECT_EQ(output.reserved.back(), 60);
    click(panel.board, 25, 20);
    EXPECT_EQ(output.typed, std::vector<std::string>{"a"});
}

// Caps off, once and locked each look their own: a mark on the caps key
// while the shift waits (once) or holds (locked).
TEST_F(PanelWindow, CapsKeyShowsItsThreeStates)
{
    dir.write("load.cfg", "cap\n");
    dir.write("cap.cfg",
              "[Common]\nkeys 2 mode 2 bwid 50 bhei 40 draw-pressed 1 tm-enum-reset 5000\n"
              "[Layout]\ncaps alpha\n[Geometry]\n(0 0) (60 0)\n[Strings]\n( a A )\n"
              "[Board]\nwid 200 hei 60\n[Pixs]\n( (k.gif ) ) ( (k.gif ) )\n");
    QVX_Panel panel(output, &output, VX_PanelOptions(), {dir.path()});
    ASSERT_TRUE(panel.hasLayout());
    const QColor mark(255, 196, 0);
    auto marked = [&] { return panel.board->grab().toImage().pixelColor(25, 33) == mark; };
    struct Step {
        int x;
        bool marked;
        int32_t caps;
    } steps[] = {
        {25, true, VX_CAPS_ONCE},    // caps: once
        {85, false, VX_CAPS_OFF},    // A, and off again
        {25, true, VX_CAPS_ONCE},    // caps
        {25, true, VX_CAPS_LOCKED},  // caps again at once: locked
        {85, true, VX_CAPS_LOCKED},  // A, still locked
        {25, false, VX_CAPS_OFF},    // caps: off
    };
    EXPECT_FALSE(marked());
    int n = 0;
    for (const Step &step : steps) {
        click(panel.board, step.x, 20);
        EXPECT_EQ(panel.board->engine.activeLayout()->caps, step.caps) << "step " << n;
        EXPECT_EQ(marked(), step.marked) << "step " << n;
        ++n;
    }
    EXPECT_EQ(output.typed, (std::vector<std::string>{"A", "A"}));
}

}  // namespace

namespace {

// The preview of a shipped letter shows the letter's picture, not an empty
// square: its middle row holds the key's light face.
TEST(KeyPreview, ShowsTheShippedKeysPicture)
{
    ensureApp();
    RecordingOutput output;
    QVX_Panel panel(output, &output, VX_PanelOptions(), {binDir() + "/../share/vexil"});
    ASSERT_TRUE(panel.hasLayout());
    panel.show();
    const VX_Layout &layout = *panel.board->engine.activeLayout();
    int32_t letter = -1;
    for (int32_t i = 0; i < layout.keyCount && letter < 0; ++i)
        if (layout.keys[i].type == VX_KEY_ALPHA && std::string(layout.keys[i].chars[0]) == "g")
            letter = i;
    ASSERT_GE(letter, 0);
    // Where the key is on the board (below the strip of suggestions).
    const QPointF at = QRectF(panel.board->keyRect(letter)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, panel.board->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(panel.board, &press);
    auto *preview = panel.findChild<QVX_KeyPreview *>();
    ASSERT_NE(preview, nullptr);
    ASSERT_TRUE(previewShows(preview));
    const QImage shown = preview->grab().toImage();
    int light = 0;
    for (int x = 0; x < shown.width(); ++x)
        light += qGray(shown.pixel(x, shown.height() / 4)) > 160;
    EXPECT_GT(light, shown.width() / 2) << "the preview is not the key's picture";
}

}  // namespace

