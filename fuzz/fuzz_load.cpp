// Fuzz target over the whole loading path. The input is split into files
// that land in a scratch directory, then an engine loads them exactly as the
// program does, every layout that loaded has its pictures decoded, and
// each is pressed and painted once.
//
// Input format (lines end with '\n'):
//   <load.cfg content>
//   %%<file name>
//   <content of that file, up to the line feed before the next %% line>
//   %%<file name>
//   ...
// A name that isSafeFileName() refuses drops its part. Pictures are parts
// too ("%%bg.gif", "%%kb.gif") whose content is raw bytes.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/VX_LogRedirect.h"
#include "engine/VX_Engine.h"
#include "fuzz/FuzzFiles.h"

namespace {

// Boards larger than this are not painted: the pixels would only measure
// the allocator, not our code.
constexpr int64_t kMaxPaintPixels = 512 * 512;

FuzzDir *scratch;
// Where the diagnostics of broken input go; null keeps them on standard output.
FILE *quietSink;

// Writes the parts of the input into the scratch directory.
void writeFiles(const uint8_t *data, size_t size)
{
    // A leading line feed lets a part header stand on the very first line.
    const std::string all = "\n" + std::string(reinterpret_cast<const char *>(data), size);
    const std::string marker = "\n%%";
    size_t at = all.find(marker);
    size_t listEnd = at == std::string::npos ? all.size() : at;
    scratch->write("load.cfg", data, listEnd - 1);
    while (at != std::string::npos) {
        size_t nameStart = at + marker.size();
        size_t nameEnd = all.find('\n', nameStart);
        if (nameEnd == std::string::npos)
            nameEnd = all.size();
        std::string name = all.substr(nameStart, nameEnd - nameStart);
        size_t bodyStart = nameEnd < all.size() ? nameEnd + 1 : all.size();
        size_t next = nameEnd < all.size() ? all.find(marker, nameEnd) : std::string::npos;
        size_t bodyEnd = next == std::string::npos ? all.size() : next;
        if (bodyEnd < bodyStart)
            bodyEnd = bodyStart;
        if (isSafeFileName(name) && name != "load.cfg")
            scratch->write(name, data + bodyStart - 1, bodyEnd - bodyStart);
        at = next;
    }
}

int32_t clampToInt32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Presses every key of a placed layout at its centre and lets it go, runs a
// repeat tick, then paints the whole board once.
void exercise(VX_Layout &layout)
{
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        int32_t px = clampToInt32(int64_t(key.x) + key.width / 2);
        int32_t py = clampToInt32(int64_t(key.y) + key.height / 2);
        layout.press(px, py);
        layout.repeatStep();
        layout.move(px, py);
        layout.release();
    }
    layout.resetEnum();
    int64_t pixels = int64_t(layout.width) * layout.height;
    if (layout.width > 0 && layout.height > 0 && pixels <= kMaxPaintPixels) {
        QImage board(layout.width, layout.height, QImage::Format_RGB32);
        QPainter painter(&board);
        layout.fullRedraw = true;
        layout.paint(painter);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Pictures need a QGuiApplication; the offscreen platform needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char arg0[] = "fuzz_load";
    static char *argv[] = {arg0, nullptr};
    new QGuiApplication(argc, argv);  // lives as long as the process
    scratch = new FuzzDir;
    // The diagnostics are expected output for broken input: keep them out of
    // the fuzzer's log unless VEXIL_FUZZ_LOG asks for them (replaying a case).
    if (!getenv("VEXIL_FUZZ_LOG"))
        quietSink = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    VX_LogRedirect quiet(quietSink);  // no sink: the log stays on standard output
    scratch->clear();
    writeFiles(data, size);
    VX_Engine engine({scratch->path()});
    if (engine.load()) {
        // Pictures are decoded before a layout is shown, as the window and
        // the board do.
        engine.prepareAll();
        engine.forEachLayout([](int32_t, int32_t, VX_Layout &layout) { exercise(layout); });
    }
    return 0;
}
