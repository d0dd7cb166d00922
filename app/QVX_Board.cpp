#include "app/QVX_Board.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QtMath>

QVX_Board::QVX_Board(QWidget *parent, std::vector<std::string> searchDirs)
    : QFrame(parent, Qt::WindowFlags()), engine(std::move(searchDirs))
{
    repeatTimer = new QTimer(this);
    connect(repeatTimer, &QTimer::timeout, this, &QVX_Board::repeatKey);
    resetTimer = new QTimer(this);
    connect(resetTimer, &QTimer::timeout, this, &QVX_Board::resetKey);
    resetTimer->setSingleShot(true);
}

void QVX_Board::setScale(double factor)
{
    if (factor > 0)
        scale_ = factor;
}

QSize QVX_Board::boardSize(const VX_Layout &layout) const
{
    return QSize(qRound(layout.width * scale_), qRound(layout.height * scale_));
}

bool QVX_Board::showActive()
{
    VX_Layout *shown = engine.activeLayout();
    if (!shown)
        return false;
    engine.preparePictures(*shown);
    setFixedSize(boardSize(*shown));
    return true;
}

// Where a pointer event falls on the layout, at the board's scale.
static QPoint layoutPoint(const QMouseEvent *event, double scale)
{
    const QPointF at = event->position() / scale;
    return QPoint(qFloor(at.x()), qFloor(at.y()));
}

// Every handler hands one layout operation's result to act(); the layout
// operated on is the one shown at the moment of the event.

void QVX_Board::mousePressEvent(QMouseEvent *event)
{
    VX_Layout *layout = engine.activeLayout();
    if (!layout) {
        resetTimer->stop();
        return;
    }
    const QPoint at = layoutPoint(event, scale_);
    act(layout->press(at.x(), at.y()));
}

void QVX_Board::mouseReleaseEvent(QMouseEvent *)
{
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->release());
}

void QVX_Board::mouseMoveEvent(QMouseEvent *event)
{
    if (VX_Layout *layout = engine.activeLayout()) {
        const QPoint at = layoutPoint(event, scale_);
        act(layout->move(at.x(), at.y()));
    }
}

void QVX_Board::repeatKey()
{
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->repeatStep());
}

void QVX_Board::act(const VX_KeyResult &result)
{
    if (result.repeat == VX_KeyResult::TIMER_STOP)
        repeatTimer->stop();
    if (result.reset == VX_KeyResult::TIMER_STOP)
        resetTimer->stop();
    if (result.layoutChanged)
        showActive();
    if (result.repaint || result.layoutChanged) {
        update();
        emit changed();
    }
    if (result.send && result.erase)
        emit sendKey(VX_CODE_BACKSPACE, nullptr);
    if (result.repeat == VX_KeyResult::TIMER_START)
        repeatTimer->start(result.repeatInterval);
    if (result.reset == VX_KeyResult::TIMER_START)
        resetTimer->start(result.resetInterval);
    if (result.send)
        emit sendKey(result.code, result.text);
}

void QVX_Board::resetKey()
{
    resetTimer->stop();
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->resetEnum());
}

void QVX_Board::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (scale_ != 1.0) {
        painter.scale(scale_, scale_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    if (VX_Layout *layout = engine.activeLayout())
        layout->paint(painter);
}
