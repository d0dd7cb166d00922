// Starts a probe program (FirstPaint inside) on the offscreen platform and
// measures the time from just before the process is created to its first
// paint, and its peak resident memory at that moment.
#ifndef VEXIL_BENCH_STARTUPPROBE_H
#define VEXIL_BENCH_STARTUPPROBE_H

#include <string>
#include <vector>

struct StartupSample {
    double milliseconds = 0;  // process creation to the end of the first paint
    long peakKiB = 0;         // peak resident memory at the first paint
};

// Runs `program` with `args` once, with QT_QPA_PLATFORM=offscreen and
// XDG_DATA_HOME set to `dataHome`. False with `error` set when it does not report a paint
// within `timeoutMs`, or when it fails.
bool runStartupProbe(const std::string &program, const std::vector<std::string> &args,
                     const std::string &dataHome, int timeoutMs,
                     StartupSample &sample, std::string &error);

#endif
