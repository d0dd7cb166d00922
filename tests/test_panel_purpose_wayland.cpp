// vexil-panel under a headless sway choosing its layout by the active
// field's content type: GTK 4 entries of each purpose focused one after
// another, --status naming the layout and purpose of each, a digit typed
// into the digits field, no preview over the password field, and the
// user's own layout back when a field of another purpose takes over.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/TestSupport.h"
#include "tests/WaylandSession.h"
#include "tests/XSession.h"

namespace {

constexpr int kScreenW = 1024, kScreenH = 768;
constexpr int kBoardW = 564, kBoardH = 244;  // every shipped layout of the default set but phone

bool waitUntil(const std::function<bool()> &done, int ms = 15000)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class PanelPurposeWayland : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"sway", "swaymsg", "grim"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
        // The shipped layouts and purpose files, where a copied program
        // finds them.
        home.mkdir("vexil");
        bool ok = false;
        const std::string copied = shell("cp -r " + binDir() + "/../share/vexil/. " + home.file("vexil") + " 2>&1", &ok);
        ASSERT_TRUE(ok) << copied;
        ASSERT_TRUE(session.start(kScreenW, kScreenH)) << session.error();
        session.share(home.path());
        ASSERT_TRUE(pointer.start(session)) << "the virtual pointer did not start";
    }

    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "panel errors:\n" << readFile(home.file("panel.err"));
    }

    void startFields()
    {
        ChildOptions options;
        options.pipes = true;
        options.errPath = home.file("fields.err");
        const char *source = std::getenv("VEXIL_SOURCE_DIR");
        ASSERT_TRUE(session.launch(fields,
                                   {"/usr/bin/python3", session.reachable(std::string(source) + "/tests/gtk_fields.py"),
                                    "4", home.file("out")},
                                   {}, options));
        std::string line;
        ASSERT_TRUE(fields.readLine(line, 30000)) << readFile(home.file("fields.err"));
        ASSERT_EQ(line, "ready");
        ASSERT_TRUE(waitUntil([&] { return session.focusedPid() == fields.pid(); }));
    }

    void startPanel()
    {
        ChildOptions options;
        options.outPath = home.file("panel.log");
        options.errPath = home.file("panel.err");
        ASSERT_TRUE(session.launch(panel, {session.reachable(binDir() + "/vexil-panel"), "--wayland"},
                                   {"XDG_DATA_HOME=" + home.path()}, options));
        ASSERT_TRUE(waitUntil([&] { return status().find("shown: yes\n") != std::string::npos; }))
            << "no answer to --status";
        // The entry focused before the panel came may never be activated
        // for its input method: every test starts from the button.
        focus("button");
        expectStatus({"purpose: none"}, "the button first");
    }

    // What `vexil-panel --status` prints in the session.
    std::string status()
    {
        Child ask;
        const std::string out = home.file("status");
        std::remove(out.c_str());
        ChildOptions options;
        options.outPath = out;
        if (!session.launch(ask, {session.reachable(binDir() + "/vexil-panel"), "--wayland", "--status"}, {},
                            options))
            return std::string();
        waitUntil([&] { return !ask.running(); }, 10000);
        return readFile(out);
    }

    void focus(const std::string &name)
    {
        std::string line;
        ASSERT_TRUE(fields.send("focus " + name));
        ASSERT_TRUE(fields.readLine(line));
        ASSERT_EQ(line, "ok");
    }

    void expectStatus(const std::vector<std::string> &lines, const std::string &what)
    {
        std::string got;
        const bool reached = waitUntil([&] {
            got = status();
            for (const std::string &line : lines)
                if (got.find(line + "\n") == std::string::npos)
                    return false;
            return true;
        });
        EXPECT_TRUE(reached) << what << ": --status said\n" << got;
    }

    // The board's pixels (docked, bottom centre) of a screenshot.
    QImage board(const std::string &name)
    {
        const std::string path = home.file(name);
        if (!session.screenshot(path))
            return QImage();
        return QImage(QString::fromStdString(path))
            .copy((kScreenW - kBoardW) / 2, kScreenH - kBoardH, kBoardW, kBoardH)
            .convertToFormat(QImage::Format_RGB32);
    }

    // The board while key (x y w h) of the shown layout is held longer
    // than a preview waits, then let go.
    QImage boardWhileHeld(int x, int y, int w, int h, const std::string &name)
    {
        const int sx = (kScreenW - kBoardW) / 2 + x + w / 2, sy = kScreenH - kBoardH + y + h / 2;
        EXPECT_TRUE(pointer.move(sx, sy));
        EXPECT_TRUE(pointer.down());
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        QImage shot = board(name);
        EXPECT_TRUE(pointer.up());
        return shot;
    }

    void tap(int x, int y, int w, int h)
    {
        EXPECT_TRUE(pointer.tap((kScreenW - kBoardW) / 2 + x + w / 2, kScreenH - kBoardH + y + h / 2));
    }

    TempDir home;
    WaylandSession session;
    SessionPointer pointer;
    Child fields, panel;
};

TEST_F(PanelPurposeWayland, EachPurposeShowsItsLayoutAndTheUsersComesBack)
{
    startFields();
    startPanel();
    struct Case {
        const char *field;
        const char *purpose;  // as --status names it
        const char *layout;
    };
    const Case cases[] = {
        {"text", "normal", "en"},          {"digits", "digits", "num"}, {"phone", "phone", "phone"},
        {"email", "email", "web"},         {"url", "url", "web"},       {"terminal", "terminal", "term"},
        {"password", "password", "en"},    {"text", "normal", "en"},    {"button", "none", "en"},
    };
    for (const Case &c : cases) {
        focus(c.field);
        expectStatus({"shown: yes", "output: wayland", std::string("purpose: ") + c.purpose,
                      std::string("layout: ") + c.layout, "set: default", "auto: no"},
                     c.field);
    }

    // A digit typed on the digits board arrives: key 0 of num is 1.
    focus("digits");
    expectStatus({"layout: num"}, "digits again");
    tap(4, 4, 89, 44);
    EXPECT_TRUE(waitUntil([&] { return readFile(home.file("out.digits")) == "1"; }))
        << "the digits field holds '" << readFile(home.file("out.digits")) << "'";
}

TEST_F(PanelPurposeWayland, APasswordShowsNoPreviewAndGivesTheUsersLayoutBack)
{
    startFields();
    startPanel();
    // The letter g of en, key 24 at (256 100 52 44): its preview stands
    // above it, on the rows of the board.
    const QRect above(256 - 13, 100 - 66, 52 + 26, 66);
    focus("text");
    expectStatus({"purpose: normal", "layout: en"}, "the text field");
    const QImage plain = board("plain.png");
    ASSERT_FALSE(plain.isNull());
    const QImage shown = boardWhileHeld(256, 100, 52, 44, "text-held.png");
    EXPECT_NE(shown.copy(above), plain.copy(above)) << "no preview over a normal field: the check sees nothing";

    focus("password");
    expectStatus({"purpose: password", "layout: en"}, "the password field");
    const QImage hidden = boardWhileHeld(256, 100, 52, 44, "password-held.png");
    EXPECT_EQ(hidden.copy(above), plain.copy(above)) << "a preview over the password field (password-held.png)";
    // A hold longer than the layout's repeat delay (a slow screenshot)
    // types g more than once.
    EXPECT_TRUE(waitUntil([&] {
        const std::string text = readFile(home.file("out.password"));
        return !text.empty() && text.find_first_not_of('g') == std::string::npos;
    })) << "the password field holds '" << readFile(home.file("out.password")) << "'";

    // The user opens the digits by hand (123, key 40 at (132 196 52 44)) in
    // the text field; the password field shows the letters, and leaving it
    // brings the user's digits back.
    focus("text");
    expectStatus({"purpose: normal", "layout: en"}, "the text field again");
    tap(132, 196, 52, 44);
    expectStatus({"layout: num"}, "123 by hand");
    focus("password");
    expectStatus({"purpose: password", "layout: en"}, "the password field again");
    focus("text");
    expectStatus({"purpose: normal", "layout: num"}, "back in the text field");
}

}  // namespace
