// The one diagnostic sink of the program: printf-style lines on standard
// output, flushed after every message so that a pipe sees each line at once.
#ifndef VEXIL_BASE_VX_LOG_H
#define VEXIL_BASE_VX_LOG_H

#include <cstdio>

class VX_Log {
public:
    // Formats one message onto `stream` as printf does, then flushes it.
    // Callers write their own "VX_Class: " prefix and the final line feed.
    void print(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    FILE *stream;  // where messages go; standard output from static init on
};

extern VX_Log vxLog;

#endif
