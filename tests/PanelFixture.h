// The fixture of the panel's end-to-end tests over a PanelSession: a home
// folder with the test board's layouts, the session started on a screen of
// kScreenW x kScreenH, the application typed into (the target) and the
// panel, with the steps every scenario takes. PanelFixture<X11PanelSession>
// and PanelFixture<SwayPanelSession> run the same scenarios on both systems;
// each system's own tests derive from theirs.
#ifndef VEXIL_TESTS_PANELFIXTURE_H
#define VEXIL_TESTS_PANELFIXTURE_H

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/PanelBoard.h"
#include "tests/PanelSession.h"
#include "tests/TestSupport.h"

template <class Session>
class PanelFixture : public ::testing::Test {
protected:
    using Point = e2e::Point;

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(e2e::writeBoard(home.mkdir("vexil"), error)) << error;
        ASSERT_TRUE(session.start(e2e::kScreenW, e2e::kScreenH)) << session.error();
        session.share(home.path());
        stateBefore = session.inputState();
        ASSERT_FALSE(stateBefore.empty()) << session.name() << " tells nothing of its input state";
    }

    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "panel output:\n" << readFile(home.file("panel.log")) << readFile(home.file("panel.err"));
    }

    static std::string readFile(const std::string &path) { return e2e::readFile(path); }
    static bool waitUntil(const std::function<bool()> &done,
                          std::chrono::milliseconds patience = e2e::kPatience)
    {
        return e2e::waitUntil(done, patience);
    }

    // Starts `argv` in the session and waits until its window has the focus.
    void startTarget(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                     ChildOptions options = ChildOptions())
    {
        if (options.errPath.empty())
            options.errPath = home.file("target.err");
        ASSERT_TRUE(session.launch(target, argv, env, options)) << argv.front();
        targetPid = target.pid();
        ASSERT_TRUE(waitUntil([&] { return session.focus(targetPid); }))
            << "the target never got the focus; its errors:\n" << readFile(options.errPath);
    }

    // The session's text field (see PanelSession::textField) as the
    // target, its standard input a pipe for its commands.
    void startTextField(const std::string &out)
    {
        ChildOptions pipes;
        pipes.pipes = true;
        startTarget(session.textField(out), {}, pipes);
    }

    // A terminal running `command` through sh as the target.
    void startTerminal(const std::string &command) { startTarget(session.terminal({"sh", "-c", command})); }

    // Starts the panel with `args` and the test board, and waits until it
    // is docked: a board of width x height centred on the bottom edge.
    void startPanel(const std::vector<std::string> &args = {}, int width = e2e::kBoardW,
                    int height = e2e::kBoardH)
    {
        std::vector<std::string> argv = session.panel();
        argv.insert(argv.end(), args.begin(), args.end());
        ChildOptions logs;
        logs.outPath = home.file("panel.log");
        logs.errPath = home.file("panel.err");
        ASSERT_TRUE(session.launch(panel, argv, {"XDG_DATA_HOME=" + home.path()}, logs));
        std::string seen;
        ASSERT_TRUE(session.awaitDock(panel.pid(), width, height, seen))
            << "not docked as " << width << "x" << height << ": " << seen << "\npanel errors:\n"
            << readFile(home.file("panel.err"));
        origin = {(e2e::kScreenW - width) / 2, e2e::kScreenH - height};
    }

    // A point of the board on the screen.
    Point onScreen(const Point &key) const { return {origin.x + key.x, origin.y + key.y}; }

    // One click on a key of the board; the focus must stay where it was.
    void tap(const Point &key)
    {
        ASSERT_TRUE(session.tap(onScreen(key)));
        EXPECT_EQ(session.focusedPid(), targetPid) << "focus moved after a click at " << key.x << "," << key.y;
    }

    // The line of kLine, key by key, across the four layouts; starts and
    // ends on "lat".
    void typeLine()
    {
        using namespace e2e;
        // Caps is a one-shot shift: it capitalises the next letter only.
        for (const Point &key : {kCaps, kA, kA, kOne, kOne, kBks, kBang, kDot, kSpace, kXyz})
            tap(key);
        // The second tap of the cycle: later than a double click, well
        // inside the cycle's reset time.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        tap(kXyz);
        for (const Point &key : {kSwitch, kZhe, kEacute, kEnye, kLambda, kCyrSwitch, kCyrSwitch, kCyrSwitch, kEnt})
            tap(key);  // cyr ... hold, kyr, lat
    }

    // Runs `vexil-panel <args>` in the session to its end: its exit status,
    // -1 when it did not end within the patience.
    int panelCommand(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = session.panel();
        argv.insert(argv.end(), args.begin(), args.end());
        Child client;
        if (!session.launch(client, argv, {"XDG_DATA_HOME=" + home.path()}, ChildOptions()))
            return -1;
        if (!waitUntil([&] { return !client.running(); }))
            return -1;
        const int status = client.stop();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Ends the panel with `signal`: exit status 0, and what it changed in
    // the session given back.
    void stopPanel(int signal)
    {
        const int status = panel.stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        std::string state;
        EXPECT_TRUE(waitUntil([&] { return (state = session.inputState()) == stateBefore; }))
            << "before:\n" << stateBefore << "after:\n" << state;
    }

    TempDir home;              // vexil/ with the test board; the targets' and the panel's output
    Session session;           // started in SetUp
    Child target, panel;       // the application typed into, the panel
    int targetPid = 0;         // target's pid once it has the focus
    std::string stateBefore;   // session.inputState() before any panel ran
    Point origin{0, 0};        // the board's top left on the screen
};

#endif
