// Benchmark-only build of the program: main() exactly as the program has
// it, with a probe on the board that reports its first paint and quits.
#include <QApplication>

#include "app/QVX_Board.h"
#include "app/QVX_Main.h"
#include "bench/FirstPaint.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int result;
    {
        QVX_Main window;
        FirstPaint probe(window.board);
        QApplication::setActiveWindow(&window);
        window.setVisible(true);
        result = QApplication::exec();
    }
    return result;
}
