// vexil-panel's connection to a Wayland compositor: the display, the
// globals the panel binds (compositor, shm, the first seat, layer shell,
// virtual keyboard manager, input method manager) and the outputs with
// their scale. The front end (surface, pointer, touch) and the typing
// output share it. Reading is never blocking: the caller watches fd() in
// its event loop, calls dispatch() when it is readable and flush() before
// it waits.
#ifndef VEXIL_OUTPUT_VX_WAYLANDCLIENT_H
#define VEXIL_OUTPUT_VX_WAYLANDCLIENT_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_subcompositor;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct zwlr_layer_shell_v1;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_input_method_manager_v2;

class VX_WaylandClient {
public:
    // The longest flush() waits on a full socket before it looks whether
    // the program is asked to end.
    static constexpr int kFlushSliceMs = 100;

    struct Output {
        wl_output *output = nullptr;  // bound proxy, owned
        uint32_t name = 0;            // registry name
        int32_t scale = 1;            // wl_output.scale, >= 1
    };

    VX_WaylandClient() = default;
    ~VX_WaylandClient();
    VX_WaylandClient(const VX_WaylandClient &) = delete;
    VX_WaylandClient &operator=(const VX_WaylandClient &) = delete;

    // Connects to `name` (null: $WAYLAND_DISPLAY) and learns the globals in
    // one round trip. False with error() when there is no compositor.
    bool connect(const char *name = nullptr);
    // The interface of the first protocol the panel cannot do without
    // that the compositor lacks (layer shell, virtual keyboard, shm, a
    // seat); null when all are there.
    const char *missing() const;

    // Sends every queued request, waiting while the socket is full (the
    // compositor is behind) for as long as the compositor lives; false when
    // the connection is lost, or when the program is asked to end
    // (VX_Cancel) during such a wait.
    bool flush();
    // Reads what arrived (without waiting) and runs its handlers; false
    // when the connection is lost or the compositor reported an error.
    bool dispatch();
    // Waits until the compositor has handled every request sent so far.
    bool roundtrip();
    int fd() const;
    // Why connect() or the connection failed; empty while all is well.
    const std::string &error() const { return error_; }
    // The scale of `output`, 1 when unknown.
    int32_t scaleOf(const wl_output *output) const;

    // Called after an output appears, goes or changes its scale.
    std::function<void()> onOutputsChanged;
    // Called with the seat's capabilities (wl_seat.capability bits).
    std::function<void(uint32_t)> onSeatCapabilities;

    wl_display *display = nullptr;           // own connection; null before connect()
    wl_registry *registry = nullptr;         // owned
    wl_compositor *compositor = nullptr;     // v4 or lower; owned
    wl_subcompositor *subcompositor = nullptr;  // owned; null when absent (no key preview)
    wl_shm *shm = nullptr;                   // owned
    wl_seat *seat = nullptr;                 // the first seat; owned
    zwlr_layer_shell_v1 *layerShell = nullptr;                  // owned; null when absent
    zwp_virtual_keyboard_manager_v1 *keyboardManager = nullptr;  // owned; null when absent
    zwp_input_method_manager_v2 *inputMethodManager = nullptr;   // owned; null when absent
    std::vector<Output> outputs;             // every output announced and not removed
    uint32_t seatCapabilities = 0;           // last wl_seat.capabilities

private:
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);
    void lost(const char *what);

    std::string error_;  // see error()
};

#endif
