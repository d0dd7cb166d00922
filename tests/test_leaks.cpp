// The program's whole life with the shipped layouts: the application and
// the window are built as main() builds them, keys are tapped, the window is
// closed, the event loop returns and everything is destroyed in order.
// Run under valgrind (tests/leak-check.sh) and in the sanitizer build, this
// is the check that start-up and shutdown leak nothing and touch nothing
// they do not own.
#include <QApplication>
#include <QMouseEvent>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "tests/TestSupport.h"

namespace {

void tap(QWidget *board, const VX_Key &key)
{
    const QPointF at(key.x + key.width / 2, key.y + key.height / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, board->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(board, &event);
        QCoreApplication::processEvents();  // paints the key's new look
    }
}

}  // namespace

TEST(ProgramLife, ShippedLayoutsStartTypeAndClose)
{
    // Only the shipped layouts beside the executable: the user's own
    // directory is an empty one.
    TempDir userDir;
    setenv("XDG_DATA_HOME", userDir.path().c_str(), 1);
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int argc = 1;
    char arg0[] = "vexil";
    char *argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    int result = -1;
    uint32_t basic = 0;
    uint32_t aux = 0;
    int rowsVisited = 0;
    std::string typed;
    {
        QVX_Main window;
        QApplication::setActiveWindow(&window);
        window.setVisible(true);
        VX_Engine &engine = window.board->engine;
        basic = engine.layoutCount[0];
        aux = engine.layoutCount[1];

        // Once the loop runs: tap every key of whatever layout is shown,
        // following switches, links and caps for a few rounds, then close
        // the window as its user would.
        QTimer::singleShot(0, &window, [&] {
            for (int round = 0; round < 6 && engine.activeLayout(); ++round) {
                VX_Layout *shown = engine.activeLayout();
                rowsVisited |= 1 << engine.activeRow;
                for (int32_t i = 0; i < shown->keyCount && engine.activeLayout() == shown; ++i)
                    tap(window.board, shown->keys[i]);
            }
            window.close();
        });
        result = QApplication::exec();
        typed = window.textEdit->toPlainText().toStdString();
    }
    EXPECT_EQ(result, 0);
    EXPECT_GE(basic, 1u) << "the shipped layouts did not load";
    EXPECT_GE(aux, 1u);
    EXPECT_EQ(rowsVisited, 3) << "taps never reached an aux layout";
    EXPECT_FALSE(typed.empty());
}
