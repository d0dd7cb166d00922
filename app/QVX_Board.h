// The keyboard widget: a thin frame over the engine's active layout, with
// the strip of word suggestions above it when shown. Mouse events go to the
// layout's press state machine (or to the strip), paint events to its
// painting; the board owns the repeat and multi-tap reset timers and emits
// sendKey for every key code or text a key produces, and the suggestion
// tapped or held.
#ifndef VEXIL_APP_QVX_BOARD_H
#define VEXIL_APP_QVX_BOARD_H

#include <QFrame>
#include <QPointF>
#include <cstdint>

#include "engine/VX_Engine.h"
#include "interaction/VX_SuggestionBar.h"

class QPainter;
class QTimer;

class QVX_Board : public QFrame {
    Q_OBJECT

public:
    // Builds the board with an empty engine that searches `searchDirs`.
    QVX_Board(QWidget *parent, std::vector<std::string> searchDirs);

    // Shows the board `factor` (> 0) times as large: pictures, hit test and
    // size together. Layout coordinates stay those of the layout files.
    void setScale(double factor);
    // Scales each layout to `width` board pixels across instead (0: by the
    // factor alone), and any layout down to at most `maxHeight` pixels tall
    // (0: no cap); proportions kept. Takes effect at the next showActive().
    void setFit(int width, int maxHeight);
    // Board pixels per layout pixel for `layout`, > 0.
    double scaleFor(const VX_Layout &layout) const;
    // That of the layout shown, as showActive() last took it.
    double scale() const { return scale_; }
    // The size the board takes for `layout` at its scale, the suggestion
    // strip above it included when shown.
    QSize boardSize(const VX_Layout &layout) const;
    // Shows the strip of word suggestions above the layout (or not); the
    // board's size follows at the next showActive().
    void setBarShown(bool shown);
    bool barShown() const { return barShown_; }
    // Height of the strip above `layout` at its scale (0 when hidden).
    int barHeight(const VX_Layout &layout) const;
    // Where key `key` of the shown layout lies on the board (the strip
    // above it counted), in logical pixels; empty for no such key.
    QRect keyRect(int key) const;
    // Shows `mostLikelyFirst` in the strip and repaints it when that changed.
    void setSuggestions(const std::vector<std::string> &mostLikelyFirst);
    // The device the board is drawn on has `ratio` (>= 1) pixels to one
    // logical pixel: the strip's pictures are made that fine.
    void setPixelRatio(double ratio);
    // Paints the whole board (the strip and the shown layout) in logical
    // pixels (the painter's transform takes them to the device): the X11
    // widget and the Wayland canvas both draw through this.
    void paintBoard(QPainter &painter);
    // How long a press on a suggestion is held to forget it, ms.
    static constexpr int kForgetHoldMs = 600;
    // Gets the engine's active layout ready to be painted: decodes its
    // pictures (painting never decodes) and takes its size. False, doing
    // nothing, when there is no active layout.
    bool showActive();

signals:
    // qkey: a Qt key code, or 0 with `unikey` a NUL-terminated UTF-8 text.
    // `unikey` is valid only during the emission (null for the erase step).
    void sendKey(int qkey, const char *unikey);
    // A key pressed with modifiers held: XKB `keysym` (a named key, or what
    // a key types when a sticky modifier is held with it), `mods` the
    // VX_Mod bits held around it (may be 0 for a named key).
    void sendStroke(uint32_t keysym, uint32_t mods);
    // The whole key result of a key that sends (`result.send`), emitted
    // before sendKey and sendStroke say it in parts: for a front end that
    // types through a typing session, which takes the erase step and what
    // follows it as one. Valid only during the emission.
    void typed(const VX_KeyResult &result);
    // The board asked for a repaint (of some keys, or whole after another
    // layout or mode was shown); for a front end that draws the layout
    // itself instead of showing the widget.
    void changed();
    // The pointer holds another key of the shown layout now (-1: none).
    void heldChanged(int key);
    // A tap on a suggestion of the strip: the word (UTF-8) to type.
    void suggestionChosen(const std::string &word);
    // A suggestion held kForgetHoldMs: the word to forget.
    void suggestionHeld(const std::string &word);

public slots:
    // Driven by repeatTimer: one auto-repeat tick of the held key. Pending
    // window-system events go first; no tick types once the press it
    // belongs to has been let go.
    void repeatKey();
    // Closes the open multi-tap cycle. Driven by resetTimer, and called by
    // whoever owns the text the board types into when that text or its
    // cursor changes behind the board's back.
    void resetKey();
    // The keys type into another window or field now: closes the open
    // multi-tap cycle and lets every latched modifier go (a locked one
    // stays).
    void focusChanged();
    // Lets go of the key held, typing nothing (the board goes away under
    // the pointer, a touch is cancelled).
    void cancelPress();
    // Driven by forgetTimer: the suggestion pressed was held long enough to
    // be forgotten; its lift then chooses nothing.
    void holdSuggestion();

public:
    // Shows the layout at `place` (a placed layout), as a switch or link
    // key would: the key held is let go typing nothing and the multi-tap
    // cycle closed first.
    void showPlace(const VX_Engine::Place &place);
    // The pointer (a mouse button or a finger) goes down at `at`, slides
    // to `at`, comes up: board pixels from the top left corner, at the
    // board's scale. The widget's own mouse events come here, and a front
    // end that draws the board itself (the Wayland panel) calls them with
    // its surface's coordinates.
    void pointerPress(QPointF at);
    void pointerMove(QPointF at);
    void pointerRelease();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Does what one layout operation asks: timers, resize, repaint, output.
    void act(const VX_KeyResult &result);
    // Presses, moves over and lifts from the strip (board coordinates).
    void barPress(const QPoint &at);
    void barMove(const QPoint &at);
    void barRelease();
    // Repaints the strip when its look or pressed cell changed.
    void barChanged();

public:
    // A one-shot shift waiting for its character is marked on the caps key
    // by a bar along its bottom edge (drawn by the board over what the
    // layout painted, in layout coordinates), so caps off, once and locked
    // (drawn pressed) each look their own.
    static void paintCapsMark(QPainter &painter, const VX_Layout &layout);

    QTimer *repeatTimer;  // periodic auto-repeat timer, child of the board
    QTimer *resetTimer;   // single-shot multi-tap reset timer, child of the board
    QTimer *forgetTimer;  // single-shot: a suggestion held this long is forgotten; child of the board
    VX_SuggestionBar bar; // the strip of suggestions above the layout
    VX_Engine engine;     // all layouts and pictures; lives as long as the board

private:
    double factor_ = 1.0;  // the scale asked for, > 0
    int fitWidth_ = 0;     // board pixels every layout spans; 0: by factor_
    int maxHeight_ = 0;    // tallest board, pixels; 0: no cap
    double scale_ = 1.0;   // board pixels per layout pixel of the shown layout, > 0
    int held_ = -1;        // key last reported held by heldChanged; -1 none
    uint64_t presses_ = 0;  // presses on the board so far; tells a tick's press from a later one
    bool barShown_ = false; // the strip shows above the layout
    double pixelRatio_ = 1.0;  // device pixels per logical pixel, >= 1
    bool onBar_ = false;    // the press now began on the strip (not on a key)
    bool barHeld_ = false;  // that press was held until forgetTimer ran out
};

#endif
