// vexil-check [--preview OUTDIR] [DIR]: loads the layout set in DIR (by
// default where the keyboard looks) exactly as the keyboard does, then
// reports what an author would want to hear about and sums the set up.
// Exit status: 0 clean, 1 loaded with warnings, 2 failed.
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/SearchDirs.h"
#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "purpose/VX_PurposeTable.h"
#include "tools/check/VX_Checker.h"
#include "tools/check/VX_LoadReport.h"
#include "tools/check/VX_Preview.h"

namespace {

enum { kExitClean = 0, kExitWarnings = 1, kExitFailed = 2 };

const char kUsage[] =
    "usage: vexil-check [--preview OUTDIR] [DIR]\n"
    "  DIR      the layout set to check (default: where vexil looks)\n"
    "  OUTDIR   where to write a PNG of every layout in every mode\n";

struct Options {
    std::string dir;         // empty: the keyboard's own search table
    std::string previewDir;  // empty: no previews
};

// False (after a message on standard error) for a command line that is not
// understood.
bool parseOptions(int argc, char **argv, Options &options, bool &help)
{
    help = false;
    bool haveDir = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            help = true;
            return true;
        }
        if (std::strcmp(arg, "--preview") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "vexil-check: --preview needs a directory\n");
                return false;
            }
            options.previewDir = argv[++i];
        } else if (std::strncmp(arg, "--preview=", 10) == 0 && arg[10] != '\0') {
            options.previewDir = arg + 10;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "vexil-check: unknown option '%s'\n", arg);
            return false;
        } else if (haveDir) {
            std::fprintf(stderr, "vexil-check: only one layout directory, please\n");
            return false;
        } else {
            options.dir = arg;
            haveDir = true;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    bool help = false;
    if (!parseOptions(argc, argv, options, help)) {
        std::fputs(kUsage, stderr);
        return kExitFailed;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitClean;
    }

    // Pictures need the GUI application, never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The toolkit sees no option of ours.
    int appArgc = 1;
    char *appArgv[] = {argv[0], nullptr};
    QGuiApplication app(appArgc, appArgv);

    VX_Engine engine(options.dir.empty() ? platformSearchDirs()
                                         : std::vector<std::string>{options.dir});
    VX_LoadReport report;
    report.run(engine);

    // vexil-panel's purpose file beside the load list, when the set has one.
    VX_PurposeTable purposes;
    const std::string purposeFile = VX_PurposeTable::find(engine.searchDirs, "load.cfg");
    const bool purposesRead = purposeFile.empty() || purposes.load(purposeFile.c_str());

    VX_Checker checker(engine, &report.explainer);
    if (!purposeFile.empty() && purposesRead)
        checker.setPurposes(&purposes);
    if (report.loaded)
        checker.run();

    bool previewsWritten = true;
    if (report.loaded && !options.previewDir.empty())
        previewsWritten = VX_Preview(engine, options.previewDir).writeAll();

    checker.summary();
    if (!report.loaded) {
        vxLog.print("vexil-check: failed: the set does not load\n");
        return kExitFailed;
    }
    if (report.diagnostics > 0) {
        vxLog.print("vexil-check: failed: %llu loader diagnostic%s\n",
                    static_cast<unsigned long long>(report.diagnostics),
                    report.diagnostics == 1 ? "" : "s");
        return kExitFailed;
    }
    if (!purposesRead) {
        vxLog.print("vexil-check: failed: the purpose file %s does not load\n", purposeFile.c_str());
        return kExitFailed;
    }
    if (!previewsWritten) {
        vxLog.print("vexil-check: failed: the previews are not complete\n");
        return kExitFailed;
    }
    if (checker.warnings() > 0) {
        vxLog.print("vexil-check: %d warning%s\n", checker.warnings(),
                    checker.warnings() == 1 ? "" : "s");
        return kExitWarnings;
    }
    vxLog.print("vexil-check: clean\n");
    return kExitClean;
}
