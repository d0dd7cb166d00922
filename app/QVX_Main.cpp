#include "app/QVX_Main.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/QVX_Board.h"
#include "app/QVX_KeyEvents.h"
#include "base/SearchDirs.h"

QVX_Main::QVX_Main() : QVX_Main(platformSearchDirs()) {}

QVX_Main::QVX_Main(std::vector<std::string> searchDirs) : QDialog(nullptr, Qt::WindowFlags())
{
    auto *layout = new QVBoxLayout(this);
    board = new QVX_Board(this, std::move(searchDirs));
    connect(board, &QVX_Board::sendKey, this, &QVX_Main::sendKey);
    connect(board, &QVX_Board::sendStroke, this, &QVX_Main::sendStroke);
    board->setFrameStyle(QFrame::Box | QFrame::Sunken);
    board->setAttribute(Qt::WA_OpaquePaintEvent);
    textEdit = new QTextEdit(this);
    // A multi-tap key replaces the character it typed last. Once the text or
    // the cursor changes by any other hand (a click, a physical keyboard),
    // that character is no longer the one before the cursor: the cycle
    // closes, so the next tap does not erase the user's text.
    auto outsideChange = [this] {
        if (!delivering)
            board->resetKey();
    };
    connect(textEdit, &QTextEdit::cursorPositionChanged, this, outsideChange);
    connect(textEdit, &QTextEdit::textChanged, this, outsideChange);
    layout->addWidget(textEdit, 0, Qt::AlignHCenter);
    layout->addWidget(board, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // A failed load may still have placed layouts (load.cfg broken after
    // good names): the board shows what the engine holds, at its size.
    board->engine.load();
    // Only the layout shown first is decoded now; the board decodes each
    // other one when it switches to it. With no layout the engine has
    // reported why, and the board keeps no size.
    board->showActive();
}

void QVX_Main::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void QVX_Main::sendKey(int qkey, const char *unikey)
{
    if (!QCoreApplication::instance())
        return;
    // The changes this event makes to the text are the board's own.
    delivering = true;
    if (qkey != 0) {
        // A key code: the text is never read (the erase step passes null).
        QKeyEvent event(QEvent::KeyPress, qkey, Qt::NoModifier, QString(), false, 1);
        QCoreApplication::sendEvent(textEdit, &event);
    } else {
        QKeyEvent event(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8(unikey, -1), false, 1);
        QCoreApplication::sendEvent(textEdit, &event);
    }
    delivering = false;
}

void QVX_Main::sendStroke(uint32_t keysym, uint32_t mods)
{
    if (!QCoreApplication::instance())
        return;
    delivering = true;
    QKeyEvent event(QEvent::KeyPress, QVX_KeyEvents::qtKey(keysym), QVX_KeyEvents::qtModifiers(mods),
                    QVX_KeyEvents::text(keysym, mods), false, 1);
    QCoreApplication::sendEvent(textEdit, &event);
    delivering = false;
}
