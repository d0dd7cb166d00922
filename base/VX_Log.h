// The one diagnostic sink of the program: printf-style lines on standard
// output, flushed after every message so that a pipe sees each line at once.
//
// Two kinds of line go through it, told apart by the call that writes them:
// diagnostics (print), which report something a user or a layout author has
// to look at, and information lines (info), which a clean load writes too
// (the entry counts of the section readers, the load summary). Both look
// alike on the stream; only diagnostics are counted.
#ifndef VEXIL_BASE_VX_LOG_H
#define VEXIL_BASE_VX_LOG_H

#include <cstdint>
#include <cstdio>

class VX_Log {
public:
    // Writes one diagnostic: formats it onto `stream` as printf does, flushes
    // it and counts it. Callers write their own "VX_Class: " prefix and the
    // final line feed, and write a whole line in one call.
    void print(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Writes one information line the same way, without counting it.
    void info(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    FILE *stream;                // where messages go; standard output from static init on
    uint64_t diagnostics = 0;    // print() calls so far, whatever the stream
};

extern VX_Log vxLog;

#endif
