// vexil-panel when the world around it misbehaves, under a headless sway (and
// one case on Xvfb): a burst of taps faster than the compositor reads, many
// clients of the control socket that connect and say nothing or trickle, a
// second panel started with another spelling of the compositor's socket, a
// runtime folder shared with other users, a signal while a huge load list is
// read, and a modifier latched over one window when the focus moves to
// another.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <glob.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"
#include "tests/WaylandSession.h"
#include "tests/XSession.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(10);  // longest wait for one effect
constexpr auto kPollStep = std::chrono::milliseconds(50);

struct Point {
    int x, y;
};

// The test board: five letters, Return and a sticky Control, one row each.
constexpr Point kLetters[] = {{40, 35}, {110, 35}, {180, 35}, {250, 35}, {320, 35}};  // a b c d e
constexpr Point kX{390, 35}, kEnt{40, 95}, kCtrl{110, 95};
constexpr int kBoardW = 430, kBoardH = 130, kScreenW = 1024, kScreenH = 768;
const char *const kLayout =
    "[Common]\ntype 0 keys 8 bwid 60 bhei 50 draw-pressed 1\n"
    "[Layout]\nalpha alpha alpha alpha alpha alpha ent !Control_L\n"
    "[Geometry]\n(10 10) (80 10) (150 10) (220 10) (290 10) (360 10) (10 70) (80 70)\n"
    "[Strings]\na b c d e x\n"
    "[Board]\nwid 430 hei 130 color ( 40 60 90 )\n";

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds patience = kPatience)
{
    for (const auto until = Clock::now() + patience; Clock::now() < until; std::this_thread::sleep_for(kPollStep))
        if (done())
            return true;
    return done();
}

// Where two texts first differ, for a readable failure.
std::string firstDifference(const std::string &got, const std::string &wanted)
{
    size_t i = 0;
    while (i < got.size() && i < wanted.size() && got[i] == wanted[i])
        ++i;
    return "lengths " + std::to_string(got.size()) + " and " + std::to_string(wanted.size()) +
           ", first difference at byte " + std::to_string(i) + ": got '" + got.substr(i, 20) + "', wanted '" +
           wanted.substr(i, 20) + "'";
}

// Writes the test board and its pictures into "<home>/vexil".
void writeBoard(const TempDir &home)
{
    home.mkdir("vexil");
    home.write("vexil/load.cfg", "keys\n");
    home.write("vexil/keys.cfg", kLayout);
    bool ok = false;
    const std::string out = shell(binDir() + "/vexil-skin --write " + home.file("vexil/keys.cfg") + " 2>&1", &ok);
    ASSERT_TRUE(ok) << out;
}

// One connection to a panel's control socket that stays open, sending
// nothing or a byte now and then; never a line feed.
struct Pest {
    int fd = -1;
    bool trickles = false;  // sends one byte per round
};

// Keeps `count` connections open on the socket at `path` until stopped:
// half idle, half trickling a byte every 100 ms, each reopened when the
// panel drops it, as a hostile local program could.
class ControlPests {
public:
    ControlPests(const std::string &path, int count) : path_(path), pests_(count)
    {
        for (size_t i = 0; i < pests_.size(); ++i)
            pests_[i].trickles = i % 2 == 1;
        thread_ = std::thread([this] { run(); });
    }
    ~ControlPests() { stop(); }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (Pest &pest : pests_)
            if (pest.fd >= 0)
                close(pest.fd);
        pests_.clear();
    }
    int connected() const { return connected_; }  // connections made so far

private:
    void run()
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        while (!stop_) {
            for (Pest &pest : pests_) {
                if (pest.fd < 0) {
                    // Non-blocking: a full backlog never holds this thread.
                    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
                        pest.fd = fd;
                        ++connected_;
                    } else if (fd >= 0) {
                        close(fd);
                    }
                } else if (pest.trickles) {
                    if (send(pest.fd, "t", 1, MSG_NOSIGNAL) != 1 && errno != EAGAIN) {
                        close(pest.fd);
                        pest.fd = -1;
                    }
                } else {
                    char byte;
                    if (recv(pest.fd, &byte, 1, MSG_DONTWAIT) == 0) {  // dropped by the panel
                        close(pest.fd);
                        pest.fd = -1;
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    std::string path_;
    std::vector<Pest> pests_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connected_{0};
};

class PanelRobust : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *tool : {"sway", "swaymsg", "foot", "grim"})
            ASSERT_TRUE(haveProgram(tool)) << tool << " is missing (make deps installs it)";
        writeBoard(home);
        ASSERT_TRUE(session.start(kScreenW, kScreenH)) << session.error();
        session.share(home.path());
        ASSERT_TRUE(pointer.start(session)) << "the virtual pointer did not start";
    }

    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "panel errors:\n" << readFile(home.file("panel.err"));
    }

    // A foot window running `command` with its output into `out`, focused.
    int startFoot(Child &child, const std::string &out, const std::string &command = "cat")
    {
        ChildOptions options;
        options.errPath = home.file("foot.err");
        EXPECT_TRUE(session.launch(child, {"foot", "sh", "-c", command + " > " + out}, {}, options));
        const int pid = child.pid();
        EXPECT_TRUE(waitUntil([&] { return session.focusedPid() == pid; })) << "foot never got the focus";
        return pid;
    }

    std::string panelProgram() const { return session.reachable(binDir() + "/vexil-panel"); }

    // The docked panel, waited for until the compositor keeps its room.
    void startPanel(Child &child, const std::vector<std::string> &env = {})
    {
        ChildOptions options;
        options.outPath = "/dev/null";
        options.errPath = home.file("panel.err");
        std::vector<std::string> all = {"XDG_DATA_HOME=" + home.path()};
        all.insert(all.end(), env.begin(), env.end());
        ASSERT_TRUE(session.launch(child, {panelProgram(), "--wayland"}, all, options));
        ASSERT_TRUE(waitUntil([&] { return usableHeight() == kScreenH - kBoardH; }))
            << "not docked; usable height " << usableHeight();
    }

    int usableHeight() const
    {
        int x = 0, y = 0, w = 0, h = 0;
        return session.usableArea(x, y, w, h) ? h : -1;
    }

    Point onScreen(const Point &key) const { return {origin.x + key.x, origin.y + key.y}; }

    void tap(const Point &key)
    {
        const Point at = onScreen(key);
        ASSERT_TRUE(pointer.tap(at.x, at.y)) << "tap at " << at.x << "," << at.y;
    }

    // The full path of the compositor's socket.
    std::string socketPath() const { return session.runtimeDir() + "/" + session.display(); }

    // The panel's control socket in the session's runtime folder.
    std::string controlSocket() const
    {
        glob_t found{};
        std::string path;
        if (glob((session.runtimeDir() + "/vexil-panel-*.socket").c_str(), 0, nullptr, &found) == 0 &&
            found.gl_pathc == 1)
            path = found.gl_pathv[0];
        globfree(&found);
        return path;
    }

    // Runs another vexil-panel with `args` and `env` until it ends; its
    // wait status, or -1 when it still ran after the patience.
    int runToEnd(const std::vector<std::string> &args, const std::vector<std::string> &env, const std::string &err)
    {
        Child child;
        ChildOptions options;
        options.outPath = "/dev/null";
        options.errPath = err;
        std::vector<std::string> argv = {panelProgram()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<std::string> all = {"XDG_DATA_HOME=" + home.path()};
        all.insert(all.end(), env.begin(), env.end());
        if (!session.launch(child, argv, all, options))
            return -1;
        if (!waitUntil([&] { return !child.running(); }))
            return -1;
        return child.stop();
    }

    TempDir home;
    WaylandSession session;
    SessionPointer pointer;
    Point origin{(kScreenW - kBoardW) / 2, kScreenH - kBoardH};
};

// Taps sent far faster than the compositor and the panel take them: the
// panel waits for its socket to take more instead of ending, and every
// letter arrives, in order.
TEST_F(PanelRobust, TwoThousandFastTapsIntoFootArriveInOrder)
{
    Child foot, panel;
    const std::string out = home.file("out.txt");
    startFoot(foot, out);
    startPanel(panel);
    // The dock's room is kept before its board takes taps: a first line
    // shows that it does, so the burst is not sent into a board still
    // being mapped on a loaded machine.
    tap(kLetters[0]);
    tap(kEnt);
    ASSERT_TRUE(waitUntil([&] { return readFile(out) == "a\n"; }, std::chrono::seconds(60)))
        << "the board took no tap: '" << readFile(out) << "'";
    constexpr int kTaps = 2000;
    std::string command = "taps " + std::to_string(kTaps);
    for (const Point &key : kLetters)
        command += " " + std::to_string(onScreen(key).x) + " " + std::to_string(onScreen(key).y);
    std::string expected = "a\n";
    for (int i = 0; i < kTaps; ++i)
        expected += static_cast<char>('a' + i % 5);
    expected += "\n";
    ASSERT_TRUE(pointer.command(command));
    tap(kEnt);
    std::string got;
    // Generous: 2,000 taps through a loaded machine's compositor.
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected || !panel.running(); },
                          std::chrono::seconds(90)));
    EXPECT_EQ(got, expected) << firstDifference(got, expected);
    EXPECT_TRUE(panel.running()) << "the panel ended under the burst";
    const int status = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

// Forty connections to the control socket that send nothing or trickle a
// byte at a time: taps still type at once, and a real command still gets
// through once the pests are gone.
TEST_F(PanelRobust, IdleAndTricklingControlClientsNeverHoldATapBack)
{
    Child foot, panel;
    const std::string out = home.file("out.txt");
    startFoot(foot, out);
    startPanel(panel);
    const std::string control = controlSocket();
    ASSERT_FALSE(control.empty()) << "no control socket in " << session.runtimeDir();
    ControlPests pests(control, 40);
    ASSERT_TRUE(waitUntil([&] { return pests.connected() >= 40; })) << "only " << pests.connected() << " connected";
    std::string expected;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        tap(kLetters[round]);
        tap(kEnt);
        expected += std::string(1, static_cast<char>('a' + round)) + "\n";
        std::string got;
        EXPECT_TRUE(waitUntil([&] { return (got = readFile(out)) == expected; }))
            << "with 40 pests on the control socket the taps did not arrive: got '" << got << "'";
    }
    pests.stop();
    EXPECT_EQ(runToEnd({"--wayland", "--hide"}, {}, home.file("hide.err")), 0) << readFile(home.file("hide.err"));
    EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH; })) << "--hide did not reach the panel";
    const int status = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

// However the compositor's socket is spelled, and whatever the runtime
// folder says, a second panel finds the first one's lock, says so and ends:
// one dock only. --toggle reaches the panel under any spelling.
TEST_F(PanelRobust, OnePanelPerCompositorHoweverItsSocketIsNamed)
{
    Child foot, panel;
    startFoot(foot, home.file("out.txt"));
    startPanel(panel);
    const std::string runtime = session.runtimeDir();
    const std::string base = runtime.substr(runtime.rfind('/') + 1);
    struct Case {
        const char *what;
        std::vector<std::string> env;
        const char *said;  // in its message
    } cases[] = {
        {"the full path", {"WAYLAND_DISPLAY=" + socketPath()}, "already running"},
        {"a name through ..", {"WAYLAND_DISPLAY=../" + base + "/" + session.display()}, "already running"},
        {"the full path, XDG_RUNTIME_DIR nowhere",
         {"WAYLAND_DISPLAY=" + socketPath(), "XDG_RUNTIME_DIR=/nonexistent/vexil-nowhere"},
         "already running"},
        {"the full path, no XDG_RUNTIME_DIR", {"WAYLAND_DISPLAY=" + socketPath(), "XDG_RUNTIME_DIR"}, "already running"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string err = home.file("second.err");
        const int status = runToEnd({"--wayland"}, c.env, err);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
            << "a second panel with " << c.what << ": wait status " << status << " (-1: still running)";
        EXPECT_NE(readFile(err).find(c.said), std::string::npos) << readFile(err);
        EXPECT_EQ(usableHeight(), kScreenH - kBoardH) << "a second dock";
    }
    // The control, under the other spelling.
    const std::string err = home.file("toggle.err");
    EXPECT_EQ(runToEnd({"--wayland", "--toggle"}, {"WAYLAND_DISPLAY=" + socketPath()}, err), 0) << readFile(err);
    EXPECT_TRUE(waitUntil([&] { return usableHeight() == kScreenH; })) << "--toggle did not reach the panel";
    const int status = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

// A latched modifier is for the next key in the window it was latched
// over: when the focus moves, it lets go (the board draws its key up again)
// and the next letter goes plain. A locked one stays.
TEST_F(PanelRobust, AFocusChangeLetsALatchedModifierGoAndKeepsALockedOne)
{
    Child first, second, panel;
    const std::string outFirst = home.file("first.txt"), outSecond = home.file("second.txt");
    const int firstPid = startFoot(first, outFirst);
    const int secondPid = startFoot(second, outSecond);
    startPanel(panel);
    // Up and left of the key's centre, where the pointer's sprite after a
    // tap does not cover it.
    const Point ctrl = onScreen({kCtrl.x - 20, kCtrl.y - 15});
    auto ctrlPixel = [&](QColor &colour) {
        const std::string shot = home.file("shot.png");
        if (!session.screenshot(shot))
            return false;
        const QImage image(QString::fromStdString(shot));
        if (image.isNull())
            return false;
        colour = image.pixelColor(ctrl.x, ctrl.y);
        return true;
    };
    QColor up, now;
    ASSERT_TRUE(waitUntil([&] { return ctrlPixel(up); })) << "no screenshot";
    auto focus = [&](int pid) {
        bool ok = false;
        session.swaymsg("'[pid=" + std::to_string(pid) + "] focus'", &ok);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(waitUntil([&] { return session.focusedPid() == pid; })) << "focus did not move to " << pid;
    };

    // Latched over the second window, the focus moves to the first.
    tap(kCtrl);
    ASSERT_TRUE(waitUntil([&] { return ctrlPixel(now) && now != up; })) << "Control is not drawn latched";
    focus(firstPid);
    EXPECT_TRUE(waitUntil([&] { return ctrlPixel(now) && now == up; }))
        << "Control still drawn latched after the focus moved";
    tap(kX);
    tap(kEnt);
    std::string got;
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(outFirst)) == "x\n"; }))
        << "got '" << got << "' (\\x18 is Control+x)";

    // Locked over the first window, the focus moves back: still locked.
    tap(kCtrl);
    tap(kCtrl);
    ASSERT_TRUE(waitUntil([&] { return ctrlPixel(now) && now != up; })) << "Control is not drawn locked";
    focus(secondPid);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(ctrlPixel(now) && now != up) << "the lock went with the focus change";
    tap(kX);     // Control+x
    tap(kCtrl);  // unlocked
    tap(kEnt);
    EXPECT_TRUE(waitUntil([&] { return (got = readFile(outSecond)) == "\x18\n"; })) << "got '" << got << "'";
    const int status = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}

}  // namespace

namespace {

// The panel on Xvfb with an environment of the test's own.
class PanelRobustX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(haveProgram("Xvfb")) << "Xvfb is missing (make deps installs it)";
        writeBoard(home);
        ASSERT_TRUE(startXvfb(server, display));
    }

    std::vector<std::string> env(const std::vector<std::string> &more = {}) const
    {
        std::vector<std::string> all = {"DISPLAY=" + display, "XDG_DATA_HOME=" + home.path(), "WAYLAND_DISPLAY",
                                        "QT_QPA_PLATFORM"};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }

    TempDir home;
    Child server;
    std::string display;
};

// $XDG_RUNTIME_DIR pointing at a folder other users may write (mode 1777,
// like /tmp) where another user's program holds a lock of the panel's
// name: the panel does not trust it, takes its private fallback folder and
// runs; --toggle finds it there.
TEST_F(PanelRobustX11, AFolderOthersMayWriteIsNotTheRuntimeFolder)
{
    const std::string shared = home.mkdir("shared");
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string decoy = shared + "/vexil-panel-x11-" + display + ".lock";
    const int fd = open(decoy.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);  // nobody's
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    Child panel;
    ChildOptions options;
    options.outPath = "/dev/null";
    options.errPath = home.file("panel.err");
    ASSERT_TRUE(panel.start({binDir() + "/vexil-panel", "--x11"}, env({"XDG_RUNTIME_DIR=" + shared}), options));
    bool toggled = false;
    EXPECT_TRUE(waitUntil([&] {
        Child toggle;
        if (!panel.running() ||
            !toggle.start({binDir() + "/vexil-panel", "--x11", "--toggle"}, env({"XDG_RUNTIME_DIR=" + shared}),
                          ChildOptions()))
            return false;
        waitUntil([&] { return !toggle.running(); });
        const int status = toggle.stop();
        return toggled = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    })) << "the panel did not start or cannot be reached: " << readFile(home.file("panel.err"));
    EXPECT_TRUE(panel.running()) << readFile(home.file("panel.err"));
    const int status = panel.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    close(fd);
}

// A load list of 10 MB takes the panel a long while to read; each of the
// three ending signals ends it while it reads, without a board.
TEST_F(PanelRobustX11, EndingSignalsEndAStartUpThatReadsAHugeLoadList)
{
    std::string list;
    while (list.size() < 10u * 1024 * 1024)
        list += "keys\n";
    home.write("vexil/load.cfg", list);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        Child panel;
        ChildOptions options;
        options.outPath = "/dev/null";  // a line per layout that finds no slot
        options.errPath = home.file("panel.err");
        ASSERT_TRUE(panel.start({binDir() + "/vexil-panel", "--x11"}, env(), options));
        // Well into the list (a signal before the program catches any ends
        // it as well).
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_TRUE(panel.running()) << "the list was read already: make it longer. " << readFile(options.errPath);
        kill(panel.pid(), signal);
        EXPECT_TRUE(waitUntil([&] { return !panel.running(); })) << "still starting after the signal";
        const int status = panel.stop(SIGKILL);
        EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 0) ||
                    (WIFSIGNALED(status) && WTERMSIG(status) == signal))
            << "wait status " << status;
        EXPECT_EQ(readFile(options.errPath).find("no layout"), std::string::npos) << readFile(options.errPath);
    }
}

}  // namespace
