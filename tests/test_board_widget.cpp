// The board widget over a real layout set: what its timers do around
// presses, slides, releases and ticks, and how it resizes on a switch.
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "tests/TestSupport.h"

namespace {

// Two basic layouts. "keys": a one-character key, a three-character
// multi-tap key, caps and switch, 40 by 30 each, in a row; every key has a
// picture cut in place. "wide": one switch key on a larger board.
class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        dir.writeGif("k.gif", 400, 80, 0x336699);
        dir.write("load.cfg", "keys wide\n");
        dir.write("keys.cfg",
                  "[Common]\nkeys 4 mode 2 bwid 40 bhei 30 repeat-on 1 draw-pressed 1\n"
                  "tm-period 450 tm-rate 90 tm-enum-rate 350 tm-enum-reset 800\n"
                  "[Layout]\nalpha alpha caps switch\n"
                  "[Geometry]\n(0 0) (50 0) (100 0) (150 0)\n"
                  "[Strings]\n( a A ) ( xyz XYZ )\n"
                  "[Board]\nwid 200 hei 40\n"
                  "[Pixs]\n( (k.gif ) ) ( (k.gif ) ) ( (k.gif ) ) ( (k.gif ) )\n");
        dir.write("wide.cfg",
                  "[Common]\nkeys 1 bwid 40 bhei 30\n[Layout]\nswitch\n[Geometry]\n(0 0)\n"
                  "[Board]\nwid 300 hei 60\n[Pixs]\n( (k.gif ) )\n");
        open();
    }

    // A new window over the files now in the directory.
    void open()
    {
        sent.clear();
        log.clear();
        window = std::make_unique<QVX_Main>(std::vector<std::string>{dir.path()});
        board = window->board;
        QObject::connect(board, &QVX_Board::sendKey, [this](int code, const char *text) {
            sent.push_back(code ? "<" + std::to_string(code) + ">" : std::string(text));
        });
    }

    void mouse(QEvent::Type type, int x, int y)
    {
        QPointF at(x, y);
        QMouseEvent event(type, at, board->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(board, &event);
    }
    void press(int x, int y) { mouse(QEvent::MouseButtonPress, x, y); }
    void move(int x, int y) { mouse(QEvent::MouseMove, x, y); }
    void release(int x, int y) { mouse(QEvent::MouseButtonRelease, x, y); }

    // The board as the next paint leaves it. Like the widget, `screen` keeps
    // its pixels between paints: the board paints only what changed.
    const QImage &paintBoard()
    {
        if (screen.size() != board->size()) {
            screen = QImage(board->size(), QImage::Format_RGB32);
            screen.fill(Qt::magenta);
        }
        board->render(&screen, QPoint(), QRegion(), QWidget::DrawChildren);
        return screen;
    }

    TempDir dir;
    LogCapture log;
    std::unique_ptr<QVX_Main> window;
    QVX_Board *board = nullptr;
    std::vector<std::string> sent;
    QImage screen;
};

const std::string kBackspace = "<" + std::to_string(0x01000003) + ">";

TEST_F(BoardTest, HeldKeyRepeatsAtThePeriodThenAtTheRate)
{
    press(10, 10);
    EXPECT_EQ(sent, std::vector<std::string>{"a"}) << log.text();
    ASSERT_TRUE(board->repeatTimer->isActive());
    EXPECT_EQ(board->repeatTimer->interval(), 450);

    board->repeatKey();  // first tick: the interval becomes the rate
    EXPECT_EQ(board->repeatTimer->interval(), 90);
    board->repeatKey();
    EXPECT_EQ(board->repeatTimer->interval(), 90);
    EXPECT_EQ(sent, (std::vector<std::string>{"a", "a", "a"}));

    release(10, 10);
    EXPECT_FALSE(board->repeatTimer->isActive());
    EXPECT_FALSE(board->resetTimer->isActive()) << "a one-character key opens no cycle";
}

// A front end that draws the board itself hands it pointer positions in
// board pixels: they land on the layout at the board's scale, as the
// widget's mouse events do, edges included.
TEST_F(BoardTest, PointerPositionsLandAtTheBoardsScale)
{
    struct Case {
        double scale;
        double x, y;       // board pixels
        const char *sent;  // "" for none
    } cases[] = {
        // The key a covers layout pixels 0..40 across and 0..30 down, edges
        // included; x from 50.
        {1, 10, 10, "a"},       {1, 40.9, 30.9, "a"},   {1, 41, 10, ""},     {1, 60, 10, "x"},
        {2.5, 102.4, 77.4, "a"}, {2.5, 102.5, 10, ""},  {2.5, 125, 10, "x"}, {2.5, 10, 77.5, ""},
        {0.5, 20.4, 5, "a"},     {0.5, 20.5, 5, ""},    {0.5, 25, 5, "x"},
    };
    for (const Case &c : cases) {
        board->setScale(c.scale);
        ASSERT_TRUE(board->showActive());
        for (bool widget : {false, true}) {
            sent.clear();
            if (widget) {
                QMouseEvent down(QEvent::MouseButtonPress, QPointF(c.x, c.y), QPointF(c.x, c.y), Qt::LeftButton,
                                 Qt::LeftButton, Qt::NoModifier);
                QMouseEvent up(QEvent::MouseButtonRelease, QPointF(c.x, c.y), QPointF(c.x, c.y), Qt::LeftButton,
                               Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(board, &down);
                QCoreApplication::sendEvent(board, &up);
            } else {
                board->pointerPress(QPointF(c.x, c.y));
                board->pointerRelease();
            }
            board->resetKey();  // a fresh cycle for the next case
            const std::vector<std::string> want = *c.sent ? std::vector<std::string>{c.sent} : std::vector<std::string>();
            EXPECT_EQ(sent, want) << "scale " << c.scale << " at " << c.x << "," << c.y << (widget ? " (widget)" : "");
        }
    }
    // A slide from key to key and off the board: the same either way.
    board->setScale(2);
    ASSERT_TRUE(board->showActive());
    std::vector<std::string> byWidget, byPointer;
    for (bool widget : {false, true}) {
        sent.clear();
        board->resetKey();
        if (widget) {
            press(20, 20);
            move(120, 20);
            move(-5, 20);
            release(-5, 20);
            byWidget = sent;
        } else {
            board->pointerPress(QPointF(20, 20));
            board->pointerMove(QPointF(120, 20));
            board->pointerMove(QPointF(-5, 20));
            board->pointerRelease();
            byPointer = sent;
        }
    }
    EXPECT_FALSE(byWidget.empty());
    EXPECT_EQ(byPointer, byWidget);
}

// A tick that runs late, with the release (and maybe the next press)
// already queued, belongs to a press that has ended: it types nothing.
TEST_F(BoardTest, LateTickAfterAQueuedReleaseTypesNothing)
{
    struct Case {
        const char *name;
        bool pressAgain;  // a press on the multi-tap key queued after the release
        std::vector<std::string> sent;
    } cases[] = {
        {"release queued", false, {"a"}},
        {"release and a new press queued", true, {"a", "x"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        open();
        press(10, 10);
        ASSERT_TRUE(board->repeatTimer->isActive());
        auto post = [this](QEvent::Type type, int x, int y) {
            QPointF at(x, y);
            QCoreApplication::postEvent(
                board, new QMouseEvent(type, at, board->mapToGlobal(at), Qt::LeftButton,
                                       type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                                       Qt::NoModifier));
        };
        post(QEvent::MouseButtonRelease, 10, 10);
        if (c.pressAgain)
            post(QEvent::MouseButtonPress, 60, 10);
        board->repeatKey();
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(board->repeatTimer->isActive(), c.pressAgain);
    }
}

TEST_F(BoardTest, HeldMultiTapKeyStepsAtTheEnumRate)
{
    press(60, 10);
    board->repeatKey();
    EXPECT_EQ(board->repeatTimer->interval(), 350);
    board->repeatKey();
    EXPECT_EQ(sent, (std::vector<std::string>{"x", kBackspace, "y", kBackspace, "z"}));
}

TEST_F(BoardTest, ReleaseOfAMultiTapKeyStartsTheResetTimer)
{
    press(60, 10);
    release(60, 10);
    ASSERT_TRUE(board->resetTimer->isActive());
    EXPECT_EQ(board->resetTimer->interval(), 800);

    press(60, 10);  // within the reset time: replaces x by y
    EXPECT_FALSE(board->resetTimer->isActive()) << "a press stops the reset timer";
    release(60, 10);
    board->resetKey();  // the reset time ran out
    press(60, 10);
    release(60, 10);
    EXPECT_EQ(sent, (std::vector<std::string>{"x", kBackspace, "y", "x"}));
}

TEST_F(BoardTest, SlidingOffEveryKeyStopsTheRepeat)
{
    press(10, 10);
    move(20, 20);  // still on the key: nothing changes
    EXPECT_TRUE(board->repeatTimer->isActive());
    move(45, 10);  // the gap between two keys
    EXPECT_FALSE(board->repeatTimer->isActive());
    move(60, 10);  // onto the multi-tap key: pressed at once, repeating again
    EXPECT_TRUE(board->repeatTimer->isActive());
    EXPECT_EQ(board->repeatTimer->interval(), 450);
    EXPECT_EQ(sent, (std::vector<std::string>{"a", "x"}));
}

TEST_F(BoardTest, TextReachesTheTextFieldThroughTheWindow)
{
    press(10, 10);
    release(10, 10);
    press(110, 10);  // caps
    release(110, 10);
    press(10, 10);
    release(10, 10);
    press(60, 10);
    release(60, 10);
    press(60, 10);
    release(60, 10);
    EXPECT_EQ(window->textEdit->toPlainText(), "aAY");
}

TEST_F(BoardTest, SwitchResizesTheBoardToTheNextLayout)
{
    EXPECT_EQ(board->size(), QSize(200, 40));
    press(160, 10);
    release(160, 10);
    EXPECT_EQ(board->engine.activeSlot, 1);
    EXPECT_EQ(board->minimumSize(), QSize(300, 60));
    EXPECT_EQ(board->maximumSize(), QSize(300, 60));
    press(10, 10);  // the wide layout's switch goes back
    release(10, 10);
    EXPECT_EQ(board->engine.activeSlot, 0);
    EXPECT_EQ(board->maximumSize(), QSize(200, 40));
    EXPECT_TRUE(sent.empty()) << "switch keys send nothing";
}

// Neither a layout with repeat off nor one whose period is 0 ever runs the
// repeat timer, whatever the pointer does; every tap still types.
TEST_F(BoardTest, RepeatTimerNeverRunsWithoutRepeat)
{
    for (const char *timing : {"repeat-on 0 tm-period 450", "repeat-on 1 tm-period 0"}) {
        SCOPED_TRACE(timing);
        dir.write("keys.cfg", std::string("[Common]\nkeys 2 bwid 40 bhei 30 ") + timing +
                                  "\n[Layout]\nalpha alpha\n[Geometry]\n(0 0) (50 0)\n"
                                  "[Strings]\na xyz\n[Pixs]\n( (k.gif ) ) ( (k.gif ) )\n");
        open();
        auto expectIdle = [this](const char *step) {
            EXPECT_FALSE(board->repeatTimer->isActive()) << step << "\n" << log.text();
        };
        press(10, 10);
        expectIdle("press");
        board->repeatKey();
        expectIdle("tick");
        move(60, 10);
        expectIdle("slide onto a key");
        move(45, 10);
        expectIdle("slide off");
        release(45, 10);
        press(60, 10);
        release(60, 10);
        press(60, 10);
        expectIdle("second tap");
        release(60, 10);
        EXPECT_EQ(sent, (std::vector<std::string>{"a", "a", "x", "x", kBackspace, "y"}))
            << log.text();
    }
}

// A key is drawn pressed only while it is held, however many pointer events
// come before the next paint.
TEST_F(BoardTest, KeysLetGoBeforeAPaintAreDrawnReleased)
{
    const QRgb up = qRgb(0x33, 0x66, 0x99);
    const QRgb down = qRgb(0xcc, 0x33, 0x00);
    dir.writeGif("up.gif", 40, 30, 0x336699);
    dir.writeGif("down.gif", 40, 30, 0xcc3300);
    dir.write("keys.cfg",
              "[Common]\nkeys 2 bwid 40 bhei 30 draw-pressed 1\n[Layout]\nalpha alpha\n"
              "[Geometry]\n(0 0) (50 0)\n[Strings]\na b\n[Board]\nwid 100 hei 40\n"
              "[Pixs]\n( (0 0 up.gif ) (0 0 down.gif ) ) ( (0 0 up.gif ) (0 0 down.gif ) )\n");
    open();
    ASSERT_EQ(paintBoard().pixel(10, 10), up) << log.text();

    press(10, 10);
    EXPECT_EQ(paintBoard().pixel(10, 10), down) << "held";
    release(10, 10);
    EXPECT_EQ(paintBoard().pixel(10, 10), up) << "let go";

    press(10, 10);  // press and release before one paint
    release(10, 10);
    EXPECT_EQ(paintBoard().pixel(10, 10), up) << "fast tap";

    press(10, 10);
    paintBoard();
    move(60, 10);  // slide to the other key, painted: both as they are
    QImage both = paintBoard();  // a copy
    EXPECT_EQ(both.pixel(10, 10), up) << "left key";
    EXPECT_EQ(both.pixel(60, 10), down) << "key slid onto";
    release(60, 10);

    press(10, 10);
    paintBoard();
    move(60, 10);  // slide and release before one paint
    release(60, 10);
    both = paintBoard();
    EXPECT_EQ(both.pixel(10, 10), up) << "left key, slide and release before a paint";
    EXPECT_EQ(both.pixel(60, 10), up) << "released key";
}

// Once the text or its cursor changes by another hand than the board's, the
// open multi-tap cycle is closed: the next tap types its first character
// and erases nothing of the user's text.
TEST_F(BoardTest, OutsideChangesOfTheTextCloseTheCycle)
{
    QTextEdit *text = window->textEdit;
    auto physicalKey = [text](int key, const QString &chars) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, chars);
        QCoreApplication::sendEvent(text, &event);
    };
    struct Case {
        const char *what;
        std::function<void()> change;
        const char *after;  // the field after the second tap
    } cases[] = {
        {"nothing (the cycle stays open)", [] {}, "hello woyrld"},
        {"click after \"woxr\"",
         [text] {
             QTextCursor at = text->textCursor();
             at.setPosition(10);
             text->setTextCursor(at);
         },
         "hello woxrxld"},
        {"Home on a physical keyboard", [&] { physicalKey(Qt::Key_Home, QString()); },
         "xhello woxrld"},
        {"a letter typed on a physical keyboard", [&] { physicalKey(Qt::Key_Q, "q"); },
         "hello woxqxrld"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        text->setPlainText("hello world");
        QTextCursor at = text->textCursor();
        at.setPosition(8);
        text->setTextCursor(at);
        board->resetKey();
        press(60, 10);  // "xyz": x
        release(60, 10);
        c.change();
        press(60, 10);
        release(60, 10);
        EXPECT_EQ(text->toPlainText().toStdString(), c.after);
    }
}

// Escape from a physical keyboard neither closes the window nor loses the
// text; closing stays with the window manager.
TEST_F(BoardTest, EscapeKeepsTheWindowAndItsText)
{
    window->show();
    window->textEdit->setPlainText("typed");
    for (QWidget *target : {static_cast<QWidget *>(window->textEdit),
                            static_cast<QWidget *>(window.get())}) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->result(), 0);
        EXPECT_EQ(window->textEdit->toPlainText(), "typed");
    }
    EXPECT_TRUE(window->close()) << "the window manager still closes it";
}

}  // namespace
