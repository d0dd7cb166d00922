// The README's "Making a new layout", step by step, as a new user takes it:
// a home folder of their own with nothing in ~/.local/share/vexil, the
// built vexil-skin and vexil-check, and the shipped layouts of the build.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/TestSupport.h"

namespace {

// A basic layout in two modes with characters of one to three bytes, a
// link to the shipped digit layout and a switch key to the others.
const char kMine[] =
    "# my own layout\n"
    "#label 6 Mine\n"
    "[Common]\n"
    "type 0 keys 8 mode 2 bwid 40 bhei 40 draw-pressed 1 repeat-on 1\n"
    "[Layout]\n"
    "alpha alpha caps switch num bks space ent\n"
    "[Geometry]\n"
    "(4 4) (48 4) (92 4) (136 4) (180 4) (224 4) (268 4 60) (332 4)\n"
    "[Strings]\n"
    "( a\xC3\xA4 A\xC3\x84 ) ( \xC3\x9F\xE2\x82\xAC \xE1\xBA\x9E )\n"
    "[Board]\n"
    "wid 376 hei 48 color ( 40 44 52 )\n";

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(Authoring, ReadmeStepsWorkInAFreshHome)
{
    const char *binDir = std::getenv("VEXIL_BIN_DIR");
    ASSERT_NE(binDir, nullptr);
    const std::string shipped = std::string(binDir) + "/../share/vexil";
    ASSERT_TRUE(std::filesystem::exists(shipped + "/load.cfg")) << shipped;

    TempDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home.path()));
    env.remove("XDG_DATA_HOME");

    // 1. mkdir -p ~/.local/share/vexil and write <name>.cfg in it.
    const std::string folder = home.path() + "/.local/share/vexil";
    std::filesystem::create_directories(folder);
    home.write(".local/share/vexil/mine.cfg", kMine);

    // 2. cp build/share/vexil/load.cfg ~/.local/share/vexil/ and
    //    echo <name> >> ~/.local/share/vexil/load.cfg
    std::filesystem::copy_file(shipped + "/load.cfg", folder + "/load.cfg");
    std::ofstream(folder + "/load.cfg", std::ios::app) << "mine\n";

    // 3. build/bin/vexil-skin --write ~/.local/share/vexil/<name>.cfg
    const ProgramRun skin =
        runProgram("vexil-skin", {"--write", QString::fromStdString(folder + "/mine.cfg")}, &env);
    ASSERT_EQ(skin.exitCode, 0) << skin.out << skin.err;
    const std::string written = readFile(folder + "/mine.cfg");
    EXPECT_NE(written.find("[Pixs]"), std::string::npos) << written;
    EXPECT_NE(written.find("#label 6 Mine"), std::string::npos) << written;
    EXPECT_TRUE(std::filesystem::exists(folder + "/mine.gif"));

    // 4. build/bin/vexil-check with no argument loads what vexil loads: clean.
    const ProgramRun check = runProgram("vexil-check", {}, &env);
    EXPECT_EQ(check.exitCode, 0) << check.out;
    EXPECT_NE(check.out.find("mine: 8 keys"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("\nvexil-check: clean\n"), std::string::npos) << check.out;

    // 5. build/bin/vexil: the keyboard loads the new layout among the
    // shipped ones, and a clean start writes only the information lines.
    QProcess vexil;
    QProcessEnvironment windowEnv = env;
    windowEnv.insert("QT_QPA_PLATFORM", "offscreen");
    vexil.setProcessEnvironment(windowEnv);
    vexil.start(QString::fromStdString(std::string(binDir) + "/vexil"), {});
    ASSERT_TRUE(vexil.waitForStarted(30000));
    std::string out;
    QElapsedTimer clock;
    clock.start();
    while (out.find("VX_Engine: load complete") == std::string::npos && clock.elapsed() < 60000 &&
           vexil.state() == QProcess::Running) {
        vexil.waitForReadyRead(1000);
        out += vexil.readAllStandardOutput().toStdString();
    }
    vexil.kill();
    vexil.waitForFinished(30000);
    out += vexil.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find("VX_Layout: read 8 entries from [Layout] (mine)\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("VX_Engine: load complete - basic: 4, aux: 4\n"), std::string::npos) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.rfind("VX_Layout: read ", 0) == 0 ||
                    line.rfind("VX_Engine: load complete", 0) == 0)
            << line;
}
