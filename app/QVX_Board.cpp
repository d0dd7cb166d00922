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
    forgetTimer = new QTimer(this);
    forgetTimer->setSingleShot(true);
    forgetTimer->setInterval(kForgetHoldMs);
    connect(forgetTimer, &QTimer::timeout, this, &QVX_Board::holdSuggestion);
}

void QVX_Board::holdSuggestion()
{
    const std::string word = bar.word(bar.pressed());
    if (!onBar_ || word.empty())
        return;
    barHeld_ = true;
    bar.setPressed(-1);
    barChanged();
    emit suggestionHeld(word);
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
    return QSize(qMax(1, qRound(layout.width * factor)),
                 qMax(1, qRound(layout.height * factor)) + barHeight(layout));
}

int QVX_Board::barHeight(const VX_Layout &layout) const
{
    return barShown_ ? qMax(1, qRound(VX_SuggestionBar::kLayoutHeight * scaleFor(layout))) : 0;
}

QRect QVX_Board::keyRect(int key) const
{
    const VX_Layout *layout = engine.activeLayout();
    if (!layout || key < 0 || key >= layout->keyCount)
        return QRect();
    const VX_Key &k = layout->keys[key];
    return QRect(qRound(k.x * scale_), qRound(k.y * scale_) + barHeight(*layout), qRound(k.width * scale_),
                 qRound(k.height * scale_));
}

void QVX_Board::setBarShown(bool shown)
{
    if (shown == barShown_)
        return;
    if (onBar_)
        cancelPress();
    barShown_ = shown;
}

void QVX_Board::setSuggestions(const std::vector<std::string> &mostLikelyFirst)
{
    if (bar.setWords(mostLikelyFirst) && barShown_) {
        update(0, 0, width(), bar.height());
        emit changed();
    }
}

void QVX_Board::barChanged()
{
    if (barShown_) {
        update(0, 0, width(), bar.height());
        emit changed();
    }
}

void QVX_Board::setPixelRatio(double ratio)
{
    if (ratio >= 1.0)
        pixelRatio_ = ratio;
    if (const VX_Layout *layout = engine.activeLayout()) {
        const QSize size = boardSize(*layout);
        bar.setLook(size.width(), barHeight(*layout), pixelRatio_,
                    QColor(layout->red, layout->green, layout->blue));
    }
}

void QVX_Board::paintBoard(QPainter &painter)
{
    VX_Layout *layout = engine.activeLayout();
    if (!layout)
        return;
    const int top = barHeight(*layout);
    if (top > 0)
        bar.paint(painter);
    painter.save();
    painter.translate(0, top);
    if (scale_ != 1.0) {
        painter.scale(scale_, scale_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    layout->paint(painter);
    paintCapsMark(painter, *layout);
    painter.restore();
}

bool QVX_Board::showActive()
{
    VX_Layout *shown = engine.activeLayout();
    if (!shown)
        return false;
    engine.preparePictures(*shown);
    scale_ = scaleFor(*shown);
    setFixedSize(boardSize(*shown));
    setPixelRatio(pixelRatio_);
    return true;
}

// Where a point of the board falls on the layout, at the board's scale,
// with the layout `top` pixels down the board.
static QPoint layoutPoint(QPointF at, double scale, int top)
{
    at = (at - QPointF(0, top)) / scale;
    return QPoint(qFloor(at.x()), qFloor(at.y()));
}

static QPoint boardPoint(QPointF at)
{
    return QPoint(qFloor(at.x()), qFloor(at.y()));
}

// Every handler hands one layout operation's result to act(); the layout
// operated on is the one shown at the moment of the event. A press that
// begins on the suggestion strip stays the strip's until its release.

void QVX_Board::pointerPress(QPointF at)
{
    VX_Layout *layout = engine.activeLayout();
    if (!layout) {
        resetTimer->stop();
        return;
    }
    ++presses_;
    const int top = barHeight(*layout);
    onBar_ = top > 0 && at.y() < top;
    if (onBar_) {
        barPress(boardPoint(at));
        return;
    }
    const QPoint point = layoutPoint(at, scale_, top);
    act(layout->press(point.x(), point.y()));
}

void QVX_Board::pointerRelease()
{
    if (onBar_) {
        barRelease();
        return;
    }
    if (VX_Layout *layout = engine.activeLayout())
        act(layout->release());
}

void QVX_Board::pointerMove(QPointF at)
{
    if (onBar_) {
        barMove(boardPoint(at));
        return;
    }
    if (VX_Layout *layout = engine.activeLayout()) {
        const QPoint point = layoutPoint(at, scale_, barHeight(*layout));
        act(layout->move(point.x(), point.y()));
    }
}

void QVX_Board::mousePressEvent(QMouseEvent *event) { pointerPress(event->position()); }

void QVX_Board::mouseReleaseEvent(QMouseEvent *) { pointerRelease(); }

void QVX_Board::mouseMoveEvent(QMouseEvent *event) { pointerMove(event->position()); }

void QVX_Board::barPress(const QPoint &at)
{
    barHeld_ = false;
    if (bar.setPressed(bar.cellAt(at.x())))
        barChanged();
    if (bar.pressed() >= 0)
        forgetTimer->start();
}

void QVX_Board::barMove(const QPoint &at)
{
    // Sliding off the cell pressed lets it go: the lift chooses nothing.
    if (bar.pressed() < 0)
        return;
    const bool inside = at.y() >= 0 && at.y() < bar.height() && bar.cellAt(at.x()) == bar.pressed();
    if (!inside) {
        forgetTimer->stop();
        bar.setPressed(-1);
        barChanged();
    }
}

void QVX_Board::barRelease()
{
    onBar_ = false;
    forgetTimer->stop();
    const int cell = bar.pressed();
    if (cell < 0 || barHeld_)
        return;
    const std::string word = bar.word(cell);
    bar.setPressed(-1);
    barChanged();
    emit suggestionChosen(word);
}

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
    if (onBar_) {
        onBar_ = false;
        forgetTimer->stop();
        if (bar.setPressed(-1))
            barChanged();
        return;
    }
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
    paintBoard(painter);
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
