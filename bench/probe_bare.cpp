// The yardstick for start-up: a bare dialog with a text field above an
// empty frame, built like the program's window, with the same probe on the
// frame.
//   vexil_bench_bare <width> <height>   the frame's fixed size (the board's)
#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QTextEdit>
#include <QVBoxLayout>
#include <cstdlib>

#include "bench/FirstPaint.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int width = argc > 2 ? std::atoi(argv[1]) : 240;
    const int height = argc > 2 ? std::atoi(argv[2]) : 128;
    int result;
    {
        QDialog dialog(nullptr, Qt::WindowFlags());
        auto *layout = new QVBoxLayout(&dialog);
        auto *frame = new QFrame(&dialog);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frame->setAttribute(Qt::WA_OpaquePaintEvent);
        frame->setFixedSize(width, height);
        auto *text = new QTextEdit(&dialog);
        layout->addWidget(text, 0, Qt::AlignHCenter);
        layout->addWidget(frame, 0, Qt::AlignHCenter);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        FirstPaint probe(frame);
        QApplication::setActiveWindow(&dialog);
        dialog.setVisible(true);
        result = QApplication::exec();
    }
    return result;
}
