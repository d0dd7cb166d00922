#include "app/QVX_Board.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

QVX_Board::QVX_Board(QWidget *parent, std::vector<std::string> searchDirs)
    : QFrame(parent, Qt::WindowFlags()), engine(std::move(searchDirs))
{
    repeatTimer = new QTimer(this);
    connect(repeatTimer, &QTimer::timeout, this, &QVX_Board::repeatKey);
    resetTimer = new QTimer(this);
    connect(resetTimer, &QTimer::timeout, this, &QVX_Board::resetKey);
    resetTimer->setSingleShot(true);
}

// The handlers read the active layout afresh after every layout operation:
// a release may have switched to another layout (or to none).

void QVX_Board::mousePressEvent(QMouseEvent *event)
{
    VX_Layout *layout = engine.activeLayout();
    if (layout && layout->repeatOn)
        repeatTimer->stop();
    resetTimer->stop();
    int32_t interval = 0;
    if (layout) {
        const QPoint at = event->position().toPoint();
        interval = layout->press(at.x(), at.y());
    }
    layout = engine.activeLayout();
    if (!layout)
        return;
    if (layout->fullRedraw || layout->redrawReleased != -1 || layout->redrawPressed != -1)
        update();
    if (layout->erasePrevious)
        emit sendKey(VX_CODE_BACKSPACE, nullptr);
    if (interval == 0)
        return;
    if (layout->repeatOn)
        repeatTimer->start(interval);
    emit sendKey(layout->sendCode, layout->sendText);
}

void QVX_Board::mouseReleaseEvent(QMouseEvent *)
{
    VX_Layout *layout = engine.activeLayout();
    if (layout && layout->repeatOn)
        repeatTimer->stop();
    if (layout)
        layout->release();
    layout = engine.activeLayout();
    if (!layout)
        return;
    if (layout->fullRedraw || layout->redrawReleased != -1 || layout->redrawPressed != -1) {
        if (layout->fullRedraw) {
            // Possibly another layout: its pictures are decoded before it
            // is first painted, since painting never decodes.
            engine.preparePictures(*layout);
            setFixedSize(layout->width, layout->height);
        }
        update();
    }
    if (layout->enumKey != -1)
        resetTimer->start(layout->tmEnumReset);
}

void QVX_Board::mouseMoveEvent(QMouseEvent *event)
{
    VX_Layout *layout = engine.activeLayout();
    int32_t interval = 0;
    if (layout) {
        const QPoint at = event->position().toPoint();
        interval = layout->move(at.x(), at.y());
    }
    layout = engine.activeLayout();
    if (!layout)
        return;
    if (layout->fullRedraw || layout->redrawReleased != -1 || layout->redrawPressed != -1)
        update();
    if (layout->pressChanged && layout->repeatOn)
        repeatTimer->stop();
    if (layout->erasePrevious)
        emit sendKey(VX_CODE_BACKSPACE, nullptr);
    if (interval == 0)
        return;
    if (layout->pressChanged && layout->repeatOn)
        repeatTimer->start(interval);
    emit sendKey(layout->sendCode, layout->sendText);
}

void QVX_Board::repeatKey()
{
    VX_Layout *layout = engine.activeLayout();
    if (!layout)
        return;
    int32_t interval = layout->repeatStep();
    if (interval != 0) {
        repeatTimer->stop();
        repeatTimer->start(interval);
    }
    if (layout->erasePrevious)
        emit sendKey(VX_CODE_BACKSPACE, nullptr);
    emit sendKey(layout->sendCode, layout->sendText);
}

void QVX_Board::resetKey()
{
    if (VX_Layout *layout = engine.activeLayout())
        layout->resetEnum();
}

void QVX_Board::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (VX_Layout *layout = engine.activeLayout())
        layout->paint(painter);
}
