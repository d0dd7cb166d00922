#include "app/QVX_Board.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QtMath>

#include "engine/VX_Key.h"

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
        factor_ = scale_ = factor;
}

void QVX_Board::setFit(int width, int maxHeight)
{
    fitWidth_ = width > 0 ? width : 0;
    maxHeight_ = maxHeight > 0 ? maxHeight : 0;
}

double QVX_Board::scaleFor(const VX_Layout &layout) const
{
    // A layout has at least one pixel each way (its loader refuses less).
    double factor = factor_;
    if (fitWidth_ > 0 && layout.width > 0)
        factor = double(fitWidth_) / layout.width;
    if (maxHeight_ > 0 && layout.height > 0 && layout.height * factor > maxHeight_)
        factor = double(maxHeight_) / layout.height;
    return factor;
}

QSize QVX_Board::boardSize(const VX_Layout &layout) const
{
    const double factor = scaleFor(layout);
    return QSize(qMax(1, qRound(layout.width * factor)), qMax(1, qRound(layout.height * factor)));
}

bool QVX_Board::showActive()
{
    VX_Layout *shown = engine.activeLayout();
    if (!shown)
        return false;
    engine.preparePictures(*shown);
    scale_ = scaleFor(*shown);
    setFixedSize(boardSize(*shown));
    return true;
}

// Where a point of the board falls on the layout, at the board's scale.
static QPoint layoutPoint(QPointF at, double scale)
{
    at /= scale;
    return QPoint(qFloor(at.x()), qFloor(at.y()));
}

// Every handler hands one layout operation's result to act(); the layout
// operated on is the one shown at the moment of the event.

void QVX_Board::pointerPress(QPointF at)
{
    VX_Layout *layout = engine.activeLayout();
    if (!layout) {
        resetTimer->stop();
        return;
    }
    ++presses_;
    const QPoint point = layoutPoint(at, scale_);
    act(layout->press(point.x(), point.y()));
}

void QVX_Board::pointerRelease()
{
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->release());
}

void QVX_Board::pointerMove(QPointF at)
{
    if (VX_Layout *layout = engine.activeLayout()) {
        const QPoint point = layoutPoint(at, scale_);
        act(layout->move(point.x(), point.y()));
    }
}

void QVX_Board::mousePressEvent(QMouseEvent *event) { pointerPress(event->position()); }

void QVX_Board::mouseReleaseEvent(QMouseEvent *) { pointerRelease(); }

void QVX_Board::mouseMoveEvent(QMouseEvent *event) { pointerMove(event->position()); }

void QVX_Board::repeatKey()
{
    // A tick that comes late (the loop was busy sending a key, say) may
    // find the release already waiting: the window system's events up to
    // now are delivered first, and the tick types only if the same press
    // still holds the key.
    const uint64_t press = presses_;
    QGuiApplication::sync();
    if (press != presses_)
        return;
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
    if (result.send)
        emit typed(result);
    if (result.send && result.erase)
        emit sendKey(VX_CODE_BACKSPACE, nullptr);
    if (result.repeat == VX_KeyResult::TIMER_START)
        repeatTimer->start(result.repeatInterval);
    if (result.reset == VX_KeyResult::TIMER_START)
        resetTimer->start(result.resetInterval);
    if (result.send) {
        if (result.keysym != 0)
            emit sendStroke(result.keysym, result.mods);
        else
            emit sendKey(result.code, result.text);
    }
    if (result.held != held_ || result.layoutChanged) {
        held_ = result.held;
        emit heldChanged(held_);
    }
}

void QVX_Board::cancelPress()
{
    // Off the board first: a lift there types nothing in either model.
    VX_Layout *layout = engine.activeLayout();
    if (layout && layout->pressedKey != -1) {
        act(layout->move(-1, -1));
        act(layout->release());
    }
}

void QVX_Board::resetKey()
{
    resetTimer->stop();
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->resetEnum());
}

void QVX_Board::focusChanged()
{
    resetTimer->stop();
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->focusChanged());
}

void QVX_Board::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (scale_ != 1.0) {
        painter.scale(scale_, scale_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    if (VX_Layout *layout = engine.activeLayout()) {
        layout->paint(painter);
        paintCapsMark(painter, *layout);
    }
}

void QVX_Board::paintCapsMark(QPainter &painter, const VX_Layout &layout)
{
    if (!layout.engine || !layout.engine->touch.oneShotCaps || layout.caps == VX_CAPS_OFF)
        return;
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        const VX_Key &key = layout.keys[i];
        if (key.type != VX_KEY_CAPS || key.width < 4 || key.height < 4)
            continue;
        // A bar across the middle half of the key, near its bottom edge:
        // bright in a dark rim, so it shows on a key of any colour.
        const int thick = qMax(2, key.height / 12);
        const QRect bar(key.x + key.width / 4, key.y + key.height - 2 * thick - 2, key.width / 2, thick);
        painter.fillRect(bar.adjusted(-1, -1, 1, 1), QColor(20, 20, 20));
        painter.fillRect(bar, QColor(255, 196, 0));
    }
}

void QVX_Board::showPlace(const VX_Engine::Place &place)
{
    if (!engine.layoutAt(place.row, place.slot))
        return;
    cancelPress();
    resetKey();
    engine.show(place);
    VX_KeyResult shown;
    shown.layoutChanged = true;
    act(shown);
}
