// The panel's behaviour, the same on X11 and on Wayland: the board and its
// layouts as the options ask, the key results it produces typed through one
// typing session into the output (which first hears what the set and the
// shown layout can type),
// the settling of the output after typing pauses, the held letter's
// preview after a delay (never over a private field), the layouts of the
// focused field, showing, hiding and toggling, --auto's grace time and the
// --status answer. The window around the board is a QVX_PanelHost; both
// panels hold one of these and do the rest.
#ifndef VEXIL_PANEL_QVX_PANELLOGIC_H
#define VEXIL_PANEL_QVX_PANELLOGIC_H

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "panel/VX_PanelOptions.h"
#include "typing/VX_TypingSession.h"

class QTimer;
class QVX_Board;
class QVX_FieldLayouts;
class QVX_PanelHost;
class QVX_Suggestions;
struct VX_Field;
class QWidget;
class VX_Engine;
class VX_Layout;
class VX_Output;

class QVX_PanelLogic : public QObject {
    Q_OBJECT

public:
    // A held letter's preview appears this long after the press (ms): a
    // quick tap types without a picture drawn and mapped first, and a tap
    // shorter than this shows no preview flashing by.
    static constexpr int kPreviewDelayMs = 40;
    // How long --auto waits after the last field is left before hiding the
    // board (ms): moving from one field to another shows no flicker.
    static constexpr int kAutoHideGraceMs = 300;

    // The engine's touch model for these options: typing on the lift,
    // one-shot caps and marks, unless --press-types.
    static void applyTouch(const VX_PanelOptions &options, VX_Engine &engine);
    // Every text (UTF-8) the keys of `layout` type, in all its modes.
    static std::vector<std::string> layoutTexts(const VX_Layout &layout);
    // True when `key` of `layout` is one whose preview shows: a letter key.
    // A preview of a wide key (space, Return) would hide the text it types
    // into, and a switch or caps key shows its effect itself.
    static bool hasPreview(const VX_Layout &layout, int key);

    // Builds the board, a child of `boardParent` (owned here when null),
    // and loads the layouts of the load list the options name from
    // `searchDirs` at the options' scale. The host then fits the board to
    // its screen and shows the active layout. `host` and `output` must
    // outlive the logic.
    QVX_PanelLogic(QVX_PanelHost &host, VX_Output &output, const VX_PanelOptions &options,
                   std::vector<std::string> searchDirs, QWidget *boardParent);
    ~QVX_PanelLogic() override;

    // True when a layout is there to show (the engine has said why not).
    bool hasLayout() const;
    // Shows or hides the panel; hidden, a held key is let go without typing,
    // the preview goes and the room at the edge is given back.
    void setShown(bool shown);
    void toggle() { setShown(!wantShown_); }
    // Shown, or about to be: the last setShown() asked for it.
    bool wantsShown() const { return wantShown_; }
    // Tells the output what the shown layout can type, unless it was told
    // for this layout already.
    void prepareOutput();
    // Tells the output every text of the set, the shown layout's first: an
    // output that must change the keymap for them does it before the first
    // tap, not between two taps.
    void prepareSet();
    // The desktop's focus moved onto `field` (focused false: onto nothing
    // that takes text): the board shows the field's layout, and a private
    // field shows no preview.
    void setField(const VX_Field &field);
    // The field last given to setField().
    const VX_Field &field() const;
    // --auto, where the host can tell: a text field has the focus (the
    // board shows at once) or none has (it hides kAutoHideGraceMs later,
    // unless a field comes first or it is shown or hidden on command).
    void autoFieldActive(bool active);
    // The answer to --status: one "key: value" line per fact (shown,
    // output, layout, set, purpose, auto), each ending in a line feed.
    // `output` names the windowing system; `autoShows`: --auto is in effect.
    std::string status(bool shown, const char *output, bool autoShows) const;
    const VX_PanelOptions &options() const { return options_; }
    // The keys go to another window now, or the text before the cursor
    // changed where the panel cannot see it: latched modifiers go, the
    // multi-tap cycle closes and the typing context is forgotten.
    void focusMoved();
    // The user clicked into the application the keys go to: its cursor may
    // be elsewhere now, so the multi-tap cycle closes and the typing
    // context is forgotten; latched modifiers stay for the next key.
    void clickedIntoApplication();
    // What the panel types and knows of the text before the cursor; the
    // host hands it the field's reports where the field gives them.
    VX_TypingSession &session() { return session_; }

    QVX_Board *board;  // the keyboard; never null
    QVX_FieldLayouts *fields;  // layouts by the focused field; child of the board, never null
    QVX_Suggestions *suggestions;  // the strip of word suggestions; child of the board, never null

private slots:
    void typed(const VX_KeyResult &result);
    // The preview follows the held key (touch model only).
    void heldChanged(int key);

private:
    // Shows the preview of `key` now, or hides it (-1, or a key without one).
    void showPreviewNow(int key);
    // True when `key` of `layout` shows its preview now: a letter, and the
    // focused field is no private one (a password shows no enlarged letter
    // to onlookers).
    bool previews(const VX_Layout &layout, int key) const;

    QVX_PanelHost &host_;                  // the window around the board; outlives the logic
    VX_Output &output_;                    // where keys go; outlives the logic
    VX_PanelOptions options_;              // as given on the command line
    std::unique_ptr<QVX_Board> ownedBoard_;  // board when it has no parent widget; else null
    QTimer *settleTimer_;                  // single-shot: settles the output after typing pauses
    QTimer *previewTimer_;                 // single-shot: shows previewKey_'s preview
    QTimer *autoHideTimer_;                // single-shot: --auto hides the board when it runs out
    int previewKey_ = -1;                  // the held key the preview is for; -1 none
    bool previewUp_ = false;               // the host was last asked to show a preview
    bool wantShown_ = true;                // as the last setShown() asked
    const VX_Layout *prepared_ = nullptr;  // layout whose texts the output was last given; not owned
    VX_TypingSession session_;             // types into output_
};

#endif
