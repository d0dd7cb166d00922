// Press-to-key latency of on-screen keyboards that type through XTest.
// This program owns the target: a plain X window that has the focus. For
// each keyboard it clicks one letter key with XTest button events and times
// the arrival of the KeyPress event in its own window, from just before the
// press; it also reads each keyboard's peak resident memory (VmHWM) and
// starts the bare dialog of the start-up benchmark for comparison.
//
// Run on an X server with a window manager, e.g. through `make bench-panel`:
//   vexil_panel_bench [--taps=N]
// Keyboards that are not installed are skipped.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string run(const std::string &command)
{
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
            out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

pid_t spawn(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /*O_WRONLY*/, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0x1, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 40; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

long vmHwmKib(pid_t pid)
{
    const std::string status = run("cat /proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// The visible top-level window of `pid`, once mapped; by its title when
// the program does not name its process on the window.
bool findWindow(pid_t pid, const std::string &title, Rect &rect)
{
    const std::string by = title.empty() ? "--pid " + std::to_string(pid) : "--name '" + title + "'";
    std::string id = run("timeout 10 xdotool search --sync --onlyvisible " + by + " 2>/dev/null | head -1");
    id = id.substr(0, id.find('\n'));
    if (id.empty())
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let it settle where the WM puts it
    const std::string geometry = run("xdotool getwindowgeometry --shell " + id);
    auto value = [&](const char *key) {
        const size_t at = geometry.find(key);
        return at == std::string::npos ? -1 : std::atoi(geometry.c_str() + at + std::strlen(key));
    };
    rect = {value("X="), value("Y="), value("WIDTH="), value("HEIGHT=")};
    return rect.w > 0 && rect.h > 0;
}

class Target {
public:
    bool open()
    {
        display_ = XOpenDisplay(nullptr);
        if (!display_)
            return false;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 400, 200, 0, 0, 0xffffff);
        XStoreName(display_, window_, "vexil latency target");
        XSelectInput(display_, window_, KeyPressMask | StructureNotifyMask | FocusChangeMask);
        XMapWindow(display_, window_);
        XEvent event;
        do
            XNextEvent(display_, &event);
        while (event.type != MapNotify);
        focus();
        return true;
    }
    void focus()
    {
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
        drain();
    }
    void drain()
    {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
    }
    // Clicks (x, y) and waits up to `patience` for a KeyPress; its keysym, or
    // 0 when none came. `elapsedUs`: from just before the press.
    KeySym click(int x, int y, std::chrono::milliseconds patience, double &elapsedUs)
    {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
        drain();
        const auto start = Clock::now();
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XFlush(display_);
        const auto until = start + patience;
        while (Clock::now() < until) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == KeyPress) {
                    elapsedUs = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
                    char text[8];
                    KeySym keysym = 0;
                    XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
                    return keysym;
                }
            }
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, 5);
        }
        return 0;
    }

private:
    Display *display_ = nullptr;
    Window window_ = 0;
};

struct Result {
    std::string name;
    bool ran = false;
    double medianUs = 0, p90Us = 0;
    int taps = 0;
    long hwmKib = -1;
};

Result measure(Target &target, const std::string &name, const std::vector<std::string> &command,
               const std::string &title, int taps)
{
    Result result;
    result.name = name;
    if (run("command -v " + command[0]).empty())
        return result;
    const pid_t pid = spawn(command);
    Rect rect;
    if (pid <= 0 || !findWindow(pid, title, rect)) {
        stop(pid);
        return result;
    }
    target.focus();
    // A point on a key that types a lower-case letter: rows near the middle
    // of the keyboard, a little left of centre.
    int keyX = -1, keyY = -1;
    const double ys[] = {0.3, 0.45, 0.55, 0.4, 0.2, 0.65};
    const double xs[] = {0.3, 0.4, 0.2, 0.5};
    for (double fy : ys) {
        for (double fx : xs) {
            const int x = rect.x + int(rect.w * fx), y = rect.y + int(rect.h * fy);
            double us = 0;
            const KeySym keysym = target.click(x, y, std::chrono::milliseconds(400), us);
            target.focus();
            if (keysym >= XK_a && keysym <= XK_z) {
                keyX = x;
                keyY = y;
                break;
            }
        }
        if (keyX >= 0)
            break;
    }
    if (keyX < 0) {
        stop(pid);
        return result;
    }
    std::vector<double> times;
    for (int i = 0; i < taps; ++i) {
        double us = 0;
        if (target.click(keyX, keyY, std::chrono::milliseconds(1000), us) != 0)
            times.push_back(us);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        target.drain();
    }
    result.hwmKib = vmHwmKib(pid);
    stop(pid);
    if (times.empty())
        return result;
    std::sort(times.begin(), times.end());
    result.ran = true;
    result.taps = static_cast<int>(times.size());
    result.medianUs = times[times.size() / 2];
    result.p90Us = times[times.size() * 9 / 10];
    return result;
}

// Peak resident memory of the bare dialog of the start-up benchmark, the
// frame at the panel board's size, on this X server.
long bareDialogKib(const std::string &binDir, int width, int height)
{
    const std::string out = run("QT_QPA_PLATFORM=xcb " + binDir + "/vexil_bench_bare " + std::to_string(width) + " " +
                                std::to_string(height) + " 2>/dev/null");
    long long ns = 0;
    long kib = -1;
    const size_t at = out.find("first-paint ");
    if (at == std::string::npos || std::sscanf(out.c_str() + at, "first-paint %lld %ld", &ns, &kib) != 2)
        return -1;
    return kib;
}

}  // namespace

int main(int argc, char *argv[])
{
    int taps = 200;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--taps=", 7) == 0)
            taps = std::max(1, std::atoi(argv[i] + 7));
    std::string binDir = argv[0];
    binDir = binDir.substr(0, binDir.rfind('/'));

    const pid_t wm = spawn({"openbox", "--sm-disable"});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Target target;
    if (!target.open()) {
        std::fprintf(stderr, "vexil_panel_bench: no X display\n");
        stop(wm);
        return 2;
    }
    const Result results[] = {
        measure(target, "vexil-panel", {binDir + "/vexil-panel"}, "", taps),
        measure(target, "xvkbd", {"xvkbd", "-xtest", "-no-keypad"}, "^xvkbd", taps),
        measure(target, "matchbox-keyboard", {"matchbox-keyboard"}, "^Keyboard$", taps),
    };
    const long bare = bareDialogKib(binDir, 564, 244);
    stop(wm);

    std::printf("\n| Keyboard | Press to key event, median | 90th percentile | Taps | Peak resident memory |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Result &r : results) {
        if (!r.ran) {
            std::printf("| %s | not measured (missing, or no letter key found) | - | - | - |\n", r.name.c_str());
            continue;
        }
        std::printf("| %s | %.2f ms | %.2f ms | %d | %.1f MiB |\n", r.name.c_str(), r.medianUs / 1000.0,
                    r.p90Us / 1000.0, r.taps, r.hwmKib / 1024.0);
    }
    if (bare > 0)
        std::printf("| bare Qt dialog (start-up benchmark), for memory | - | - | - | %.1f MiB |\n", bare / 1024.0);
    return results[0].ran ? 0 : 1;
}
