// The engine: load.cfg, the layout rows, the file search and the picture
// caches; then every way a load can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QPixmap>

#include "engine/VX_Engine.h"
#include "tests/LayoutFileTest.h"
#include "tests/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

const char *const kBasic = "[Common]\nkeys 1\n";
const char *const kAux = "[Common]\ntype 1 keys 1\n";

// A search directory with bg.gif and an engine that looks only there.
struct EngineTest : testing::Test {
    EngineTest() : engine({dir.path()})
    {
        ensureApp();
        dir.writeGif("bg.gif", 16, 8, 0x202020);
    }

    std::string notIn(const std::string &file) const
    {
        return "VX_Engine: no '" + file + "' in ( " + dir.path() + " )";
    }
    // Names of the layouts in one row, slot order.
    Lines row(int r) const { return layoutNames(engine, r); }

    TempDir dir;
    VX_Engine engine;
};

}  // namespace

TEST_F(EngineTest, FifthBasicLayoutIsDropped)
{
    for (const char *name : {"a", "b", "c", "d", "e"})
        dir.write(std::string(name) + ".cfg", kBasic);
    dir.write("load.cfg", "a b c d e\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), (Lines{"VX_Engine: have to drop layout 'e', no more space",
                                  "VX_Engine: load complete - basic: 4, aux: 0"}));
    EXPECT_EQ(row(0), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(row(1), Lines{});
    EXPECT_EQ(engine.activeLayout(), engine.layouts[0][0].get());
}

TEST_F(EngineTest, RowsFillIndependentlyAcrossLinesAndTabs)
{
    dir.write("b1.cfg", kBasic);
    dir.write("b2.cfg", kBasic);
    dir.write("x1.cfg", kAux);
    dir.write("x2.cfg", kAux);
    dir.write("load.cfg", "# layouts\nb1\tx1\n\n  b2 \t x2\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), Lines{"VX_Engine: load complete - basic: 2, aux: 2"});
    EXPECT_EQ(row(0), (Lines{"b1", "b2"}));
    EXPECT_EQ(row(1), (Lines{"x1", "x2"}));
    EXPECT_EQ(engine.layouts[0][1]->engine, &engine);
    EXPECT_EQ(engine.layouts[1][0]->type, 1);
    EXPECT_EQ(engine.activeLayout()->displayName(), std::string("b1"));
    EXPECT_EQ(engine.layouts[0][2], nullptr);
}

TEST_F(EngineTest, FilesSavedWithAByteOrderMarkLoad)
{
    // Editors put a mark before the first line of a list or a layout file.
    const std::string bom = "\xEF\xBB\xBF";
    dir.write("kb.cfg", bom + kBasic);
    dir.write("side.cfg", bom + "# aux\n" + kAux);
    dir.write("load.cfg", bom + "side kb\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), Lines{"VX_Engine: load complete - basic: 1, aux: 1"});
    EXPECT_EQ(row(0), Lines{"kb"});
    EXPECT_EQ(row(1), Lines{"side"});
}

TEST_F(EngineTest, AuxLayoutIndexMatchesPlacedAuxNamesExactly)
{
    dir.write("main.cfg", kBasic);
    dir.write("sym.cfg", kAux);
    dir.write("num.cfg", kAux);
    dir.write("load.cfg", "main sym num\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    const struct {
        const char *name;
        int32_t slot;
    } cases[] = {{"sym", 0}, {"num", 1}, {"Sym", -1}, {"nu", -1}, {"main", -1}, {"NoName", -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine.auxLayoutIndex(c.name), c.slot);
    }
}

TEST_F(EngineTest, LayoutsAreFoundByNameAndVisitedInRowAndSlotOrder)
{
    dir.write("a.cfg", kBasic);
    dir.write("x.cfg", kAux);
    dir.write("b.cfg", kBasic);
    dir.write("y.cfg", kAux);
    dir.write("load.cfg", "a x b y x\n");
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();

    std::string visited;
    engine.forEachLayout([&](int32_t row, int32_t slot, const VX_Layout &layout) {
        EXPECT_EQ(&layout, engine.layoutAt(row, slot));
        visited += std::to_string(row) + std::to_string(slot) + layout.displayName() + " ";
    });
    EXPECT_EQ(visited, "00a 01b 10x 11y 12x ");

    const struct {
        int32_t row;
        const char *name;
        int32_t slot;
    } cases[] = {{0, "b", 1}, {0, "x", -1}, {1, "x", 0}, {1, "y", 1}, {1, "Y", -1},
                 {2, "a", -1}, {-1, "a", -1}, {0, nullptr, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.row) + " " + (c.name ? c.name : "null"));
        EXPECT_EQ(engine.findLayout(c.row, c.name), c.slot);
    }
    EXPECT_EQ(engine.layoutNamed("y"), engine.layoutAt(1, 1));
    EXPECT_EQ(engine.layoutNamed("c"), nullptr);
    for (auto [row, slot] : {std::pair{0, 2}, {1, 3}, {2, 0}, {0, -1}, {1, 4}})
        EXPECT_EQ(engine.layoutAt(row, slot), nullptr) << row << " " << slot;
}

// Where switch and link keys lead, from every kind of place: three basic
// layouts and two aux layouts.
TEST_F(EngineTest, NavigationBetweenLayouts)
{
    dir.write("b.cfg", kBasic);
    dir.write("x.cfg", kAux);
    dir.write("load.cfg", "b b b x x\n");
    LogCapture log;
    ASSERT_TRUE(engine.load()) << log.text();

    using Place = VX_Engine::Place;
    enum Step { NEXT_BASIC, OPEN_AUX, RETURN };
    const struct {
        const char *what;
        Step step;
        Place from;
        int32_t auxSlot;
        bool moves;
        Place to;
    } cases[] = {
        {"next basic", NEXT_BASIC, {0, 0, -1}, 0, true, {0, 1, -1}},
        {"last basic wraps", NEXT_BASIC, {0, 2, -1}, 0, true, {0, 0, -1}},
        {"link from basic", OPEN_AUX, {0, 2, -1}, 1, true, {1, 1, 2}},
        {"link from aux keeps the way back", OPEN_AUX, {1, 0, 2}, 1, true, {1, 1, 2}},
        {"link to an empty slot", OPEN_AUX, {0, 0, -1}, 2, false, {}},
        {"link out of range", OPEN_AUX, {0, 0, -1}, 4, false, {}},
        {"negative link", OPEN_AUX, {0, 0, -1}, -1, false, {}},
        {"return", RETURN, {1, 1, 2}, 0, true, {0, 2, -1}},
        {"return without a way back", RETURN, {1, 1, -1}, 0, false, {}},
        {"return into an empty slot", RETURN, {1, 1, 3}, 0, false, {}},
        {"return out of range", RETURN, {1, 1, 4}, 0, false, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Place to{9, 9, 9};
        bool moves = false;
        switch (c.step) {
        case NEXT_BASIC: moves = engine.nextBasic(c.from, to); break;
        case OPEN_AUX: moves = engine.openAux(c.from, c.auxSlot, to); break;
        case RETURN: moves = engine.returnFromAux(c.from, to); break;
        }
        ASSERT_EQ(moves, c.moves);
        if (moves) {
            EXPECT_EQ(to.row, c.to.row);
            EXPECT_EQ(to.slot, c.to.slot);
            EXPECT_EQ(to.returnSlot, c.to.returnSlot);
        }
    }

    // With one basic layout a switch key leads nowhere.
    VX_Engine single({dir.path()});
    dir.write("load.cfg", "b\n");
    ASSERT_TRUE(single.load());
    Place to;
    EXPECT_FALSE(single.nextBasic(Place(), to));
}

TEST_F(EngineTest, LinkFindsOnlyAuxLayoutsNamedBefore)
{
    dir.write("sym.cfg", kAux);
    dir.write("early.cfg", "[Common]\nkeys 1\n[Layout]\nsym\n");
    dir.write("late.cfg", "[Common]\nkeys 1\n[Layout]\nsym2\n");
    dir.write("sym2.cfg", kAux);
    dir.write("load.cfg", "sym early late sym2\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    EXPECT_EQ(row(0), Lines{"early"});
    EXPECT_EQ(row(1), (Lines{"sym", "sym2"}));
    EXPECT_EQ(engine.layouts[0][0]->keys[0].type, VX_KEY_LINK);
    EXPECT_EQ(engine.layouts[0][0]->keys[0].linkSlot, 0);
    Lines lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "VX_Engine: loading layout 'late' failed, remove it"),
              lines.end());
}

TEST_F(EngineTest, FindFileTakesFirstReadableDirectory)
{
    std::string first = dir.mkdir("first");
    std::string second = dir.mkdir("second");
    dir.write("second/x.cfg", "");
    dir.write("first/y.cfg", "");
    dir.write("second/y.cfg", "");
    VX_Engine twoDirs({first, second});
    LogCapture log;
    EXPECT_STREQ(twoDirs.findFile("x.cfg"), (second + "/x.cfg").c_str());
    EXPECT_STREQ(twoDirs.findFile("y.cfg"), (first + "/y.cfg").c_str());
    EXPECT_EQ(twoDirs.findFile("x.cfg"), twoDirs.path);
    EXPECT_EQ(log.lines(), Lines{});
    // The miss message lists every directory on one line.
    EXPECT_EQ(twoDirs.findFile("z.cfg"), nullptr);
    EXPECT_EQ(log.lines(), Lines{"VX_Engine: no 'z.cfg' in ( " + first + " " + second + " )"});
}

TEST_F(EngineTest, BackgroundOfTheListIsFirstBoardPicture)
{
    dir.write("a.cfg", kBasic);
    dir.write("load.cfg", "a\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    ASSERT_NE(engine.boardPictures.first(), nullptr);
    EXPECT_STREQ(engine.boardPictures.first()->name.get(), "bg.gif");
    EXPECT_EQ(engine.getBoardPicture("bg.gif"), engine.boardPictures.first());
    ASSERT_TRUE(engine.boardPictures.first()->decode());
    EXPECT_EQ(engine.boardPictures.first()->pixmap->width(), 16);
}

TEST_F(EngineTest, PicturesAndPiecesAreLoadedAndCutOnce)
{
    dir.writeGif("keys.gif", 40, 20, 0x112233);
    VX_Image *piece = engine.getKeyPiece("keys.gif", 0, 0, 10, 10);
    ASSERT_NE(piece, nullptr);
    VX_Image *source = engine.getKeyPicture("keys.gif");
    EXPECT_EQ(piece->parent, source);
    EXPECT_EQ(engine.keyPictures.first(), source);
    EXPECT_EQ(engine.getKeyPiece("keys.gif", 0, 0, 10, 10), piece);
    VX_Image *next = engine.getKeyPiece("keys.gif", 10, 0, 10, 10);
    EXPECT_NE(next, piece);
    EXPECT_EQ(next->parent, source);
    // The same file as a background is a picture of the other cache.
    VX_Image *board = engine.getBoardPicture("keys.gif");
    ASSERT_NE(board, nullptr);
    EXPECT_NE(board, source);
    EXPECT_EQ(engine.getBoardPicture("keys.gif"), board);
}

TEST_F(EngineTest, LayoutsSharingARectangleShareOnePiece)
{
    dir.writeGif("keys.gif", 40, 20, 0x112233);
    const char *file = "[Common]\nkeys 1\n[Geometry]\n(0 0 10 10)\n[Pixs]\n( ( keys.gif ) )\n";
    dir.write("one.cfg", file);
    dir.write("two.cfg", file);
    dir.write("load.cfg", "one two\n");
    LogCapture log;
    ASSERT_TRUE(engine.load());
    ASSERT_EQ(row(0), (Lines{"one", "two"}));
    VX_Image *shared = engine.layouts[0][0]->keys[0].pix[0][VX_PIX_RELEASED];
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(engine.layouts[0][1]->keys[0].pix[0][VX_PIX_RELEASED], shared);
    EXPECT_EQ(engine.keyPictures.first(), shared->parent);
    EXPECT_EQ(engine.keyPieces.first(), shared);
    EXPECT_EQ(engine.keyPieces.findPiece("keys.gif", 0, 0, 10, 10), shared);
    // One picture, one piece: nothing behind the first entries.
    EXPECT_EQ(engine.keyPictures.find("keys.gif"), shared->parent);
}

TEST_F(EngineTest, MissingPictureIsSearchedAtEveryRequest)
{
    LogCapture log;
    EXPECT_EQ(engine.getBoardPicture("gone.gif"), nullptr);
    EXPECT_EQ(engine.getBoardPicture("gone.gif"), nullptr);
    EXPECT_EQ(engine.getKeyPiece("gone.gif", 0, 0, 1, 1), nullptr);
    EXPECT_EQ(engine.getKeyPiece("gone.gif", 0, 0, 1, 1), nullptr);
    EXPECT_EQ(log.lines(), Lines(4, notIn("gone.gif")));
    dir.writeGif("gone.gif", 2, 2, 0);  // appears later: now it is found
    EXPECT_NE(engine.getBoardPicture("gone.gif"), nullptr);
    EXPECT_EQ(engine.boardPictures.first(), engine.getBoardPicture("gone.gif"));
}

// --- Failures ---

// The list itself: what load returns, its messages and what stays placed.
TEST_F(EngineTest, ListFailures)
{
    const std::string longLine = "a " + std::string(300, 'z') + "\n";
    struct Case {
        const char *what;
        std::string list;   // load.cfg; "-" = none, "/" = a directory
        bool result;
        Lines messages;     // "$" stands for the directory
        Lines basic;
        Lines aux;
    };
    const Case cases[] = {
        {"no load.cfg", "-", false, {"VX_Engine: no 'load.cfg' in ( $ )"}, {}, {}},
        {"load.cfg a directory", "/", false, {"VX_Input: can't open '$/load.cfg'"}, {}, {}},
        {"over-long line keeps what was placed", "a\n" + longLine, false,
         {"VX_Input: 'load.cfg': line 2 too long"}, {"a"}, {}},
        {"section header without ]", "a\n[x\nb\n", false, {"VX_Parser: ']' expected (load.cfg, 2)"},
         {"a"}, {}},
        {"number beyond 32 bits keeps what was placed", "a\n99999999999 b\n", false,
         {"VX_Parser: read number failed (load.cfg, 2)"}, {"a"}, {}},
        {"name beginning with a digit ends the list", "a\nb 3x c\n", true,
         {"VX_Engine: layout name expected (load.cfg, 2)", "VX_Engine: load complete - basic: 2, aux: 0"},
         {"a", "b"}, {}},
        {"section header ends the list", "# c\n[x]\na\n", false,
         {"VX_Engine: layout name expected (load.cfg, 2)",
          "VX_Engine: it seems to be no basic layout available"},
         {}, {}},
        {"empty list", "", false, {"VX_Engine: it seems to be no basic layout available"}, {}, {}},
        {"comments only", "# one\n\n# two\n", false,
         {"VX_Engine: it seems to be no basic layout available"}, {}, {}},
        {"aux only stay placed", "x\ny\n", false,
         {"VX_Engine: it seems to be no basic layout available"}, {}, {"x", "y"}},
        {"missing layout file, next one loads", "gone a\n", true,
         {"VX_Engine: no 'gone.cfg' in ( $ )", "VX_Engine: loading layout 'gone' failed, remove it",
          "VX_Engine: load complete - basic: 1, aux: 0"},
         {"a"}, {}},
        {"fifth aux", "x x x x x a\n", true,
         {"VX_Engine: have to drop layout 'x', no more space",
          "VX_Engine: load complete - basic: 1, aux: 4"},
         {"a"}, {"x", "x", "x", "x"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << ": " << c.list);
        TempDir here;
        here.write("a.cfg", kBasic);
        here.write("b.cfg", kBasic);
        here.write("c.cfg", kBasic);
        here.write("x.cfg", kAux);
        here.write("y.cfg", kAux);
        here.writeGif("bg.gif", 2, 2, 0);
        if (c.list == "/")
            here.mkdir("load.cfg");
        else if (c.list != "-")
            here.write("load.cfg", c.list);
        VX_Engine subject({here.path()});
        LogCapture log;
        EXPECT_EQ(subject.load(), c.result);
        Lines expected;
        for (std::string line : c.messages) {
            size_t at = line.find('$');
            if (at != std::string::npos)
                line.replace(at, 1, here.path());
            expected.push_back(line);
        }
        EXPECT_EQ(log.lines(), expected);
        EXPECT_EQ(layoutNames(subject, 0), c.basic);
        EXPECT_EQ(layoutNames(subject, 1), c.aux);
    }
}

// One layout "bad" between two good ones: its messages, then its removal,
// and the good ones still placed.
TEST_F(EngineTest, LayoutFailures)
{
    const std::string longName(240, 'n');
    struct Case {
        const char *what;
        std::string name;
        const char *file;  // null: no file
        Lines messages;     // "$" stands for the directory
    };
    const Case cases[] = {
        {"no file", "bad", nullptr, {"VX_Engine: no 'bad.cfg' in ( $ )"}},
        {"path does not fit", longName, kBasic,
         {"VX_Engine: path too long for '" + longName + ".cfg' in '$'",
          "VX_Engine: no '" + longName + ".cfg' in ( $ )"}},
        {"word before any section", "bad", "keys 1\n", {"VX_Layout: section expected (bad.cfg, 1)"}},
        {"word after comments", "bad", "# c\n\nfoo\n[Common]\nkeys 1\n",
         {"VX_Layout: section expected (bad.cfg, 3)"}},
        {"misspelt header", "bad", "[Comon]\nkeys 1\n", {}},
        {"header without ]", "bad", "[Common\nkeys 1\n", {"VX_Parser: ']' expected (bad.cfg, 1)"}},
        {"over-long line", "bad", "[Common]\nkeys 1\n#\n\n" "tm-rate 1" "                                                                                                                                                                                                                                                                                \n",
         {"VX_Input: 'bad.cfg': line 5 too long"}},
        {"capitalised parameter", "bad", "[Common]\nKeys 1\n",
         {"VX_Layout: unknown parameter 'Keys' in [Common] section (bad.cfg, 2)"}},
        {"shortened parameter", "bad", "[Common]\nkeys 1 typ 1\n",
         {"VX_Layout: unknown parameter 'typ' in [Common] section (bad.cfg, 2)"}},
        {"word as value", "bad", "[Common]\nkeys\nmany\n", {"VX_Layout: number expected (bad.cfg, 3)"}},
        {"signed value", "bad", "[Common]\nkeys -5\n", {"VX_Layout: number expected (bad.cfg, 2)"}},
        {"value missing at the end", "bad", "[Common]\nkeys\n", {"VX_Layout: number expected (bad.cfg, 2)"}},
        {"value too big to read", "bad", "[Common]\nkeys 99999999999\n",
         {"VX_Parser: read number failed (bad.cfg, 2)"}},
        {"three bad values in order", "bad", "[Common]\nalpha 3 mode 0\n",
         {"VX_Layout: invalid value for alpha", "VX_Layout: invalid value for modes",
          "VX_Layout: keys count not specified"}},
        {"type 2", "bad", "[Common]\nkeys 1 type 2\n", {"VX_Layout: invalid value for type"}},
        {"pixs 2", "bad", "[Common]\nkeys 1 pixs 2\n", {"VX_Layout: invalid value for pixs"}},
        {"keys 0", "bad", "[Common]\nkeys 0\n", {"VX_Layout: keys count not specified"}},
        {"empty [Common]", "bad", "[Common]\n", {"VX_Layout: keys count not specified"}},
        {"keys beyond the limit", "bad", "[Common]\nkeys 1025\n",
         {"VX_Layout: invalid value for keys (at most 1024)"}},
        {"huge key count", "bad", "[Common]\nkeys 2147483647\n",
         {"VX_Layout: invalid value for keys (at most 1024)"}},
        {"number with a value", "bad", "[Common]\nkeys 1\nnumber 1\n",
         {"VX_Layout: section expected (bad.cfg, 3)"}},
        {"second [Common] invalid", "bad", "[Common]\nkeys 1\n[Common]\nmode 3\n",
         {"VX_Layout: invalid value for modes"}},
        {"a section reader fails", "bad", "[Common]\nkeys 1\n[Board]\nsize 3\n",
         {"VX_Layout: unknown parameter 'size' in [Board] section (bad.cfg, 4)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << ": " << (c.file ? c.file : "(no file)"));
        TempDir here;
        here.write("a.cfg", kBasic);
        here.write("b.cfg", kBasic);
        here.writeGif("bg.gif", 2, 2, 0);
        if (c.file)
            here.write(c.name + ".cfg", c.file);
        here.write("load.cfg", "a " + c.name + "\nb\n");
        VX_Engine subject({here.path()});
        LogCapture log;
        EXPECT_TRUE(subject.load());
        Lines expected;
        for (std::string line : c.messages) {
            for (size_t at; (at = line.find('$')) != std::string::npos;)
                line.replace(at, 1, here.path());
            expected.push_back(line);
        }
        expected.push_back("VX_Engine: loading layout '" + c.name + "' failed, remove it");
        expected.push_back("VX_Engine: load complete - basic: 2, aux: 0");
        EXPECT_EQ(log.lines(), expected);
        ASSERT_EQ(subject.layoutCount[0], 2u);
        EXPECT_STREQ(subject.layouts[0][0]->displayName(), "a");
        EXPECT_STREQ(subject.layouts[0][1]->displayName(), "b");
    }
}

TEST_F(EngineTest, OverlongCandidateIsSkippedNotTruncated)
{
    // The same name fits beside a short directory but not a long one.
    std::string longDir = dir.mkdir(std::string(200, 'd'));
    std::string name = std::string(60, 'f') + ".gif";
    dir.writeGif(name, 2, 2, 0);
    VX_Engine subject({longDir, dir.path()});
    LogCapture log;
    EXPECT_STREQ(subject.findFile(name.c_str()), dir.file(name).c_str());
    EXPECT_EQ(log.lines(),
              Lines{"VX_Engine: path too long for '" + name + "' in '" + longDir + "'"});
    // A name that fits nowhere is refused everywhere and reported missing.
    std::string huge(300, 'h');
    log.clear();
    EXPECT_EQ(subject.findFile(huge.c_str()), nullptr);
    EXPECT_EQ(log.lines(), (Lines{"VX_Engine: path too long for '" + huge + "' in '" + longDir + "'",
                                  "VX_Engine: path too long for '" + huge + "' in '" + dir.path() + "'",
                                  "VX_Engine: no '" + huge + "' in ( " + longDir + " " + dir.path() +
                                      " )"}));
}

TEST_F(EngineTest, BrokenBackgroundDoesNotStopTheLoad)
{
    dir.write("bg.gif", "not a picture");
    dir.write("a.cfg", kBasic);
    dir.write("load.cfg", "a\n");
    LogCapture log;
    EXPECT_TRUE(engine.load());
    EXPECT_EQ(log.lines(), (Lines{"VX_Image: can't create QPixmap('" + dir.file("bg.gif") + "')",
                                  "VX_Engine: load complete - basic: 1, aux: 0"}));
    EXPECT_EQ(engine.boardPictures.first(), nullptr);
}
