// vexil-panel's word suggestions end to end: the strip above the board on a
// real display, a tap on its middle word typing the rest of the word and a
// space into xterm on X11 (and the word learned and saved at the end), a suggestion replacing only the letters typed
// before the cursor in the middle of a GTK 4 field's text under sway, and
// a password field that shows no strip and leaves the learned words as
// they were. The board is a layout of the test's own named "en", so the
// shipped English model serves it.
#include <gtest/gtest.h>

#include <QImage>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "interaction/VX_SuggestionBar.h"
#include "tests/PanelFixture.h"
#include "tests/SwayPanelSession.h"
#include "tests/X11PanelSession.h"

namespace {

using e2e::Point;

constexpr int kBarH = VX_SuggestionBar::kLayoutHeight;  // at scale 1
// The layout: t h e i, space, Backspace, Return; 430 x 130 like the
// other test boards, in their colour.
const char kEnLayout[] =
    "[Common]\n"
    "keys 7 mode 2 bwid 50 bhei 50 draw-pressed 1\n"
    "[Layout]\n"
    "alpha alpha alpha alpha space bks ent\n"
    "[Geometry]\n"
    "(10 10) (70 10) (130 10) (190 10) (10 70 170) (190 70) (250 70)\n"
    "[Strings]\n"
    "( t T ) ( h H ) ( e E ) ( i I )\n"
    "[Board]\n"
    "wid 430 hei 130 color ( 40 60 90 )\n";
// Key centres on the layout, and the middle of the strip above it, on
// the board (the layout kBarH below its top when the strip shows).
constexpr Point kT{35, 35}, kH{95, 35}, kSpace{95, 95}, kEnt{275, 95};
constexpr Point kMiddleWord{e2e::kBoardW / 2, kBarH / 2};

template <class Session>
class PanelSuggest : public PanelFixture<Session> {
protected:
    void SetUp() override
    {
        PanelFixture<Session>::SetUp();
        if (this->HasFatalFailure())
            return;
        ASSERT_TRUE(e2e::writeText(this->home.file("vexil/load.cfg"), "en\n"));
        ASSERT_TRUE(e2e::writeText(this->home.file("vexil/en.cfg"), kEnLayout));
        // Its key pictures (a key without one takes no press).
        bool ok = false;
        const std::string log = shell(binDir() + "/vexil-skin --write " + this->home.file("vexil/en.cfg") + " 2>&1", &ok);
        ASSERT_TRUE(ok) << log;
        learned = this->home.file("vexil/learned-en.txt");
    }

    // A key of the layout, below the strip when it shows.
    void tapKey(Point key, bool strip = true) { this->tap({key.x, key.y + (strip ? kBarH : 0)}); }

    // Waits until the strip's middle cell shows a word (ink other than the
    // board's colour); false when it never does.
    bool awaitWord()
    {
        return this->waitUntil([&] {
            const QImage screen = this->session.screenshot();
            if (screen.isNull())
                return false;
            const Point at = this->onScreen({e2e::kBoardW / 3 + 4, 0});
            int ink = 0;
            for (int y = at.y + 4; y < at.y + kBarH - 4; ++y)
                for (int x = at.x; x < at.x + e2e::kBoardW / 3 - 8; ++x)
                    ink += screen.pixel(x, y) != e2e::kBoardColour;
            return ink > 20;
        });
    }

    bool targetCommand(const std::string &command)
    {
        std::string answer;
        return this->target.send(command) && this->target.readLine(answer, 10000) && answer == "ok";
    }

    std::string learned;  // the learned words of "en" in the panel's data folder
};

using X11Suggest = PanelSuggest<X11PanelSession>;
using SwaySuggest = PanelSuggest<SwayPanelSession>;

// xterm: the panel knows only what it typed itself. "th", a tap on the
// middle word, Return: a word beginning with "th" and one space; the word
// is learned and in the user's file once the panel has ended.
TEST_F(X11Suggest, TheMiddleWordCompletesThePrefixWithOneSpaceInXterm)
{
    const std::string out = home.file("out.txt");
    startTerminal("cat > " + out);
    startPanel({}, e2e::kBoardW, e2e::kBoardH + kBarH);
    tapKey(kT);
    tapKey(kH);
    ASSERT_TRUE(awaitWord()) << "no word in the strip after \"th\"";
    tap(kMiddleWord);
    tapKey(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] {
        got = readFile(out);
        return std::regex_match(got, std::regex("th[a-z']+ \n"));
    })) << "got '" << got << "'";
    EXPECT_EQ(session.focusedPid(), targetPid);
    stopPanel(SIGTERM);
    // The chosen word was learned, and saved as the panel ended.
    const std::string word = got.substr(0, got.find(' '));
    const std::string file = readFile(learned);
    EXPECT_EQ(file.rfind("vexil-learned 1 en\n", 0), 0u) << file;
    EXPECT_NE(file.find("w 1 " + word + "\n"), std::string::npos) << "'" << word << "' not learned:\n" << file;
}

// A GTK 4 field holding "one two": a click puts the cursor after "one ",
// "th" and the middle word go in there; "one " and " two" stay as they were.
TEST_F(SwaySuggest, ASuggestionReplacesOnlyThePrefixInTheMiddleOfAFieldsText)
{
    const std::string out = home.file("field.txt");
    startTextField(out);
    startPanel({}, e2e::kBoardW, e2e::kBoardH + kBarH);
    ASSERT_TRUE(targetCommand("insert one two"));
    ASSERT_TRUE(targetCommand("cursor 4"));
    tapKey(kT);
    tapKey(kH);
    std::string got;
    ASSERT_TRUE(waitUntil([&] { return (got = readFile(out)) == "one thtwo"; })) << "got '" << got << "'";
    ASSERT_TRUE(awaitWord()) << "no word in the strip after \"one th\"";
    tap(kMiddleWord);
    EXPECT_TRUE(waitUntil([&] {
        got = readFile(out);
        return std::regex_match(got, std::regex("one th[a-z']+ two"));
    })) << "got '" << got << "'";
    stopPanel(SIGTERM);
}

// A password field: no strip (the board is the layout alone), and what is
// typed there leaves the learned words exactly as they were.
TEST_F(SwaySuggest, APasswordFieldShowsNoStripAndLearnsNothing)
{
    const std::string before = "vexil-learned 1 en\nw 3 thimble\n";
    ASSERT_TRUE(e2e::writeText(learned, before));
    ChildOptions options;
    options.pipes = true;
    options.errPath = home.file("fields.err");
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_TRUE(session.launch(target,
                               {"/usr/bin/python3",
                                session.compositor().reachable(std::string(source) + "/tests/gtk_fields.py"), "4",
                                home.file("out")},
                               {}, options));
    std::string line;
    ASSERT_TRUE(target.readLine(line, 30000)) << readFile(home.file("fields.err"));
    ASSERT_EQ(line, "ready");
    targetPid = target.pid();
    ASSERT_TRUE(waitUntil([&] { return session.focusedPid() == targetPid; }));
    // The panel comes while the button has the focus (a field focused
    // before the input method came may never be activated for it), with
    // the strip; the password field then takes the focus and the strip goes.
    ASSERT_TRUE(targetCommand("focus button"));
    startPanel({}, e2e::kBoardW, e2e::kBoardH + kBarH);
    ASSERT_TRUE(targetCommand("focus password"));
    std::string seen;
    ASSERT_TRUE(session.awaitDock(panel.pid(), e2e::kBoardW, e2e::kBoardH, seen))
        << "the strip still shows over the password field: " << seen;
    origin = {(e2e::kScreenW - e2e::kBoardW) / 2, e2e::kScreenH - e2e::kBoardH};
    for (Point key : {kT, kH, kSpace, kT, kH, kSpace})
        tapKey(key, false);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(home.file("out.password"))) == "th th "; }))
        << "got '" << got << "'";
    stopPanel(SIGTERM);
    EXPECT_EQ(readFile(learned), before);
}

}  // namespace
