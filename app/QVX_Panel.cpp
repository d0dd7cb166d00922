#include "app/QVX_Panel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/QVX_Board.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"
#include "output/VX_Desktop.h"
#include "output/VX_Output.h"

bool QVX_Panel::parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = nullptr;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--float") == 0) {
            options.floating = true;
        } else if (std::strcmp(arg, "--x11") == 0) {
            options.x11 = true;
        } else if (std::strcmp(arg, "--wayland") == 0) {
            options.wayland = true;
        } else if (std::strcmp(arg, "--auto") == 0) {
            options.autoShow = true;
        } else if (std::strcmp(arg, "--scale") == 0) {
            if (i + 1 >= argc) {
                error = "--scale needs a factor, such as --scale 1.5";
                return false;
            }
            value = argv[++i];
        } else if (std::strncmp(arg, "--scale=", 8) == 0) {
            value = arg + 8;
        } else {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
        if (value) {
            char *end = nullptr;
            errno = 0;
            const double factor = std::strtod(value, &end);
            if (end == value || *end != '\0' || errno != 0 || !std::isfinite(factor) || factor < kMinScale ||
                factor > kMaxScale) {
                error = std::string("--scale takes a number from 0.25 to 8, not '") + value + "'";
                return false;
            }
            options.scale = factor;
        }
    }
    if (options.x11 && options.wayland) {
        error = "--x11 and --wayland exclude each other";
        return false;
    }
    return true;
}

const char *QVX_Panel::usage()
{
    return "Usage: vexil-panel [--float] [--scale F] [--auto] [--x11 | --wayland] [--help]\n"
           "An on-screen keyboard that types into the window that has the keyboard focus.\n"
           "Clicking or touching it never takes the focus away.\n"
           "\n"
           "  --float      not docked: on X11 a movable window that stays above the\n"
           "               others, on Wayland a board above everything that keeps no\n"
           "               room for itself at the bottom edge\n"
           "  --scale F    draw the keyboard F times as large (0.25 to 8; e.g. 1.5 or 2\n"
           "               for a touch screen)\n"
           "  --auto       Wayland: show the keyboard only while a text field is active\n"
           "               (needs a compositor with the input-method protocol)\n"
           "  --x11        type through X11 (XTest), also in a Wayland session; reaches\n"
           "               the X11 applications only (XWayland)\n"
           "  --wayland    type through Wayland (the default when $WAYLAND_DISPLAY is set)\n"
           "  --help       show this text and exit\n"
           "\n"
           "The layouts are those of vexil: load.cfg and <name>.cfg in\n"
           "$XDG_DATA_HOME/vexil (~/.local/share/vexil), then in ../share/vexil beside the\n"
           "program. Wayland needs a compositor with the layer-shell and virtual-keyboard\n"
           "protocols (wlroots-based ones: sway, Phosh, labwc, river, Hyprland). Exit\n"
           "status 2: wrong command line, or nothing to type into; 1: the display went away.\n";
}

std::vector<std::string> QVX_Panel::layoutTexts(const VX_Layout &layout)
{
    std::vector<std::string> texts;
    for (int32_t i = 0; i < layout.keyCount; ++i)
        for (int32_t m = 0; m < layout.modes; ++m)
            if (layout.keys[i].type == VX_KEY_ALPHA && layout.keys[i].chars[m][0] != '\0')
                texts.emplace_back(layout.keys[i].chars[m]);
    return texts;
}

QVX_Panel::QVX_Panel(VX_Output &output, VX_Desktop *desktop, const Options &options,
                     std::vector<std::string> searchDirs)
    : QWidget(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint |
                           (options.floating ? Qt::WindowFlags() : Qt::FramelessWindowHint)),
      output_(output), desktop_(desktop), options_(options)
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
    board = new QVX_Board(this, std::move(searchDirs));
    board->setAttribute(Qt::WA_OpaquePaintEvent);
    board->installEventFilter(this);
    connect(board, &QVX_Board::sendKey, this, &QVX_Panel::sendKey);
    layout->addWidget(board);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    settleTimer_ = new QTimer(this);
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &QTimer::timeout, this, [this] { output_.settle(); });

    board->engine.load();
    board->setScale(options.scale);
    board->showActive();  // without a layout the engine has said why
}

bool QVX_Panel::hasLayout() const { return board->engine.activeLayout() != nullptr; }

void QVX_Panel::sendKey(int qkey, const char *unikey)
{
    // A key of another layout than before: the output learns what this
    // one can type before its first key goes out.
    const VX_Layout *active = board->engine.activeLayout();
    if (active && active != prepared_) {
        prepared_ = active;
        output_.prepare(layoutTexts(*active));
    }
    output_.sendKey(qkey, unikey);
    settleTimer_->start(output_.settleDelay());
}

bool QVX_Panel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == board && desktop_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const unsigned long focus = desktop_->focusedWindow();
        if (focus != lastFocus_) {
            board->resetKey();
            lastFocus_ = focus;
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
    if (options_.floating)
        return;
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = this->size();
    const int x = area.x() + (area.width() - size.width()) / 2;
    const int y = area.y() + area.height() - size.height();
    move(x, y);
    // The strut counts from the bottom of the whole desktop, which may lie
    // below this screen when screens are stacked.
    const int fromDesktopBottom = screen->virtualGeometry().bottom() + 1 - y;
    if (desktop_ && testAttribute(Qt::WA_WState_Created))
        desktop_->reserveBottom(static_cast<unsigned long>(winId()), x, size.width(), fromDesktopBottom);
}
