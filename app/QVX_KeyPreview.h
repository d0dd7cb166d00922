// The key preview of vexil-panel on X11: a larger picture of the held key,
// shown just above it while the finger covers the key itself. A window of
// its own that the window manager never manages (override-redirect), that
// takes no input (clicks and touches fall through it) and never the focus.
#ifndef VEXIL_APP_QVX_KEYPREVIEW_H
#define VEXIL_APP_QVX_KEYPREVIEW_H

#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <cstdint>

class VX_Layout;

class QVX_KeyPreview : public QWidget {
    Q_OBJECT

public:
    static constexpr double kEnlarge = 1.5;  // preview size per key size on the board
    static constexpr int kGap = 4;           // pixels between the preview and the key below it
    static constexpr int kMaxSide = 2048;    // largest preview width or height, pixels
    static constexpr int kRaiseAgainMs = 50; // first wait before it is raised again over the panel

    // A window of its own, deleted with `owner`.
    explicit QVX_KeyPreview(QWidget *owner);

    // Shows key `index` of `layout` in its released look, drawn `scale`
    // board pixels per layout pixel and enlarged, centred above `keyOnScreen`
    // (the key's rectangle in screen coordinates) and kept on `screen`.
    // An index that is no key hides the preview.
    void showKey(const VX_Layout &layout, int32_t index, double scale, const QRect &keyOnScreen,
                 const QRect &screen);
    // Where the preview goes for a key at `keyOnScreen`, `size` large:
    // centred above it, moved inside `screen` when it would leave it.
    static QRect placeAbove(const QRect &keyOnScreen, const QSize &size, const QRect &screen);
    // The key shown, -1 while hidden.
    int32_t key() const { return key_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Qt gives every window a colormap of its own. Screen readers of the
    // X server (xwd, ImageMagick's import, tools built on them) split the
    // screen by colormap and leave a window of a private colormap that lies
    // wholly inside another such window black, although the screen shows
    // it: a preview over the lower rows of the board. On the screen's own
    // visual the screen's own colormap gives the same colours, and the
    // preview is read as it is shown.
    void useDefaultColormap();

    QPixmap picture_;  // the key at the preview's size, drawn when it was shown
    int32_t key_ = -1; // key shown; -1 hidden
};

#endif
