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
#include <dirent.h>
#include <fstream>
#include <map>

#include "app/QVX_Board.h"
#include "app/QVX_KeyPreview.h"
#include "panel/QVX_FieldLayouts.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"
#include "output/VX_Desktop.h"
#include "output/VX_Output.h"

namespace {

// The options that take no value, and what each sets.
struct Flag {
    const char *name;
    bool QVX_Panel::Options::*field;
};
constexpr Flag kFlags[] = {
    {"--help", &QVX_Panel::Options::help},          {"-h", &QVX_Panel::Options::help},
    {"--float", &QVX_Panel::Options::floating},     {"--x11", &QVX_Panel::Options::x11},
    {"--wayland", &QVX_Panel::Options::wayland},    {"--auto", &QVX_Panel::Options::autoShow},
    {"--press-types", &QVX_Panel::Options::pressTypes}, {"--list-sets", &QVX_Panel::Options::listSets},
};

struct CommandFlag {
    const char *name;
    QVX_Panel::Command command;
};
constexpr CommandFlag kCommands[] = {
    {"--toggle", QVX_Panel::COMMAND_TOGGLE},
    {"--show", QVX_Panel::COMMAND_SHOW},
    {"--hide", QVX_Panel::COMMAND_HIDE},
    {"--status", QVX_Panel::COMMAND_STATUS},
};

// The options that take a value, as "--name value" or "--name=value".
constexpr const char *kValued[] = {"--scale", "--width", "--height", "--set"};

bool endsWith(const std::string &text, const char *tail)
{
    const size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

}  // namespace

bool QVX_Panel::parseOptions(int argc, char **argv, Options &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        bool known = false;
        for (const Flag &flag : kFlags) {
            if (std::strcmp(arg, flag.name) == 0) {
                options.*flag.field = true;
                known = true;
            }
        }
        for (const CommandFlag &command : kCommands) {
            if (std::strcmp(arg, command.name) == 0) {
                if (options.command != COMMAND_NONE && options.command != command.command) {
                    error = "--toggle, --show, --hide and --status exclude each other";
                    return false;
                }
                options.command = command.command;
                known = true;
            }
        }
        if (known)
            continue;
        const char *name = nullptr;
        const char *value = nullptr;
        for (const char *valued : kValued) {
            const size_t n = std::strlen(valued);
            if (std::strcmp(arg, valued) == 0) {
                name = valued;
                if (i + 1 < argc)
                    value = argv[++i];
            } else if (std::strncmp(arg, valued, n) == 0 && arg[n] == '=') {
                name = valued;
                value = arg + n + 1;
            }
        }
        if (!name) {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
        if (std::strcmp(name, "--scale") == 0) {
            if (!value) {
                error = "--scale needs a factor, such as --scale 1.5";
                return false;
            }
            char *end = nullptr;
            errno = 0;
            const double factor = std::strtod(value, &end);
            if (end == value || *end != '\0' || errno != 0 || !std::isfinite(factor) || factor < kMinScale ||
                factor > kMaxScale) {
                error = std::string("--scale takes a number from 0.25 to 8, not '") + value + "'";
                return false;
            }
            options.scale = factor;
        } else if (std::strcmp(name, "--width") == 0) {
            if (!value || std::strcmp(value, "full") != 0) {
                error = std::string("--width takes 'full', not '") + (value ? value : "") + "'";
                return false;
            }
            options.fullWidth = true;
        } else if (std::strcmp(name, "--height") == 0) {
            // N% with N a whole number from 1 to 100.
            const char *v = value ? value : "";
            char *end = nullptr;
            errno = 0;
            const long percent = std::strtol(v, &end, 10);
            if (end == v || *v == '-' || *v == '+' || std::strcmp(end, "%") != 0 || errno != 0 || percent < 1 ||
                percent > 100) {
                error = std::string("--height takes a share of the screen from 1% to 100%, not '") + v + "'";
                return false;
            }
            options.heightPercent = static_cast<int>(percent);
        } else {
            if (!value || !*value) {
                error = "--set needs a list of layouts, such as --set de-fr-es (see --list-sets)";
                return false;
            }
            if (value[std::strlen(value) - 1] == '/') {
                error = std::string("--set names a load list, not the folder '") + value + "'";
                return false;
            }
            options.set = value;
        }
    }
    if (options.x11 && options.wayland) {
        error = "--x11 and --wayland exclude each other";
        return false;
    }
    return true;
}

std::string QVX_Panel::loadList(const std::string &set, std::vector<std::string> &searchDirs)
{
    if (set.empty())
        return "load.cfg";
    const size_t slash = set.rfind('/');
    if (slash != std::string::npos) {
        // A file of the user's own: the layouts it names are looked for
        // beside it first.
        searchDirs.insert(searchDirs.begin(), slash == 0 ? std::string("/") : set.substr(0, slash));
        return set.substr(slash + 1);
    }
    if (endsWith(set, ".cfg"))
        return set;
    if (set == "load" || set.compare(0, 5, "load-") == 0)
        return set + ".cfg";
    return "load-" + set + ".cfg";
}

std::string QVX_Panel::setName(const std::string &set)
{
    std::vector<std::string> dirs;
    const std::string list = loadList(set, dirs);
    if (list == "load.cfg")
        return "default";
    if (list.compare(0, 5, "load-") == 0 && endsWith(list, ".cfg") && list.size() > 9)
        return list.substr(5, list.size() - 9);
    return list;
}

const char *QVX_Panel::usage()
{
    return "Usage: vexil-panel [--float] [--scale F] [--width full] [--height N%] [--set NAME]\n"
           "                   [--press-types] [--auto] [--x11 | --wayland]\n"
           "       vexil-panel --toggle | --show | --hide | --status\n"
           "       vexil-panel --list-sets | --help\n"
           "An on-screen keyboard that types into the window that has the keyboard focus.\n"
           "Clicking or touching it never takes the focus away. A key types when the\n"
           "finger or button lifts, with a larger picture of it shown above; sliding\n"
           "moves to another key, sliding off the keyboard types nothing.\n"
           "\n"
           "  --float        not docked: on X11 a movable window that stays above the\n"
           "                 others, on Wayland a board above everything that keeps no\n"
           "                 room for itself at the bottom edge\n"
           "  --scale F      draw the keyboard F times as large (0.25 to 8; e.g. 1.5 or 2\n"
           "                 for a touch screen)\n"
           "  --width full   scale each layout to the width of the screen\n"
           "  --height N%    never taller than N per cent of the screen's height\n"
           "  --set NAME     load the layouts of load-NAME.cfg (e.g. de-fr-es), or of the\n"
           "                 load list NAME.cfg, or of a file given by its path\n"
           "  --list-sets    name the load lists that --set can pick, and exit\n"
           "  --press-types  type on the press and on every key slid over, as vexil does\n"
           "  --toggle, --show, --hide\n"
           "                 hide or show the panel already running on this display\n"
           "                 (SIGUSR1 toggles it too), and exit at once\n"
           "  --status       print what the running panel shows, one 'key: value' line\n"
           "                 each: shown, output, layout, set, purpose, auto\n"
           "  --auto         show the keyboard only while a text field has the focus (on\n"
           "                 Wayland through the input-method protocol, on X11 through\n"
           "                 the accessibility bus, AT-SPI)\n"
           "  --x11          type through X11 (XTest), also in a Wayland session; reaches\n"
           "                 the X11 applications only (XWayland)\n"
           "  --wayland      type through Wayland (the default when $WAYLAND_DISPLAY is set)\n"
           "  --help         show this text and exit\n"
           "\n"
           "The layouts are those of vexil: load.cfg and <name>.cfg in\n"
           "$XDG_DATA_HOME/vexil (~/.local/share/vexil), then in ../share/vexil beside the\n"
           "program. Wayland needs a compositor with the layer-shell and virtual-keyboard\n"
           "protocols (wlroots-based ones: sway, Phosh, labwc, river, Hyprland). One panel\n"
           "runs per display. Exit status 2: wrong command line, or nothing to type into;\n"
           "1: the display went away, a panel already runs on this display, or (with\n"
           "--toggle, --show, --hide, --status) none does.\n";
}

std::vector<QVX_Panel::Set> QVX_Panel::findSets(const std::vector<std::string> &searchDirs)
{
    std::map<std::string, Set> found;  // by name; the first folder wins
    for (const std::string &dir : searchDirs) {
        DIR *d = opendir(dir.c_str());
        if (!d)
            continue;
        while (const dirent *entry = readdir(d)) {
            const std::string file = entry->d_name;
            if (!endsWith(file, ".cfg") || (file != "load.cfg" && file.compare(0, 5, "load-") != 0))
                continue;
            const std::string name = file == "load.cfg" ? "default" : file.substr(5, file.size() - 9);
            if (name.empty() || found.count(name))
                continue;
            Set set{name, dir + "/" + file, std::string()};
            // Its words, as the engine reads them: '#' starts a comment.
            std::ifstream in(set.path);
            std::string line;
            while (std::getline(in, line)) {
                line = line.substr(0, line.find('#'));
                size_t at = 0;
                while ((at = line.find_first_not_of(" \t\r", at)) != std::string::npos) {
                    const size_t end = line.find_first_of(" \t\r", at);
                    set.layouts += (set.layouts.empty() ? "" : " ") + line.substr(at, end - at);
                    at = end;
                }
            }
            if (in.bad() || !in.eof())
                continue;
            found.emplace(name, std::move(set));
        }
        closedir(d);
    }
    std::vector<Set> sets;
    if (found.count("default"))
        sets.push_back(found["default"]);
    for (auto &entry : found)
        if (entry.first != "default")
            sets.push_back(entry.second);
    return sets;
}

void QVX_Panel::applyTouch(const Options &options, VX_Engine &engine)
{
    const bool touch = !options.pressTypes;
    engine.touch.typeOnLift = touch;
    engine.touch.oneShotCaps = touch;
    engine.touch.marks = touch;
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
    const std::string list = loadList(options.set, searchDirs);
    board = new QVX_Board(this, std::move(searchDirs));
    board->setAttribute(Qt::WA_OpaquePaintEvent);
    board->installEventFilter(this);
    connect(board, &QVX_Board::sendKey, this, &QVX_Panel::sendKey);
    connect(board, &QVX_Board::sendStroke, this, &QVX_Panel::sendStroke);
    layout->addWidget(board);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    settleTimer_ = new QTimer(this);
    settleTimer_->setSingleShot(true);
    // Never early: the output undoes only what is past its hold then.
    settleTimer_->setTimerType(Qt::PreciseTimer);
    connect(settleTimer_, &QTimer::timeout, this, [this] { output_.settle(); });

    applyTouch(options, board->engine);
    if (!options.pressTypes) {
        preview_ = new QVX_KeyPreview(this);
        previewTimer_ = new QTimer(this);
        previewTimer_->setSingleShot(true);
        connect(previewTimer_, &QTimer::timeout, this, [this] { showPreviewNow(previewKey_); });
        connect(board, &QVX_Board::heldChanged, this, &QVX_Panel::showPreview);
    }

    autoHideTimer_ = new QTimer(this);
    autoHideTimer_->setSingleShot(true);
    connect(autoHideTimer_, &QTimer::timeout, this, [this] { setShown(false); });

    board->engine.load(list.c_str());
    board->setScale(options.scale);
    fitScreen();
    board->showActive();  // without a layout the engine has said why
    fields = new QVX_FieldLayouts(*board, list);
    // Every character of the set, the shown layout's first, is named once
    // now: an output that must change the keymap for them does it before
    // the first tap, not between two taps.
    if (const VX_Layout *active = board->engine.activeLayout()) {
        std::vector<std::string> all = layoutTexts(*active);
        for (const auto &row : board->engine.layouts)
            for (const auto &layout : row)
                if (layout && layout.get() != active) {
                    const std::vector<std::string> texts = layoutTexts(*layout);
                    all.insert(all.end(), texts.begin(), texts.end());
                }
        output_.prepare(all);
    }
}

void QVX_Panel::fieldFocused(const VX_Field &field)
{
    fields->setField(field);
    if (!options_.autoShow)
        return;
    if (field.focused) {
        autoHideTimer_->stop();
        setShown(true);
    } else if (!isHidden()) {
        autoHideTimer_->start(kAutoHideGraceMs);
    }
}

void QVX_Panel::fitScreen()
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    board->setFit(options_.fullWidth ? area.width() : 0,
                  options_.heightPercent > 0 ? area.height() * options_.heightPercent / 100 : 0);
}

void QVX_Panel::showPreview(int key)
{
    previewKey_ = key;
    // A preview already up follows the finger at once; a new one waits
    // kPreviewDelayMs, so a quick tap types without a window mapped first.
    if (key >= 0 && preview_ && preview_->isHidden()) {
        previewTimer_->start(kPreviewDelayMs);
        return;
    }
    previewTimer_->stop();
    showPreviewNow(key);
}

void QVX_Panel::showPreviewNow(int key)
{
    const VX_Layout *layout = board->engine.activeLayout();
    if (!preview_ || !layout)
        return;
    // Letters only: a preview of a wide key (space, Return) would hide the
    // text it types into, and a switch or caps key shows its effect itself.
    // A private field (a password) shows no enlarged letter to onlookers.
    if (key < 0 || key >= layout->keyCount || layout->keys[key].type != VX_KEY_ALPHA || isHidden() ||
        fields->field().isPrivate) {
        preview_->showKey(*layout, -1, 1.0, QRect(), QRect());
        return;
    }
    const VX_Key &k = layout->keys[key];
    const double scale = board->scale();
    const QRect onBoard(qRound(k.x * scale), qRound(k.y * scale), qRound(k.width * scale), qRound(k.height * scale));
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 15, 1 << 15);
    preview_->showKey(*layout, key, scale, QRect(boardOrigin_ + onBoard.topLeft(), onBoard.size()), area);
}

void QVX_Panel::setShown(bool shown)
{
    autoHideTimer_->stop();
    if (shown == !isHidden())
        return;
    if (shown) {
        show();
        return;
    }
    board->cancelPress();
    if (preview_) {
        previewTimer_->stop();
        preview_->hide();
    }
    // The room goes back before the window does, for window managers that
    // keep the struts of a window they no longer show.
    if (desktop_ && !options_.floating && testAttribute(Qt::WA_WState_Created))
        desktop_->reserveBottom(static_cast<unsigned long>(winId()), 0, 0, 0);
    hide();
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

void QVX_Panel::sendStroke(uint32_t keysym, uint32_t mods)
{
    output_.sendStroke(keysym, mods);
    settleTimer_->start(output_.settleDelay());
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
        if (focus != lastFocus_) {
            board->focusChanged();
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
    const int x = area.x() + qMax(0, (area.width() - size.width()) / 2);
    const int y = area.y() + area.height() - size.height();
    move(x, y);
    // The strut counts from the bottom of the whole desktop, which may lie
    // below this screen when screens are stacked.
    const int fromDesktopBottom = screen->virtualGeometry().bottom() + 1 - y;
    if (desktop_ && testAttribute(Qt::WA_WState_Created))
        desktop_->reserveBottom(static_cast<unsigned long>(winId()), x, size.width(), fromDesktopBottom);
}
