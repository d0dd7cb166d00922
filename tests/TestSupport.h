// Small helpers shared by the tests: a temporary directory the test writes
// its layout files into, a capture of the log sink, and the one application
// object that pictures and widgets need.
#ifndef VEXIL_TESTS_TESTSUPPORT_H
#define VEXIL_TESTS_TESTSUPPORT_H

#include <QtCore/qcontainerfwd.h>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/VX_LogRedirect.h"

// Creates the QApplication (offscreen platform unless QT_QPA_PLATFORM is
// set) on first use; later calls do nothing.
void ensureApp();

// What a built program of the project did: its exit status (-1 when it
// did not run to its end), its standard output and its error output.
struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class QProcessEnvironment;

// Runs `program` from $VEXIL_BIN_DIR with `args` in `env` (this process's
// environment when null) and waits up to 30 s; a program that cannot be run
// fails the calling test. (No Qt object header here: its `slots` macro would
// reach every test.)
ProgramRun runProgram(const char *program, const QStringList &args,
                      const QProcessEnvironment *env = nullptr);

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
    // Writes a GIF of width x height filled with one colour (0xRRGGBB) and
    // with black as its second colour.
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

// LZW codes written by hand, least significant bit first, with the code
// width a decoder is expected to use at each point.
class GifCodes {
public:
    explicit GifCodes(int minCodeSize);
    // The clear code; the table and the code width start again.
    void clear();
    // The end-of-information code.
    void end();
    // A literal; after the first one each code defines a table entry.
    void literal(int index);
    // Any code, at the current width, defining nothing.
    void put(int code);
    // The next code a literal would define.
    int tableSize() const { return next_; }
    // The image data: code size byte, sub-blocks of at most 255, terminator.
    std::string blocks() const;

private:
    void reset();

    int min_;             // minimum code size
    int width_ = 0;       // bits per code now
    int next_ = 0;        // next table entry
    bool first_ = true;   // no literal since the last clear
    uint64_t bits_ = 0;   // bits not yet written out
    int count_ = 0;       // how many of bits_ count
    std::string bytes_;   // bytes written so far
};

// The one GIF builder of the tests: a GIF89a with one frame, built byte by
// byte, so that a test can make any file, broken ones included.
struct GifPicture {
    int width = 2, height = 2;  // logical screen
    // Global table, 0xRRGGBB each; its size must be a power of two from 2
    // to 256. Empty: no global table.
    std::vector<unsigned> colours = {0x204060, 0x000000};
    int background = 0;   // screen's background index
    int transparent = -1; // graphic control extension with this index, when >= 0
    int left = 0, top = 0;
    int frameWidth = -1, frameHeight = -1;  // -1: the screen's size
    std::vector<unsigned> localColours;     // the frame's own table, when not empty
    bool interlaced = false;
    std::string data = fourPixels();        // image data: code size, sub-blocks, terminator

    std::string bytes() const;

    // 3-bit codes: clear 0 0 clear 0 0 end, four pixels of colour 0.
    static std::string fourPixels() { return std::string{2, 3, 0x04, 0x08, 0x14, 0}; }
    // 3-bit codes: 7, beyond the table (6 would be the next entry), then end.
    static std::string beyondTheTable() { return std::string{2, 1, 0x2f, 0}; }
    // `count` pixels of colour 0, 3-bit codes throughout.
    static std::string solid(long count);
};

#endif
