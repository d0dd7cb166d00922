// The keyboard widget: a thin frame over the engine's active layout. Mouse
// events go to the layout's press state machine, paint events to its
// painting; the board owns the repeat and multi-tap reset timers and emits
// sendKey for every key code or text a key produces.
#ifndef VEXIL_APP_QVX_BOARD_H
#define VEXIL_APP_QVX_BOARD_H

#include <QFrame>

#include "engine/VX_Engine.h"

class QTimer;

class QVX_Board : public QFrame {
    Q_OBJECT

public:
    // Builds the board with an empty engine that searches `searchDirs`.
    QVX_Board(QWidget *parent, std::vector<std::string> searchDirs);

    // Shows the board `factor` (> 0) times as large: pictures, hit test and
    // size together. Layout coordinates stay those of the layout files.
    void setScale(double factor);
    // The size the board takes for `layout` at the current scale.
    QSize boardSize(const VX_Layout &layout) const;
    // Gets the engine's active layout ready to be painted: decodes its
    // pictures (painting never decodes) and takes its size. False, doing
    // nothing, when there is no active layout.
    bool showActive();

signals:
    // qkey: a Qt key code, or 0 with `unikey` a NUL-terminated UTF-8 text.
    // `unikey` is valid only during the emission (null for the erase step).
    void sendKey(int qkey, const char *unikey);
    // The board asked for a repaint (of some keys, or whole after another
    // layout or mode was shown); for a front end that draws the layout
    // itself instead of showing the widget.
    void changed();

public slots:
    // Driven by repeatTimer: one auto-repeat tick of the held key.
    void repeatKey();
    // Closes the open multi-tap cycle. Driven by resetTimer, and called by
    // whoever owns the text the board types into when that text or its
    // cursor changes behind the board's back.
    void resetKey();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Does what one layout operation asks: timers, resize, repaint, output.
    void act(const VX_KeyResult &result);

public:
    QTimer *repeatTimer;  // periodic auto-repeat timer, child of the board
    QTimer *resetTimer;   // single-shot multi-tap reset timer, child of the board
    VX_Engine engine;     // all layouts and pictures; lives as long as the board

private:
    double scale_ = 1.0;  // board pixels per layout pixel, > 0
};

#endif
