// A pointer for a compositor that has none (headless sway): a virtual
// pointer (zwlr_virtual_pointer_v1) driven by lines on standard input, one
// command each, answered by "ok" on standard output once the compositor has
// handled it:
//   move X Y      pointer to (X, Y) of the output's W x H logical pixels
//   down / up     left button pressed / released
//   tap X Y       move, down, up
//   taps N X1 Y1 X2 Y2 ...  N taps over the points given, round robin,
//                 without a round trip between them
//   im            takes the seat's input method (as another on-screen
//                 keyboard or an IME would) and keeps it until the end
//   key CODE      a key of the user's own keyboard (a virtual keyboard with
//                 the US keymap, made at the start) pressed and released:
//                 evdev code CODE
// Usage: vexil_wl_pointer [W H]   (default 1024 768)
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include "input-method-unstable-v2-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

constexpr uint32_t kLeftButton = 0x110;  // BTN_LEFT

wl_seat *seat = nullptr;
zwlr_virtual_pointer_manager_v1 *manager = nullptr;
zwp_virtual_keyboard_manager_v1 *keyboardManager = nullptr;
zwp_input_method_manager_v2 *inputMethodManager = nullptr;

void global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_input_method_manager_v2_interface.name) == 0)
        inputMethodManager = static_cast<zwp_input_method_manager_v2 *>(
            wl_registry_bind(registry, name, &zwp_input_method_manager_v2_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}
void globalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

uint32_t nowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// A virtual keyboard with the US keymap; null when the compositor has none.
zwp_virtual_keyboard_v1 *makeUserKeyboard()
{
    if (!keyboardManager)
        return nullptr;
    zwp_virtual_keyboard_v1 *keyboard = nullptr;
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
    xkb_keymap *keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    char *text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    const size_t size = text ? std::strlen(text) : 0;
    const int fd = text ? memfd_create("user-keymap", MFD_CLOEXEC) : -1;
    if (fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size)) {
        keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboardManager, seat);
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(size));
    }
    if (fd >= 0)
        close(fd);
    std::free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return keyboard;
}

}  // namespace

int main(int argc, char *argv[])
{
    const uint32_t width = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[1])) : 1024;
    const uint32_t height = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 768;
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("vexil_wl_pointer: no Wayland compositor\n", stderr);
        return 2;
    }
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fputs("vexil_wl_pointer: the compositor has no zwlr_virtual_pointer_manager_v1\n", stderr);
        return 2;
    }
    zwlr_virtual_pointer_v1 *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    // Made at the start, so that the devices stay the same while it runs.
    zwp_virtual_keyboard_v1 *keyboard = makeUserKeyboard();
    zwp_input_method_v2 *inputMethod = nullptr;  // taken by "im"
    auto move = [&](uint32_t x, uint32_t y) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, nowMs(), x, y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
    };
    auto button = [&](bool pressed) {
        zwlr_virtual_pointer_v1_button(pointer, nowMs(), kLeftButton,
                                       pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    };
    wl_display_roundtrip(display);
    std::cout << "ready" << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        uint32_t x = 0, y = 0;
        if (command == "move" && in >> x >> y) {
            move(x, y);
        } else if (command == "down") {
            button(true);
        } else if (command == "up") {
            button(false);
        } else if (command == "tap" && in >> x >> y) {
            move(x, y);
            button(true);
            button(false);
        } else if (command == "taps") {
            int count = 0;
            in >> count;
            std::vector<std::pair<uint32_t, uint32_t>> points;
            while (in >> x >> y)
                points.emplace_back(x, y);
            for (int i = 0; i < count && !points.empty(); ++i) {
                move(points[i % points.size()].first, points[i % points.size()].second);
                button(true);
                button(false);
            }
        } else if (command == "key" && in >> x) {
            if (!keyboard) {
                std::cout << "error: no virtual keyboard" << std::endl;
                continue;
            }
            zwp_virtual_keyboard_v1_key(keyboard, nowMs(), x, WL_KEYBOARD_KEY_STATE_PRESSED);
            zwp_virtual_keyboard_v1_key(keyboard, nowMs(), x, WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if (command == "im") {
            // Its events are never read: only holding it matters.
            if (!inputMethodManager || inputMethod) {
                std::cout << "error: no input method to take" << std::endl;
                continue;
            }
            inputMethod = zwp_input_method_manager_v2_get_input_method(inputMethodManager, seat);
        } else if (command == "quit") {
            break;
        } else if (!command.empty()) {
            std::cout << "error: " << line << std::endl;
            continue;
        }
        if (wl_display_roundtrip(display) < 0) {
            std::fputs("vexil_wl_pointer: the compositor went away\n", stderr);
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    if (inputMethod)
        zwp_input_method_v2_destroy(inputMethod);
    if (keyboard)
        zwp_virtual_keyboard_v1_destroy(keyboard);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
