// vexil-panel: the on-screen keyboard that types into other applications
// on X11. The same board, engine, layouts and search directories as vexil;
// the keys go through XTest to the window that has the keyboard focus.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/QVX_Panel.h"
#include "base/SearchDirs.h"
#include "output/VX_XDesktop.h"
#include "output/VX_XOutput.h"

namespace {

int signalPipe[2] = {-1, -1};  // written by the handler, read by the event loop

void onSignal(int)
{
    const char byte = 1;
    const ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
}

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

}  // namespace

int main(int argc, char *argv[])
{
    QVX_Panel::Options options;
    std::string error;
    if (!QVX_Panel::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "vexil-panel: %s\n%s", error.c_str(), QVX_Panel::usage());
        return 2;
    }
    if (options.help) {
        std::fputs(QVX_Panel::usage(), stdout);
        return 0;
    }

    // The output's connection comes first: without an X server there is
    // nothing to type into, whatever the desktop.
    VX_XOutput output;
    if (!output.ok()) {
        if (isSet("WAYLAND_DISPLAY") && !isSet("DISPLAY"))
            std::fputs("vexil-panel: this is a Wayland session without an X server; typing into other "
                       "applications needs X11 for now.\n",
                       stderr);
        else
            std::fprintf(stderr, "vexil-panel: %s (DISPLAY=%s)\n", output.error(),
                         isSet("DISPLAY") ? std::getenv("DISPLAY") : "unset");
        return 2;
    }
    VX_XDesktop desktop;
    // The window hints the panel relies on are X11 ones, so the toolkit
    // talks X11 too, also under XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);

    // SIGTERM and SIGINT end the event loop like a normal quit, so the
    // keymap is put back on the way out.
    if (pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }

    int result;
    {
        QVX_Panel panel(output, desktop.ok() ? &desktop : nullptr, options, platformSearchDirs());
        if (!panel.hasLayout()) {
            std::fputs("vexil-panel: no layout to show\n", stderr);
            return 1;
        }
        panel.show();
        result = QApplication::exec();
    }
    output.settle();
    return result;
}
