// The panel behaviour both hosts share, driven without a window: when the
// held letter's preview is asked of the host, --auto's grace time, and the
// --status answer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "output/VX_Output.h"
#include "panel/QVX_PanelHost.h"
#include "panel/QVX_PanelLogic.h"
#include "purpose/VX_Purpose.h"
#include "tests/TestSupport.h"

namespace {

// A host that records what the logic asks of it, one word per call.
class RecordingHost : public QVX_PanelHost {
public:
    void showBoard() override { calls.push_back("show"); }
    void hideBoard() override { calls.push_back("hide"); }
    void showPreview(const VX_Layout &, int key) override { calls.push_back("preview " + std::to_string(key)); }
    void hidePreview() override { calls.push_back("no preview"); }

    bool saw(const std::string &call) const
    {
        for (const std::string &c : calls)
            if (c == call)
                return true;
        return false;
    }
    std::string all() const
    {
        std::string text;
        for (const std::string &c : calls)
            text += c + "; ";
        return text;
    }

    std::vector<std::string> calls;
};

class NullOutput : public VX_Output {
public:
    void commitText(const char *text) override { typed += text; }
    void replaceBefore(const std::string &before, const char *text) override
    {
        typed.resize(typed.size() >= before.size() ? typed.size() - before.size() : 0);
        typed += text;
    }
    void sendStroke(uint32_t, uint32_t) override {}
    void sendBackspace() override {}
    void sendReturn() override {}
    bool askReport(const char *) override { return false; }
    void prepare(const std::vector<std::string> &) override {}
    int settleDelay() const override { return 10; }
    void settle() override {}

    std::string typed;
};

// Runs the event loop for `ms` milliseconds.
void runFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void mouse(QVX_Board *board, QEvent::Type type, int x, int y)
{
    const QPointF at(x, y);
    QMouseEvent event(type, at, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(board, &event);
}

class PanelLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        dir.writeGif("k.gif", 120, 40, 0x336699);
        dir.write("load.cfg", "tap\n");
        // A letter key at (0 0) and a Backspace at (60 0).
        dir.write("tap.cfg",
                  "[Common]\nkeys 2 bwid 50 bhei 40 tm-enum-reset 5000\n"
                  "[Layout]\nalpha bks\n[Geometry]\n(0 0) (60 0)\n[Strings]\nabc\n"
                  "[Board]\nwid 200 hei 60\n[Pixs]\n( (k.gif ) ) ( (k.gif ) )\n");
    }

    LogCapture log;
    TempDir dir;
    RecordingHost host;
    NullOutput output;
};

// A letter held past the delay is previewed, unless the focused field is a
// private one; a wide key never is; a tap quicker than the delay shows none.
TEST_F(PanelLogic, PreviewOfAHeldLetterUnlessTheFieldIsPrivate)
{
    struct Case {
        const char *what;
        int x;           // where the press lands: 25 the letter, 85 Backspace
        bool isPrivate;  // the focused field is a password
        int holdMs;      // 0: released in the same turn of the event loop
        bool previewed;
    } cases[] = {
        {"letter held", 25, false, 300, true},
        {"letter held over a password", 25, true, 300, false},
        {"Backspace held", 85, false, 300, false},
        {"letter tapped", 25, false, 0, false},
    };
    for (const Case &c : cases) {
        RecordingHost host;
        QVX_PanelLogic logic(host, output, VX_PanelOptions(), {dir.path()}, nullptr);
        ASSERT_TRUE(logic.hasLayout());
        VX_Field field;
        field.focused = true;
        field.isPrivate = c.isPrivate;
        logic.setField(field);
        mouse(logic.board, QEvent::MouseButtonPress, c.x, 20);
        runFor(c.holdMs);
        mouse(logic.board, QEvent::MouseButtonRelease, c.x, 20);
        runFor(100);
        EXPECT_EQ(host.saw("preview 0"), c.previewed) << c.what << ": " << host.all();
    }
}

// A field turning private takes a preview already up away.
TEST_F(PanelLogic, APreviewGoesWhenTheFieldTurnsPrivate)
{
    QVX_PanelLogic logic(host, output, VX_PanelOptions(), {dir.path()}, nullptr);
    mouse(logic.board, QEvent::MouseButtonPress, 25, 20);
    runFor(300);
    ASSERT_TRUE(host.saw("preview 0")) << host.all();
    host.calls.clear();
    VX_Field password;
    password.focused = true;
    password.isPrivate = true;
    logic.setField(password);
    EXPECT_EQ(host.all(), "no preview; ");
    mouse(logic.board, QEvent::MouseButtonRelease, 25, 20);
    EXPECT_EQ(output.typed, "a");
}

// --auto: leaving the last field hides the board after the grace time; a
// field focused within it, or a command, keeps the board as it says.
TEST_F(PanelLogic, AutoHidesAfterTheGraceTimeOnly)
{
    struct Case {
        const char *what;
        bool autoShow;
        std::vector<const char *> steps;  // "active", "inactive", "show", "hide" in one turn
        bool hidden;                      // the host was told to hide after the grace time
    } cases[] = {
        {"field left", true, {"active", "inactive"}, true},
        {"field left, another focused", true, {"active", "inactive", "active"}, false},
        {"field left, then shown on command", true, {"active", "inactive", "show"}, false},
        {"field left without --auto", false, {"active", "inactive"}, false},
    };
    for (const Case &c : cases) {
        RecordingHost host;
        VX_PanelOptions options;
        options.autoShow = c.autoShow;
        QVX_PanelLogic logic(host, output, options, {dir.path()}, nullptr);
        for (const char *step : c.steps) {
            const std::string s = step;
            if (s == "active" || s == "inactive")
                logic.autoFieldActive(s == "active");
            else
                logic.setShown(s == "show");
        }
        runFor(QVX_PanelLogic::kAutoHideGraceMs + 300);
        EXPECT_EQ(host.saw("hide"), c.hidden) << c.what << ": " << host.all();
        EXPECT_EQ(logic.wantsShown(), !c.hidden) << c.what;
    }
}

TEST_F(PanelLogic, StatusNamesWhatThePanelShows)
{
    VX_PanelOptions options;
    options.set = "de-fr-es";
    dir.write("load-de-fr-es.cfg", "tap\n");
    QVX_PanelLogic logic(host, output, options, {dir.path()}, nullptr);
    EXPECT_EQ(logic.status(true, "x11", false),
              "shown: yes\noutput: x11\nlayout: tap\nset: de-fr-es\npurpose: none\nauto: no\n");
    VX_Field field;
    field.focused = true;
    field.purpose = VX_PURPOSE_EMAIL;
    logic.setField(field);
    EXPECT_EQ(logic.status(false, "wayland", true),
              "shown: no\noutput: wayland\nlayout: tap\nset: de-fr-es\npurpose: email\nauto: yes\n");
}

}  // namespace
