// vexil-panel's command line, its exit statuses without an X server, and
// the window it builds: docked or floating, never taking the focus, closing
// an open multi-tap cycle when the focus moves to another window.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Panel.h"
#include "engine/VX_Layout.h"
#include "output/VX_Desktop.h"
#include "output/VX_Output.h"
#include "tests/TestSupport.h"
#include "tests/XSession.h"

namespace {

bool parse(std::vector<std::string> args, QVX_Panel::Options &options, std::string &error)
{
    args.insert(args.begin(), "vexil-panel");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return QVX_Panel::parseOptions(static_cast<int>(args.size()), argv.data(), options, error);
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
        QVX_Panel::Options options;
        std::string error;
        ASSERT_TRUE(parse(c.args, options, error)) << joined(c.args) << error;
        EXPECT_EQ(options.help, c.help) << joined(c.args);
        EXPECT_EQ(options.floating, c.floating) << joined(c.args);
        EXPECT_DOUBLE_EQ(options.scale, c.scale) << joined(c.args);
    }
}

TEST(PanelOptions, RefusedCommandLines)
{
    const std::vector<std::string> cases[] = {
        {"--scale"},          {"--scale", ""},     {"--scale", "abc"}, {"--scale", "1.5x"},
        {"--scale", "0.2"},   {"--scale", "9"},    {"--scale", "nan"}, {"--scale", "inf"},
        {"--scale=-1"},       {"--scale", "1e400"}, {"--floating"},    {"-display"},
        {"extra"},
    };
    for (const auto &args : cases) {
        QVX_Panel::Options options;
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
    void sendKey(int qkey, const char *text) override
    {
        typed.push_back(qkey ? "<" + std::to_string(qkey) + ">" : std::string(text ? text : "(null)"));
    }
    unsigned long focusedWindow() override { return focus; }
    int settleDelay() const override { return 10; }
    void prepare(const std::vector<std::string> &texts) override
    {
        preparedBeforeKey = typed.size();
        prepared.push_back(texts);
    }
    void settle() override { ++settles; }
    bool reserveBottom(unsigned long, int, int, int) override { return true; }

    std::vector<std::string> typed;
    unsigned long focus = 1;
    int settles = 0;
    std::vector<std::vector<std::string>> prepared;  // the texts of each prepare() call
    size_t preparedBeforeKey = 0;                     // keys typed before the last prepare() call
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
        QVX_Panel::Options options;
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
    QVX_Panel panel(output, &output, QVX_Panel::Options(), {dir.path()});
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
    QVX_Panel panel(output, &output, QVX_Panel::Options(), {dir.path()});
    ASSERT_TRUE(panel.hasLayout());
    EXPECT_TRUE(output.prepared.empty());
    click(panel.board, 25, 20);
    ASSERT_EQ(output.prepared.size(), 1u);
    EXPECT_EQ(output.prepared[0], std::vector<std::string>{"abc"});
    EXPECT_EQ(output.preparedBeforeKey, 0u);
    click(panel.board, 25, 20);
    click(panel.board, 85, 20);
    EXPECT_EQ(output.prepared.size(), 1u);
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
        QVX_Panel::Options options;
        options.scale = c.scale;
        QVX_Panel panel(out, &out, options, {dir.path()});
        EXPECT_EQ(panel.board->size(), c.size) << c.scale;
        click(panel.board, c.x, c.y);
        EXPECT_EQ(out.typed, c.typed.empty() ? std::vector<std::string>() : std::vector<std::string>{c.typed})
            << "scale " << c.scale << " at " << c.x << "," << c.y;
    }
}

}  // namespace
