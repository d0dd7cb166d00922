// Start-up probe inside a benchmark-only build of a window: catches the
// first paint event of one widget, lets the widget paint, then writes
//   first-paint <CLOCK_MONOTONIC nanoseconds> <peak resident KiB>
// on standard output and quits the event loop. The launcher compares the
// time with the moment it started the process.
#ifndef VEXIL_BENCH_FIRSTPAINT_H
#define VEXIL_BENCH_FIRSTPAINT_H

#include <QObject>

class QWidget;

class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget *target);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool seen_ = false;
};

#endif
