// vexil-panel's window on X11: the keyboard board alone, typing through a
// VX_Output into whichever window of another application has the keyboard
// focus. What both panels share is its QVX_PanelLogic; this is the host.
// The window never takes the focus, stays above other windows and, unless
// floating, is docked at the bottom edge of the screen, centred, with its
// height kept free of maximised windows.
#ifndef VEXIL_APP_QVX_PANEL_H
#define VEXIL_APP_QVX_PANEL_H

#include <QPoint>
#include <QWidget>
#include <string>
#include <vector>

#include "panel/QVX_PanelHost.h"
#include "panel/QVX_PanelLogic.h"
#include "panel/VX_PanelOptions.h"

class QVX_Board;
class QVX_FieldLayouts;
class QVX_KeyPreview;
struct VX_Field;
class VX_Layout;
class VX_Desktop;
class VX_Output;

class QVX_Panel : public QWidget, private QVX_PanelHost {
    Q_OBJECT

public:
    // Builds the window and loads the layouts from `searchDirs`. `output`
    // and `desktop` must outlive the window; without a desktop (null) the
    // panel neither follows the focus nor reserves room for the dock.
    QVX_Panel(VX_Output &output, VX_Desktop *desktop, const VX_PanelOptions &options,
              std::vector<std::string> searchDirs);

    // True when a layout is there to show (the engine has said why not).
    bool hasLayout() const { return logic_.hasLayout(); }
    // Shows or hides the panel; hidden, a held key is let go and the dock's
    // room given back.
    void setShown(bool shown) { logic_.setShown(shown); }
    void toggle() { logic_.toggle(); }
    // The desktop's focus moved onto `field` (focused false: onto nothing
    // that takes text): the board shows the field's layout, and with
    // --auto shows itself, or hides a grace time after the last field is
    // left, so moving between fields shows no flicker.
    void fieldFocused(const VX_Field &field);
    // The answer to --status; `autoShows`: --auto is in effect.
    std::string status(bool autoShows) const { return logic_.status(!isHidden(), "x11", autoShows); }

protected:
    // Tells the board the focus moved when a press finds it on another
    // window than the press before: the open multi-tap cycle closes, so an
    // erase step never reaches a window that did not get the character it
    // erases, and latched modifiers let go.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // --- QVX_PanelHost ---
    void showBoard() override { show(); }
    void hideBoard() override;
    void showPreview(const VX_Layout &layout, int key) override;
    void hidePreview() override;

    // Docks the window at the bottom centre of its screen and reserves its
    // height there; nothing when floating.
    void dock();
    // Sizes the board for the screen (--width full, --height N%).
    void fitScreen();

    VX_Desktop *desktop_;           // focus and dock room; null when there is none
    QVX_KeyPreview *preview_ = nullptr;  // above the held key; null with --press-types
    QPoint boardOrigin_;            // the board's top left on the screen, at the last pointer event
    unsigned long lastFocus_ = 0;   // focused window at the last press on the board
    QVX_PanelLogic logic_;          // what both panels do; made after the window's flags

public:
    QVX_Board *board;  // the keyboard, logic_'s; child of the window
    QVX_FieldLayouts *fields;  // logic_'s layouts by the focused field; child of the board
};

#endif
