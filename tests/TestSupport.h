// Small helpers shared by the tests: a temporary directory the test writes
// its layout files into, a capture of the log sink, and the one application
// object that pictures and widgets need.
#ifndef VEXIL_TESTS_TESTSUPPORT_H
#define VEXIL_TESTS_TESTSUPPORT_H

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/VX_LogRedirect.h"

// Creates the QApplication (offscreen platform unless QT_QPA_PLATFORM is
// set) on first use; later calls do nothing.
void ensureApp();

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // "<dir>/<name>"
    std::string file(const std::string &name) const;
    // Writes `content` byte for byte to "<dir>/<name>".
    void write(const std::string &name, const std::string &content) const;
    // Writes a GIF of width x height filled with one colour (0xRRGGBB).
    void writeGif(const std::string &name, int width, int height, unsigned rgb) const;
    // Makes a subdirectory and returns its path.
    std::string mkdir(const std::string &name) const;

private:
    std::string path_;
};

// Ends the test program (SIGALRM) if it is still inside the guarded scope
// after `seconds`: a test of code that must never block fails instead of
// hanging. Not a timing: the limit is far above any normal run.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds = 60);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;
};

// Points the log sink at a temporary file for its lifetime and gives back
// what was written.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Everything written so far.
    std::string text() const;
    // text() split into lines, line feeds removed.
    std::vector<std::string> lines() const;
    // Forgets what was written so far.
    void clear();

private:
    FILE *file_;                              // the capture, owned
    std::optional<VX_LogRedirect> redirect_;  // the sink on file_ while alive
};

#endif
