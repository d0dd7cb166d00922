// vexil-skin run as a program on layout files the test writes, its output
// loaded back with the keyboard's own engine.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "image/VX_Image.h"
#include "tests/TestSupport.h"

namespace {

struct SkinRun {
    int status;
    std::string output;  // stdout and stderr
};

SkinRun skin(const std::string &arguments)
{
    const char *bin = std::getenv("VEXIL_BIN_DIR");
    const std::string command = std::string(bin ? bin : ".") + "/vexil-skin " + arguments + " 2>&1";
    SkinRun run{-1, std::string()};
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        run.output.append(buf, n);
    run.status = pclose(pipe);
    return run;
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

QImage piece(const VX_Image *image)
{
    return image->rootPixmap()->toImage().convertToFormat(QImage::Format_RGB32).copy(image->x, image->y, image->width,
                                                                                     image->height);
}

// An aux layout and a two-mode basic layout that links to it.
const char kLoad[] = "nums\nwords\n";
const char kNums[] =
    "[Common]\ntype 1 keys 2 bwid 40 bhei 30\n[Layout]\nalpha switch\n[Geometry]\n(5 5) (50 5)\n"
    "[Strings]\n1\n[Board]\nwid 100 hei 40 color ( 10 20 30 )\n";
const char kWords[] =
    "# a test layout\n"
    "[Common]\nkeys 6 mode 2 bwid 40 bhei 30 draw-pressed 1\n"
    "[Layout]\nalpha alpha bks caps nums label\n"
    "[Geometry]\n(5 5) (50 5) (95 5 60) (5 40) (50 40) (95 40)\n"
    "[Strings]\n( q Q ) ( abc2 ABC2 )\n"
    "[Board]\nwid 200 hei 80 color ( 10 20 30 )\n";

class Skin : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        dir.write("load.cfg", kLoad);
        dir.write("nums.cfg", kNums);
        dir.write("words.cfg", kWords);
    }

    std::string files() const { return dir.file("nums.cfg") + " " + dir.file("words.cfg"); }
    QImage image(const std::string &name) const { return QImage(QString::fromStdString(dir.file(name))); }

    TempDir dir;
};

TEST_F(Skin, WrittenLayoutsLoadQuietlyWithPicturesForEveryKeyAndMode)
{
    const SkinRun run = skin("--write --default-bg " + files());
    ASSERT_EQ(run.status, 0) << run.output;

    LogCapture log;
    VX_Engine engine({dir.path()});
    ASSERT_TRUE(engine.load());
    engine.prepareAll();
    const std::regex count(R"(VX_Layout: read \d+ entries from \[\w+\] \(\w+\))");
    const std::vector<std::string> lines = log.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "VX_Engine: load complete - basic: 1, aux: 1");
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], count)) << lines[i];

    const VX_Layout *words = engine.layouts[VX_LAYOUT_BASIC][0].get();
    ASSERT_NE(words, nullptr);
    ASSERT_NE(words->background, nullptr);
    const QImage background = words->background->rootPixmap()->toImage();
    EXPECT_EQ(background.size(), QSize(200, 80));
    // Flat colours survive the palette exactly.
    EXPECT_EQ(background.pixel(100, 38) & 0xffffff, 0x0a141eu);
    EXPECT_EQ(words->fillMethod, VX_FILL_PIXMAP);
    for (int32_t i = 0; i < words->keyCount; ++i) {
        const VX_Key &key = words->keys[i];
        EXPECT_FALSE(key.pixInPlace) << i;
        for (int m = 0; m < 2; ++m) {
            SCOPED_TRACE("key " + std::to_string(i) + " mode " + std::to_string(m));
            ASSERT_NE(key.pix[m][VX_PIX_RELEASED], nullptr);
            ASSERT_NE(key.pix[m][VX_PIX_PRESSED], nullptr);
            EXPECT_EQ(piece(key.pix[m][VX_PIX_RELEASED]).size(), QSize(key.width, key.height));
            // The corner outside the rounded face is the board's colour.
            EXPECT_EQ(piece(key.pix[m][VX_PIX_RELEASED]).pixel(0, 0) & 0xffffff, 0x0a141eu);
            if (key.type != VX_KEY_LABEL) {
                EXPECT_NE(piece(key.pix[m][VX_PIX_RELEASED]), piece(key.pix[m][VX_PIX_PRESSED]));
            }
        }
    }
    // Letters change with the mode; Backspace looks the same in both and is
    // kept once on the sheet.
    EXPECT_NE(piece(words->keys[0].pix[0][0]), piece(words->keys[0].pix[1][0]));
    for (int state = 0; state < 2; ++state) {
        const VX_Image *mode0 = words->keys[2].pix[0][state], *mode1 = words->keys[2].pix[1][state];
        EXPECT_EQ(QPoint(mode0->x, mode0->y), QPoint(mode1->x, mode1->y)) << "state " << state;
    }
    // Only distinct pictures, packed: far fewer pixels than a board per mode
    // and state.
    const QImage sheet(QString::fromStdString(dir.file("words.gif")));
    EXPECT_LT(sheet.width() * sheet.height(), 2 * 200 * 80);
    // Both boards have one colour: one shared background, as large as the
    // larger board, and no background of their own.
    const VX_Layout *nums = engine.layouts[VX_LAYOUT_AUX][0].get();
    ASSERT_NE(nums, nullptr);
    EXPECT_NE(nums->keys[0].pix[0][0], nullptr);
    EXPECT_EQ(words->background, engine.boardPictures.first());
    EXPECT_EQ(nums->background, engine.boardPictures.first());
    EXPECT_NE(readAll(dir.file("words.cfg")).find("pixmap default\n"), std::string::npos);
    EXPECT_FALSE(std::ifstream(dir.file("words_bg.gif")).good());
    EXPECT_FALSE(std::ifstream(dir.file("nums_bg.gif")).good());
}

TEST_F(Skin, SharedBackgroundDoesNotDependOnTheOrderOfTheFiles)
{
    // A background of its own from an earlier run goes once bg.gif serves.
    dir.writeGif("words_bg.gif", 200, 80, 0x0a141e);
    ASSERT_EQ(skin("--write --default-bg " + dir.file("words.cfg") + " " + dir.file("nums.cfg")).status, 0);
    const std::string words = readAll(dir.file("words.cfg")), nums = readAll(dir.file("nums.cfg"));
    const std::string background = readAll(dir.file("bg.gif"));
    EXPECT_EQ(image("bg.gif").size(), QSize(200, 80));
    EXPECT_FALSE(std::ifstream(dir.file("words_bg.gif")).good());
    for (const char *name : {"words", "nums"})
        EXPECT_NE(readAll(dir.file(std::string(name) + ".cfg")).find("pixmap default\n"), std::string::npos) << name;

    dir.write("words.cfg", kWords);
    dir.write("nums.cfg", kNums);
    ASSERT_EQ(skin("--write --default-bg " + dir.file("nums.cfg") + " " + dir.file("words.cfg")).status, 0);
    EXPECT_EQ(readAll(dir.file("words.cfg")), words);
    EXPECT_EQ(readAll(dir.file("nums.cfg")), nums);
    EXPECT_EQ(readAll(dir.file("bg.gif")), background);
}

TEST_F(Skin, BoardOfAnotherColourKeepsItsOwnBackground)
{
    std::string other = kNums;
    other.replace(other.find("10 20 30"), 8, "90 20 30");
    dir.write("nums.cfg", other);
    const SkinRun run = skin("--write --default-bg " + files());
    ASSERT_EQ(run.status, 0) << run.output;
    // On a tie the first basic layout's colour is the shared one.
    EXPECT_NE(readAll(dir.file("words.cfg")).find("pixmap default\n"), std::string::npos);
    EXPECT_NE(readAll(dir.file("nums.cfg")).find("pixmap nums_bg.gif\n"), std::string::npos);
    const QImage own = image("nums_bg.gif");
    ASSERT_EQ(own.size(), QSize(100, 40));
    EXPECT_EQ(own.pixel(50, 20) & 0xffffff, 0x5a141eu);
    EXPECT_EQ(image("bg.gif").size(), QSize(200, 80));
}

TEST_F(Skin, WithoutDefaultBgTakesBgGifOnlyWhenItHoldsTheSharedBackground)
{
    ASSERT_EQ(skin("--write --default-bg " + files()).status, 0);
    // bg.gif as written serves a later run that does not write it.
    ASSERT_EQ(skin("--write " + dir.file("words.cfg")).status, 0);
    EXPECT_NE(readAll(dir.file("words.cfg")).find("pixmap default\n"), std::string::npos);
    // Another picture under that name is not taken for it.
    dir.writeGif("bg.gif", 200, 80, 0xff0000);
    ASSERT_EQ(skin("--write " + dir.file("words.cfg")).status, 0);
    EXPECT_NE(readAll(dir.file("words.cfg")).find("pixmap words_bg.gif\n"), std::string::npos);
    EXPECT_EQ(image("words_bg.gif").size(), QSize(200, 80));
}

TEST_F(Skin, LabelOverrideChangesOnlyThatKey)
{
    // Key `key`'s released picture in mode 0 as the keyboard cuts it.
    auto released = [&](int key) {
        VX_Engine engine({dir.path()});
        EXPECT_TRUE(engine.load());
        engine.prepareAll();
        return piece(engine.layouts[VX_LAYOUT_BASIC][0]->keys[key].pix[0][VX_PIX_RELEASED]);
    };
    ASSERT_EQ(skin("--write " + files()).status, 0);
    const QImage before0 = released(0), before1 = released(1);
    dir.write("words.cfg", std::string("#label 1 xyz\n") + kWords);
    const SkinRun run = skin("--write " + files());
    ASSERT_EQ(run.status, 0) << run.output;
    const QImage after0 = released(0), after1 = released(1);
    ASSERT_EQ(before1.size(), after1.size());
    // Pixels that changed by more than a palette shift of anti-aliased
    // edges can explain.
    auto changed = [](const QImage &before, const QImage &after) {
        int count = 0;
        for (int yy = 0; yy < before.height(); ++yy)
            for (int xx = 0; xx < before.width(); ++xx) {
                const QRgb a = before.pixel(xx, yy), b = after.pixel(xx, yy);
                if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 96)
                    ++count;
            }
        return count;
    };
    EXPECT_GT(changed(before1, after1), 20);
    EXPECT_EQ(changed(before0, after0), 0);
    EXPECT_NE(readAll(dir.file("words.cfg")).find("#label 1 xyz"), std::string::npos);
}

// Named keys show what keyboards print on them; a modifier's pressed
// picture (its latched look) is its own; a #hide line leaves a key out of a
// mode, so another key can stand in its place there.
TEST_F(Skin, NamedKeysModifiersAndKeysOfOneMode)
{
    const std::string keys =
        "[Common]\nkeys 5 mode 2 bwid 40 bhei 30 draw-pressed 1\n"
        "[Layout]\n!Left !Escape !Control_L !F5 caps\n"
        "[Geometry]\n(5 5) (50 5) (95 5) (5 5) (140 5)\n"
        "[Board]\nwid 200 hei 40 color ( 10 20 30 )\n";
    dir.write("load.cfg", "keys\n");
    auto load = [&](const std::string &text) {
        dir.write("keys.cfg", text);
        const SkinRun run = skin("--write " + dir.file("keys.cfg"));
        EXPECT_EQ(run.status, 0) << run.output;
        auto engine = std::make_unique<VX_Engine>(std::vector<std::string>{dir.path()});
        EXPECT_TRUE(engine->load());
        engine->prepareAll();
        return engine;
    };
    const auto drawn = load("#hide 0 1\n#hide 3 0\n" + keys);
    const VX_Layout &l = *drawn->layouts[VX_LAYOUT_BASIC][0];
    EXPECT_NE(l.keys[0].pix[0][VX_PIX_RELEASED], nullptr);
    EXPECT_EQ(l.keys[0].pix[1][VX_PIX_RELEASED], nullptr) << "hidden in mode 1";
    EXPECT_EQ(l.keys[3].pix[0][VX_PIX_RELEASED], nullptr) << "hidden in mode 0";
    EXPECT_NE(l.keys[3].pix[1][VX_PIX_RELEASED], nullptr);
    const QImage left = piece(l.keys[0].pix[0][VX_PIX_RELEASED]);
    const QImage esc = piece(l.keys[1].pix[0][VX_PIX_RELEASED]);
    const QImage ctrlDown = piece(l.keys[2].pix[0][VX_PIX_PRESSED]);
    const QImage escDown = piece(l.keys[1].pix[0][VX_PIX_PRESSED]);
    // The latched look is lit: a face of another colour than a held key's.
    EXPECT_NE(ctrlDown.pixel(20, 24), escDown.pixel(20, 24));

    // The default labels are the ones an author would write.
    const auto written = load("#hide 0 1\n#hide 3 0\n#label 0 \xe2\x86\x90\n#label 1 Esc\n" + keys);
    const VX_Layout &w = *written->layouts[VX_LAYOUT_BASIC][0];
    EXPECT_TRUE(piece(w.keys[0].pix[0][VX_PIX_RELEASED]) == left);
    EXPECT_TRUE(piece(w.keys[1].pix[0][VX_PIX_RELEASED]) == esc);

    dir.write("keys.cfg", "#hide 0 2\n" + keys);
    const SkinRun bad = skin("--write " + dir.file("keys.cfg"));
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.output.find("expected '#hide <key index> <mode> [<mode>]'"), std::string::npos) << bad.output;
}

TEST_F(Skin, LongLabelsWrapRatherThanShrinkBelowALegibleSize)
{
    // Tallest run of dark text pixels in any column of key 0's released
    // picture (mode 0): the height of an H's stem.
    auto tallestStroke = [&]() {
        VX_Engine engine({dir.path()});
        EXPECT_TRUE(engine.load());
        engine.prepareAll();
        const QImage key = piece(engine.layouts[VX_LAYOUT_BASIC][0]->keys[0].pix[0][VX_PIX_RELEASED]);
        int tallest = 0;
        // Inside the face, clear of the board-coloured corners and shadow.
        for (int x = 5; x < key.width() - 5; ++x)
            for (int y = 4, run = 0; y < key.height() - 6; ++y) {
                run = qGray(key.pixel(x, y)) < 110 ? run + 1 : 0;
                tallest = std::max(tallest, run);
            }
        return tallest;
    };
    // Too wide for the 40-pixel key on one line at a legible size: the
    // capitals of a 10-pixel font stand at least 7 pixels tall.
    for (const char *label : {"HHH HHH", "HHHHHHHHHHHH"}) {
        SCOPED_TRACE(label);
        dir.write("words.cfg", std::string("#label 0 ") + label + "\n" + kWords);
        const SkinRun run = skin("--write " + files());
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_GE(tallestStroke(), 7);
    }
}

TEST_F(Skin, RunningAgainChangesNothing)
{
    ASSERT_EQ(skin("--write " + files()).status, 0);
    const std::string cfg = readAll(dir.file("words.cfg"));
    const std::string gif = readAll(dir.file("words.gif"));
    // One [Board] and one [Pixs], in place of the old ones.
    EXPECT_EQ(cfg.find("[Board]"), cfg.rfind("[Board]"));
    EXPECT_EQ(cfg.find("[Pixs]"), cfg.rfind("[Pixs]"));
    EXPECT_LT(cfg.find("[Geometry]"), cfg.find("[Pixs]"));
    ASSERT_EQ(skin("--write " + files()).status, 0);
    EXPECT_EQ(readAll(dir.file("words.cfg")), cfg);
    EXPECT_EQ(readAll(dir.file("words.gif")), gif);
}

TEST_F(Skin, WithoutWritePrintsTheSectionsAndKeepsTheFile)
{
    const SkinRun run = skin(dir.file("words.cfg"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(readAll(dir.file("words.cfg")), kWords);
    EXPECT_NE(run.output.find("[Board]\nwid 200 hei 80\ncolor ( 10 20 30 )\nfill pixmap\npixmap words_bg.gif\n"),
              std::string::npos)
        << run.output;
    // Backspace (the third entry) looks the same in both modes: mode 1 names
    // the pieces of mode 0; a letter has four pieces of its own.
    const std::regex entry(R"(\( \((\d+) (\d+)\) \((\d+) (\d+)\) \| \((\d+) (\d+)\) \((\d+) (\d+)\) \))");
    std::vector<std::smatch> entries;
    for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), entry); it != std::sregex_iterator(); ++it)
        entries.push_back(*it);
    ASSERT_EQ(entries.size(), 6u) << run.output;
    EXPECT_EQ(entries[2].str(1) + "," + entries[2].str(2), entries[2].str(5) + "," + entries[2].str(6));
    EXPECT_EQ(entries[2].str(3) + "," + entries[2].str(4), entries[2].str(7) + "," + entries[2].str(8));
    std::set<std::string> letter;
    for (int i = 1; i <= 7; i += 2)
        letter.insert(entries[0].str(i) + "," + entries[0].str(i + 1));
    EXPECT_EQ(letter.size(), 4u) << entries[0].str(0);
}

TEST_F(Skin, LinksReachAuxLayoutsWhereTheKeyboardFindsThem)
{
    // The aux layout lies only in the user's folder, as a shipped one lies
    // only in the shipped folder; the linking layout is in a folder of its
    // own.
    TempDir home, mine;
    home.mkdir("vexil");
    home.write("vexil/nums.cfg", kNums);
    mine.write("load.cfg", kLoad);
    mine.write("words.cfg", kWords);
    const char *saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    const SkinRun run = skin("--write " + mine.file("words.cfg"));
    if (saved)
        setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(run.status, 0) << run.output;

    LogCapture log;
    VX_Engine engine({mine.path(), home.path() + "/vexil"});
    ASSERT_TRUE(engine.load()) << log.text();
    const VX_Layout *words = engine.layouts[VX_LAYOUT_BASIC][0].get();
    ASSERT_NE(words, nullptr);
    EXPECT_EQ(words->keys[4].type, VX_KEY_LINK);
    EXPECT_NE(words->keys[4].pix[0][VX_PIX_RELEASED], nullptr);
    // Nothing is written outside the folder of the file named.
    EXPECT_FALSE(std::ifstream(home.file("vexil/nums.gif")).good());
}

TEST_F(Skin, LinkKeysAreLabelledWithTheirTargetInEitherForm)
{
    // Key 4 of words, as the keyboard cuts it after a skin run over the set.
    auto linkPicture = [&](const char *list, const char *word) {
        std::string words = kWords;
        words.replace(words.find(" nums "), 6, std::string(" ") + word + " ");
        dir.write("load.cfg", list);
        dir.write("words.cfg", words);
        const SkinRun run = skin("--write " + files());
        EXPECT_EQ(run.status, 0) << run.output;
        LogCapture log;
        VX_Engine engine({dir.path()});
        EXPECT_TRUE(engine.load());
        engine.prepareAll();
        const VX_Key &key = engine.layouts[VX_LAYOUT_BASIC][0]->keys[4];
        EXPECT_EQ(key.type, VX_KEY_LINK) << word << " " << log.text();
        return key.pix[0][VX_PIX_RELEASED] ? piece(key.pix[0][VX_PIX_RELEASED]) : QImage();
    };
    const QImage plain = linkPicture("nums\nwords\n", "nums");
    ASSERT_FALSE(plain.isNull());
    struct Case {
        const char *list;
        const char *word;
    } cases[] = {{"nums\nwords\n", "@nums"}, {"words\nnums\n", "@nums"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.word) + " with load.cfg " + c.list);
        EXPECT_EQ(linkPicture(c.list, c.word), plain);
    }
    // The label is the target's name: another name draws another picture.
    dir.write("load.cfg", kLoad);
    dir.write("words.cfg", std::string("#label 4 xyz\n") + kWords);
    ASSERT_EQ(skin("--write " + files()).status, 0);
    VX_Engine engine({dir.path()});
    ASSERT_TRUE(engine.load());
    engine.prepareAll();
    EXPECT_NE(piece(engine.layouts[VX_LAYOUT_BASIC][0]->keys[4].pix[0][VX_PIX_RELEASED]), plain);
}

TEST_F(Skin, ByteOrderMarkIsKeptAndItsLineStillReadAsAHeader)
{
    const std::string mark = "\xEF\xBB\xBF";
    dir.write("words.cfg", mark + "[Board]\nwid 200 hei 80\n" + kWords);
    const SkinRun run = skin("--write " + dir.file("words.cfg"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string cfg = readAll(dir.file("words.cfg"));
    EXPECT_EQ(cfg.compare(0, mark.size(), mark), 0);
    EXPECT_EQ(cfg.find("[Board]"), cfg.rfind("[Board]")) << cfg;
    EXPECT_EQ(cfg.find("[Pixs]"), cfg.rfind("[Pixs]")) << cfg;
    LogCapture log;
    VX_Engine engine({dir.path()});
    EXPECT_TRUE(engine.load()) << log.text();
}

// Failure paths: nothing is written and the reason is shown.
TEST_F(Skin, RefusesWhatItCannotDraw)
{
    const struct {
        const char *name;
        const char *text;
        const char *message;
    } cases[] = {
        {"broken", "[Common]\nkeys 1 mode 3\n", "VX_Layout: invalid value for modes"},
        {"units", "[Common]\nkeys 1 pixs 0\n[Layout]\nbks\n[Geometry]\n(0 0 10 10)\n", "pixs 1"},
        {"labels", "#label one\n[Common]\nkeys 1\n", "#label <key index>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dir.write(std::string(c.name) + ".cfg", c.text);
        const SkinRun run = skin("--write " + dir.file(std::string(c.name) + ".cfg"));
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_FALSE(std::ifstream(dir.file(std::string(c.name) + ".gif")).good());
        EXPECT_EQ(readAll(dir.file(std::string(c.name) + ".cfg")), c.text);
    }
    EXPECT_NE(skin(dir.file("load.cfg") + "x").status, 0);
    EXPECT_NE(skin(dir.file("missing.cfg")).status, 0);
}

}  // namespace
