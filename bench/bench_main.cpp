// vexil's benchmarks: engine load, tokenizer, key press with partial
// repaint, full repaint, hit test and heap allocations of the key state
// machine (Google Benchmark), then the start-up comparison with a bare
// dialog, and one table of targets and figures at the end.
//
//   vexil_bench [--startup-runs=N] [--repetitions=N] [--layouts=DIR]
//               [--benchmark_... flags]
//
// The layouts measured are the shipped ones (<exe dir>/../share/vexil), or
// the set in DIR. The table says which.
// The start-up probe finds a given set as the user's layouts, so a file
// missing from DIR is still taken from the shipped ones, as the program
// would. Exit status 1 when the key state machine allocates or a start-up
// probe fails.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/QVX_Board.h"
#include "base/VX_Log.h"
#include "base/VX_LogRedirect.h"
#include "bench/AllocCount.h"
#include "bench/StartupProbe.h"
#include "config/VX_Parser.h"
#include "engine/VX_Engine.h"
#include "image/VX_Image.h"

namespace {

constexpr size_t kTokenizerBytes = 1u << 20;  // tokenizer input: the set's layout files repeated
constexpr int kGridCols = 10;                 // hit test layout: 10 x 10 keys
constexpr int kGridRows = 10;
constexpr int kProbeTimeoutMs = 20000;
constexpr int kAllocRounds = 2000;            // operations per allocation count

// Targets.
constexpr double kStartupRatioMax = 1.15;
constexpr double kExtraMemoryMaxMiB = 4.0;
constexpr double kEngineLoadMaxMs = 10.0;
constexpr double kPressMaxUs = 50.0;
constexpr double kTokenizerMinMiBs = 100.0;

struct Setup {
    std::string exeDir;
    std::string tempDir;     // removed at the end
    std::string setDir;      // the layout set measured
    bool shipped = false;    // setDir holds the shipped layouts
    std::string dataHome;    // XDG_DATA_HOME for the window probe
    std::string bigFile;     // the tokenizer input
    size_t bigSize = 0;
    int boardWidth = 0;      // size of the first basic layout, given to the
    int boardHeight = 0;     // bare dialog's frame
    std::vector<std::string> loadLog;  // messages of the first load of the set
};

Setup gSetup;
FILE *gDevNull = nullptr;

// Median CPU time per iteration in seconds, and median counters, of every
// benchmark by its function name.
struct Result {
    double seconds = 0;
    std::map<std::string, double> counters;
};
std::map<std::string, Result> gResults;

class TableReporter : public benchmark::ConsoleReporter {
public:
    // Colours only for a terminal.
    TableReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.error_occurred || run.aggregate_name != "median")
                continue;
            Result r;
            r.seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            for (const auto &c : run.counters)
                r.counters[c.first] = c.second.value;
            gResults[run.run_name.function_name] = r;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string directoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool fileExists(const std::string &path) { return access(path.c_str(), R_OK) == 0; }

// Loads a whole set and decodes every picture of every layout, with the log
// sink pointed at `log` (null: nowhere).
std::unique_ptr<VX_Engine> loadSet(const std::string &dir, bool &ok, FILE *log = nullptr)
{
    VX_LogRedirect redirect(log ? log : gDevNull);
    auto engine = std::make_unique<VX_Engine>(std::vector<std::string>{dir});
    ok = engine->load();
    if (ok)
        engine->prepareAll();
    return engine;
}

std::vector<std::string> readLines(FILE *f)
{
    std::vector<std::string> lines;
    fflush(f);
    rewind(f);
    char line[1024];
    while (std::fgets(line, sizeof line, f)) {
        line[std::strcspn(line, "\n")] = '\0';
        lines.emplace_back(line);
    }
    return lines;
}

// The layout files of `setDir` (load.cfg and every <name>.cfg), one after
// the other and again, until at least `minBytes`: real layout text, long
// enough to time the tokenizer. Empty when the set has no such file.
std::string largeLayoutText(const std::string &setDir, size_t minBytes)
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(setDir))
        if (entry.path().extension() == ".cfg")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    std::string once;
    for (const std::string &file : files) {
        std::ifstream in(file, std::ios::binary);
        once.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!once.empty() && once.back() != '\n')
            once += '\n';
    }
    std::string text;
    while (!once.empty() && text.size() < minBytes)
        text += once;
    return text;
}

bool prepareFiles(std::string &error)
{
    char tmpl[] = "/tmp/vexil-bench-XXXXXX";
    if (!mkdtemp(tmpl)) {
        error = "mkdtemp failed";
        return false;
    }
    Setup &s = gSetup;
    s.tempDir = tmpl;
    std::filesystem::create_directories(s.tempDir + "/empty");

    const std::string shippedDir = s.exeDir + "/../share/vexil";
    s.shipped = s.setDir.empty() && fileExists(shippedDir + "/load.cfg");
    if (!s.setDir.empty()) {
        // A set of the caller's: the window probe finds it as the user's
        // layouts, $XDG_DATA_HOME/vexil.
        s.setDir = std::filesystem::absolute(s.setDir).string();
        s.dataHome = s.tempDir + "/given";
        std::filesystem::create_directories(s.dataHome);
        std::filesystem::create_directory_symlink(s.setDir, s.dataHome + "/vexil");
    } else if (s.shipped) {
        s.setDir = shippedDir;
        s.dataHome = s.tempDir + "/empty";  // no user layouts in the way
    } else {
        error = "no layout set: " + shippedDir + "/load.cfg is missing (build the layouts target, or "
                "give --layouts=DIR)";
        return false;
    }

    s.bigFile = s.tempDir + "/large.cfg";
    std::string text = largeLayoutText(s.setDir, kTokenizerBytes);
    if (text.empty()) {
        error = "no layout file in " + s.setDir;
        return false;
    }
    std::ofstream(s.bigFile, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    s.bigSize = text.size();

    FILE *log = tmpfile();
    bool ok = false;
    auto engine = loadSet(s.setDir, ok, log);
    if (ok) {
        s.boardWidth = engine->activeLayout()->width;
        s.boardHeight = engine->activeLayout()->height;
    }
    s.loadLog = readLines(log);
    fclose(log);
    if (!ok) {
        error = "the layout set in " + s.setDir + " does not load";
        return false;
    }
    return true;
}

// --- Key state machine helpers ---

struct KeyPoint {
    int32_t x = -1, y = -1;
};

KeyPoint centre(const VX_Key &k) { return {k.x + k.width / 2, k.y + k.height / 2}; }

// A key a user types on: pressable, drawn differently when pressed, and
// found by the hit test at its centre. Alpha keys first.
int32_t typingKey(const VX_Layout &layout)
{
    for (int pass = 0; pass < 2; ++pass)
        for (int32_t i = 0; i < layout.keyCount; ++i) {
            const VX_Key &k = layout.keys[i];
            if (pass == 0 && k.type != VX_KEY_ALPHA)
                continue;
            const VX_Image *released = k.pix[layout.mode][VX_PIX_RELEASED];
            const VX_Image *pressed = k.pix[layout.mode][VX_PIX_PRESSED];
            if (!released || !pressed || released == pressed)
                continue;
            KeyPoint c = centre(k);
            if (layout.hitTest(c.x, c.y) == i)
                return i;
        }
    return -1;
}

struct Board {
    std::unique_ptr<VX_Engine> engine;
    VX_Layout *layout = nullptr;
    KeyPoint a;     // centre of a typing key
    QImage canvas;  // stands for the board's pixels
};

bool openBoard(Board &board, const std::string &dir, std::string &error)
{
    bool ok = false;
    board.engine = loadSet(dir, ok);
    board.layout = ok ? board.engine->activeLayout() : nullptr;
    if (!board.layout) {
        error = "no active layout in " + dir;
        return false;
    }
    const int32_t key = typingKey(*board.layout);
    if (key < 0) {
        error = "no key with a pressed picture in " + dir;
        return false;
    }
    board.a = centre(board.layout->keys[key]);
    board.canvas = QImage(board.layout->width, board.layout->height, QImage::Format_RGB32);
    board.canvas.fill(Qt::black);
    QPainter painter(&board.canvas);
    board.layout->paint(painter);  // the first, full paint
    return true;
}

// Paints what the layout asks for, as the board's paint handler does: one
// painter per paint.
void paintBoard(Board &board)
{
    QPainter painter(&board.canvas);
    board.layout->paint(painter);
}

// --- Benchmarks ---

// Whole pictures the layouts show (backgrounds and the pictures their keys
// are cut from), each counted once.
size_t decodedPictures(const VX_Engine &engine)
{
    std::set<const QPixmap *> seen;
    for (const auto &row : engine.layouts)
        for (const auto &slot : row) {
            const VX_Layout *l = slot.get();
            if (!l)
                continue;
            if (l->background)
                seen.insert(l->background->rootPixmap());
            for (int32_t i = 0; i < l->keyCount; ++i)
                for (const auto &mode : l->keys[i].pix)
                    for (const VX_Image *p : mode)
                        if (p)
                            seen.insert(p->rootPixmap());
        }
    seen.erase(nullptr);
    return seen.size();
}

void BM_EngineLoad(benchmark::State &state)
{
    size_t pictures = 0;
    for (auto _ : state) {
        bool ok = false;
        auto engine = loadSet(gSetup.setDir, ok);
        state.PauseTiming();
        if (!ok) {
            state.SkipWithError("load failed");
            break;
        }
        pictures = decodedPictures(*engine);
        engine.reset();  // pictures belong to the engine: the next load decodes afresh
        state.ResumeTiming();
    }
    state.counters["pictures_used"] = static_cast<double>(pictures);
}

void BM_Tokenizer(benchmark::State &state)
{
    size_t tokens = 0;
    for (auto _ : state) {
        VX_Parser parser;
        if (!parser.open(gSetup.bigFile.c_str())) {
            state.SkipWithError("cannot open the tokenizer input");
            break;
        }
        VX_Token token;
        tokens = 0;
        while (parser.nextToken(token, VX_READ_ENTRIES) && token.kind != VX_TOKEN_END)
            ++tokens;
        if (token.kind != VX_TOKEN_END) {
            state.SkipWithError("the tokenizer failed");
            break;
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gSetup.bigSize));
    state.counters["tokens"] = static_cast<double>(tokens);
}

// One tap with draw-pressed: press, partial repaint, release, partial
// repaint.
void BM_PressReleaseRepaint(benchmark::State &state)
{
    Board board;
    std::string error;
    if (!openBoard(board, gSetup.setDir, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    VX_Layout &l = *board.layout;
    uint64_t allocations = 0;
    for (auto _ : state) {
        uint64_t before = allocationCount();
        l.press(board.a.x, board.a.y);
        paintBoard(board);
        l.release();
        paintBoard(board);
        allocations += allocationCount() - before;
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    state.counters["drawPressed"] = l.drawPressed;
}

// The largest layout of the set (board area, then key count), drawn whole.
void BM_FullRepaint(benchmark::State &state)
{
    bool ok = false;
    auto engine = loadSet(gSetup.setDir, ok);
    VX_Layout *largest = nullptr;
    engine->forEachLayout([&largest](int32_t, int32_t, VX_Layout &layout) {
        VX_Layout *l = &layout;
        if (!largest || l->width * l->height > largest->width * largest->height ||
            (l->width * l->height == largest->width * largest->height && l->keyCount > largest->keyCount))
            largest = l;
    });
    if (!largest) {
        state.SkipWithError("no layout");
        return;
    }
    QImage canvas(largest->width, largest->height, QImage::Format_RGB32);
    for (auto _ : state) {
        largest->fullRedraw = true;
        QPainter painter(&canvas);
        largest->paint(painter);
    }
    state.counters["keys"] = largest->keyCount;
    state.counters["pixels"] = largest->width * largest->height;
}

void BM_HitTest100(benchmark::State &state)
{
    // A grid of 40-pixel keys built in place: the hit test needs no file,
    // only keys with a released picture.
    VX_Engine engine;
    VX_Image picture;
    auto grid = std::make_unique<VX_Layout>(&engine);
    VX_Layout *l = grid.get();
    l->keyCount = kGridCols * kGridRows;
    l->keys.reset(new VX_Key[static_cast<size_t>(l->keyCount)]);
    l->width = kGridCols * 40;
    l->height = kGridRows * 40;
    for (int32_t i = 0; i < l->keyCount; ++i) {
        VX_Key &key = l->keys[i];
        key.type = VX_KEY_ALPHA;
        key.x = (i % kGridCols) * 40;
        key.y = (i / kGridCols) * 40;
        key.width = key.height = 40;
        key.pix[0][VX_PIX_RELEASED] = &picture;
    }
    // Points all over the board and a margin around it, hits and misses.
    std::vector<KeyPoint> points;
    uint32_t seed = 12345;
    for (int i = 0; i < 1024; ++i) {
        seed = seed * 1103515245u + 12345u;
        int32_t x = static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(l->width + 20)) - 10;
        seed = seed * 1103515245u + 12345u;
        int32_t y = static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(l->height + 20)) - 10;
        points.push_back({x, y});
    }
    size_t i = 0;
    for (auto _ : state) {
        const KeyPoint &p = points[i++ & 1023];
        benchmark::DoNotOptimize(l->hitTest(p.x, p.y));
    }
    state.counters["keys"] = l->keyCount;
}

// --- Allocations of the key state machine ---

struct AllocCounts {
    double press = 0, move = 0, release = 0, repeat = 0;
    bool zero() const { return press == 0 && move == 0 && release == 0 && repeat == 0; }
};

// The counter sees a malloc and an operator new (a zero count would
// otherwise prove nothing).
bool counterWorks()
{
    const uint64_t before = allocationCount();
    void *block = std::malloc(24);
    benchmark::DoNotOptimize(block);
    std::free(block);
    int *number = new int(7);
    benchmark::DoNotOptimize(number);
    delete number;
    return allocationCount() - before == 2;
}

// Allocations per call of each operation, over many calls, after one round
// to warm up. Every key of every layout takes its turn (multi-tap, caps,
// switch and link keys included): press at its centre, a move that stays on
// it, two repeat ticks, a slide onto the next key, release. Each call is
// counted on its own; the paint that serves the repaint requests is not.
bool countStateMachineAllocations(AllocCounts &counts, std::string &error)
{
    bool ok = false;
    auto engine = loadSet(gSetup.setDir, ok);
    if (!ok) {
        error = "the layout set does not load";
        return false;
    }
    QImage canvas(1024, 512, QImage::Format_RGB32);
    uint64_t press = 0, move = 0, release = 0, repeat = 0, calls = 0;
    auto counted = [](uint64_t &total, const std::function<void()> &op) {
        uint64_t before = allocationCount();
        op();
        total += allocationCount() - before;
    };
    const int rounds = kAllocRounds / 10;
    for (int round = -1; round < rounds; ++round)
        engine->forEachLayout([&](int32_t row, int32_t slot, VX_Layout &layout) {
            VX_Layout *l = &layout;
            for (int32_t i = 0; i < l->keyCount; ++i) {
                // Show this layout, as if the user had come here.
                engine->activeRow = row;
                engine->activeSlot = slot;
                const KeyPoint c = centre(l->keys[i]);
                const KeyPoint next = centre(l->keys[(i + 1) % l->keyCount]);
                uint64_t p = 0, m = 0, r = 0, t = 0;
                counted(p, [&] { l->press(c.x, c.y); });
                counted(m, [&] { l->move(c.x + 1, c.y); });
                counted(t, [&] { l->repeatStep(); });
                counted(t, [&] { l->repeatStep(); });
                counted(m, [&] { l->move(next.x, next.y); });
                counted(r, [&] { l->release(); });
                l->resetEnum();
                QPainter painter(&canvas);
                l->paint(painter);
                if (round >= 0) {
                    press += p;
                    move += m;
                    release += r;
                    repeat += t;
                    ++calls;
                }
            }
        });
    if (calls == 0) {
        error = "no keys to press";
        return false;
    }
    counts.press = static_cast<double>(press) / calls;
    counts.move = static_cast<double>(move) / (2.0 * calls);
    counts.release = static_cast<double>(release) / calls;
    counts.repeat = static_cast<double>(repeat) / (2.0 * calls);
    return true;
}

// The board widget with its mouse handlers callable, so that the toolkit's
// own event delivery is not counted.
class OpenBoard : public QVX_Board {
public:
    using QVX_Board::QVX_Board;
    using QVX_Board::mousePressEvent;
    using QVX_Board::mouseReleaseEvent;
};

// Allocations per press and per release in the board widget's handlers:
// the state machine plus what the widget adds around it (its timers, repaint
// requests). The events are built outside the counted part.
bool countBoardAllocations(double &perPress, double &perRelease, std::string &error)
{
    OpenBoard board(nullptr, std::vector<std::string>{gSetup.setDir});
    VX_Layout *l = nullptr;
    {
        VX_LogRedirect quiet(gDevNull);
        const bool ok = board.engine.load();
        l = ok ? board.engine.activeLayout() : nullptr;
        if (l)
            board.engine.preparePictures(*l);  // as the window does before showing it
    }
    const int32_t k = l ? typingKey(*l) : -1;
    if (k < 0) {
        error = "no typing key for the board widget";
        return false;
    }
    board.setFixedSize(l->width, l->height);
    const QPointF at(centre(l->keys[k]).x, centre(l->keys[k]).y);
    uint64_t press = 0, release = 0;
    for (int round = -1; round < kAllocRounds; ++round) {
        QMouseEvent down(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent up(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        uint64_t before = allocationCount();
        board.mousePressEvent(&down);
        uint64_t middle = allocationCount();
        board.mouseReleaseEvent(&up);
        uint64_t after = allocationCount();
        if (round >= 0) {
            press += middle - before;
            release += after - middle;
        }
    }
    perPress = static_cast<double>(press) / kAllocRounds;
    perRelease = static_cast<double>(release) / kAllocRounds;
    return true;
}

// --- Start-up ---

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct StartupFigures {
    double windowMs = 0, bareMs = 0;
    double windowMiB = 0, bareMiB = 0;
    int runs = 0;
    bool ok = false;
};

// Alternates the two probes, the order flipped every pair, after one
// discarded start of each.
StartupFigures measureStartup(int runs)
{
    StartupFigures f;
    const std::string window = gSetup.exeDir + "/vexil_bench_window";
    const std::string bare = gSetup.exeDir + "/vexil_bench_bare";
    std::vector<double> wMs, bMs, wKiB, bKiB;
    std::string error;
    StartupSample s;
    for (int i = -1; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const bool windowNow = (k == 0) == (i % 2 == 0);
            const std::vector<std::string> args =
                windowNow ? std::vector<std::string>{}
                          : std::vector<std::string>{std::to_string(gSetup.boardWidth),
                                                     std::to_string(gSetup.boardHeight)};
            if (!runStartupProbe(windowNow ? window : bare, args, gSetup.dataHome, kProbeTimeoutMs, s, error)) {
                std::fprintf(stderr, "start-up probe: %s\n", error.c_str());
                return f;
            }
            if (i < 0)
                continue;
            std::printf("start-up %-6s %7.1f ms %8ld KiB\n", windowNow ? "vexil" : "bare", s.milliseconds,
                        s.peakKiB);
            (windowNow ? wMs : bMs).push_back(s.milliseconds);
            (windowNow ? wKiB : bKiB).push_back(static_cast<double>(s.peakKiB));
        }
    }
    f.windowMs = median(wMs);
    f.bareMs = median(bMs);
    f.windowMiB = median(wKiB) / 1024.0;
    f.bareMiB = median(bKiB) / 1024.0;
    f.runs = runs;
    f.ok = true;
    return f;
}

// --- Report ---

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) {
            size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    return "unknown CPU";
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

const char *yesNo(bool met) { return met ? "yes" : "**no**"; }

void printTable(const StartupFigures &startup, const AllocCounts &allocs, bool allocsOk, double boardPress,
                double boardRelease, int repetitions)
{
    char date[64];
    time_t now = time(nullptr);
    strftime(date, sizeof date, "%Y-%m-%d %H:%M %Z", localtime(&now));
    std::printf("\n## vexil benchmarks\n\n");
    std::printf("Machine: %s, %ld cores online; %s; load average %s.\n", cpuModel().c_str(),
                sysconf(_SC_NPROCESSORS_ONLN), date, loadAverage().c_str());
    std::printf("Layouts: %s (%s).", gSetup.shipped ? "the shipped set" : "a given set",
                gSetup.setDir.c_str());
    for (const std::string &line : gSetup.loadLog)
        if (line.find("load complete") != std::string::npos)
            std::printf(" %s.", line.c_str());
    std::printf("\nTimes are medians of %d repetitions (CPU time); start-up is wall time, median of %d "
                "starts of each program, alternated.\n\n",
                repetitions, startup.runs);

    std::printf("| What | Target | Measured | Met? |\n|---|---|---|---|\n");
    if (startup.ok) {
        const double ratio = startup.windowMs / startup.bareMs;
        std::printf("| Process start to first full paint of the board, offscreen | <= %.2f x bare dialog | "
                    "%.1f ms vs bare %.1f ms = %.3f x | %s |\n",
                    kStartupRatioMax, startup.windowMs, startup.bareMs, ratio, yesNo(ratio <= kStartupRatioMax));
        const double extra = startup.windowMiB - startup.bareMiB;
        std::printf("| Peak resident memory after start-up | <= bare + %.0f MiB | %.1f MiB vs bare %.1f MiB "
                    "(%+.1f MiB) | %s |\n",
                    kExtraMemoryMaxMiB, startup.windowMiB, startup.bareMiB, extra,
                    yesNo(extra <= kExtraMemoryMaxMiB));
    } else {
        std::printf("| Start-up and peak memory | see targets | probe failed | **no** |\n");
    }
    auto row = [](const char *name, const char *what, const char *target, double scale, const char *unit,
                  double limit, bool atMost) {
        auto it = gResults.find(name);
        if (it == gResults.end()) {
            std::printf("| %s | %s | not run | **no** |\n", what, target);
            return;
        }
        double v = it->second.seconds * scale;
        std::printf("| %s | %s | %.*f %s | %s |\n", what, target, v < 10 ? 2 : 1, v, unit,
                    limit < 0 ? "-" : yesNo(atMost ? v <= limit : v >= limit));
    };
    row("BM_EngineLoad", "Engine load of the whole set (all files parsed, all pictures decoded)", "<= 10 ms median",
        1e3, "ms", kEngineLoadMaxMs, true);
    row("BM_PressReleaseRepaint", "One press, release and partial repaint of a key with draw-pressed",
        "<= 50 us median", 1e6, "us", kPressMaxUs, true);
    std::printf("| Heap allocations per press, move, release and repeat tick | zero | %.2f, %.2f, %.2f, %.2f | %s |\n",
                allocs.press, allocs.move, allocs.release, allocs.repeat, allocsOk ? yesNo(allocs.zero()) : "**no**");
    auto tok = gResults.find("BM_Tokenizer");
    if (tok != gResults.end()) {
        const double mibs = static_cast<double>(gSetup.bigSize) / tok->second.seconds / (1024.0 * 1024.0);
        std::printf("| Tokenizer on a generated %.2f MiB layout file | >= 100 MiB/s | %.0f MiB/s | %s |\n",
                    static_cast<double>(gSetup.bigSize) / (1024.0 * 1024.0), mibs, yesNo(mibs >= kTokenizerMinMiBs));
    } else {
        std::printf("| Tokenizer on a generated 1 MiB layout file | >= 100 MiB/s | not run | **no** |\n");
    }
    if (boardPress >= 0)
        std::printf("| Heap allocations per press and release in the board widget's handlers (no target) | - | %.2f, %.2f | - |\n",
                    boardPress, boardRelease);
    row("BM_FullRepaint", "Full repaint of the largest layout (no target)", "-", 1e6, "us", -1, true);
    row("BM_HitTest100", "Hit test on a 100-key layout (no target)", "-", 1e9, "ns", -1, true);
    std::printf("\n");
}

}  // namespace

int main(int argc, char **argv)
{
    int startupRuns = 30;
    int repetitions = 20;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--startup-runs=", 15) == 0)
            startupRuns = std::max(0, std::atoi(argv[i] + 15));
        else if (std::strncmp(argv[i], "--layouts=", 10) == 0)
            gSetup.setDir = argv[i] + 10;
        else if (std::strncmp(argv[i], "--repetitions=", 14) == 0)
            repetitions = std::max(1, std::atoi(argv[i] + 14));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    gSetup.exeDir = n > 0 ? directoryOf(std::string(exe, static_cast<size_t>(n))) : ".";
    gDevNull = std::fopen("/dev/null", "w");
    std::string error;
    if (!gDevNull || !prepareFiles(error)) {
        std::fprintf(stderr, "vexil_bench: %s\n", error.c_str());
        return 2;
    }

    auto add = [&](const char *name, void (*fn)(benchmark::State &), benchmark::TimeUnit unit) {
        benchmark::RegisterBenchmark(name, fn)
            ->Unit(unit)
            ->Repetitions(repetitions)
            ->ReportAggregatesOnly(true)
            ->MinTime(0.05);
    };
    add("BM_EngineLoad", BM_EngineLoad, benchmark::kMillisecond);
    add("BM_Tokenizer", BM_Tokenizer, benchmark::kMillisecond);
    add("BM_PressReleaseRepaint", BM_PressReleaseRepaint, benchmark::kMicrosecond);
    add("BM_FullRepaint", BM_FullRepaint, benchmark::kMicrosecond);
    add("BM_HitTest100", BM_HitTest100, benchmark::kNanosecond);

    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    AllocCounts allocs;
    bool allocsOk = counterWorks();
    if (!allocsOk)
        error = "the allocation counter does not see allocations";
    else
        allocsOk = countStateMachineAllocations(allocs, error);
    if (!allocsOk)
        std::fprintf(stderr, "vexil_bench: %s\n", error.c_str());
    else if (!allocs.zero())
        std::fprintf(stderr,
                     "vexil_bench: THE KEY STATE MACHINE ALLOCATES: per press %.2f, move %.2f, release %.2f, "
                     "repeat tick %.2f\n",
                     allocs.press, allocs.move, allocs.release, allocs.repeat);

    double boardPress = -1, boardRelease = -1;
    if (!countBoardAllocations(boardPress, boardRelease, error)) {
        std::fprintf(stderr, "vexil_bench: %s\n", error.c_str());
        boardPress = boardRelease = -1;
    }

    StartupFigures startup;
    if (startupRuns > 0)
        startup = measureStartup(startupRuns);
    printTable(startup, allocs, allocsOk, boardPress, boardRelease, repetitions);

    std::error_code ec;
    std::filesystem::remove_all(gSetup.tempDir, ec);
    const bool startupOk = startupRuns == 0 || startup.ok;
    return allocsOk && allocs.zero() && startupOk ? 0 : 1;
}
