#include "app/QVX_Panel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include "app/QVX_Board.h"
#include "app/QVX_KeyPreview.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"
#include "output/VX_Desktop.h"
#include "purpose/VX_Purpose.h"

QVX_Panel::QVX_Panel(VX_Output &output, VX_Desktop *desktop, const VX_PanelOptions &options,
                     std::vector<std::string> searchDirs)
    : QWidget(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint |
                           (options.floating ? Qt::WindowFlags() : Qt::FramelessWindowHint)),
      desktop_(desktop), logic_(*this, output, options, std::move(searchDirs), this), board(logic_.board),
      fields(logic_.fields)
{
    setWindowTitle(QStringLiteral("vexil-panel"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    // The window type reaches the window manager only once the native
    // window exists, and must be there before it is mapped.
    winId();
    setAttribute(options.floating ? Qt::WA_X11NetWmWindowTypeUtility : Qt::WA_X11NetWmWindowTypeDock);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    board->setAttribute(Qt::WA_OpaquePaintEvent);
    board->installEventFilter(this);
    layout->addWidget(board);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (!options.pressTypes)
        preview_ = new QVX_KeyPreview(this);
    fitScreen();
    board->showActive();  // without a layout the engine has said why
    logic_.prepareSet();
}

void QVX_Panel::fieldFocused(const VX_Field &field)
{
    // Another field of the window, or none: what was typed before is not
    // before this cursor.
    logic_.focusMoved();
    logic_.setField(field);
    logic_.autoFieldActive(field.focused);
}

void QVX_Panel::fitScreen()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    board->setFit(logic_.options().fullWidth ? area.width() : 0,
                  logic_.options().heightPercent > 0 ? area.height() * logic_.options().heightPercent / 100 : 0);
}

void QVX_Panel::showPreview(const VX_Layout &layout, int key)
{
    if (!preview_ || isHidden()) {
        hidePreview();
        return;
    }
    const double scale = board->scale();
    const QRect onBoard = board->keyRect(key);
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 15, 1 << 15);
    preview_->showKey(layout, key, scale, QRect(boardOrigin_ + onBoard.topLeft(), onBoard.size()), area);
}

void QVX_Panel::hidePreview()
{
    if (!preview_)
        return;
    if (const VX_Layout *layout = board->engine.activeLayout())
        preview_->showKey(*layout, -1, 1.0, QRect(), QRect());  // forgets the key too
    else
        preview_->hide();
}

void QVX_Panel::hideBoard()
{
    if (isHidden())
        return;
    // The room goes back before the window does, for window managers that
    // keep the struts of a window they no longer show.
    if (desktop_ && !logic_.options().floating && testAttribute(Qt::WA_WState_Created))
        desktop_->reserveBottom(static_cast<unsigned long>(winId()), 0, 0, 0);
    hide();
}

bool QVX_Panel::eventFilter(QObject *watched, QEvent *event)
{
    // Where the board is on the screen, as the pointer's own events say: a
    // docked window placed by the window manager may be elsewhere than the
    // toolkit was last told.
    if (watched == board && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
                             event->type() == QEvent::MouseButtonDblClick)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        boardOrigin_ = (mouse->globalPosition() - mouse->position()).toPoint();
    }
    if (watched == board && desktop_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const unsigned long focus = desktop_->focusedWindow();
        const bool clicked = desktop_->clickedBefore(static_cast<const QMouseEvent *>(event)->timestamp());
        if (focus != lastFocus_) {
            logic_.focusMoved();
            lastFocus_ = focus;
        } else if (clicked) {
            logic_.clickedIntoApplication();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QVX_Panel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    dock();
}

void QVX_Panel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // A layout of another size keeps the panel centred on the edge.
    dock();
}

void QVX_Panel::dock()
{
    if (logic_.options().floating)
        return;
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = this->size();
    const int x = area.x() + qMax(0, (area.width() - size.width()) / 2);
    const int y = area.y() + area.height() - size.height();
    move(x, y);
    // The strut counts from the bottom of the whole desktop, which may lie
    // below this screen when screens are stacked.
    const int fromDesktopBottom = screen->virtualGeometry().bottom() + 1 - y;
    if (desktop_ && testAttribute(Qt::WA_WState_Created))
        desktop_->reserveBottom(static_cast<unsigned long>(winId()), x, size.width(), fromDesktopBottom);
}
