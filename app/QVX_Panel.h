// vexil-panel's window: the keyboard board alone, typing through a VX_Output
// into whichever window of another application has the keyboard focus.
// The window never takes the focus, stays above other windows and, unless
// floating, is docked at the bottom edge of the screen, centred, with its
// height kept free of maximised windows.
#ifndef VEXIL_APP_QVX_PANEL_H
#define VEXIL_APP_QVX_PANEL_H

#include <QPoint>
#include <QWidget>
#include <string>
#include <vector>

class QTimer;
class QVX_Board;
class QVX_FieldLayouts;
struct VX_Field;
class QVX_KeyPreview;
class VX_Layout;
class VX_Desktop;
class VX_Output;

class QVX_Panel : public QWidget {
    Q_OBJECT

public:
    // What --toggle, --show and --hide ask of a running panel.
    enum Command { COMMAND_NONE, COMMAND_TOGGLE, COMMAND_SHOW, COMMAND_HIDE, COMMAND_STATUS };

    struct Options {
        bool help = false;      // --help: print the usage and start nothing
        bool floating = false;  // --float: a movable window instead of the dock
        double scale = 1.0;     // --scale F: board size factor, kMinScale..kMaxScale
        bool x11 = false;       // --x11: type through X11 even in a Wayland session
        bool wayland = false;   // --wayland: Wayland even without $WAYLAND_DISPLAY's hint; not with x11
        bool autoShow = false;  // --auto: shown only while a text field is active (Wayland)
        bool pressTypes = false;  // --press-types: keys type on the press, as in vexil
        bool fullWidth = false;   // --width full: each layout scaled to the screen's width
        int heightPercent = 0;    // --height N%: at most N % of the screen's height, 1..100; 0 no cap
        Command command = COMMAND_NONE;  // --toggle, --show, --hide, --status: tell or ask the running panel
        std::string set;          // --set: a load list's name or path; empty: load.cfg
        bool listSets = false;    // --list-sets: name the load lists found and start nothing
    };
    static constexpr double kMinScale = 0.25;
    static constexpr double kMaxScale = 8.0;
    // A held letter's preview appears this long after the press (ms): a
    // quick tap never waits for a window to be drawn.
    static constexpr int kPreviewDelayMs = 40;

    // Reads argv[1 .. argc); false with a one-line `error` when an option is
    // unknown, lacks its value or has a bad one.
    static bool parseOptions(int argc, char **argv, Options &options, std::string &error);
    // The --help text, ending in a line feed.
    static const char *usage();

    // The load list file that --set `set` names, found in `searchDirs`
    // like every file: "load.cfg" for none, a name ending in ".cfg" as it
    // is, "load" or "load-NAME" with ".cfg" added, any other NAME as
    // "load-NAME.cfg". A path (with a '/') puts its folder first in
    // `searchDirs`, so the layouts beside it are found there.
    static std::string loadList(const std::string &set, std::vector<std::string> &searchDirs);
    // The set's name as --status gives it: "default" for load.cfg, NAME
    // for load-NAME.cfg, else the list's file name.
    static std::string setName(const std::string &set);
    // One load list that --set can pick.
    struct Set {
        std::string name;     // what --set takes ("default" for load.cfg)
        std::string path;     // the file
        std::string layouts;  // the layouts it names, space-separated
    };
    // Every load.cfg and load-*.cfg in `searchDirs`, the first of each name
    // (the one loaded), in name order with the default first.
    static std::vector<Set> findSets(const std::vector<std::string> &searchDirs);
    // The engine's touch model for these options: typing on the lift,
    // one-shot caps and marks, unless --press-types.
    static void applyTouch(const Options &options, class VX_Engine &engine);

    // Every text (UTF-8) the keys of `layout` type, in all its modes.
    static std::vector<std::string> layoutTexts(const VX_Layout &layout);

    // Builds the window and loads the layouts from `searchDirs`. `output`
    // and `desktop` must outlive the window; without a desktop (null) the
    // panel neither follows the focus nor reserves room for the dock.
    QVX_Panel(VX_Output &output, VX_Desktop *desktop, const Options &options, std::vector<std::string> searchDirs);

    // True when a layout is there to show (the engine has said why not).
    bool hasLayout() const;
    // Shows or hides the panel; hidden, a held key is let go and the dock's
    // room given back.
    void setShown(bool shown);
    void toggle() { setShown(isHidden()); }
    // The desktop's focus moved onto `field` (focused false: onto nothing
    // that takes text): the board shows the field's layout, and with
    // --auto shows itself, or hides kAutoHideGraceMs after the last field
    // is left, so moving between fields shows no flicker.
    void fieldFocused(const VX_Field &field);
    // How long --auto waits after a field is left before hiding the board.
    static constexpr int kAutoHideGraceMs = 300;

    QVX_Board *board;  // the keyboard; child of the window
    QVX_FieldLayouts *fields;  // layouts by the focused field; child of the board

protected:
    // Closes an open multi-tap cycle when a press finds the focus on
    // another window than the press before, so an erase step never
    // reaches a window that did not get the character it erases.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void sendKey(int qkey, const char *unikey);
    void sendStroke(uint32_t keysym, uint32_t mods);
    // The preview follows the held key (touch model only).
    void showPreview(int key);

private:
    // Shows the preview of `key` now, or hides it (-1, or a key without one).
    void showPreviewNow(int key);
    // Docks the window at the bottom centre of its screen and reserves its
    // height there; nothing when floating.
    void dock();
    // Sizes the board for the screen (--width full, --height N%).
    void fitScreen();

    VX_Output &output_;             // where keys go; outlives the window
    VX_Desktop *desktop_;           // focus and dock room; null when there is none
    Options options_;               // as given on the command line
    QVX_KeyPreview *preview_ = nullptr;  // above the held key; null with --press-types
    QTimer *previewTimer_ = nullptr;     // single-shot: shows previewKey_'s preview; with preview_
    int previewKey_ = -1;                // the held key the preview is for; -1 none
    QTimer *settleTimer_;           // single-shot: settles the output after typing pauses
    QTimer *autoHideTimer_;         // single-shot: --auto hides the board when it runs out
    QPoint boardOrigin_;            // the board's top left on the screen, at the last pointer event
    unsigned long lastFocus_ = 0;   // focused window at the last press on the board
    const VX_Layout *prepared_ = nullptr;  // layout whose texts the output was last given; not owned
};

#endif
