// The window and the board widget: delivery of key requests to the text
// field, the board without layouts, and the program's start-up output.
#include <QCoreApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "tests/TestSupport.h"

namespace {

// Emits the board's signal as the board does, through the real connection.
void emitKey(QVX_Main &window, int qkey, const char *text) { emit window.board->sendKey(qkey, text); }

void mouse(QWidget *w, QEvent::Type type, int x, int y)
{
    QPointF at(x, y);
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

struct RequestCase {
    const char *what;
    std::string before;  // text in the field before the request
    int qkey;
    const char *text;
    std::string after;   // plain text afterwards
};

TEST(MainWindow, EveryRequestReachesTheTextField)
{
    ensureApp();
    TempDir dir;  // no load.cfg: the window opens without layouts
    const RequestCase cases[] = {
        {"letter", "", 0, "a", "a"},
        {"two-byte letter", "", 0, "\xc3\xa9", "\xc3\xa9"},
        {"cyrillic", "x", 0, "\xd0\x96", "x\xd0\x96"},
        {"backspace, null text", "ab", 0x01000003, nullptr, "a"},
        {"return ignores text", "ab", 0x01000004, "zz", "ab\n"},
        {"tab", "a", 0, "\t", "a\t"},
        {"space", "a", 0, " ", "a "},
    };
    for (const RequestCase &c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        QVX_Main window({dir.path()});
        window.textEdit->setPlainText(QString::fromStdString(c.before));
        window.textEdit->moveCursor(QTextCursor::End);
        emitKey(window, c.qkey, c.text);
        EXPECT_EQ(window.textEdit->toPlainText().toStdString(), c.after);
    }
}

// Keys by keysym (named keys, keys under sticky modifiers) act on the text
// field as the physical keys do.
TEST(MainWindow, StrokesEditLikeThePhysicalKeys)
{
    ensureApp();
    TempDir dir;
    constexpr uint32_t kCtrl = 1u << 1, kShift = 1u << 0;
    struct Stroke {
        uint32_t keysym;
        uint32_t mods;
    };
    const struct {
        const char *what;
        std::string before;
        std::vector<Stroke> strokes;
        std::string after;  // the text, then "x" typed at the cursor
    } cases[] = {
        {"left twice", "abc", {{0xff51, 0}, {0xff51, 0}}, "axbc"},
        {"home, right", "abc", {{0xff50, 0}, {0xff53, 0}}, "axbc"},
        {"home, end", "abc", {{0xff50, 0}, {0xff57, 0}}, "abcx"},
        {"home, delete", "abc", {{0xff50, 0}, {0xffff, 0}}, "xbc"},
        {"up to the line above", "ab\ncd", {{0xff52, 0}}, "abx\ncd"},
        {"page up: a page holds both lines", "ab\ncd", {{0xff55, 0}}, "abx\ncd"},
        {"ctrl+home", "ab\ncd", {{0xff50, kCtrl}}, "xab\ncd"},
        {"ctrl+a selects all", "abc", {{'a', kCtrl}}, "x"},
        {"ctrl+backspace erases a word", "ab cd", {{0xff08, kCtrl}}, "ab x"},
        {"shift+letter types the capital", "", {{'q', kShift}}, "Qx"},
        {"escape changes nothing", "ab", {{0xff1b, 0}}, "abx"},
        {"a function key changes nothing", "ab", {{0xffc2, 0}}, "abx"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        QVX_Main window({dir.path()});
        window.show();
        window.textEdit->setPlainText(QString::fromStdString(c.before));
        window.textEdit->moveCursor(QTextCursor::End);
        for (const Stroke &s : c.strokes)
            emit window.board->sendStroke(s.keysym, s.mods);
        emitKey(window, 0, "x");
        EXPECT_EQ(window.textEdit->toPlainText().toStdString(), c.after);
        EXPECT_TRUE(window.isVisible()) << "the window stays open";
    }
}

TEST(MainWindow, IsBuiltAsOneFixedSizeColumn)
{
    ensureApp();
    TempDir dir;
    LogCapture log;
    QVX_Main window({dir.path()});
    EXPECT_EQ(window.board->frameStyle(), 49);
    EXPECT_TRUE(window.board->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(window.layout()->sizeConstraint(), QLayout::SetFixedSize);
    EXPECT_EQ(window.layout()->itemAt(0)->widget(), window.textEdit);
    EXPECT_EQ(window.layout()->itemAt(1)->widget(), window.board);
    EXPECT_TRUE(window.board->resetTimer->isSingleShot());
    EXPECT_FALSE(window.board->repeatTimer->isSingleShot());
    // The missing load.cfg is reported with every search directory.
    EXPECT_EQ(log.text(), "VX_Engine: no 'load.cfg' in ( " + dir.path() + " )\n");
}

TEST(MainWindow, TakesTheSizeOfTheFirstBasicLayout)
{
    ensureApp();
    TempDir dir;
    dir.write("load.cfg", "small\n");
    dir.write("small.cfg", "[Common]\nkeys 1\n");
    LogCapture log;
    QVX_Main window({dir.path()});
    EXPECT_EQ(window.board->minimumSize(), QSize(240, 128));
    EXPECT_EQ(window.board->maximumSize(), QSize(240, 128));
    EXPECT_EQ(log.lines().back(), "VX_Engine: load complete - basic: 1, aux: 0");
}

TEST(Board, WithoutLayoutsIgnoresThePointerAndDrawsNothing)
{
    ensureApp();
    TempDir dir;
    LogCapture log;
    QVX_Main window({dir.path()});
    window.textEdit->setPlainText("keep");
    QVX_Board *board = window.board;
    board->setFixedSize(60, 40);
    int sent = 0;
    QObject::connect(board, &QVX_Board::sendKey, [&](int, const char *) { ++sent; });

    board->resetTimer->start(5000);
    mouse(board, QEvent::MouseButtonPress, 10, 10);
    EXPECT_FALSE(board->resetTimer->isActive()) << "a press always stops the reset timer";
    mouse(board, QEvent::MouseMove, 20, 20);
    mouse(board, QEvent::MouseButtonRelease, 20, 20);
    board->repeatKey();
    board->resetKey();
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(board->repeatTimer->isActive());
    EXPECT_FALSE(board->resetTimer->isActive());
    EXPECT_EQ(window.textEdit->toPlainText(), "keep");

    // Painting draws nothing: the sentinel colour survives a paint.
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(QColor(1, 2, 3));
    board->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(image.pixelColor(30, 20), QColor(1, 2, 3));
}

// The real program, with standard output on a pipe: every line arrives as it
// is written (the program is still running when the report is read), and the
// load report names the layouts.
TEST(Program, PrintsTheLoadReportOnAPipe)
{
    TempDir dir;
    std::string data = dir.mkdir("data/vexil");
    dir.write("data/vexil/load.cfg", "one\nmissing\n");
    dir.write("data/vexil/one.cfg", "[Common]\nkeys 2\n");
    const char *bin = getenv("VEXIL_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    std::string exe = std::string(bin) + "/vexil";
    std::string xdg = dir.path() + "/data";

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        setenv("XDG_DATA_HOME", xdg.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    // The program runs until its window closes; read until the report is in.
    while (out.find("load complete") == std::string::npos && (n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the program should still be running";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_NE(out.find("VX_Engine: no 'missing.cfg' in ( " + data + " "), std::string::npos) << out;
    EXPECT_NE(out.find("VX_Engine: loading layout 'missing' failed, remove it\n"), std::string::npos) << out;
    EXPECT_NE(out.find("VX_Engine: load complete - basic: 1, aux: 0\n"), std::string::npos) << out;
}

}  // namespace
