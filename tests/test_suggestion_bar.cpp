// The strip of word suggestions: where each suggestion goes, which cell a
// pointer is over, how it looks; and on the board, that a tap on it
// chooses a word, a hold forgets one, and the keys below it keep working.
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "interaction/VX_SuggestionBar.h"
#include "tests/TestSupport.h"

namespace {

using Words = std::vector<std::string>;

std::string cells(const VX_SuggestionBar &bar)
{
    std::string out;
    for (int cell = 0; cell < VX_SuggestionBar::kCells; ++cell)
        out += (cell ? "|" : "") + bar.word(cell);
    return out;
}

TEST(SuggestionBar, TheMostLikelyGoesInTheMiddleTheNextLeftThenRight)
{
    ensureApp();  // the words are drawn with the toolkit's fonts
    struct Case {
        Words given;
        std::string shown;  // left|middle|right
    } cases[] = {
        {{}, "||"},
        {{"the"}, "|the|"},
        {{"the", "they"}, "they|the|"},
        {{"the", "they", "then"}, "they|the|then"},
        {{"the", "they", "then", "there"}, "they|the|then"},
        {{"", "they", "then"}, "then|they|"},
        {{std::string(VX_SuggestionBar::kMaxWordBytes + 1, 'a'), "b"}, "|b|"},
        {{std::string(VX_SuggestionBar::kMaxWordBytes, 'a')}, "|" + std::string(VX_SuggestionBar::kMaxWordBytes, 'a') + "|"},
    };
    for (const Case &c : cases) {
        VX_SuggestionBar bar;
        bar.setWords(c.given);
        std::string given;
        for (const std::string &w : c.given)
            given += "[" + w + "]";
        EXPECT_EQ(cells(bar), c.shown) << "given " << given;
        EXPECT_EQ(bar.empty(), c.shown == "||") << "given " << given;
    }
}

TEST(SuggestionBar, TellsWhetherTheWordsChangedAndDropsAPressWhenTheyDo)
{
    ensureApp();  // the words are drawn with the toolkit's fonts
    VX_SuggestionBar bar;
    bar.setLook(300, 30, 1.0, QColor(40, 44, 52));
    EXPECT_FALSE(bar.clear()) << "already empty";
    EXPECT_TRUE(bar.setWords({"a", "b"}));
    EXPECT_FALSE(bar.setWords({"a", "b"}));
    EXPECT_TRUE(bar.setPressed(1));
    EXPECT_FALSE(bar.setPressed(1));
    EXPECT_TRUE(bar.setWords({"a", "c"}));
    EXPECT_EQ(bar.pressed(), -1) << "a press on a word that went away chooses nothing";
}

TEST(SuggestionBar, CellsSplitTheWidthAndOnlyCellsWithAWordPress)
{
    ensureApp();  // the words are drawn with the toolkit's fonts
    VX_SuggestionBar bar;
    bar.setLook(300, 30, 1.0, QColor(0, 0, 0));
    bar.setWords({"mid", "left"});
    struct Case {
        int x;
        int cell;
        bool presses;
    } cases[] = {
        {-1, -1, false}, {0, 0, true}, {99, 0, true}, {100, 1, true}, {199, 1, true},
        {200, 2, false},  // no third word
        {299, 2, false}, {300, -1, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(bar.cellAt(c.x), c.cell) << "x " << c.x;
        bar.setPressed(c.cell);
        EXPECT_EQ(bar.pressed(), c.presses ? c.cell : -1) << "x " << c.x;
        bar.setPressed(-1);
    }
    VX_SuggestionBar unsized;
    unsized.setWords({"a"});
    EXPECT_EQ(unsized.cellAt(0), -1) << "a strip without width has no cell";
}

// Pixels of `image` in columns [left, right) that differ from `ground`.
int inked(const QImage &image, int left, int right, QRgb ground)
{
    int count = 0;
    for (int y = 0; y < image.height() - 2; ++y)  // above the line that ends the strip
        for (int x = left; x < right; ++x)
            count += image.pixel(x, y) != ground;
    return count;
}

TEST(SuggestionBar, DrawsInTheBoardsColourWithTheWordsInkedInTheirCells)
{
    ensureApp();  // the words are drawn with the toolkit's fonts
    struct Case {
        QColor board;
        double ratio;
    } cases[] = {{QColor(40, 44, 52), 1.0}, {QColor(230, 230, 230), 1.0}, {QColor(40, 44, 52), 2.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.board.name().toStdString() + " ratio " + std::to_string(c.ratio));
        VX_SuggestionBar bar;
        bar.setLook(300, 30, c.ratio, c.board);
        bar.setWords({"the"});
        QImage image(int(300 * c.ratio), int(30 * c.ratio), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        {
            QPainter painter(&image);
            painter.scale(c.ratio, c.ratio);
            bar.paint(painter);
        }
        const int third = image.width() / 3;
        EXPECT_EQ(image.pixel(2, 2), c.board.rgb()) << "the ground is the board's colour";
        EXPECT_EQ(inked(image, 0, third - 2, c.board.rgb()), 0) << "the left cell is empty";
        EXPECT_GT(inked(image, third + 2, 2 * third - 2, c.board.rgb()), 20) << "the word is in the middle";
        EXPECT_EQ(inked(image, 2 * third + 2, image.width(), c.board.rgb()), 0) << "the right cell is empty";
        // Pressed, the middle cell's ground changes; the others stay.
        bar.setPressed(1);
        QImage down = image;
        {
            QPainter painter(&down);
            painter.scale(c.ratio, c.ratio);
            bar.paint(painter);
        }
        EXPECT_NE(down.pixel(third + 4, 2), c.board.rgb());
        EXPECT_EQ(down.pixel(2, 2), c.board.rgb());
    }
}

// The board of a real layout with the strip shown above it.
class BoardBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        dir.writeGif("k.gif", 400, 80, 0x336699);
        dir.write("load.cfg", "keys\n");
        dir.write("keys.cfg",
                  "[Common]\nkeys 2 mode 2 bwid 40 bhei 30\n"
                  "[Layout]\nalpha alpha\n"
                  "[Geometry]\n(0 0) (50 0)\n"
                  "[Strings]\n( a A ) ( b B )\n"
                  "[Board]\nwid 180 hei 40 color ( 40 44 52 )\n"
                  "[Pixs]\n( (k.gif ) ) ( (k.gif ) )\n");
        window = std::make_unique<QVX_Main>(std::vector<std::string>{dir.path()});
        board = window->board;
        QObject::connect(board, &QVX_Board::sendKey,
                         [this](int, const char *text) { typed += text ? text : "<erase>"; });
        QObject::connect(board, &QVX_Board::suggestionChosen, [this](const std::string &w) { chosen.push_back(w); });
        QObject::connect(board, &QVX_Board::suggestionHeld, [this](const std::string &w) { held.push_back(w); });
        board->setBarShown(true);
        ASSERT_TRUE(board->showActive()) << log.text();
        top = VX_SuggestionBar::kLayoutHeight;
        board->setSuggestions({"the", "they", "then"});
    }

    void mouse(QEvent::Type type, int x, int y)
    {
        QPointF at(x, y);
        QMouseEvent event(type, at, board->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(board, &event);
    }

    TempDir dir;
    LogCapture log;
    std::unique_ptr<QVX_Main> window;
    QVX_Board *board = nullptr;
    int top = 0;
    std::string typed;
    Words chosen, held;
};

TEST_F(BoardBarTest, TheStripSitsAboveTheLayoutAsWideAsTheBoard)
{
    EXPECT_EQ(board->size(), QSize(180, 40 + top));
    EXPECT_EQ(board->bar.width(), 180);
    EXPECT_EQ(board->bar.height(), top);
    EXPECT_EQ(board->keyRect(1), QRect(50, top, 40, 30));
    board->setBarShown(false);
    board->showActive();
    EXPECT_EQ(board->size(), QSize(180, 40));
    EXPECT_EQ(board->keyRect(1), QRect(50, 0, 40, 30));
}

TEST_F(BoardBarTest, ATapChoosesTheWordUnderItAndTypesNoKey)
{
    struct Case {
        int x;
        Words chosen;
    } cases[] = {{90, {"the"}}, {10, {"they"}}, {170, {"then"}}};
    for (const Case &c : cases) {
        chosen.clear();
        mouse(QEvent::MouseButtonPress, c.x, top / 2);
        mouse(QEvent::MouseButtonRelease, c.x, top / 2);
        EXPECT_EQ(chosen, c.chosen) << "x " << c.x;
        EXPECT_EQ(typed, "");
    }
    // The keys below the strip type as before, shifted down by it.
    mouse(QEvent::MouseButtonPress, 60, top + 10);
    mouse(QEvent::MouseButtonRelease, 60, top + 10);
    EXPECT_EQ(typed, "b");
}

TEST_F(BoardBarTest, SlidingOffTheWordOrOntoTheKeysChoosesNothing)
{
    struct Case {
        const char *name;
        int toX, toY;
    } cases[] = {{"to the next cell", 10, 10}, {"down onto a key", 90, 0}, {"below the strip", 60, 0}};
    for (const Case &c : cases) {
        chosen.clear();
        mouse(QEvent::MouseButtonPress, 90, 10);
        mouse(QEvent::MouseMove, c.toX, c.toY ? c.toY : top + 10);
        mouse(QEvent::MouseButtonRelease, c.toX, c.toY ? c.toY : top + 10);
        EXPECT_TRUE(chosen.empty()) << c.name;
        EXPECT_EQ(typed, "") << c.name << ": a press that began on the strip types no key";
    }
}

TEST_F(BoardBarTest, AHoldForgetsTheWordAndItsLiftChoosesNothing)
{
    mouse(QEvent::MouseButtonPress, 90, 10);
    ASSERT_TRUE(board->forgetTimer->isActive());
    EXPECT_EQ(board->forgetTimer->interval(), QVX_Board::kForgetHoldMs);
    board->forgetTimer->stop();
    board->holdSuggestion();
    EXPECT_EQ(held, Words{"the"});
    mouse(QEvent::MouseButtonRelease, 90, 10);
    EXPECT_TRUE(chosen.empty());
    // A quick tap stops the timer: nothing is forgotten later.
    mouse(QEvent::MouseButtonPress, 10, 10);
    mouse(QEvent::MouseButtonRelease, 10, 10);
    EXPECT_FALSE(board->forgetTimer->isActive());
    EXPECT_EQ(chosen, Words{"they"});
}

TEST_F(BoardBarTest, AnEmptyStripTakesTapsWithoutEffect)
{
    board->setSuggestions({});
    mouse(QEvent::MouseButtonPress, 90, 10);
    EXPECT_FALSE(board->forgetTimer->isActive());
    mouse(QEvent::MouseButtonRelease, 90, 10);
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(typed, "");
}

TEST_F(BoardBarTest, TheBoardPaintsTheStripAboveTheKeys)
{
    QImage image(board->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    board->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixel(2, 2), QColor(40, 44, 52).rgb()) << "the strip in the board's colour";
    EXPECT_NE(image.pixel(2, top - 1), QColor(40, 44, 52).rgb()) << "the line that ends the strip";
    for (int y : {top, top + 10, top + 39})
        EXPECT_EQ(image.pixel(120, y), QColor(40, 44, 52).rgb()) << "the layout below it, y " << y;
}

}  // namespace
