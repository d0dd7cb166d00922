// vexil-check as its users run it: the built program on layout sets written
// into a temporary directory, judged by its exit status, its lines and the
// pictures it draws.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/TestSupport.h"

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::vector<std::string> lines;
    bool has(const std::string &line) const
    {
        for (const std::string &l : lines)
            if (l == line)
                return true;
        return false;
    }
};

Result runCheck(const QStringList &args,
                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    Result result;
    const ProgramRun run = runProgram("vexil-check", args, &env);
    result.exitCode = run.exitCode;
    result.out = run.out;
    size_t start = 0;
    while (start < result.out.size()) {
        size_t nl = result.out.find('\n', start);
        if (nl == std::string::npos)
            nl = result.out.size();
        result.lines.push_back(result.out.substr(start, nl - start));
        start = nl + 1;
    }
    return result;
}

// The parts of one layout file; the defaults make a clean basic layout of
// two touching keys on a 20x10 board, cut from "<name>.gif" (20x20).
struct LayoutFile {
    std::string common = "keys 2 bwid 10 bhei 10";
    std::string words = "alpha space";
    std::string geometry = "(0 0) (10 0)";
    std::string strings = "abc";  // empty: no [Strings] section
    std::string board = "wid 20 hei 10";
    std::string pixs = "((0 0) (0 10))\n((10 0) (10 10))";

    std::string text() const
    {
        std::string t = "[Common]\n" + common + "\n[Layout]\n" + words + "\n[Geometry]\n" +
                        geometry + "\n";
        if (!strings.empty())
            t += "[Strings]\n" + strings + "\n";
        return t + "[Board]\n" + board + "\n[Pixs]\n" + pixs + "\n";
    }
};

// Writes load.cfg, "<name>.cfg" and "<name>.gif" for each layout, and bg.gif.
void writeSet(const TempDir &dir, const std::string &loadCfg,
              const std::vector<std::pair<std::string, LayoutFile>> &layouts)
{
    dir.write("load.cfg", loadCfg + "\n");
    dir.writeGif("bg.gif", 8, 8, 0x000000);
    for (const auto &entry : layouts) {
        dir.write(entry.first + ".cfg", entry.second.text());
        dir.writeGif(entry.first + ".gif", 20, 20, 0x808080);
    }
}

LayoutFile auxLayout()
{
    LayoutFile side;
    side.common += " type 1";
    side.words = "alpha switch";
    return side;
}

QRgb pixelAt(const std::string &file, int x, int y)
{
    QImage image(QString::fromStdString(file));
    EXPECT_FALSE(image.isNull()) << file;
    return image.isNull() ? 0 : QColor(image.pixel(x, y)).rgb();
}

}  // namespace

TEST(Check, ShippedSetIsClean)
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string layouts = std::string(source) + "/layouts";
    if (!std::filesystem::exists(layouts + "/load.cfg"))
        GTEST_SKIP() << "no shipped layout set in " << layouts;
    Result r = runCheck({QString::fromStdString(layouts)});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(r.has("vexil-check: clean")) << r.out;
}

// Each extra list ships for a user to copy to load.cfg in their own folder,
// where vexil-check (like the keyboard) finds it before the shipped one.
TEST(Check, EveryShippedListPickedByAUserIsClean)
{
    const char *source = std::getenv("VEXIL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    int lists = 0;
    for (const auto &entry : std::filesystem::directory_iterator(std::string(source) + "/layouts")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("load-", 0) != 0 || entry.path().extension() != ".cfg")
            continue;
        SCOPED_TRACE(name);
        ++lists;
        TempDir home;
        home.mkdir("vexil");
        std::filesystem::copy_file(entry.path(), home.file("vexil/load.cfg"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", QString::fromStdString(home.path()));
        Result r = runCheck({}, env);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_TRUE(r.has("vexil-check: clean")) << r.out;
        // English is the first basic layout of every set.
        EXPECT_NE(r.out.find("vexil-check: basic layouts: 4 (en: "), std::string::npos) << r.out;
    }
    EXPECT_GE(lists, 2);
}

TEST(Check, CleanSetEchoesTheLoadAndSumsUp)
{
    TempDir dir;
    writeSet(dir, "main", {{"main", LayoutFile()}});
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(r.has("VX_Layout: read 2 entries from [Layout] (main)")) << r.out;
    EXPECT_TRUE(r.has("VX_Engine: load complete - basic: 1, aux: 0")) << r.out;
    EXPECT_TRUE(r.has("vexil-check: basic layouts: 1 (main: 2 keys)")) << r.out;
    EXPECT_TRUE(r.has("vexil-check: aux layouts: 0")) << r.out;
    EXPECT_EQ(r.lines.back(), "vexil-check: clean");
}

TEST(Check, SwitchesAndLinksThatReachEveryLayoutAreClean)
{
    // The plain name links an aux layout listed before; "@side" one listed
    // anywhere.
    struct Case {
        const char *word;
        const char *list;
    } cases[] = {{"side", "side main other"}, {"@side", "side main other"}, {"@side", "main other side"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " with load.cfg " + c.list);
        TempDir dir;
        LayoutFile main;
        main.common = "keys 3 bwid 10 bhei 10";
        main.words = std::string("alpha switch ") + c.word;
        main.geometry = "(0 0) (10 0) (20 0)";
        main.board = "wid 30 hei 10";
        main.pixs = "((0 0)) ((10 0)) ((0 10))";
        LayoutFile other;
        other.words = "alpha switch";
        writeSet(dir, c.list, {{"side", auxLayout()}, {"main", main}, {"other", other}});
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_TRUE(r.has("vexil-check: basic layouts: 2 (main: 3 keys, other: 2 keys)")) << r.out;
        EXPECT_TRUE(r.has("vexil-check: aux layouts: 1 (side: 2 keys)")) << r.out;
        EXPECT_EQ(r.lines.back(), "vexil-check: clean") << r.out;
    }
}

TEST(Check, LinkKeysAreNamedByTheirTargetInEitherForm)
{
    // A link key that sticks out of the board, in each form.
    struct Case {
        const char *word;
        const char *list;
    } cases[] = {{"side", "side main"}, {"@side", "side main"}, {"@side", "main side"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " with load.cfg " + c.list);
        TempDir dir;
        LayoutFile main;
        main.words = std::string("alpha ") + c.word;
        main.geometry = "(0 0) (15 0)";
        main.pixs = "((0 0)) ((10 0))";
        writeSet(dir, c.list, {{"side", auxLayout()}, {"main", main}});
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(r.has("vexil-check: main: key 1 (side): at (15, 0) size 10x10, outside the 20x10 board"))
            << r.out;
        EXPECT_EQ(r.lines.back(), "vexil-check: 1 warning") << r.out;
    }
}

TEST(Check, NamedLinkWithoutItsTargetIsALoaderDiagnostic)
{
    // The set loads, but the dead key is reported as the keyboard reports it.
    TempDir dir;
    LayoutFile main;
    main.words = "alpha @side";
    writeSet(dir, "main", {{"main", main}});
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(r.has("VX_Engine: layout 'main': key 1 links to 'side', which is no loaded aux layout")) << r.out;
    EXPECT_TRUE(r.has("vexil-check: basic layouts: 1 (main: 2 keys)")) << r.out;
    EXPECT_EQ(r.lines.back(), "vexil-check: failed: 1 loader diagnostic") << r.out;
}

TEST(Check, WithoutDirectoryLooksWhereTheKeyboardLooks)
{
    TempDir home;
    TempDir dir;
    writeSet(dir, "mine", {{"mine", LayoutFile()}});
    std::filesystem::rename(dir.path(), home.path() + "/vexil");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString(home.path()));
    Result r = runCheck({}, env);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(r.has("vexil-check: basic layouts: 1 (mine: 2 keys)")) << r.out;
}

TEST(Check, StringsOfMixedCharacterLengthsAreClean)
{
    // ASCII beside two-, three- and four-byte characters, with either value
    // of "alpha": every string holds whole characters.
    for (const char *alpha : {"1", "2"}) {
        SCOPED_TRACE(alpha);
        TempDir dir;
        LayoutFile main;
        main.common += std::string(" mode 2 alpha ") + alpha;
        main.strings = "( a \xc3\x84\xe2\x82\xac\xf0\x9f\x98\x80 )";
        writeSet(dir, "main", {{"main", main}});
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.lines.back(), "vexil-check: clean") << r.out;
    }
}

// A key shown in one mode only, where another key stands in the other mode
// (a function key over a character), is neither lost nor overlapping.
TEST(Check, KeysThatTakeTurnsByModeAreClean)
{
    TempDir dir;
    LayoutFile main;
    main.common = "keys 3 bwid 10 bhei 10 mode 2";
    main.words = "alpha !F1 !Control_L";
    main.geometry = "(0 0) (0 0) (10 0)";
    main.strings = "( a a )";
    main.pixs = "((0 0) (0 10) | x x )\n( x x | (0 0) (0 10) )\n((10 0) (10 10) | (10 0) (10 10))";
    writeSet(dir, "main", {{"main", main}});
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.lines.back(), "vexil-check: clean") << r.out;
}

TEST(Check, EachFindingIsOneLineAndExitsOne)
{
    struct Case {
        const char *what;
        const char *loadCfg;
        std::function<void(LayoutFile &)> change;  // applied to "main"
        bool withOther;                            // a second basic layout
        bool withSide;                             // an aux layout "side"
        const char *line;
    };
    const Case cases[] = {
        {"key without a picture", "main", [](LayoutFile &f) { f.pixs = "((0 0)) ( x )"; }, false,
         false, "vexil-check: main: key 1 (space): no released picture in mode 0 (it can never be hit)"},
        {"second mode without a picture", "main",
         [](LayoutFile &f) {
             f.common += " mode 2";
             f.strings = "( abc ABC )";
             f.pixs = "((0 0) | x ) ((10 0))";
         },
         false, false,
         "vexil-check: main: key 0 (alpha): no released picture in mode 1 (it can never be hit)"},
        {"key outside the board", "main",
         [](LayoutFile &f) {
             f.geometry = "(0 0) (15 0)";
             f.pixs = "((0 0)) ((10 0))";
         },
         false, false,
         "vexil-check: main: key 1 (space): at (15, 0) size 10x10, outside the 20x10 board"},
        {"overlapping keys", "main", [](LayoutFile &f) { f.geometry = "(0 0) (5 0)"; }, false,
         false, "vexil-check: main: key 0 (alpha): overlaps key 1 (space)"},
        {"alpha key without characters", "main", [](LayoutFile &f) { f.strings = ""; }, false,
         false, "vexil-check: main: key 0 (alpha): alpha key without characters in mode 0"},
        {"switch key with one basic layout", "main",
         [](LayoutFile &f) { f.words = "alpha switch"; }, false, false,
         "vexil-check: main: key 1 (switch): switch key, but there is only one basic layout to "
         "switch to"},
        {"basic layout no switch reaches", "main other", [](LayoutFile &) {}, true, false,
         "vexil-check: other: no switch or link key reaches this layout"},
        {"aux layout no link reaches", "side main", [](LayoutFile &) {}, false, true,
         "vexil-check: side: no switch or link key reaches this layout"},
        {"a modifier with no key to go with", "main",
         [](LayoutFile &f) {
             f.words = "!Control_L label";
             f.strings = "";
         },
         false, false,
         "vexil-check: main: key 0 (!Control_L): a modifier, but no key of the set sends anything "
         "to go with it"},
        {"named keys overlapping in the mode they share", "main",
         [](LayoutFile &f) {
             f.words = "!Left !F5";
             f.strings = "";
             f.geometry = "(0 0) (5 0)";
         },
         false, false, "vexil-check: main: key 0 (!Left): overlaps key 1 (!F5)"},
        {"picture cut beyond its file", "main",
         [](LayoutFile &f) { f.pixs = "((0 0)) ((15 0))"; }, false, false,
         "vexil-check: main: key 1 (space): released picture in mode 0 is cut at (15, 0) size "
         "10x10, beyond the edge of 'main.gif' (20x20)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        LayoutFile main;
        c.change(main);
        std::vector<std::pair<std::string, LayoutFile>> layouts = {{"main", main}};
        if (c.withOther)
            layouts.push_back({"other", LayoutFile()});
        if (c.withSide) {
            // Its switch key leads back, so only its own reach is wrong.
            layouts.push_back({"side", auxLayout()});
        }
        writeSet(dir, c.loadCfg, layouts);
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(r.has(c.line)) << r.out;
        EXPECT_EQ(r.lines.back(), "vexil-check: 1 warning") << r.out;
    }
}

TEST(Check, PreviewsAreDrawnByTheBoardPainting)
{
    // Board 30x10, blue; key 1 (alpha) red released, green pressed, yellow
    // in mode 2; key 2 a red label, never pressed; x 20..29 is bare board.
    TempDir dir;
    LayoutFile main;
    main.common += " mode 2";
    main.words = "alpha label";
    main.strings = "( abc ABC )";
    main.board = "color ( 0 0 255 ) wid 30 hei 10";
    main.pixs = "( (0 0 red.gif ) (0 0 green.gif ) | (0 0 yellow.gif ) )\n( (0 0 red.gif ) )";
    writeSet(dir, "main", {{"main", main}});
    dir.writeGif("red.gif", 10, 10, 0xff0000);
    dir.writeGif("green.gif", 10, 10, 0x00ff00);
    dir.writeGif("yellow.gif", 10, 10, 0xffff00);
    const std::string out = dir.path() + "/previews/new";
    Result r = runCheck({"--preview", QString::fromStdString(out), QString::fromStdString(dir.path())});
    ASSERT_EQ(r.exitCode, 0) << r.out;

    struct Expect {
        const char *file;
        QRgb key1, key2, bare;
    };
    const Expect expects[] = {
        {"main-mode0.png", 0xffff0000, 0xffff0000, 0xff0000ff},
        {"main-mode0-pressed.png", 0xff00ff00, 0xffff0000, 0xff0000ff},
        {"main-mode1.png", 0xffffff00, 0xffff0000, 0xff0000ff},
        // The pressed slot of mode 1 falls back to its released picture.
        {"main-mode1-pressed.png", 0xffffff00, 0xffff0000, 0xff0000ff},
    };
    for (const Expect &e : expects) {
        SCOPED_TRACE(e.file);
        const std::string file = out + "/" + e.file;
        EXPECT_EQ(QImage(QString::fromStdString(file)).size(), QSize(30, 10));
        EXPECT_EQ(pixelAt(file, 0, 0), e.key1);
        EXPECT_EQ(pixelAt(file, 9, 9), e.key1);
        EXPECT_EQ(pixelAt(file, 15, 5), e.key2);
        EXPECT_EQ(pixelAt(file, 29, 9), e.bare);
    }
}

TEST(Check, UnpaintedPreviewPixelsStayTransparent)
{
    TempDir dir;
    LayoutFile main;
    main.board = "fill none wid 30 hei 10";
    writeSet(dir, "main", {{"main", main}});
    Result r = runCheck({"--preview", QString::fromStdString(dir.path() + "/p"),
                         QString::fromStdString(dir.path())});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    QImage image(QString::fromStdString(dir.path() + "/p/main-mode0.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(qAlpha(image.pixel(25, 5)), 0);
    EXPECT_EQ(qAlpha(image.pixel(5, 5)), 255);
}

// --- Failures ---

TEST(Check, SetsThatFailExitTwo)
{
    struct Case {
        const char *what;
        std::function<void(const TempDir &)> write;
        const char *line;  // a line the output must hold; may be empty
    };
    const Case cases[] = {
        {"no load.cfg", [](const TempDir &) {}, ""},
        {"only an aux layout",
         [](const TempDir &d) { writeSet(d, "side", {{"side", auxLayout()}}); },
         "VX_Engine: it seems to be no basic layout available"},
        {"one layout of two fails to load",
         [](const TempDir &d) {
             writeSet(d, "main broken", {{"main", LayoutFile()}});
             d.write("broken.cfg", "[Common]\nkeys 0\n");
         },
         "VX_Engine: loading layout 'broken' failed, remove it"},
        {"a message the loader goes on after",
         [](const TempDir &d) {
             LayoutFile main;
             main.board = "fill paint wid 20 hei 10";
             writeSet(d, "main", {{"main", main}});
         },
         ""},
        {"no bg.gif",
         [](const TempDir &d) {
             writeSet(d, "main", {{"main", LayoutFile()}});
             std::filesystem::remove(d.file("bg.gif"));
         },
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.write(dir);
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 2) << r.out;
        if (*c.line) {
            EXPECT_TRUE(r.has(c.line)) << r.out;
        }
        ASSERT_FALSE(r.lines.empty());
        EXPECT_EQ(r.lines.back().rfind("vexil-check: failed: ", 0), 0u) << r.out;
    }
}

TEST(Check, DamagedImageDataInIntactBlocksIsDrawnAndPasses)
{
    // Damaged data is drawn as far as it decodes, as the keyboard draws
    // it: the set checks exactly as it does with an intact picture.
    TempDir dir;
    writeSet(dir, "main side", {{"main", LayoutFile()}, {"side", auxLayout()}});
    const Result intact = runCheck({QString::fromStdString(dir.path())});
    GifPicture damaged;
    damaged.width = 20;
    damaged.height = 20;
    damaged.data = GifPicture::beyondTheTable();
    dir.write("side.gif", damaged.bytes());
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, intact.exitCode) << r.out;
    EXPECT_NE(r.exitCode, 2) << r.out;
    EXPECT_EQ(r.out.find("VX_Image"), std::string::npos) << r.out;
}

TEST(Check, CommandLinesItDoesNotUnderstandExitTwo)
{
    TempDir dir;
    writeSet(dir, "main", {{"main", LayoutFile()}});
    const QString set = QString::fromStdString(dir.path());
    const QStringList commandLines[] = {{"--preview"}, {"--colour", set}, {set, set}};
    for (const QStringList &args : commandLines) {
        SCOPED_TRACE(args.join(' ').toStdString());
        EXPECT_EQ(runCheck(args).exitCode, 2);
    }
}

TEST(Check, PreviewThatCannotBeWrittenFails)
{
    TempDir dir;
    writeSet(dir, "main", {{"main", LayoutFile()}});
    dir.write("file", "not a directory");
    Result r = runCheck({"--preview", QString::fromStdString(dir.file("file")),
                         QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 2) << r.out;
}

// --- Explanations after the loader's lines ---

namespace {

// Index of the first line equal to `line`, or -1.
int lineIndex(const Result &r, const std::string &line)
{
    for (size_t i = 0; i < r.lines.size(); ++i)
        if (r.lines[i] == line)
            return static_cast<int>(i);
    return -1;
}

}  // namespace

TEST(Check, MistakesTheLoaderLeavesOpenAreExplainedAfterItsLines)
{
    struct Case {
        const char *what;
        std::function<std::string(LayoutFile &)> text;  // the file "main.cfg"
        const char *loaderLine;   // the loader's own line, unchanged
        const char *explanation;  // after it; "<file>" is the file's path
    };
    const Case cases[] = {
        {"misspelt section header",
         [](LayoutFile &f) {
             std::string t = f.text();
             t.replace(t.find("[Geometry]"), 10, "[Geometrie]");
             return t;
         },
         "VX_Engine: loading layout 'main' failed, remove it",
         "vexil-check: <file>, line 5: [Geometrie] is no section; the sections are [Common], "
         "[Board], [Layout], [Geometry], [Strings] and [Pixs], written exactly so"},
        {"[Layout] one word short",
         [](LayoutFile &f) {
             f.words = "alpha";
             return f.text();
         },
         "VX_Layout: string expected (main.cfg, 5)",
         "vexil-check: <file>, line 5: [Layout] has 1 entry, and [Common] asks for 2 (keys 2): "
         "one entry for each key"},
        {"[Geometry] one entry short",
         [](LayoutFile &f) {
             f.geometry = "(0 0)";
             return f.text();
         },
         "VX_Layout: '(' expected (main.cfg, 7)",
         "vexil-check: <file>, line 7: [Geometry] has 1 entry, and [Common] asks for 2 (keys 2): "
         "one entry for each key"},
        {"[Strings] one alpha key short",
         [](LayoutFile &f) {
             f.words = "alpha alpha";
             return f.text();
         },
         "VX_Layout: string expected (main.cfg, 9)",
         "vexil-check: <file>, line 9: [Strings] has 1 entry, and [Layout] has 2 alpha keys: one "
         "entry for each"},
        {"[Strings] of two modes one alpha key short",
         [](LayoutFile &f) {
             f.common += " mode 2";
             f.words = "alpha alpha";
             f.strings = "( abc ABC )";
             return f.text();
         },
         "VX_Layout: '(' expected (main.cfg, 9)",
         "vexil-check: <file>, line 9: [Strings] has 1 entry, and [Layout] has 2 alpha keys: one "
         "entry for each"},
        {"[Pixs] one entry short at the end of the file",
         [](LayoutFile &f) {
             f.pixs = "((0 0) (0 10))";
             return f.text();
         },
         "VX_Layout: '(' expected (main.cfg, 12)",
         "vexil-check: <file>, line 12: [Pixs] has 1 entry, and [Common] asks for 2 (keys 2): "
         "one entry for each key"},
        {"[Geometry] with 15 entries for keys 16",
         [](LayoutFile &f) {
             f.common = "keys 16 bwid 1 bhei 10";
             f.words = "alpha space";
             f.geometry.clear();
             for (int i = 0; i < 15; ++i)
                 f.geometry += (i ? "\n(" : "(") + std::to_string(i) + " 0)";
             for (int i = 2; i < 16; ++i)
                 f.words += " space";
             return f.text();
         },
         "VX_Layout: '(' expected (main.cfg, 21)",
         "vexil-check: <file>, line 21: [Geometry] has 15 entries, and [Common] asks for 16 "
         "(keys 16): one entry for each key"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeSet(dir, "main", {{"main", LayoutFile()}});
        LayoutFile main;
        dir.write("main.cfg", c.text(main));
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, 2) << r.out;
        std::string explanation = c.explanation;
        explanation.replace(explanation.find("<file>"), 6, dir.file("main.cfg"));
        const int loader = lineIndex(r, c.loaderLine);
        const int failed = lineIndex(r, "VX_Engine: loading layout 'main' failed, remove it");
        const int explained = lineIndex(r, explanation);
        EXPECT_GE(loader, 0) << r.out;
        EXPECT_EQ(explained, failed + 1) << explanation << "\n" << r.out;
    }
}

TEST(Check, MistakesInsideAnEntryGetOnlyTheLoadersLine)
{
    // A wrong token inside the entries is the loader's to name: nothing is
    // missing, so there is no count to explain.
    TempDir dir;
    LayoutFile main;
    main.geometry = "(0 0) (a 0)";
    writeSet(dir, "main", {{"main", main}});
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_TRUE(r.has("VX_Layout: number expected (main.cfg, 6)")) << r.out;
    EXPECT_EQ(r.out.find("vexil-check: " + dir.path()), std::string::npos) << r.out;
}

TEST(Check, MissingKeyPictureIsSummedUpOnceForTheRequestsAndOnceForTheKeys)
{
    // Two keys of two pictures each, all from main.gif, which is missing:
    // the loader says so four times; vexil-check sums that up, and the
    // keys that can never be hit because of it in one more line.
    TempDir dir;
    LayoutFile main;
    main.words = "alpha bks";
    main.geometry = "(0 0) (10 0)";
    writeSet(dir, "main", {{"main", main}});
    std::filesystem::remove(dir.file("main.gif"));
    Result r = runCheck({QString::fromStdString(dir.path())});
    EXPECT_EQ(r.exitCode, 2) << r.out;
    const std::string missing = "VX_Engine: no 'main.gif' in ( " + dir.path() + " )";
    int requests = 0;
    for (const std::string &line : r.lines)
        requests += line == missing;
    EXPECT_EQ(requests, 4) << r.out;
    const int summary =
        lineIndex(r, "vexil-check: main: 4 requests for a picture of 'main.gif' got none, one "
                     "message each above");
    EXPECT_GT(summary, lineIndex(r, missing)) << r.out;
    EXPECT_TRUE(r.has("vexil-check: main: 2 keys can never be hit, since their released pictures "
                      "were to come from 'main.gif': keys 0-1"))
        << r.out;
    EXPECT_EQ(r.out.find("no released picture in mode"), std::string::npos) << r.out;
}

// vexil-panel's purpose file beside load.cfg: a layout only a field's
// purpose shows is reached; a line naming nothing loaded is named; a wrong
// line fails the check with the loader's positioned line.
TEST(Check, ThePurposeFileBesideTheListIsChecked)
{
    struct Case {
        const char *purpose;  // load.purpose; null: none
        int exitCode;
        const char *line;  // a line the output must hold
    };
    const Case cases[] = {
        {nullptr, 1, "vexil-check: side: no switch or link key reaches this layout"},
        {"digits side\n", 0, "vexil-check: clean"},
        {"# comment\nphone nothere side\n", 0, "vexil-check: clean"},
        {"digits side\nphone nothere other\n", 0,
         "vexil-check: purpose 'phone': none of its layouts (nothere, other) is loaded, such fields keep the "
         "layout shown"},
        {"digits side\ndigit side\n", 2, "VX_Purpose: unknown purpose 'digit' (load.purpose, 2)"},
        {"digits\n", 2, "VX_Purpose: purpose 'digits' names no layout (load.purpose, 1)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.purpose ? c.purpose : "(no purpose file)");
        TempDir dir;
        writeSet(dir, "side main", {{"main", LayoutFile()}, {"side", auxLayout()}});
        if (c.purpose)
            dir.write("load.purpose", c.purpose);
        Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_TRUE(r.has(c.line)) << r.out;
    }
}

// vexil-panel's additions: each layout's file of alternates is read and
// checked, and --preview draws the popup of every key that has some.
TEST(Check, AlternatesFilesAreCheckedAndTheirPopupsPreviewed)
{
    struct Case {
        const char *alt;      // main.alt; null: none
        int exitCode;
        const char *line;     // a line the output must hold
    } cases[] = {
        {nullptr, 0, "vexil-check: clean"},
        {"a x y\n", 0, "vexil-check: clean"},
        {"abc x\n", 0, "vexil-check: clean"},  // the multi-tap key's whole string
        {"# mine\nq x\n", 1, "vexil-check: main: main.alt, line 2: no key has the string 'q'"},
        {"a x\na y\n", 2, "VX_Alternates: 'a' is given twice (main.alt, 2)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.alt ? c.alt : "(none)");
        TempDir dir;
        writeSet(dir, "main", {{"main", LayoutFile()}});
        if (c.alt)
            dir.write("main.alt", c.alt);
        const Result r = runCheck({QString::fromStdString(dir.path())});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_TRUE(r.has(c.line)) << r.out;
    }

    // The popup sheet: key "abc" (a multi-tap key: a b c, then à á ...)
    // beside its popup, the key's board colour around them.
    TempDir dir;
    LayoutFile main;
    main.board = "color ( 0 0 255 ) wid 20 hei 10";
    writeSet(dir, "main", {{"main", main}});
    dir.write("main.alt", "abc x y\n");
    const std::string out = dir.path() + "/p";
    const Result r = runCheck({"--preview", QString::fromStdString(out), QString::fromStdString(dir.path())});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const QImage sheet(QString::fromStdString(out + "/main-mode0-alternates.png"));
    ASSERT_FALSE(sheet.isNull());
    // Margin, key (10), margin, two cells of 10 as the 20-pixel board holds
    // them, margin.
    EXPECT_EQ(sheet.size(), QSize(8 + 10 + 8 + 20 + 8, 8 + 10 + 8));
    EXPECT_EQ(QColor(sheet.pixel(2, 2)).rgb(), 0xff0000ffu) << "the board's colour";
    EXPECT_EQ(QColor(sheet.pixel(12, 12)).rgb(), 0xff808080u) << "the key's picture";
    EXPECT_FALSE(std::filesystem::exists(out + "/main-mode0-alternates.png.tmp"));
}
