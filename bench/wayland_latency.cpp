// Press-to-text latency of on-screen keyboards on Wayland, under a headless
// sway of the benchmark's own. This program owns the target: a window of
// its own with the keyboard focus, which takes key events (through the
// keymap the keyboard's virtual keyboard gave it) and, when asked, text
// from the input method (text-input-v3 commit_string). For each keyboard
// it clicks one letter key with a virtual pointer (press and release at
// once, a quick tap) and times the arrival of the letter in its window,
// from just before the press; it also reads each
// keyboard's peak resident memory (VmHWM), and that of vexil-panel on an
// X server (Xvfb) after as many taps, for comparison.
//
//   vexil_wayland_bench [--taps=N]     (e.g. through `make bench-wayland`)
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/WaylandSession.h"
#include "tests/XSession.h"
#include "text-input-unstable-v3-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLeftButton = 0x110;  // BTN_LEFT

uint32_t nowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

long vmHwmKib(pid_t pid)
{
    const std::string status = shell("cat /proc/" + std::to_string(pid) + "/status 2>/dev/null");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// The benchmark's own client: a toplevel window with the focus, and the
// virtual pointer that clicks the keyboards.
class Target {
public:
    ~Target();
    bool open(const std::string &socketPath, int width, int height);
    // Asks for text through the input method from now on (text-input-v3).
    void useTextInput(bool on);
    // Clicks (x, y): press and release at once, as a quick tap. The letter
    // that arrived first (0 when none within `patience`) and the time from
    // just before the press.
    uint32_t click(int x, int y, std::chrono::milliseconds patience, double &elapsedUs);
    // Reads what is queued for `ms` milliseconds.
    void drain(int ms);

    // --- events ---
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemove(void *, wl_registry *, uint32_t) {}
    void seatCapabilities(uint32_t caps);
    void keymap(int fd, uint32_t size);
    void key(uint32_t key, uint32_t state);
    void keyboardEnter();
    void textInputEnter();
    void textInputLeave() { textInputIn_ = false; }
    void commitString(const char *text);
    void configure(uint32_t serial);

private:
    bool dispatchFor(std::chrono::milliseconds patience);
    void enableTextInput();

    wl_display *display_ = nullptr;
    wl_compositor *compositor_ = nullptr;
    wl_shm *shm_ = nullptr;
    wl_seat *seat_ = nullptr;
    wl_keyboard *keyboard_ = nullptr;
    xdg_wm_base *wmBase_ = nullptr;
    zwp_text_input_manager_v3 *textInputManager_ = nullptr;
    zwp_text_input_v3 *textInput_ = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointerManager_ = nullptr;
    zwlr_virtual_pointer_v1 *pointer_ = nullptr;
    wl_surface *surface_ = nullptr;
    xdg_surface *xdgSurface_ = nullptr;
    xdg_toplevel *toplevel_ = nullptr;
    wl_buffer *buffer_ = nullptr;
    xkb_context *xkb_ = nullptr;
    xkb_keymap *keymap_ = nullptr;
    xkb_state *state_ = nullptr;
    bool configured_ = false;
    bool focused_ = false;
    bool wantTextInput_ = false;
    bool textInputIn_ = false;  // text input has entered the window
    uint32_t arrived_ = 0;  // first letter since the last click; 0 none
    Clock::time_point arrivedAt_;
    int width_ = 0, height_ = 0;
};

Target *targetOf(void *data) { return static_cast<Target *>(data); }

void keymapEvent(void *data, wl_keyboard *, uint32_t, int32_t fd, uint32_t size) { targetOf(data)->keymap(fd, size); }
void enterEvent(void *data, wl_keyboard *, uint32_t, wl_surface *, wl_array *) { targetOf(data)->keyboardEnter(); }
void leaveEvent(void *, wl_keyboard *, uint32_t, wl_surface *) {}
void keyEvent(void *data, wl_keyboard *, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    targetOf(data)->key(key, state);
}
void modifiersEvent(void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeatEvent(void *, wl_keyboard *, int32_t, int32_t) {}
const wl_keyboard_listener keyboardListener = {keymapEvent, enterEvent, leaveEvent, keyEvent, modifiersEvent,
                                               repeatEvent};

void capabilities(void *data, wl_seat *, uint32_t caps) { targetOf(data)->seatCapabilities(caps); }
void seatName(void *, wl_seat *, const char *) {}
const wl_seat_listener seatListener = {capabilities, seatName};

void ping(void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener wmBaseListener = {ping};
void surfaceConfigure(void *data, xdg_surface *, uint32_t serial) { targetOf(data)->configure(serial); }
const xdg_surface_listener xdgSurfaceListener = {surfaceConfigure};
void toplevelConfigure(void *, xdg_toplevel *, int32_t, int32_t, wl_array *) {}
void toplevelClose(void *, xdg_toplevel *) {}
void toplevelBounds(void *, xdg_toplevel *, int32_t, int32_t) {}
void toplevelCapabilities(void *, xdg_toplevel *, wl_array *) {}
const xdg_toplevel_listener toplevelListener = {toplevelConfigure, toplevelClose, toplevelBounds, toplevelCapabilities};

void tiEnter(void *data, zwp_text_input_v3 *, wl_surface *) { targetOf(data)->textInputEnter(); }
void tiLeave(void *data, zwp_text_input_v3 *, wl_surface *) { targetOf(data)->textInputLeave(); }
void tiPreedit(void *, zwp_text_input_v3 *, const char *, int32_t, int32_t) {}
void tiCommit(void *data, zwp_text_input_v3 *, const char *text) { targetOf(data)->commitString(text); }
void tiDelete(void *, zwp_text_input_v3 *, uint32_t, uint32_t) {}
void tiDone(void *, zwp_text_input_v3 *, uint32_t) {}
const zwp_text_input_v3_listener textInputListener = {tiEnter, tiLeave, tiPreedit, tiCommit, tiDelete, tiDone};

const wl_registry_listener registryListener = {Target::global, Target::globalRemove};

void Target::global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    Target *self = targetOf(data);
    auto bind = [&](const wl_interface *which, uint32_t version) { return wl_registry_bind(registry, name, which, version); };
    if (!std::strcmp(interface, wl_compositor_interface.name))
        self->compositor_ = static_cast<wl_compositor *>(bind(&wl_compositor_interface, 4));
    else if (!std::strcmp(interface, wl_shm_interface.name))
        self->shm_ = static_cast<wl_shm *>(bind(&wl_shm_interface, 1));
    else if (!std::strcmp(interface, wl_seat_interface.name) && !self->seat_)
        self->seat_ = static_cast<wl_seat *>(bind(&wl_seat_interface, 5));
    else if (!std::strcmp(interface, xdg_wm_base_interface.name))
        self->wmBase_ = static_cast<xdg_wm_base *>(bind(&xdg_wm_base_interface, 1));
    else if (!std::strcmp(interface, zwp_text_input_manager_v3_interface.name))
        self->textInputManager_ = static_cast<zwp_text_input_manager_v3 *>(bind(&zwp_text_input_manager_v3_interface, 1));
    else if (!std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        self->pointerManager_ =
            static_cast<zwlr_virtual_pointer_manager_v1 *>(bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
}

Target::~Target()
{
    if (state_)
        xkb_state_unref(state_);
    if (keymap_)
        xkb_keymap_unref(keymap_);
    if (xkb_)
        xkb_context_unref(xkb_);
    if (display_)
        wl_display_disconnect(display_);
}

bool Target::open(const std::string &socketPath, int width, int height)
{
    width_ = width;
    height_ = height;
    xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    display_ = wl_display_connect(socketPath.c_str());
    if (!display_)
        return false;
    wl_registry *registry = wl_display_get_registry(display_);
    wl_registry_add_listener(registry, &registryListener, this);
    wl_display_roundtrip(display_);
    if (!compositor_ || !shm_ || !seat_ || !wmBase_ || !pointerManager_)
        return false;
    // A headless compositor has a keyboard only while a virtual one is
    // there: the seat says when.
    wl_seat_add_listener(seat_, &seatListener, this);
    if (textInputManager_) {
        textInput_ = zwp_text_input_manager_v3_get_text_input(textInputManager_, seat_);
        zwp_text_input_v3_add_listener(textInput_, &textInputListener, this);
    }
    pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager_, seat_);
    xdg_wm_base_add_listener(wmBase_, &wmBaseListener, this);
    surface_ = wl_compositor_create_surface(compositor_);
    xdgSurface_ = xdg_wm_base_get_xdg_surface(wmBase_, surface_);
    xdg_surface_add_listener(xdgSurface_, &xdgSurfaceListener, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
    xdg_toplevel_set_title(toplevel_, "vexil latency target");
    wl_surface_commit(surface_);

    // A white picture to be mapped with.
    const int w = 64, h = 64, stride = w * 4;
    const int fd = memfd_create("target", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, stride * h) != 0)
        return false;
    void *pixels = mmap(nullptr, stride * h, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return false;
    std::memset(pixels, 0xff, stride * h);
    munmap(pixels, stride * h);
    wl_shm_pool *pool = wl_shm_create_pool(shm_, fd, stride * h);
    buffer_ = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (!configured_ && Clock::now() < until)
        if (!dispatchFor(std::chrono::milliseconds(100)))
            return false;
    return configured_;
}

void Target::seatCapabilities(uint32_t caps)
{
    const bool has = caps & WL_SEAT_CAPABILITY_KEYBOARD;
    if (has && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
    } else if (!has && keyboard_) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
        focused_ = false;
    }
}

void Target::configure(uint32_t serial)
{
    xdg_surface_ack_configure(xdgSurface_, serial);
    if (!configured_) {
        wl_surface_attach(surface_, buffer_, 0, 0);
        wl_surface_damage_buffer(surface_, 0, 0, 64, 64);
    }
    wl_surface_commit(surface_);
    configured_ = true;
}

void Target::keyboardEnter() { focused_ = true; }

// Text input may be enabled only once it has entered the focused surface.
void Target::textInputEnter()
{
    textInputIn_ = true;
    if (wantTextInput_)
        enableTextInput();
}

void Target::enableTextInput()
{
    if (!textInput_)
        return;
    zwp_text_input_v3_enable(textInput_);
    zwp_text_input_v3_set_content_type(textInput_, ZWP_TEXT_INPUT_V3_CONTENT_HINT_NONE,
                                       ZWP_TEXT_INPUT_V3_CONTENT_PURPOSE_NORMAL);
    zwp_text_input_v3_commit(textInput_);
}

void Target::useTextInput(bool on)
{
    wantTextInput_ = on;
    if (textInput_ && textInputIn_) {
        if (on) {
            enableTextInput();
        } else {
            zwp_text_input_v3_disable(textInput_);
            zwp_text_input_v3_commit(textInput_);
        }
    }  // otherwise enabled, when wanted, as it enters the window
    wl_display_roundtrip(display_);
}

void Target::keymap(int fd, uint32_t size)
{
    void *text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED)
        return;
    xkb_keymap *keymap = xkb_keymap_new_from_buffer(xkb_, static_cast<const char *>(text), strnlen(static_cast<const char *>(text), size),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    if (!keymap)
        return;
    if (state_)
        xkb_state_unref(state_);
    if (keymap_)
        xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = xkb_state_new(keymap_);
}

void Target::key(uint32_t key, uint32_t state)
{
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED || !state_ || arrived_)
        return;
    const uint32_t cp = xkb_state_key_get_utf32(state_, key + 8);
    if (cp) {
        arrived_ = cp;
        arrivedAt_ = Clock::now();
    }
}

void Target::commitString(const char *text)
{
    if (arrived_ || !text || !*text)
        return;
    arrived_ = static_cast<unsigned char>(text[0]);
    arrivedAt_ = Clock::now();
}

bool Target::dispatchFor(std::chrono::milliseconds patience)
{
    wl_display_flush(display_);
    if (wl_display_dispatch_pending(display_) < 0)
        return false;
    pollfd p{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(patience.count())) > 0 && wl_display_dispatch(display_) < 0)
        return false;
    return true;
}

void Target::drain(int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until)
        dispatchFor(std::chrono::milliseconds(5));
}

uint32_t Target::click(int x, int y, std::chrono::milliseconds patience, double &elapsedUs)
{
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, nowMs(), x, y, width_, height_);
    zwlr_virtual_pointer_v1_frame(pointer_);
    wl_display_roundtrip(display_);
    drain(5);
    arrived_ = 0;
    const auto start = Clock::now();
    zwlr_virtual_pointer_v1_button(pointer_, nowMs(), kLeftButton, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    zwlr_virtual_pointer_v1_button(pointer_, nowMs(), kLeftButton, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_);
    wl_display_flush(display_);
    const auto until = start + patience;
    while (!arrived_ && Clock::now() < until)
        dispatchFor(std::chrono::milliseconds(2));
    if (arrived_)
        elapsedUs = std::chrono::duration<double, std::micro>(arrivedAt_ - start).count();
    return arrived_;
}

struct Result {
    std::string name;
    bool ran = false;
    double medianUs = 0, p90Us = 0;
    int taps = 0;
    long hwmKib = -1;
};

// Finds a letter key in the bottom `dockHeight` pixels and taps it `taps`
// times.
Result measure(WaylandSession &session, Target &target, const std::string &name,
               const std::vector<std::string> &command, bool textInput, int taps)
{
    Result result;
    result.name = name;
    if (!haveProgram(command[0].c_str()))
        return result;
    target.useTextInput(textInput);
    Child keyboard;
    ChildOptions quiet;
    quiet.outPath = "/dev/null";
    if (!session.launch(keyboard, command, {}, quiet))
        return result;
    // Docked: the usable area shrinks by the keyboard's height.
    int x = 0, y = 0, w = 0, h = 0;
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < until && !(session.usableArea(x, y, w, h) && h < session.height()))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int dock = session.height() - h;
    if (dock <= 0)
        return result;
    target.drain(300);
    int keyX = -1, keyY = -1;
    const double ys[] = {0.45, 0.55, 0.35, 0.65, 0.25};
    const double xs[] = {0.45, 0.4, 0.5, 0.35, 0.55, 0.3};
    for (double fy : ys) {
        for (double fx : xs) {
            const int px = int(session.width() * fx), py = h + int(dock * fy);
            double us = 0;
            const uint32_t letter = target.click(px, py, std::chrono::milliseconds(400), us);
            target.drain(100);
            if (letter >= 'a' && letter <= 'z') {
                keyX = px;
                keyY = py;
                break;
            }
        }
        if (keyX >= 0)
            break;
    }
    if (keyX < 0)
        return result;
    std::vector<double> times;
    for (int i = 0; i < taps; ++i) {
        double us = 0;
        if (target.click(keyX, keyY, std::chrono::milliseconds(1000), us) != 0)
            times.push_back(us);
        target.drain(40);
    }
    result.hwmKib = vmHwmKib(keyboard.pid());
    keyboard.stop(SIGTERM);
    if (times.empty())
        return result;
    std::sort(times.begin(), times.end());
    result.ran = true;
    result.taps = static_cast<int>(times.size());
    result.medianUs = times[times.size() / 2];
    result.p90Us = times[times.size() * 9 / 10];
    return result;
}

// Peak resident memory of vexil-panel on an X server of its own after
// `taps` clicks on its board.
long x11PanelKib(const std::string &binDir, int taps)
{
    Child server, panel;
    std::string display;
    if (!startXvfb(server, display))
        return -1;
    if (!panel.start({binDir + "/vexil-panel", "--x11"}, {"DISPLAY=" + display}))
        return -1;
    const std::string x = "DISPLAY=" + display + " ";
    std::string window = shell(x + "timeout 10 xdotool search --sync --onlyvisible --pid " +
                               std::to_string(panel.pid()) + " 2>/dev/null | head -1");
    window = window.substr(0, window.find('\n'));
    if (window.empty())
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::string command = x + "xdotool mousemove --window " + window + " 200 60";
    for (int i = 0; i < taps; ++i)
        command += " click 1";
    shell(command + " 2>/dev/null");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return vmHwmKib(panel.pid());
}

}  // namespace

int main(int argc, char *argv[])
{
    int taps = 200;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--taps=", 7) == 0)
            taps = std::max(1, std::atoi(argv[i] + 7));
    std::string binDir = argv[0];
    binDir = binDir.substr(0, binDir.rfind('/'));
    setenv("VEXIL_BIN_DIR", binDir.c_str(), 0);

    WaylandSession session;
    if (!session.start(1024, 768)) {
        std::fprintf(stderr, "vexil_wayland_bench: %s\n", session.error().c_str());
        return 2;
    }
    Target target;
    if (!target.open(session.runtimeDir() + "/" + session.display(), session.width(), session.height())) {
        std::fprintf(stderr, "vexil_wayland_bench: the target window was not mapped\n");
        return 2;
    }
    const Result results[] = {
        measure(session, target, "vexil-panel, input method", {binDir + "/vexil-panel", "--wayland"}, true, taps),
        measure(session, target, "vexil-panel, virtual keyboard", {binDir + "/vexil-panel", "--wayland"}, false, taps),
        measure(session, target, "wvkbd-mobintl", {"wvkbd-mobintl"}, false, taps),
        // Typing on the press, as wvkbd does.
        measure(session, target, "vexil-panel --press-types, input method",
                {binDir + "/vexil-panel", "--wayland", "--press-types"}, true, taps),
    };
    const long x11 = x11PanelKib(binDir, taps);

    std::printf("\n| Keyboard | Press to text, median | 90th percentile | Taps | Peak resident memory |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Result &r : results) {
        if (!r.ran) {
            std::printf("| %s | not measured (missing, or no letter key found) | - | - | - |\n", r.name.c_str());
            continue;
        }
        std::printf("| %s | %.2f ms | %.2f ms | %d | %.1f MiB |\n", r.name.c_str(), r.medianUs / 1000.0,
                    r.p90Us / 1000.0, r.taps, r.hwmKib / 1024.0);
    }
    if (x11 > 0)
        std::printf("| vexil-panel on X11 (Xvfb), for memory | - | - | %d | %.1f MiB |\n", taps, x11 / 1024.0);
    const Result &im = results[0], &vk = results[1], &peer = results[2];
    if (im.ran && vk.ran && peer.ran) {
        const long vexilKib = std::max(im.hwmKib, vk.hwmKib);
        std::printf("\nmedian / wvkbd's: %.2f (input method), %.2f (virtual keyboard); target below 1\n",
                    im.medianUs / peer.medianUs, vk.medianUs / peer.medianUs);
        std::printf("memory / wvkbd's: %.2f; target at most 1.5\n", double(vexilKib) / double(peer.hwmKib));
        if (x11 > 0)
            std::printf("memory / X11 panel's: %.2f; target below 1\n", double(vexilKib) / double(x11));
    }
    return im.ran && vk.ran ? 0 : 1;
}
