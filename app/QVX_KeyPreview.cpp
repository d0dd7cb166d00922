#include "app/QVX_KeyPreview.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QtMath>

#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"

// Xlib's macros (None, Bool) after every Qt header.
#include <X11/Xlib.h>

QVX_KeyPreview::QVX_KeyPreview(QWidget *owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowTransparentForInput)
{
    setWindowTitle(QStringLiteral("vexil-panel preview"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    useDefaultColormap();
}

void QVX_KeyPreview::useDefaultColormap()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return;
    const Window window = static_cast<Window>(winId());
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.screen == nullptr ||
        attributes.visual != DefaultVisualOfScreen(attributes.screen))
        return;
    XSetWindowColormap(display, window, DefaultColormapOfScreen(attributes.screen));
    XFlush(display);
}

QRect QVX_KeyPreview::placeAbove(const QRect &keyOnScreen, const QSize &size, const QRect &screen)
{
    int x = keyOnScreen.left() + (keyOnScreen.width() - size.width()) / 2;
    int y = keyOnScreen.top() - kGap - size.height();
    x = qBound(screen.left(), x, qMax(screen.left(), screen.right() + 1 - size.width()));
    // No room above (a board at the top of the screen): below the key.
    if (y < screen.top())
        y = keyOnScreen.bottom() + 1 + kGap;
    return QRect(QPoint(x, y), size);
}

void QVX_KeyPreview::showKey(const VX_Layout &layout, int32_t index, double scale, const QRect &keyOnScreen,
                             const QRect &screen)
{
    // A key larger than its board (which a layout file may ask for) has no
    // preview: there is nothing above it to show it in.
    const VX_Key *k = index >= 0 && index < layout.keyCount ? &layout.keys[index] : nullptr;
    if (!k || k->width <= 0 || k->height <= 0 || k->width > layout.width || k->height > layout.height ||
        k->width * scale * kEnlarge > kMaxSide || k->height * scale * kEnlarge > kMaxSide) {
        key_ = -1;
        hide();
        return;
    }
    // The key at its own size, then smoothly enlarged once: painting only
    // copies the result.
    QImage plain(k->width, k->height, QImage::Format_RGB32);
    plain.fill(Qt::black);
    {
        QPainter painter(&plain);
        layout.paintKey(painter, index);
    }
    const QSize size(qMax(1, qRound(k->width * scale * kEnlarge)), qMax(1, qRound(k->height * scale * kEnlarge)));
    picture_ = QPixmap::fromImage(plain.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    key_ = index;
    setGeometry(placeAbove(keyOnScreen, size, screen));
    update();
    show();
    raise();
    // A window manager that raises the panel when it is clicked does so
    // after the press that showed the preview, over the preview where it
    // overlaps the board: it goes on top again once that is done.
    for (int ms : {kRaiseAgainMs, 4 * kRaiseAgainMs})
        QTimer::singleShot(ms, this, [this] {
            if (isVisible())
                raise();
        });
}

void QVX_KeyPreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
    painter.setPen(QColor(0, 0, 0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
