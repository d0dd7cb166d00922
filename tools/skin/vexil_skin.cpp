// vexil-skin: draws the pictures of a layout and writes the sections that
// cut them.
//
//   vexil-skin [--write] [--default-bg] [--verbose] <dir>/<name>.cfg ...
//
// For every layout file it loads the layout with the keyboard's own loader
// (with the whole set of <dir>/load.cfg first, so that links to aux layouts
// resolve), draws a released and a pressed picture of every key in every
// mode, and writes <dir>/<name>.gif and <dir>/<name>_bg.gif. The [Board] and
// [Pixs] sections that match are printed, or with --write put into the
// layout file. --default-bg also writes <dir>/bg.gif, the background of
// layouts without one of their own, from this layout's background.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/VX_Log.h"
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
    LogBuffer() : file_(std::tmpfile()), saved_(vxLog.stream)
    {
        if (file_)
            vxLog.stream = file_;
    }
    ~LogBuffer()
    {
        vxLog.stream = saved_;
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
    FILE *saved_;
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
    for (int row = 0; row < VX_Engine::kRows; ++row)
        for (int slot = 0; slot < VX_Engine::kSlots; ++slot) {
            VX_Layout *layout = engine.layouts[row][slot].get();
            if (layout && name == layout->displayName())
                return layout;
        }
    return nullptr;
}

bool skinOne(const std::string &file, const Options &options)
{
    const size_t slash = file.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    static const std::string kSuffix = ".cfg";
    if (base.size() <= kSuffix.size() || base.compare(base.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
        std::fprintf(stderr, "vexil-skin: '%s' is not a layout file (<name>.cfg)\n", file.c_str());
        return false;
    }
    const std::string name = base.substr(0, base.size() - kSuffix.size());

    std::string text;
    if (!readFile(file, text)) {
        std::fprintf(stderr, "vexil-skin: can't read '%s'\n", file.c_str());
        return false;
    }
    SkinLabels labels;
    std::string error;
    if (!labels.read(text, error)) {
        std::fprintf(stderr, "vexil-skin: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }

    LogBuffer log;
    VX_Engine engine({dir});
    // The whole set first, so that links resolve and a switch key knows the
    // layout it leads to; a layout load.cfg does not name is loaded alone.
    const std::string list = dir + "/load.cfg";
    if (std::FILE *probe = std::fopen(list.c_str(), "r")) {
        std::fclose(probe);
        engine.load();
    }
    VX_Layout *layout = placedLayout(engine, name);
    std::unique_ptr<VX_Layout> alone;
    if (!layout) {
        log.mark();
        alone = std::make_unique<VX_Layout>(&engine);
        if (!alone->load(name.c_str())) {
            std::fprintf(stderr, "vexil-skin: can't load layout '%s':\n%s", name.c_str(), log.sinceMark().c_str());
            return false;
        }
        layout = alone.get();
    }
    if (options.verbose)
        std::fprintf(stderr, "%s", log.all().c_str());

    SkinSheet sheet;
    if (!sheet.render(*layout, labels, error)) {
        std::fprintf(stderr, "vexil-skin: %s: %s\n", file.c_str(), error.c_str());
        return false;
    }
    if (!sheet.warnings.empty())
        std::fprintf(stderr, "vexil-skin: %s:\n%s", file.c_str(), sheet.warnings.c_str());

    if (!saveGif(sheet.keys, dir + "/" + name + ".gif") || !saveGif(sheet.background, dir + "/" + name + "_bg.gif"))
        return false;
    if (options.defaultBackground && !saveGif(sheet.background, dir + "/bg.gif"))
        return false;

    const std::string board = sheet.boardSection(*layout);
    const std::string pixs = sheet.pixsSection(*layout);
    if (!options.write) {
        std::printf("%s\n%s", board.c_str(), pixs.c_str());
        return true;
    }
    const std::string updated = replaceSection(replaceSection(text, "Board", board), "Pixs", pixs);
    if (updated != text && !writeFile(file, updated)) {
        std::fprintf(stderr, "vexil-skin: can't write '%s'\n", file.c_str());
        return false;
    }
    return true;
}

void usage()
{
    std::fprintf(stderr,
                 "usage: vexil-skin [--write] [--default-bg] [--verbose] <dir>/<name>.cfg ...\n"
                 "  Draws <dir>/<name>.gif (key pictures) and <dir>/<name>_bg.gif (background)\n"
                 "  and prints the [Board] and [Pixs] sections that use them.\n"
                 "  --write       put the sections into the layout file instead of printing them\n"
                 "  --default-bg  also write <dir>/bg.gif from the layout's background\n"
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

    bool ok = true;
    for (const std::string &file : options.files)
        ok = skinOne(file, options) && ok;
    return ok ? 0 : 1;
}
