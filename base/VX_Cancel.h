// A request from outside the program's flow (a signal: the user or the
// session wants the program to end) that long work stop early. The library
// only asks and gives up: a load asked to stop fails with a message, a wait
// for a connection stops waiting; the program decides how to end. Setting it
// is safe in a signal handler; nothing sets it in a program that never
// asks.
#ifndef VEXIL_BASE_VX_CANCEL_H
#define VEXIL_BASE_VX_CANCEL_H

#include <csignal>

class VX_Cancel {
public:
    // Asks long work to stop; `signal` is what asked (nonzero). Async-signal-safe.
    static void request(int signal);
    // A request came: work that checks stops at its next check.
    static bool requested() { return signal_ != 0; }
    // The signal of the request; 0 when none came.
    static int signal() { return signal_; }
    // No request (a test's fresh start).
    static void clear() { signal_ = 0; }

private:
    static volatile std::sig_atomic_t signal_;  // 0: no request
};

#endif
