// vexil-panel on X11 following the focus through the accessibility bus:
// under Xvfb with openbox, a session bus of its own and the accessibility
// bus, a GTK 3 window with an entry, a password entry and a button. With
// --auto the panel shows itself for an entry and hides after the grace
// time when the button takes the focus; the password entry gives the
// password purpose. Without a session bus the panel starts shown, says so
// once and types as before.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/TestSupport.h"
#include "tests/XSession.h"

namespace {

constexpr int kScreenW = 1024, kScreenH = 768;
constexpr int kBoardW = 564, kBoardH = 244;  // the shipped English layout

bool waitUntil(const std::function<bool()> &done, int ms = 10000)
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

class PanelAtspi : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *program : {"Xvfb", "openbox", "xdotool", "dbus-daemon"})
            if (!haveProgram(program))
                GTEST_SKIP() << program << " is missing (make deps installs it)";
        ASSERT_TRUE(startXvfb(server, display));
        ASSERT_TRUE(wm.start({"openbox", "--sm-disable"}, {"DISPLAY=" + display}));
        runtime = home.mkdir("runtime");
        shell("chmod 700 " + runtime);
    }

    // A session bus of its own, and the accessibility bus on it.
    void startBuses()
    {
        bus = "unix:path=" + home.file("bus");
        ASSERT_TRUE(dbus.start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus},
                               {"DISPLAY=" + display}));
        ASSERT_TRUE(waitUntil([&] { return shell("test -S " + home.file("bus") + " && echo y") == "y\n"; }));
        ASSERT_TRUE(a11y.start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, env()));
        ASSERT_TRUE(waitUntil([&] {
            return shell("env " + envLine() + " xprop -root AT_SPI_BUS").find("unix:") != std::string::npos;
        })) << "no accessibility bus";
    }

    std::vector<std::string> env()
    {
        std::vector<std::string> e = {"DISPLAY=" + display, "XDG_RUNTIME_DIR=" + runtime,
                                      "XDG_DATA_HOME=" + home.path(), "NO_AT_BRIDGE", "GTK_A11Y=atspi"};
        e.push_back(bus.empty() ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS=" + bus);
        e.push_back("AT_SPI_BUS_ADDRESS");
        return e;
    }
    std::string envLine()
    {
        // env takes its -u NAME before any NAME=value.
        std::string unset, set;
        for (const std::string &e : env())
            (e.find('=') == std::string::npos ? unset : set) += (e.find('=') == std::string::npos ? "-u " : "") + e + " ";
        return unset + set;
    }

    void startPanel(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {binDir() + "/vexil-panel"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(panel.start(argv, env(), ChildOptions{home.file("panel.log"), home.file("panel.err")}));
        ASSERT_TRUE(waitUntil([&] { return status().find("shown: ") != std::string::npos; }))
            << "the panel does not answer --status; its errors:\n" << readFile(home.file("panel.err"));
    }

    // What `vexil-panel --status` prints.
    std::string status() { return shell("env " + envLine() + " timeout 10 " + binDir() + "/vexil-panel --status"); }

    bool mapped()
    {
        return !shell("env " + envLine() + " xdotool search --onlyvisible --pid " + std::to_string(panel.pid()) +
                      " 2>/dev/null")
                    .empty();
    }

    void startFields()
    {
        ChildOptions options;
        options.pipes = true;
        ASSERT_TRUE(fields.start({"/usr/bin/python3", std::string(std::getenv("VEXIL_SOURCE_DIR")) + "/tests/gtk_fields.py", "3",
                                  home.file("out")},
                                 env(), options));
        std::string line;
        ASSERT_TRUE(fields.readLine(line, 30000)) << "the GTK window did not start";
        ASSERT_EQ(line, "ready");
    }

    void focus(const std::string &name)
    {
        std::string line;
        ASSERT_TRUE(fields.send("focus " + name));
        ASSERT_TRUE(fields.readLine(line));
        ASSERT_EQ(line, "ok");
    }

    // The status reaches `lines` (each a whole "key: value" line).
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
        EXPECT_TRUE(reached) << what << ": --status said\n" << got << "panel errors:\n"
                             << readFile(home.file("panel.err"));
    }

    TempDir home;
    Child server, wm, dbus, a11y, panel, fields;
    std::string display, runtime, bus;
};

TEST_F(PanelAtspi, AutoShowsForEntriesHidesAfterTheGraceTimeAndTellsTheirPurpose)
{
    startBuses();
    startPanel({"--auto"});
    expectStatus({"shown: no", "output: x11", "layout: en", "set: default", "purpose: none", "auto: yes"},
                 "before any field");
    EXPECT_FALSE(mapped());
    startFields();

    focus("text");
    expectStatus({"shown: yes", "purpose: normal", "layout: en"}, "an entry");
    EXPECT_TRUE(waitUntil([&] { return mapped(); })) << "the board's window is not mapped";

    focus("password");
    expectStatus({"shown: yes", "purpose: password", "layout: en"}, "the password entry");

    focus("button");
    expectStatus({"shown: no", "purpose: none"}, "the button");
    EXPECT_TRUE(waitUntil([&] { return !mapped(); })) << "the board's window is still mapped";

    focus("text");
    expectStatus({"shown: yes", "purpose: normal"}, "the entry again");
    EXPECT_TRUE(waitUntil([&] { return mapped(); }));

    // Said nothing about the bus: it was there.
    EXPECT_EQ(readFile(home.file("panel.err")).find("accessibility"), std::string::npos)
        << readFile(home.file("panel.err"));
}

TEST_F(PanelAtspi, WithoutASessionBusItSaysSoOnceAndTypesAsBefore)
{
    startPanel({"--auto"});
    expectStatus({"shown: yes", "output: x11", "auto: no", "purpose: none"}, "no bus");
    startFields();
    focus("text");
    // Key 0 of the English layout, the digit 1, at the centre of its
    // (4 4 52 44) on the docked board.
    const int x = (kScreenW - kBoardW) / 2 + 4 + 26, y = kScreenH - kBoardH + 4 + 22;
    shell("env " + envLine() + " xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) +
          " click 1");
    EXPECT_TRUE(waitUntil([&] { return readFile(home.file("out.text")) == "1"; }))
        << "typed: '" << readFile(home.file("out.text")) << "'\npanel errors:\n" << readFile(home.file("panel.err"));
    const std::string err = readFile(home.file("panel.err"));
    const std::string line =
        "vexil-panel: no accessibility bus (AT-SPI): no D-Bus session bus: --auto has no effect on X11 and the "
        "keyboard stays shown\n";
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line), err.rfind(line)) << err;
    EXPECT_EQ(err.find("AT-SPI"), err.rfind("AT-SPI")) << "more than one line about it:\n" << err;
}

}  // namespace
