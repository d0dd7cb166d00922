// vexil-panel: the on-screen keyboard that types into other applications.
// The same board, engine, layouts and search directories as vexil; the keys
// go through XTest on X11, or through the virtual keyboard and input method
// of a Wayland compositor, to the window that has the keyboard focus.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <memory>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/QVX_Panel.h"
#include "app/QVX_PanelControl.h"
#include "app/QVX_WaylandPanel.h"
#include "accessibility/VX_AtspiWatcher.h"
#include "base/VX_Cancel.h"
#include "base/SearchDirs.h"
#include "panel/VX_LoadLists.h"
#include "panel/VX_PanelOptions.h"
#include "output/VX_WaylandClient.h"
#include "output/VX_WaylandOutput.h"
#include "output/VX_XDesktop.h"
#include "output/VX_XOutput.h"

// Xlib's macros (None, Bool) after every Qt header.
#include <X11/Xlib.h>

namespace {

// Handles every input event the X server sent the panel's windows before
// now: taps the server took before a signal ended the loop still type.
void finishX11Input()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return;
    // After the round trip every event sent before it is on the toolkit's
    // side; handling one (a release that types) may queue more.
    for (int round = 0; round < 3; ++round) {
        XSync(display, False);
        QApplication::processEvents(QEventLoop::AllEvents);
        QApplication::sendPostedEvents();
    }
}

void alreadyRunning(bool wayland)
{
    const char *name = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    std::fprintf(stderr,
                 "vexil-panel: a panel is already running on this display (%s=%s); "
                 "vexil-panel --toggle hides or shows it\n",
                 name, std::getenv(name) ? std::getenv(name) : "unset");
}

int signalPipe[2] = {-1, -1};  // written by the handler, read by the event loop
std::function<void()> onToggle;  // what SIGUSR1 does; empty: nothing

void onSignal(int signal)
{
    // Start-up work that checks (a long load list) gives up at once; the
    // event loop hears it through the pipe once it runs.
    if (signal != SIGUSR1)
        VX_Cancel::request(signal);
    const char byte = static_cast<char>(signal);
    const ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
}

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// SIGTERM, SIGINT and SIGHUP end the program at any time: during start-up
// they stop what it is doing (the program then ends without showing the
// board), and later they end the event loop like a normal quit, so what
// typing changed is undone on the way out. SIGUSR1 hides or shows the panel.
// Installed first thing, so no part of the start-up ignores them.
void catchSignals()
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1})
        sigaction(signal, &action, nullptr);
}

// The event loop's side of catchSignals(): what came before the loop runs
// is handled as soon as it does.
void watchSignals(QApplication &app)
{
    if (signalPipe[0] < 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        while (read(signalPipe[0], &byte, 1) == 1) {
            if (byte == SIGUSR1) {
                if (onToggle)
                    onToggle();
            } else {
                QApplication::quit();
            }
        }
    });
}

// Asked to end while starting: say nothing more, show nothing.
bool stopping() { return VX_Cancel::requested(); }

// The one panel of this display, for this user: false, having said so,
// when another panel has it. On X11 the display itself keeps a second
// panel out, so one whose control cannot listen runs without --toggle; on
// Wayland the lock is all there is, and a panel that cannot take it does
// not start.
bool claimDisplay(QVX_PanelControl &control, bool wayland)
{
    std::string error;
    switch (control.claim(wayland, error)) {
    case QVX_PanelControl::CLAIM_OURS:
        return true;
    case QVX_PanelControl::CLAIM_TAKEN:
        alreadyRunning(wayland);
        return false;
    case QVX_PanelControl::CLAIM_FAILED:
        if (wayland) {
            std::fprintf(stderr, "vexil-panel: cannot make sure this is the compositor's only panel: %s\n",
                         error.c_str());
            return false;
        }
        std::fprintf(stderr, "vexil-panel: --toggle, --show and --hide cannot reach this panel: %s\n", error.c_str());
        return true;
    }
    return true;
}

int runX11(int argc, char *argv[], const VX_PanelOptions &options)
{
    // The output's connection comes first: without an X server there is
    // nothing to type into.
    VX_XOutput output;
    if (!output.ok()) {
        std::fprintf(stderr, "vexil-panel: %s (DISPLAY=%s)\n", output.error(),
                     isSet("DISPLAY") ? std::getenv("DISPLAY") : "unset");
        return 2;
    }
    VX_XDesktop desktop;
    // One panel per display, whoever runs it: two would fight over the
    // keymap's spare keycodes.
    if (desktop.ok() && !desktop.claimPanel()) {
        alreadyRunning(false);
        return 1;
    }
    // The window hints the panel relies on are X11 ones, so the toolkit
    // talks X11 too, also under XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    watchSignals(app);
    QVX_PanelControl control;
    if (!claimDisplay(control, false))
        return 1;
    // The display's one panel: what a killed one left bound is ours.
    output.reclaim();
    // The output follows the keymap and the user's group while idle too.
    QSocketNotifier outputEvents(output.fd(), QSocketNotifier::Read);
    QObject::connect(&outputEvents, &QSocketNotifier::activated, [&output] { output.poll(); });
    // The clicks the desktop sees are read as they come.
    std::unique_ptr<QSocketNotifier> desktopEvents;
    if (desktop.ok()) {
        desktopEvents = std::make_unique<QSocketNotifier>(desktop.fd(), QSocketNotifier::Read);
        QObject::connect(desktopEvents.get(), &QSocketNotifier::activated, [&desktop] { desktop.poll(); });
    }
    int result;
    {
        QVX_Panel panel(output, desktop.ok() ? &desktop : nullptr, options, platformSearchDirs());
        if (stopping())
            return 0;
        if (!panel.hasLayout()) {
            std::fputs("vexil-panel: no layout to show\n", stderr);
            return 1;
        }
        onToggle = [&panel] { panel.toggle(); };
        control.onCommand = [&panel](VX_PanelOptions::Command command) {
            if (command == VX_PanelOptions::COMMAND_TOGGLE)
                panel.toggle();
            else
                panel.setShown(command == VX_PanelOptions::COMMAND_SHOW);
        };
        // The focused field, through the accessibility bus: its layout,
        // and with --auto the board shown only while there is one.
        VX_AtspiWatcher watcher;
        std::string why;
        const bool following = watcher.start(why);
        if (following) {
            watcher.onField = [&panel](const VX_Field &field) { panel.fieldFocused(field); };
            // Its events come from GLib's main loop, which the toolkit's
            // event loop runs when it is GLib's; else it is run here.
            if (!QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib")) {
                auto *pump = new QTimer(&app);
                QObject::connect(pump, &QTimer::timeout, &app, [] { VX_AtspiWatcher::pump(); });
                pump->start(20);
            }
        } else if (options.autoShow) {
            std::fprintf(stderr, "vexil-panel: %s: --auto has no effect on X11 and the keyboard stays shown\n",
                         why.c_str());
        } else {
            std::fprintf(stderr, "vexil-panel: %s: the layouts do not follow the focused field\n", why.c_str());
        }
        const bool autoShows = following && options.autoShow;
        control.onStatus = [&panel, autoShows] { return panel.status(autoShows); };
        panel.setShown(!autoShows);
        result = QApplication::exec();
        finishX11Input();
        onToggle = nullptr;
        control.onCommand = nullptr;
        control.onStatus = nullptr;
    }
    output.settle();
    return result;
}

int runWayland(int argc, char *argv[], const VX_PanelOptions &options)
{
    VX_WaylandClient client;
    if (!client.connect()) {
        std::fprintf(stderr, "vexil-panel: %s (WAYLAND_DISPLAY=%s)\n", client.error().c_str(),
                     isSet("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "unset");
        return 2;
    }
    if (const char *missing = client.missing()) {
        std::fprintf(stderr,
                     "vexil-panel: this Wayland compositor does not offer %s, which an on-screen keyboard "
                     "needs here. Compositors based on wlroots (sway, Phosh, labwc, river, Hyprland) have it. "
                     "Under XWayland, vexil-panel --x11 types into the X11 applications.\n",
                     missing);
        return 2;
    }
    // The board is drawn by the panel itself into the compositor's buffers;
    // the toolkit only runs the event loop, timers and painting.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    watchSignals(app);
    QVX_PanelControl control;
    if (!claimDisplay(control, true))
        return 1;

    auto *notifier = new QSocketNotifier(client.fd(), QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&client, notifier] {
        if (!client.dispatch()) {
            notifier->setEnabled(false);
            std::fprintf(stderr, "vexil-panel: the Wayland compositor went away (%s)\n", client.error().c_str());
            QApplication::exit(1);
        }
    });
    // Requests made by timers and input go out before the loop sleeps.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &app,
                     [&client] { client.flush(); });

    int result;
    {
        VX_WaylandOutput output(client);
        output.onUnavailable = [] {
            std::fputs("vexil-panel: another input method holds this seat; typing through the virtual "
                       "keyboard alone\n",
                       stderr);
        };
        // The input method says whether the seat is ours at the first events.
        client.roundtrip();
        QVX_WaylandPanel panel(client, output, options, platformSearchDirs());
        if (stopping())
            return 0;
        if (!panel.hasLayout()) {
            std::fputs("vexil-panel: no layout to show\n", stderr);
            return 1;
        }
        if (options.autoShow && !output.hasInputMethod())
            std::fputs("vexil-panel: --auto cannot follow text fields here (no input method protocol); "
                       "the keyboard stays shown\n",
                       stderr);
        onToggle = [&panel] { panel.setShown(!panel.wantsShown()); };
        control.onCommand = [&panel](VX_PanelOptions::Command command) {
            panel.setShown(command == VX_PanelOptions::COMMAND_TOGGLE ? !panel.wantsShown()
                                                                : command == VX_PanelOptions::COMMAND_SHOW);
        };
        control.onStatus = [&panel] { return panel.status(); };
        panel.start();
        client.flush();
        result = QApplication::exec();
        onToggle = nullptr;
        control.onCommand = nullptr;
        control.onStatus = nullptr;
    }
    return result;
}

}  // namespace

int main(int argc, char *argv[])
{
    VX_PanelOptions options;
    std::string error;
    if (!VX_PanelOptions::parse(argc, argv, options, error)) {
        std::fprintf(stderr, "vexil-panel: %s\n%s", error.c_str(), VX_PanelOptions::usage());
        return 2;
    }
    if (options.help) {
        std::fputs(VX_PanelOptions::usage(), stdout);
        return 0;
    }
    if (options.listSets) {
        const std::vector<VX_LoadLists::Set> sets = VX_LoadLists::find(platformSearchDirs());
        if (sets.empty()) {
            std::fputs("vexil-panel: no load list (load.cfg, load-NAME.cfg) found\n", stderr);
            return 1;
        }
        for (const VX_LoadLists::Set &set : sets)
            std::printf("%-12s %s\n%-12s %s\n", set.name.c_str(), set.layouts.c_str(), "", set.path.c_str());
        return 0;
    }
    const bool wayland = options.wayland || (!options.x11 && isSet("WAYLAND_DISPLAY"));
    if (options.command != VX_PanelOptions::COMMAND_NONE) {
        std::string error, reply;
        const bool done = options.command == VX_PanelOptions::COMMAND_STATUS
                              ? QVX_PanelControl::ask(wayland, reply, error)
                              : QVX_PanelControl::send(wayland, options.command, error);
        if (done)
            std::fputs(reply.c_str(), stdout);
        if (!done) {
            const char *name = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
            std::fprintf(stderr, "vexil-panel: %s (%s=%s)\n", error.c_str(), name,
                         std::getenv(name) ? std::getenv(name) : "unset");
            return 1;
        }
        return 0;
    }
    catchSignals();
    return wayland ? runWayland(argc, argv, options) : runX11(argc, argv, options);
}
