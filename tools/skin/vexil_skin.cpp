// vexil-skin: draws the pictures of a layout and writes the sections that
// cut them.
//
//   vexil-skin [--write] [--default-bg] [--verbose] <dir>/<name>.cfg ...
//
// For every layout file it loads the layout with the keyboard's own loader
// (with the whole set of load.cfg first, so that links to aux layouts
// resolve), looking files up in <dir> and then where the keyboard looks (the
// user's folder, then the shipped layouts), and draws a released and a pressed picture of every key in every
// mode and writes the distinct ones, packed, to <dir>/<name>.gif. The board
// background is shared: bg.gif holds it for the colour most layouts of the
// set use, as large as the largest of their boards. A layout takes bg.gif
// ("pixmap default") when its board has that colour and bg.gif holds that
// background (--default-bg writes it, for the whole set, before any layout
// is pointed at it); otherwise it gets <dir>/<name>_bg.gif. The [Board] and
// [Pixs] sections that match are printed, or with --write put into the
// layout file.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/SearchDirs.h"
#include "base/VX_LogRedirect.h"
#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "tools/skin/GifWriter.h"
#include "tools/skin/Palette.h"
#include "tools/skin/SkinFile.h"
#include "tools/skin/SkinLabels.h"
#include "tools/skin/SkinSheet.h"

namespace {

struct Options {
    bool write = false;
    bool defaultBackground = false;
    bool verbose = false;
    std::vector<std::string> files;
};

// Holds what the loader writes, so that a successful run stays quiet about
// pictures that do not exist yet.
class LogBuffer {
public:
    LogBuffer() : file_(std::tmpfile()), redirect_(file_) {}
    ~LogBuffer()
    {
        redirect_.reset();  // the sink lets go of the file before it closes
        if (file_)
            std::fclose(file_);
    }
    LogBuffer(const LogBuffer &) = delete;
    LogBuffer &operator=(const LogBuffer &) = delete;

    void mark() { mark_ = file_ ? std::ftell(file_) : 0; }
    // Everything written since the last mark(), or since the start.
    std::string sinceMark() const { return readFrom(mark_); }
    std::string all() const { return readFrom(0); }

private:
    std::string readFrom(long start) const
    {
        if (!file_)
            return std::string();
        std::fflush(file_);
        const long end = std::ftell(file_);
        std::string text(static_cast<size_t>(end - start), '\0');
        std::fseek(file_, start, SEEK_SET);
        const size_t got = std::fread(&text[0], 1, text.size(), file_);
        text.resize(got);
        std::fseek(file_, end, SEEK_SET);
        return text;
    }

    FILE *file_;
    std::optional<VX_LogRedirect> redirect_;  // the sink on file_ (unchanged without one)
    long mark_ = 0;
};

bool readFile(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

bool writeFile(const std::string &path, const std::string &text)
{
    // Written beside the target and renamed over it, so a failed write never
    // leaves half a layout file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out.flush()) {
            std::remove(temp.c_str());
            return false;
        }
    }
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

bool saveGif(const QImage &image, const std::string &path)
{
    std::string error;
    if (writeGif(path, reduceToPalette(image), error))
        return true;
    std::fprintf(stderr, "vexil-skin: can't write '%s': %s\n", path.c_str(), error.c_str());
    return false;
}

// The layout named `name` as placed by the engine, or null.
VX_Layout *placedLayout(VX_Engine &engine, const std::string &name)
{
    return engine.layoutNamed(name.c_str());
}

QColor boardColour(const VX_Layout &layout) { return QColor(layout.red, layout.green, layout.blue); }

// A layout file named on the command line.
struct Job {
    std::string file;
    std::string dir;
    std::string name;
    std::string mark;  // the file's byte-order mark, kept when it is rewritten
    std::string text;  // the file's text after the mark
    SkinLabels labels;
    VX_Layout *layout = nullptr;
};

// Where the layouts of `folder` find their files: the folder itself, then
// the directories the keyboard searches, so that a layout in the user's
// folder links to the shipped aux layouts just as it does in the keyboard.
std::vector<std::string> searchDirsFor(const std::string &folder)
{
    std::vector<std::string> dirs{folder};
    for (const std::string &dir : platformSearchDirs()) {
        std::error_code error;
        if (!std::filesystem::equivalent(folder, dir, error))
            dirs.push_back(dir);
    }
    return dirs;
}

// One folder of layouts: the whole set of the load.cfg found for it, loaded
// as the keyboard loads it, plus the named layouts that load.cfg leaves out.
struct LayoutSet {
    explicit LayoutSet(const std::string &folder) : dir(folder), engine(searchDirsFor(folder)) {}

    // Every layout of the set, each once: basic layouts first, the one the
    // keyboard shows first at the front.
    std::vector<const VX_Layout *> members() const
    {
        std::vector<const VX_Layout *> all;
        engine.forEachLayout(
            [&all](int32_t, int32_t, const VX_Layout &layout) { all.push_back(&layout); });
        for (const auto &layout : alone)
            all.push_back(layout.get());
        return all;
    }

    std::string dir;
    VX_Engine engine;
    std::vector<std::unique_ptr<VX_Layout>> alone;
    // The background bg.gif holds for the set: the colour most of its
    // layouts use (on a tie the first basic layout's), as large as
    // the largest board of that colour, so that every layout of that colour
    // can take it. `shared` tells whether bg.gif holds it after this run.
    QColor colour;
    QSize size;
    bool shared = false;
};

void findSharedBackground(LayoutSet &set)
{
    const std::vector<const VX_Layout *> members = set.members();
    int bestCount = 0;
    for (const VX_Layout *candidate : members) {
        int count = 0;
        for (const VX_Layout *other : members)
            count += boardColour(*other) == boardColour(*candidate);
        if (count > bestCount) {
            bestCount = count;
            set.colour = boardColour(*candidate);
        }
    }
    set.size = QSize();
    for (const VX_Layout *layout : members)
        if (boardColour(*layout) == set.colour)
            set.size = set.size.expandedTo(QSize(layout->width, layout->height));
}

// Makes bg.gif the set's shared background (with --default-bg), or finds
// whether it already is.
bool settleSharedBackground(LayoutSet &set, const Options &options)
{
    set.shared = false;
    if (set.size.isEmpty())
        return true;
    const QImage wanted = SkinSheet::drawBackground(set.colour, set.size);
    const std::string path = set.dir + "/bg.gif";
    if (options.defaultBackground) {
        if (!saveGif(wanted, path))
            return false;
        set.shared = true;
        return true;
    }
    const QImage present(QString::fromStdString(path));
    set.shared = !present.isNull() && present.convertToFormat(QImage::Format_RGB32) == wanted;
    return true;
}

// A layout of the set that is not redrawn in this run but takes bg.gif while
// its board has another colour than the background just written there.
void warnAboutOthers(const LayoutSet &set, const std::vector<std::unique_ptr<Job>> &jobs)
{
    const VX_Image *shared = set.engine.boardPictures.first();
    if (!set.shared || !shared)
        return;
    for (const VX_Layout *layout : set.members()) {
        bool redrawn = false;
        for (const auto &job : jobs)
            redrawn = redrawn || job->layout == layout;
        if (!redrawn && layout->background == shared && boardColour(*layout) != set.colour)
            std::fprintf(stderr, "vexil-skin: %s/%s.cfg takes bg.gif, which no longer has its board colour; "
                                 "run vexil-skin on it too\n",
                         set.dir.c_str(), layout->displayName());
    }
}

// Reads a named layout file; false with the reason shown.
bool readJob(const std::string &file, Job &job)
{
    const size_t slash = file.rfind('/');
    job.file = file;
    job.dir = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    static const std::string kSuffix = ".cfg";
    if (base.size() <= kSuffix.size() || base.compare(base.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
        std::fprintf(stderr, "vexil-skin: '%s' is not a layout file (<name>.cfg)\n", file.c_str());
        return false;
    }
    job.name = base.substr(0, base.size() - kSuffix.size());
    if (!readFile(file, job.text)) {
        std::fprintf(stderr, "vexil-skin: can't read '%s'\n", file.c_str());
        return false;
    }
    if (job.text.compare(0, sizeof kUtf8ByteOrderMark - 1, kUtf8ByteOrderMark) == 0) {
        job.mark = kUtf8ByteOrderMark;
        job.text.erase(0, job.mark.size());
    }
    std::string error;
    if (!job.labels.read(job.text, error)) {
        std::fprintf(stderr, "vexil-skin: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Finds the job's layout in its set, loading it alone when load.cfg does not
// name it; false with the loader's messages shown.
bool placeJob(Job &job, LayoutSet &set, LogBuffer &log)
{
    job.layout = placedLayout(set.engine, job.name);
    for (const auto &layout : set.alone)
        if (!job.layout && job.name == layout->displayName())
            job.layout = layout.get();
    if (job.layout)
        return true;
    log.mark();
    auto alone = std::make_unique<VX_Layout>(&set.engine);
    if (!alone->load(job.name.c_str())) {
        std::fprintf(stderr, "vexil-skin: can't load layout '%s':\n%s", job.name.c_str(), log.sinceMark().c_str());
        return false;
    }
    // Its "@name" links find the aux layouts of the set, as in the keyboard.
    set.engine.settleNamedLinks(*alone);
    job.layout = alone.get();
    set.alone.push_back(std::move(alone));
    return true;
}

bool skinOne(const Job &job, const LayoutSet &set, const Options &options)
{
    const VX_Layout &layout = *job.layout;
    SkinSheet sheet;
    std::string error;
    if (!sheet.render(layout, job.labels, error)) {
        std::fprintf(stderr, "vexil-skin: %s: %s\n", job.file.c_str(), error.c_str());
        return false;
    }
    if (!sheet.warnings.empty())
        std::fprintf(stderr, "vexil-skin: %s:\n%s", job.file.c_str(), sheet.warnings.c_str());

    const bool shared = set.shared && boardColour(layout) == set.colour;
    const std::string ownBackground = job.dir + "/" + job.name + "_bg.gif";
    if (!saveGif(sheet.keys, job.dir + "/" + job.name + ".gif"))
        return false;
    if (!shared && !saveGif(sheet.background, ownBackground))
        return false;

    const std::string board = sheet.boardSection(layout, shared);
    const std::string pixs = sheet.pixsSection(layout);
    if (!options.write) {
        std::printf("%s\n%s", board.c_str(), pixs.c_str());
        return true;
    }
    const std::string updated = replaceSection(replaceSection(job.text, "Board", board), "Pixs", pixs);
    if (updated != job.text && !writeFile(job.file, job.mark + updated)) {
        std::fprintf(stderr, "vexil-skin: can't write '%s'\n", job.file.c_str());
        return false;
    }
    // The layout now takes bg.gif: a background of its own from an earlier
    // run would only lie there unused.
    if (shared)
        std::remove(ownBackground.c_str());
    return true;
}

void usage()
{
    std::fprintf(stderr,
                 "usage: vexil-skin [--write] [--default-bg] [--verbose] <dir>/<name>.cfg ...\n"
                 "  Draws <dir>/<name>.gif (the distinct key pictures, packed) and prints the\n"
                 "  [Board] and [Pixs] sections that use them. The board takes the set's shared\n"
                 "  background <dir>/bg.gif when it fits, otherwise <dir>/<name>_bg.gif.\n"
                 "  --write       put the sections into the layout file instead of printing them\n"
                 "  --default-bg  write <dir>/bg.gif, the background shared by the layouts of\n"
                 "                <dir>/load.cfg with the most common board colour\n"
                 "  --verbose     show the loader's messages\n"
                 "  Labels: a comment line '#label <key index> <text> [<text of mode 1>]'.\n");
}

}  // namespace

int main(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--write") {
            options.write = true;
        } else if (arg == "--default-bg") {
            options.defaultBackground = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "vexil-skin: unknown option '%s'\n", arg.c_str());
            usage();
            return 2;
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) {
        usage();
        return 2;
    }
    // Pictures need a GUI application, not a screen.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);

    // Every layout is placed in its folder's set first, so that the shared
    // background is settled once per folder, whatever the order of the
    // files, before any layout is pointed at it.
    LogBuffer log;
    bool ok = true;
    std::vector<std::unique_ptr<Job>> jobs;
    std::vector<std::unique_ptr<LayoutSet>> sets;
    std::vector<LayoutSet *> setOf;
    for (const std::string &file : options.files) {
        auto job = std::make_unique<Job>();
        if (!readJob(file, *job)) {
            ok = false;
            continue;
        }
        LayoutSet *set = nullptr;
        for (const auto &known : sets)
            if (known->dir == job->dir)
                set = known.get();
        if (!set) {
            sets.push_back(std::make_unique<LayoutSet>(job->dir));
            set = sets.back().get();
            set->engine.load();
        }
        if (!placeJob(*job, *set, log)) {
            ok = false;
            continue;
        }
        jobs.push_back(std::move(job));
        setOf.push_back(set);
    }
    if (options.verbose)
        std::fprintf(stderr, "%s", log.all().c_str());
    for (const auto &set : sets) {
        findSharedBackground(*set);
        ok = settleSharedBackground(*set, options) && ok;
        if (options.defaultBackground)
            warnAboutOthers(*set, jobs);
    }
    for (size_t i = 0; i < jobs.size(); ++i)
        ok = skinOne(*jobs[i], *setOf[i], options) && ok;
    return ok ? 0 : 1;
}
