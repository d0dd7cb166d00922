// Every command of the README and of docs/developers.md, as written, in the
// order a reader meets them: each line of a ```sh block runs in a folder
// shaped like this checkout after `make build` (build/ and layouts/), with
// a home folder of its own and an Xvfb for the panel. A command that fails,
// a panel command whose panel does not come up or does not end cleanly,
// and a test command that runs no test fail the test, naming the file, the
// line and the command.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/TestSupport.h"
#include "tests/XSession.h"

namespace {

// One command line of a ```sh block.
struct Command {
    std::string file;  // the Markdown file, relative to the checkout
    int line = 0;      // its line there, from 1
    std::string text;  // without indentation and without a trailing "  # comment"
};

std::string where(const Command &c)
{
    return c.file + ":" + std::to_string(c.line) + ": " + c.text;
}

std::vector<Command> commandsOf(const std::string &sourceDir, const std::string &file)
{
    std::vector<Command> commands;
    std::ifstream in(sourceDir + "/" + file);
    bool inBlock = false;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const size_t start = line.find_first_not_of(' ');
        const std::string text = start == std::string::npos ? std::string() : line.substr(start);
        if (text.rfind("```", 0) == 0) {
            inBlock = !inBlock && text == "```sh";
            continue;
        }
        if (!inBlock || text.empty())
            continue;
        std::string command = text;
        const size_t comment = command.find("  #");
        if (comment != std::string::npos)
            command.erase(comment);
        while (!command.empty() && command.back() == ' ')
            command.pop_back();
        commands.push_back({file, number, command});
    }
    return commands;
}

// How a command is run, by what it starts.
enum class Kind {
    NotRun,        // make: installs packages and builds; the suite itself runs under it
    Window,        // vexil's window, offscreen, until its layouts are loaded
    Panel,         // a panel that runs until it is ended
    PanelControl,  // tells a running panel something and exits
    Shell,         // runs to its end with status 0
};

Kind kindOf(const std::string &command)
{
    if (command.rfind("make ", 0) == 0 || command == "make")
        return Kind::NotRun;
    if (command == "build/bin/vexil")
        return Kind::Window;
    if (command.rfind("build/bin/vexil-panel", 0) == 0 &&
        (command.size() == 21 || command[21] == ' ')) {
        for (const char *once : {"--toggle", "--show", "--hide", "--status"})
            if (command.find(once) != std::string::npos)
                return Kind::PanelControl;
        for (const char *once : {"--list-sets", "--help"})
            if (command.find(once) != std::string::npos)
                return Kind::Shell;
        return Kind::Panel;
    }
    return Kind::Shell;
}

// A layout file the README tells its reader to write by hand before the
// commands that use it: a basic layout with a link to the shipped digits.
const char kMine[] =
    "#label 6 Mine\n"
    "[Common]\n"
    "type 0 keys 8 mode 2 bwid 40 bhei 40 draw-pressed 1 repeat-on 1\n"
    "[Layout]\n"
    "alpha alpha caps switch @num bks space ent\n"
    "[Geometry]\n"
    "(4 4) (48 4) (92 4) (136 4) (180 4) (224 4) (268 4 60) (332 4)\n"
    "[Strings]\n"
    "( a\xC3\xA4 A\xC3\x84 ) ( \xC3\x9F\xE2\x82\xAC \xE1\xBA\x9E )\n"
    "[Board]\n"
    "wid 376 hei 48 color ( 40 44 52 )\n";

struct Outcome {
    bool finished = false;  // ended by itself within the time
    int exitCode = -1;
    std::string out;        // standard output and error, merged
};

// The checkout-shaped folder, its home and X server, and the runs.
class Reader {
public:
    Reader(const std::string &buildDir, const std::string &sourceDir, const std::string &display)
        : buildDir_(buildDir), sourceDir_(sourceDir)
    {
        std::filesystem::create_directory_symlink(buildDir, dir_.path() + "/build");
        std::filesystem::copy(sourceDir + "/layouts", dir_.path() + "/layouts");
        home_ = dir_.mkdir("home");
        runtime_ = dir_.mkdir("run");
        std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", QString::fromStdString(home_));
        env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_));
        env_.insert("DISPLAY", QString::fromStdString(display));
        for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env_.remove(name);
    }

    // The command with the prefix the README assumes (/usr/local) replaced
    // by a fresh install of this build, made on first need.
    std::string withPrefix(std::string command)
    {
        const std::string usrLocal = "/usr/local";
        const size_t at = command.find(usrLocal);
        if (at == std::string::npos)
            return command;
        if (prefix_.empty()) {
            prefix_ = dir_.path() + "/prefix";
            bool ok = false;
            const std::string log = shell("cmake --install '" + buildDir_ + "' --prefix '" + prefix_ + "' 2>&1", &ok);
            EXPECT_TRUE(ok) << log;
        }
        return command.replace(at, usrLocal.size(), prefix_);
    }

    // What the reader writes by hand before `command`.
    void writeFilesFor(const std::string &command)
    {
        const std::string mine = "~/.local/share/vexil/mine.cfg";
        if (command.find(mine) != std::string::npos &&
            !std::filesystem::exists(home_ + "/.local/share/vexil/mine.cfg")) {
            std::filesystem::create_directories(home_ + "/.local/share/vexil");
            std::ofstream(home_ + "/.local/share/vexil/mine.cfg", std::ios::binary) << kMine;
        }
    }

    // Runs `command` through sh in the folder until it ends or `ms` pass.
    Outcome run(const std::string &command, int ms = 120000, const QProcessEnvironment *env = nullptr)
    {
        QProcess process;
        start(process, command, env);
        Outcome outcome;
        outcome.finished = process.waitForFinished(ms);
        if (!outcome.finished) {
            process.kill();
            process.waitForFinished(10000);
        }
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.out = process.readAll().toStdString();
        return outcome;
    }

    // Starts `command` as a panel, waits until it answers --show (so it is
    // up and owns the display), runs `whileUp` if given, ends it with
    // SIGTERM and expects it to end with status 0.
    void runPanel(const Command &c, const std::string &command, const std::string &whileUp = std::string())
    {
        QProcess panel;
        start(panel, "exec " + command, nullptr);
        QElapsedTimer clock;
        clock.start();
        bool up = false;
        while (!up && clock.elapsed() < 30000 && panel.state() == QProcess::Running) {
            up = run("build/bin/vexil-panel --show", 10000).exitCode == 0;
            if (!up)
                QThread::msleep(200);
        }
        EXPECT_TRUE(up) << where(c) << ": the panel did not come up (a command that tells a running panel "
                           "something and exits belongs in kindOf's lists)\n"
                        << panel.readAll().toStdString();
        // The panel answers its control socket while it still loads its
        // layouts: a signal then would rightly stop the load, so wait for it.
        std::string out;
        while (up && clock.elapsed() < 60000 && panel.state() == QProcess::Running &&
               out.find("VX_Engine: load complete") == std::string::npos) {
            panel.waitForReadyRead(200);
            out += panel.readAll().toStdString();
        }
        if (up && !whileUp.empty()) {
            const Outcome control = run(whileUp, 30000);
            EXPECT_EQ(control.exitCode, 0) << where(c) << "\n" << control.out;
        }
        panel.terminate();
        if (!panel.waitForFinished(15000)) {
            panel.kill();
            panel.waitForFinished(10000);
        }
        out += panel.readAll().toStdString();
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << where(c) << "\n" << out;
        EXPECT_EQ(panel.exitCode(), 0) << where(c) << "\n" << out;
        EXPECT_NE(out.find("VX_Engine: load complete"), std::string::npos) << where(c) << "\n" << out;
    }

    // vexil's window, offscreen, until its layouts are loaded: a clean
    // start writes only the information lines.
    void runWindow(const Command &c, const std::string &command)
    {
        QProcessEnvironment offscreen = env_;
        offscreen.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess window;
        start(window, "exec " + command, &offscreen);
        std::string out;
        QElapsedTimer clock;
        clock.start();
        while (out.find("VX_Engine: load complete") == std::string::npos && clock.elapsed() < 60000 &&
               window.state() == QProcess::Running) {
            window.waitForReadyRead(1000);
            out += window.readAll().toStdString();
        }
        window.kill();
        window.waitForFinished(10000);
        out += window.readAll().toStdString();
        ASSERT_NE(out.find("VX_Engine: load complete"), std::string::npos) << where(c) << "\n" << out;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.rfind("VX_Layout: read ", 0) == 0 || line.rfind("VX_Engine: load complete", 0) == 0)
                << where(c) << ": " << line;
    }

private:
    void start(QProcess &process, const std::string &command, const QProcessEnvironment *env)
    {
        process.setProcessEnvironment(env ? *env : env_);
        process.setWorkingDirectory(QString::fromStdString(dir_.path()));
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("/bin/sh", {"-c", QString::fromStdString(command)});
        ASSERT_TRUE(process.waitForStarted(10000)) << command;
    }

    TempDir dir_;            // build -> the build, layouts/ a copy, home/, run/, prefix/
    std::string buildDir_;   // the build folder (bin/'s parent)
    std::string sourceDir_;  // the checkout
    std::string home_;       // $HOME of every command
    std::string runtime_;    // $XDG_RUNTIME_DIR of every command, 0700
    std::string prefix_;     // where this build was installed; empty until needed
    QProcessEnvironment env_;
};

// A command that runs tests must run at least one: gtest's summary or
// ctest's count.
bool ranNoTest(const std::string &command, const std::string &out)
{
    const bool gtest = command.find("/test_") != std::string::npos;
    const bool ctest = command.find("ctest") != std::string::npos;
    if (!gtest && !ctest)
        return false;
    std::smatch match;
    if (gtest && std::regex_search(out, match, std::regex(R"(\[  PASSED  \] (\d+) test)")))
        return std::stoi(match[1]) == 0;
    if (ctest && std::regex_search(out, match, std::regex(R"(tests passed, \d+ tests failed out of (\d+))")))
        return std::stoi(match[1]) == 0;
    return true;
}

void readAndRun(const std::string &file, size_t atLeast)
{
    ensureApp();
    const std::string bin = binDir();
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::vector<Command> commands = commandsOf(source, file);
    ASSERT_GE(commands.size(), atLeast) << file << ": fewer commands than it has";

    Child server;
    std::string display;
    ASSERT_TRUE(startXvfb(server, display));
    Reader reader(std::filesystem::path(bin).parent_path().string(), source, display);

    for (const Command &c : commands) {
        SCOPED_TRACE(where(c));
        const std::string command = reader.withPrefix(c.text);
        reader.writeFilesFor(command);
        switch (kindOf(c.text)) {
        case Kind::NotRun:
            break;
        case Kind::Window:
            reader.runWindow(c, command);
            break;
        case Kind::Panel:
            reader.runPanel(c, command);
            break;
        case Kind::PanelControl:
            reader.runPanel(c, "build/bin/vexil-panel", command);
            break;
        case Kind::Shell: {
            const Outcome outcome = reader.run(command);
            EXPECT_TRUE(outcome.finished) << where(c) << ": still running after 120 s\n" << outcome.out;
            EXPECT_EQ(outcome.exitCode, 0) << where(c) << "\n" << outcome.out;
            EXPECT_FALSE(ranNoTest(command, outcome.out)) << where(c) << ": runs no test\n" << outcome.out;
            break;
        }
        }
    }
}

}  // namespace

TEST(Readme, ATestCommandMustRunATest)
{
    const struct {
        const char *command;
        const char *out;
        bool noTest;
    } cases[] = {
        {"build/bin/test_parser --gtest_filter='Parser.*'", "[==========] 0 tests from 0 test suites ran.\n[  PASSED  ] 0 tests.\n", true},
        {"build/bin/test_parser --gtest_filter='VX_Parser.*'", "[  PASSED  ] 8 tests.\n", false},
        {"cd build && ctest -R Parser", "No tests were found!!!\n", true},
        {"cd build && ctest -R VX_Parser", "100% tests passed, 0 tests failed out of 8\n", false},
        {"build/bin/vexil-check", "vexil-check: clean\n", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ranNoTest(c.command, c.out), c.noTest) << c.command << "\n" << c.out;
}

TEST(Readme, EveryCommandRunsAsWritten)
{
    readAndRun("README.md", 20);
}

TEST(Readme, EveryCommandOfTheDeveloperNotesRunsAsWritten)
{
    readAndRun("docs/developers.md", 2);
}
