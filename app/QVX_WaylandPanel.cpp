#include "app/QVX_WaylandPanel.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QPainter>
#include <QTimer>
#include <cstring>

#include "app/QVX_Board.h"
#include "app/QVX_KeyPreview.h"
#include "engine/VX_Key.h"
#include "engine/VX_Layout.h"
#include "output/VX_WaylandClient.h"
#include "output/VX_WaylandOutput.h"
#include "purpose/VX_Purpose.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

QVX_WaylandPanel *panelOf(void *data) { return static_cast<QVX_WaylandPanel *>(data); }

void layerConfigure(void *data, zwlr_layer_surface_v1 *, uint32_t serial, uint32_t width, uint32_t height)
{
    panelOf(data)->configure(serial, width, height);
}
void layerClosed(void *data, zwlr_layer_surface_v1 *) { panelOf(data)->closed(); }
const zwlr_layer_surface_v1_listener layerListener = {layerConfigure, layerClosed};

void surfaceEnter(void *data, wl_surface *, wl_output *output) { panelOf(data)->enterOutput(output); }
void surfaceLeave(void *, wl_surface *, wl_output *) {}
const wl_surface_listener surfaceListener = {surfaceEnter, surfaceLeave};

void frameCallback(void *data, wl_callback *, uint32_t) { panelOf(data)->frameDone(); }
const wl_callback_listener frameListener = {frameCallback};

void bufferRelease(void *data, wl_buffer *buffer) { panelOf(data)->bufferReleased(buffer); }
const wl_buffer_listener bufferListener = {bufferRelease};

void pointerEnter(void *data, wl_pointer *, uint32_t, wl_surface *surface, wl_fixed_t x, wl_fixed_t y)
{
    panelOf(data)->pointerAt(surface, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void pointerLeave(void *data, wl_pointer *, uint32_t, wl_surface *) { panelOf(data)->pointerLeft(); }
void pointerMotion(void *data, wl_pointer *, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    panelOf(data)->pointerAt(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void pointerButton(void *data, wl_pointer *, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    panelOf(data)->pointerButton(state == WL_POINTER_BUTTON_STATE_PRESSED);
}
void pointerAxis(void *, wl_pointer *, uint32_t, uint32_t, wl_fixed_t) {}
void pointerFrame(void *, wl_pointer *) {}
void pointerAxisSource(void *, wl_pointer *, uint32_t) {}
void pointerAxisStop(void *, wl_pointer *, uint32_t, uint32_t) {}
void pointerAxisDiscrete(void *, wl_pointer *, uint32_t, int32_t) {}
const wl_pointer_listener pointerListener = {pointerEnter, pointerLeave,      pointerMotion,   pointerButton,
                                             pointerAxis,  pointerFrame,      pointerAxisSource, pointerAxisStop,
                                             pointerAxisDiscrete, nullptr};  // bound at version 5 at most

void touchDown(void *data, wl_touch *, uint32_t, uint32_t, wl_surface *surface, int32_t id, wl_fixed_t x,
               wl_fixed_t y)
{
    panelOf(data)->touchDown(surface, id, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void touchUp(void *data, wl_touch *, uint32_t, uint32_t, int32_t id) { panelOf(data)->touchUp(id); }
void touchMotion(void *data, wl_touch *, uint32_t, int32_t id, wl_fixed_t x, wl_fixed_t y)
{
    panelOf(data)->touchMotion(id, wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void touchFrame(void *, wl_touch *) {}
void touchCancel(void *data, wl_touch *) { panelOf(data)->touchCancel(); }
void touchShape(void *, wl_touch *, int32_t, wl_fixed_t, wl_fixed_t) {}
void touchOrientation(void *, wl_touch *, int32_t, wl_fixed_t) {}
const wl_touch_listener touchListener = {touchDown,   touchUp,    touchMotion,     touchFrame,
                                         touchCancel, touchShape, touchOrientation};

}  // namespace

QVX_WaylandPanel::QVX_WaylandPanel(VX_WaylandClient &client, VX_WaylandOutput &output,
                                   const VX_PanelOptions &options, std::vector<std::string> searchDirs)
    : client_(client), output_(output), logic_(*this, output, options, std::move(searchDirs), nullptr),
      board(logic_.board), fields(logic_.fields)
{
    connect(board, &QVX_Board::changed, this, &QVX_WaylandPanel::repaint);
    drawTimer_ = new QTimer(this);
    drawTimer_->setSingleShot(true);
    drawTimer_->setTimerType(Qt::PreciseTimer);
    drawTimer_->setInterval(kDrawDelayMs);
    connect(drawTimer_, &QTimer::timeout, this, &QVX_WaylandPanel::draw);

    board->showActive();
    // The first keymap already holds what the first layout types.
    logic_.prepareOutput();

    client_.onSeatCapabilities = [this](uint32_t capabilities) { seatCapabilities(capabilities); };
    client_.onOutputsChanged = [this] {
        if (surface_ && onOutput_)
            enterOutput(onOutput_);
    };
    seatCapabilities(client_.seatCapabilities);
    // The field's reports make the typing context; a field active before
    // the panel came is the first.
    output_.onReport = [this](const VX_FieldReport &field) { logic_.session().fieldReport(field); };
    logic_.session().fieldReport(output_.field());
    output_.onFieldChange = [this] { board->focusChanged(); };
    output_.onFieldActive = [this](bool active) { autoActive(active); };
    output_.onContentType = [this](bool active, uint32_t hint, uint32_t purpose) {
        logic_.setField(active ? vxFieldFromContentType(hint, purpose) : VX_Field());
    };
}

QVX_WaylandPanel::~QVX_WaylandPanel()
{
    hide();
    destroyBuffers(previewBuffers_);
    destroyBuffers();
    if (pointer_)
        wl_pointer_destroy(pointer_);
    if (touch_)
        wl_touch_destroy(touch_);
    client_.onSeatCapabilities = nullptr;
    client_.onOutputsChanged = nullptr;
    output_.onReport = nullptr;
    output_.onFieldChange = nullptr;
    output_.onFieldActive = nullptr;
    output_.onContentType = nullptr;
}

void QVX_WaylandPanel::start()
{
    logic_.setShown(!(logic_.options().autoShow && output_.hasInputMethod()) || output_.fieldActive());
}

void QVX_WaylandPanel::setShown(bool shown) { logic_.setShown(shown); }

std::string QVX_WaylandPanel::status() const
{
    return logic_.status(shown(), "wayland", logic_.options().autoShow && output_.hasInputMethod());
}

void QVX_WaylandPanel::autoActive(bool active)
{
    if (output_.hasInputMethod())
        logic_.autoFieldActive(active);
}

void QVX_WaylandPanel::seatCapabilities(uint32_t capabilities)
{
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    const bool hasTouch = capabilities & WL_SEAT_CAPABILITY_TOUCH;
    if (hasPointer && !pointer_) {
        pointer_ = wl_seat_get_pointer(client_.seat);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    } else if (!hasPointer && pointer_) {
        wl_pointer_destroy(pointer_);
        pointer_ = nullptr;
        pointerIn_ = false;
    }
    if (hasTouch && !touch_) {
        touch_ = wl_seat_get_touch(client_.seat);
        wl_touch_add_listener(touch_, &touchListener, this);
    } else if (!hasTouch && touch_) {
        wl_touch_destroy(touch_);
        touch_ = nullptr;
        touchCancel();
    }
}

void QVX_WaylandPanel::show()
{
    if (surface_ || !logic_.wantsShown() || !hasLayout())
        return;
    surface_ = wl_compositor_create_surface(client_.compositor);
    wl_surface_add_listener(surface_, &surfaceListener, this);
    const uint32_t layer = logic_.options().floating ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_TOP;
    layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(client_.layerShell, surface_, nullptr, layer, "vexil");
    zwlr_layer_surface_v1_add_listener(layerSurface_, &layerListener, this);
    // --width full: anchored to both side edges too, the compositor says
    // the width at the first configure.
    zwlr_layer_surface_v1_set_anchor(layerSurface_, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                        (logic_.options().fullWidth ? ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT
                                                                            : 0));
    zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_, 0);
    // Until the surface enters an output, the scale of a lone output is the
    // best guess.
    if (client_.outputs.size() == 1)
        bufferScale_ = client_.outputs.front().scale;
    board->setPixelRatio(bufferScale_);
    configured_ = false;
    applySize();
    client_.flush();
}

void QVX_WaylandPanel::hide()
{
    // A key held as the board goes is let go without typing.
    if (pressedButtons_ > 0 || touchId_ >= 0) {
        pressedButtons_ = 0;
        touchId_ = -1;
        board->cancelPress();
    }
    hidePreview();
    if (frame_) {
        wl_callback_destroy(frame_);
        frame_ = nullptr;
    }
    if (layerSurface_) {
        zwlr_layer_surface_v1_destroy(layerSurface_);
        layerSurface_ = nullptr;
    }
    if (surface_) {
        wl_surface_destroy(surface_);
        surface_ = nullptr;
    }
    destroyBuffers();
    pointerIn_ = false;
    onOutput_ = nullptr;
    configured_ = false;
    client_.flush();
}

void QVX_WaylandPanel::applySize()
{
    const VX_Layout *layout = board->engine.activeLayout();
    if (!layerSurface_ || !layout)
        return;
    logical_ = board->boardSize(*layout);
    zwlr_layer_surface_v1_set_size(layerSurface_, logic_.options().fullWidth ? 0 : logical_.width(), logical_.height());
    zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, logic_.options().floating ? 0 : logical_.height());
    wl_surface_commit(surface_);
}

void QVX_WaylandPanel::configure(uint32_t serial, uint32_t width, uint32_t)
{
    if (!layerSurface_)
        return;
    zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
    configured_ = true;
    // The width the compositor gave the surface: every layout is scaled to it.
    if (logic_.options().fullWidth && width > 0 && static_cast<int>(width) != fitWidth_) {
        fitWidth_ = static_cast<int>(width);
        board->setFit(fitWidth_, 0);
        board->showActive();
    }
    draw();
}

void QVX_WaylandPanel::closed()
{
    // The compositor took the surface away (its output went): show it again
    // where it can.
    hide();
    if (logic_.wantsShown())
        QTimer::singleShot(0, this, [this] { show(); });
}

void QVX_WaylandPanel::enterOutput(wl_output *output)
{
    onOutput_ = output;
    const int scale = client_.scaleOf(output);
    if (scale != bufferScale_) {
        bufferScale_ = scale;
        board->setPixelRatio(bufferScale_);
        draw();
    }
}

void QVX_WaylandPanel::frameDone()
{
    if (frame_) {
        wl_callback_destroy(frame_);
        frame_ = nullptr;
    }
    if (dirty_)
        draw();
}

void QVX_WaylandPanel::repaint()
{
    // The key a press or release types goes out first: the board asks for
    // its repaint before it sends the key, and a buffer the compositor gets
    // ahead of the key holds the key up there. A couple of milliseconds is
    // far below one frame.
    if (!drawTimer_->isActive())
        drawTimer_->start();
}

void QVX_WaylandPanel::draw()
{
    VX_Layout *layout = board->engine.activeLayout();
    if (!surface_ || !configured_ || !layout)
        return;
    if (frame_) {
        dirty_ = true;
        return;
    }
    if (board->boardSize(*layout) != logical_) {
        // Another size: drawn once the compositor has configured it.
        configured_ = false;
        applySize();
        return;
    }
    const QSize pixels = logical_ * bufferScale_;
    if (canvas_.size() != pixels) {
        canvas_ = QImage(pixels, QImage::Format_RGB32);
        canvas_.fill(Qt::black);
        layout->fullRedraw = true;
    }
    {
        QPainter painter(&canvas_);
        if (bufferScale_ != 1)
            painter.scale(bufferScale_, bufferScale_);
        board->paintBoard(painter);
    }
    Buffer *buffer = freeBuffer(buffers_, pixels);
    if (!buffer) {
        dirty_ = true;  // both are with the compositor: drawn at its release
        return;
    }
    std::memcpy(buffer->data, canvas_.constBits(), buffer->bytes);
    wl_surface_set_buffer_scale(surface_, bufferScale_);
    wl_surface_attach(surface_, buffer->buffer, 0, 0);
    wl_surface_damage_buffer(surface_, 0, 0, pixels.width(), pixels.height());
    frame_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frame_, &frameListener, this);
    wl_surface_commit(surface_);
    buffer->busy = true;
    dirty_ = false;
    client_.flush();
}

QVX_WaylandPanel::Buffer *QVX_WaylandPanel::freeBuffer(Buffer (&set)[2], const QSize &pixels)
{
    for (Buffer &buffer : set) {
        if (buffer.busy)
            continue;
        if (buffer.buffer && buffer.size == pixels)
            return &buffer;
        if (buffer.buffer) {
            wl_buffer_destroy(buffer.buffer);
            munmap(buffer.data, buffer.bytes);
            buffer = Buffer();
        }
        const size_t stride = static_cast<size_t>(pixels.width()) * 4;
        const size_t bytes = stride * static_cast<size_t>(pixels.height());
        const int fd = memfd_create("vexil-board", MFD_CLOEXEC);
        if (fd < 0)
            return nullptr;
        if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            close(fd);
            return nullptr;
        }
        void *data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            close(fd);
            return nullptr;
        }
        wl_shm_pool *pool = wl_shm_create_pool(client_.shm, fd, static_cast<int32_t>(bytes));
        buffer.buffer = wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(),
                                                  static_cast<int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        wl_buffer_add_listener(buffer.buffer, &bufferListener, this);
        buffer.data = data;
        buffer.bytes = bytes;
        buffer.size = pixels;
        return &buffer;
    }
    return nullptr;
}

void QVX_WaylandPanel::bufferReleased(wl_buffer *released)
{
    for (Buffer &buffer : previewBuffers_)
        if (buffer.buffer == released)
            buffer.busy = false;
    for (Buffer &buffer : buffers_)
        if (buffer.buffer == released)
            buffer.busy = false;
    if (dirty_ && !frame_)
        draw();
}

void QVX_WaylandPanel::destroyBuffers() { destroyBuffers(buffers_); }

void QVX_WaylandPanel::destroyBuffers(Buffer (&set)[2])
{
    for (Buffer &buffer : set) {
        if (buffer.buffer) {
            wl_buffer_destroy(buffer.buffer);
            munmap(buffer.data, buffer.bytes);
        }
        buffer = Buffer();
    }
}

void QVX_WaylandPanel::showPreview(const VX_Layout &layout, int key)
{
    if (!surface_ || !configured_ || !client_.subcompositor) {
        hidePreview();
        return;
    }
    const VX_Key &k = layout.keys[key];
    const double scale = board->scale();
    const int w = qRound(k.width * scale * QVX_KeyPreview::kEnlarge);
    const int h = qRound(k.height * scale * QVX_KeyPreview::kEnlarge);
    if (k.width <= 0 || k.height <= 0 || k.width > layout.width || k.height > layout.height || w < 1 || h < 1 ||
        w > QVX_KeyPreview::kMaxSide || h > QVX_KeyPreview::kMaxSide) {
        hidePreview();
        return;
    }
    // Centred above the key, kept within the board's width.
    const QRect keyOnBoard = board->keyRect(key);
    const QRect place = QVX_KeyPreview::placeAbove(keyOnBoard, QSize(w, h), QRect(QPoint(0, -(1 << 20)),
                                                                                  QSize(logical_.width(), 1 << 21)));
    const QSize pixels(w * bufferScale_, h * bufferScale_);
    Buffer *buffer = freeBuffer(previewBuffers_, pixels);
    if (!buffer)
        return;
    QImage plain(k.width, k.height, QImage::Format_RGB32);
    plain.fill(Qt::black);
    {
        QPainter painter(&plain);
        layout.paintKey(painter, key);
    }
    QImage image = plain.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        QPainter painter(&image);
        painter.setPen(QColor(0, 0, 0));
        painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    }
    for (int y = 0; y < pixels.height(); ++y)
        std::memcpy(static_cast<char *>(buffer->data) + static_cast<size_t>(y) * pixels.width() * 4,
                    image.constScanLine(y), static_cast<size_t>(pixels.width()) * 4);
    if (!previewSurface_) {
        previewSurface_ = wl_compositor_create_surface(client_.compositor);
        previewSubsurface_ = wl_subcompositor_get_subsurface(client_.subcompositor, previewSurface_, surface_);
        wl_subsurface_set_desync(previewSubsurface_);
        // Presses go through it to whatever lies below.
        wl_region *none = wl_compositor_create_region(client_.compositor);
        wl_surface_set_input_region(previewSurface_, none);
        wl_region_destroy(none);
    }
    wl_subsurface_place_above(previewSubsurface_, surface_);
    wl_subsurface_set_position(previewSubsurface_, place.x(), place.y());
    wl_surface_set_buffer_scale(previewSurface_, bufferScale_);
    wl_surface_attach(previewSurface_, buffer->buffer, 0, 0);
    wl_surface_damage_buffer(previewSurface_, 0, 0, pixels.width(), pixels.height());
    wl_surface_commit(previewSurface_);
    buffer->busy = true;
    // The position takes effect with the board's next commit.
    wl_surface_commit(surface_);
    client_.flush();
}

void QVX_WaylandPanel::hidePreview()
{
    if (previewSubsurface_) {
        wl_subsurface_destroy(previewSubsurface_);
        previewSubsurface_ = nullptr;
    }
    if (previewSurface_) {
        wl_surface_destroy(previewSurface_);
        previewSurface_ = nullptr;
    }
    destroyBuffers(previewBuffers_);
    client_.flush();
}

void QVX_WaylandPanel::pointerAt(wl_surface *surface, double x, double y)
{
    if (surface) {
        pointerIn_ = surface == surface_;
        if (!pointerIn_)
            return;
    }
    pointerX_ = x;
    pointerY_ = y;
    if (pressedButtons_ > 0)
        board->pointerMove(QPointF(x, y));
}

void QVX_WaylandPanel::pointerLeft() { pointerIn_ = false; }

void QVX_WaylandPanel::pointerButton(bool pressed)
{
    if (pressed) {
        if (!pointerIn_)
            return;
        ++pressedButtons_;
        board->pointerPress(QPointF(pointerX_, pointerY_));
    } else if (pressedButtons_ > 0) {
        --pressedButtons_;
        board->pointerRelease();
    }
}

// One finger at a time: a new finger presses where it lands, as a second
// press while a key is held does, and the earlier finger's lift is ignored.
void QVX_WaylandPanel::touchDown(wl_surface *surface, int32_t id, double x, double y)
{
    if (!surface_ || surface != surface_)
        return;
    touchId_ = id;
    board->pointerPress(QPointF(x, y));
}

void QVX_WaylandPanel::touchUp(int32_t id)
{
    if (id != touchId_)
        return;
    touchId_ = -1;
    board->pointerRelease();
}

void QVX_WaylandPanel::touchMotion(int32_t id, double x, double y)
{
    if (id == touchId_)
        board->pointerMove(QPointF(x, y));
}

void QVX_WaylandPanel::touchCancel()
{
    if (touchId_ < 0)
        return;
    touchId_ = -1;
    // The compositor took the touch for itself: nothing is typed.
    board->cancelPress();
}
