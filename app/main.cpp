// vexil: an on-screen keyboard. A text field above a keyboard board; the
// layouts are read at start-up from load.cfg in the search directories.
#include <QApplication>

#include "app/QVX_Main.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int result;
    {
        QVX_Main window;
        QApplication::setActiveWindow(&window);
        window.setVisible(true);
        result = QApplication::exec();
    }
    return result;
}
