#include "bench/FirstPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>

namespace {

// The high-water mark of this process's own memory. getrusage's ru_maxrss
// is no use here: Linux carries it over an exec, so a process started from a
// larger one (vfork and exec, as posix_spawn does) reports its parent's peak.
long peakResidentKiB()
{
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            break;
    std::fclose(status);
    return kib;
}

}  // namespace

FirstPaint::FirstPaint(QWidget *target) { target->installEventFilter(this); }

bool FirstPaint::eventFilter(QObject *watched, QEvent *event)
{
    if (seen_ || event->type() != QEvent::Paint)
        return false;
    seen_ = true;
    // Paint now, inside the paint context the toolkit has set up, so that
    // the time taken includes the paint itself.
    watched->event(event);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("first-paint %lld %ld\n",
                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, peakResidentKiB());
    std::fflush(stdout);
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    return true;
}
