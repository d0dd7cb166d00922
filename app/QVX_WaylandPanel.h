// vexil-panel's window on Wayland: a layer-shell surface of the compositor
// that never takes the keyboard focus, showing the same board as on X11.
//
// The board widget itself is never shown (the toolkit runs on its offscreen
// platform): Wayland pointer and touch events become its mouse events, its
// timers run in the toolkit's event loop as everywhere, and every repaint it
// asks for is drawn by the layout's own painting into a canvas that keeps its
// pixels, copied into a shared-memory buffer and committed, at most once per
// frame the compositor asks for.
//
// Docked: anchored to the bottom edge, centred, with an exclusive zone of
// its height. Floating: the overlay layer, no exclusive zone. On an output
// of scale N the board keeps its logical size (layout size x --scale) and is
// drawn with N times the pixels.
//
// The key preview (touch model) is a subsurface of the board placed above
// the held key, with an empty input region, so it never takes a press; a
// compositor without subsurfaces has no preview.
#ifndef VEXIL_APP_QVX_WAYLANDPANEL_H
#define VEXIL_APP_QVX_WAYLANDPANEL_H

#include <QImage>
#include <QObject>
#include <QSize>
#include <string>
#include <vector>

#include "panel/QVX_PanelHost.h"
#include "panel/QVX_PanelLogic.h"
#include "panel/VX_PanelOptions.h"

class QTimer;
class QVX_Board;
class QVX_FieldLayouts;
class VX_Layout;
class VX_WaylandClient;
class VX_WaylandOutput;
struct wl_buffer;
struct wl_callback;
struct wl_pointer;
struct wl_surface;
struct wl_subsurface;
struct wl_touch;
struct wl_output;
struct zwlr_layer_surface_v1;

class QVX_WaylandPanel : public QObject, private QVX_PanelHost {
    Q_OBJECT

public:
    // How long a repaint waits, so that the compositor has the key of the
    // same press or release before the new picture of the board.
    static constexpr int kDrawDelayMs = 2;

    // Loads the layouts from `searchDirs`; `client` and `output` must
    // outlive the panel.
    QVX_WaylandPanel(VX_WaylandClient &client, VX_WaylandOutput &output, const VX_PanelOptions &options,
                     std::vector<std::string> searchDirs);
    ~QVX_WaylandPanel() override;

    // True when a layout is there to show (the engine has said why not).
    bool hasLayout() const { return logic_.hasLayout(); }
    // Shows the board now, or with --auto (and an input method) once a text
    // field is active.
    void start();
    // Shows or hides the board on command (--toggle, --show, --hide,
    // SIGUSR1); hidden, its exclusive zone goes with it.
    void setShown(bool shown);
    // Shown, or about to be (the command or --auto wants it shown).
    bool wantsShown() const { return logic_.wantsShown(); }
    // The board is mapped on the compositor (tests and diagnostics).
    bool shown() const { return surface_ != nullptr; }
    // The answer to --status.
    std::string status() const;

    // --- Wayland events (called by the listeners) ---
    void configure(uint32_t serial, uint32_t width, uint32_t height);
    void closed();
    void frameDone();
    void enterOutput(wl_output *output);
    void pointerAt(wl_surface *surface, double x, double y);
    void pointerLeft();
    void pointerButton(bool pressed);
    void touchDown(wl_surface *surface, int32_t id, double x, double y);
    void touchUp(int32_t id);
    void touchMotion(int32_t id, double x, double y);
    void touchCancel();
    void bufferReleased(wl_buffer *buffer);
    void seatCapabilities(uint32_t capabilities);

private slots:
    void repaint();

private:
    struct Buffer {
        wl_buffer *buffer = nullptr;  // owned
        void *data = nullptr;         // mapped pixels, `bytes` long
        size_t bytes = 0;
        QSize size;                   // pixels
        bool busy = false;            // the compositor holds it
    };

    // --- QVX_PanelHost ---
    void showBoard() override { show(); }
    void hideBoard() override { hide(); }
    // The preview is shown with a subcompositor only.
    void showPreview(const VX_Layout &layout, int key) override;
    void hidePreview() override;

    void show();
    void hide();
    // Gives the layer surface the board's logical size (and exclusive zone).
    void applySize();
    void draw();
    // A buffer of `set` the compositor does not hold, `pixels` large.
    Buffer *freeBuffer(Buffer (&set)[2], const QSize &pixels);
    void destroyBuffers(Buffer (&set)[2]);
    void destroyBuffers();
    // --auto with an input method: a text field is active or none is.
    void autoActive(bool active);

    VX_WaylandClient &client_;       // outlives the panel
    VX_WaylandOutput &output_;       // outlives the panel
    wl_surface *surface_ = nullptr;  // owned while shown
    zwlr_layer_surface_v1 *layerSurface_ = nullptr;  // owned while shown
    wl_callback *frame_ = nullptr;   // pending frame callback; owned
    wl_pointer *pointer_ = nullptr;  // owned while the seat has one
    wl_touch *touch_ = nullptr;      // owned while the seat has one
    wl_output *onOutput_ = nullptr;  // output the surface last entered; not owned
    bool configured_ = false;        // a configure was acknowledged since show()
    bool dirty_ = false;             // a repaint waits for the next frame
    QSize logical_;                  // size asked of the compositor, logical pixels
    int bufferScale_ = 1;            // pixels per logical pixel, >= 1
    int fitWidth_ = 0;               // --width full: the width the compositor gave; 0 before
    QImage canvas_;                  // the board's pixels; kept between paints
    Buffer buffers_[2];              // double buffering
    wl_surface *previewSurface_ = nullptr;    // the key preview above the board; owned while shown
    wl_subsurface *previewSubsurface_ = nullptr;  // places it, relative to the board; owned with it
    Buffer previewBuffers_[2];       // the preview's pixels
    double pointerX_ = 0, pointerY_ = 0;  // last pointer position, logical
    bool pointerIn_ = false;         // the pointer is over the surface
    int pressedButtons_ = 0;         // pointer buttons down
    int32_t touchId_ = -1;           // the finger that presses now; -1 none
    QTimer *drawTimer_;              // single-shot: a repaint after kDrawDelayMs
    QVX_PanelLogic logic_;           // what both panels do: board, keys, preview timing, shown or not

public:
    QVX_Board *board;  // the keyboard, logic_'s, never shown itself
    QVX_FieldLayouts *fields;  // logic_'s layouts by the active field's content type; child of the board
};

#endif
