// A pointer for a compositor that has none (headless sway): a virtual
// pointer (zwlr_virtual_pointer_v1) driven by lines on standard input, one
// command each, answered by "ok" on standard output once the compositor has
// handled it:
//   move X Y      pointer to (X, Y) of the output's W x H logical pixels
//   down / up     left button pressed / released
//   tap X Y       move, down, up
//   taps N X1 Y1 X2 Y2 ...  N taps over the points given, round robin,
//                 without a round trip between them
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

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

constexpr uint32_t kLeftButton = 0x110;  // BTN_LEFT

wl_seat *seat = nullptr;
zwlr_virtual_pointer_manager_v1 *manager = nullptr;

void global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void globalRemove(void *, wl_registry *, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

uint32_t nowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
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
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
