#include "output/VX_WaylandClient.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>
#include <poll.h>

#include "base/VX_Cancel.h"

#include "input-method-unstable-v2-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

void outputGeometry(void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *, const char *,
                    int32_t)
{
}
void outputMode(void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {}
void outputDone(void *data, wl_output *)
{
    auto *client = static_cast<VX_WaylandClient *>(data);
    if (client->onOutputsChanged)
        client->onOutputsChanged();
}
void outputScale(void *data, wl_output *output, int32_t factor)
{
    auto *client = static_cast<VX_WaylandClient *>(data);
    for (VX_WaylandClient::Output &entry : client->outputs)
        if (entry.output == output)
            entry.scale = factor >= 1 ? factor : 1;
}
const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone, outputScale, nullptr, nullptr};  // bound at version 2: no name or description

void seatCapabilities(void *data, wl_seat *, uint32_t capabilities)
{
    auto *client = static_cast<VX_WaylandClient *>(data);
    client->seatCapabilities = capabilities;
    if (client->onSeatCapabilities)
        client->onSeatCapabilities(capabilities);
}
void seatName(void *, wl_seat *, const char *) {}
const wl_seat_listener seatListener = {seatCapabilities, seatName};

template <typename T>
T *bind(wl_registry *registry, uint32_t name, const wl_interface *interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<T *>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

}  // namespace

void VX_WaylandClient::global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                              uint32_t version)
{
    auto *self = static_cast<VX_WaylandClient *>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !self->compositor) {
        self->compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (std::strcmp(interface, wl_subcompositor_interface.name) == 0 && !self->subcompositor) {
        self->subcompositor = bind<wl_subcompositor>(registry, name, &wl_subcompositor_interface, version, 1);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !self->shm) {
        self->shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat) {
        self->seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        wl_seat_add_listener(self->seat, &seatListener, self);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        Output entry;
        entry.name = name;
        entry.output = bind<wl_output>(registry, name, &wl_output_interface, version, 2);
        self->outputs.push_back(entry);
        wl_output_add_listener(entry.output, &outputListener, self);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !self->layerShell) {
        self->layerShell = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0 &&
               !self->keyboardManager) {
        self->keyboardManager = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
    } else if (std::strcmp(interface, zwp_input_method_manager_v2_interface.name) == 0 &&
               !self->inputMethodManager) {
        self->inputMethodManager =
            bind<zwp_input_method_manager_v2>(registry, name, &zwp_input_method_manager_v2_interface, version, 1);
    }
}

void VX_WaylandClient::globalRemove(void *data, wl_registry *, uint32_t name)
{
    auto *self = static_cast<VX_WaylandClient *>(data);
    for (auto it = self->outputs.begin(); it != self->outputs.end(); ++it)
        if (it->name == name) {
            wl_output_destroy(it->output);
            self->outputs.erase(it);
            if (self->onOutputsChanged)
                self->onOutputsChanged();
            return;
        }
}

bool VX_WaylandClient::connect(const char *name)
{
    display = wl_display_connect(name);
    if (!display) {
        error_ = std::string("cannot connect to the Wayland compositor (") + std::strerror(errno) + ")";
        return false;
    }
    static const wl_registry_listener listener = {&VX_WaylandClient::global, &VX_WaylandClient::globalRemove};
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, this);
    // The globals, then the events the new proxies got (seat, output scale).
    if (!roundtrip() || !roundtrip())
        return false;
    return true;
}

const char *VX_WaylandClient::missing() const
{
    if (!layerShell)
        return "zwlr_layer_shell_v1";
    if (!keyboardManager)
        return "zwp_virtual_keyboard_manager_v1";
    if (!compositor)
        return "wl_compositor";
    if (!shm)
        return "wl_shm";
    if (!seat)
        return "wl_seat";
    return nullptr;
}

void VX_WaylandClient::lost(const char *what)
{
    if (!error_.empty())
        return;
    const int code = display ? wl_display_get_error(display) : 0;
    if (code == EPROTO) {
        const wl_interface *interface = nullptr;
        uint32_t id = 0;
        const uint32_t protocolCode = wl_display_get_protocol_error(display, &interface, &id);
        error_ = std::string("protocol error ") + std::to_string(protocolCode) + " on " +
                 (interface ? interface->name : "?");
    } else {
        error_ = std::string(what) + ": " + std::strerror(code ? code : errno);
    }
}

bool VX_WaylandClient::flush()
{
    if (!display)
        return false;
    for (;;) {
        if (wl_display_flush(display) >= 0)
            return true;
        if (errno != EAGAIN) {
            lost("the connection to the compositor was lost");
            return false;
        }
        // The socket is full: the compositor is behind. The requests wait
        // in the client library, whose buffer a request made now could
        // overflow (which ends the connection), so wait until the socket
        // takes more, reading what the compositor sends meanwhile so that
        // it never waits on this side either.
        const bool reading = wl_display_prepare_read(display) == 0;
        pollfd wait{wl_display_get_fd(display), static_cast<short>(POLLOUT | (reading ? POLLIN : 0)), 0};
        const int ready = poll(&wait, 1, kFlushSliceMs);
        if (reading) {
            if (ready > 0 && (wait.revents & POLLIN) != 0) {
                if (wl_display_read_events(display) < 0) {
                    lost("the connection to the compositor was lost");
                    return false;
                }
            } else {
                wl_display_cancel_read(display);
            }
        }
        if (ready < 0 && errno != EINTR) {
            lost("cannot wait for the compositor");
            return false;
        }
        if (ready > 0 && (wait.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (wait.revents & POLLIN) == 0) {
            lost("the connection to the compositor was lost");
            return false;
        }
        if (VX_Cancel::requested()) {
            // The program is ending: what is still queued stays unsent.
            error_ = "stopped while the compositor was not reading";
            return false;
        }
    }
}

bool VX_WaylandClient::dispatch()
{
    if (!display)
        return false;
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) {
            lost("the connection to the compositor was lost");
            return false;
        }
    if (wl_display_read_events(display) < 0) {  // the socket is readable: does not wait
        lost("the connection to the compositor was lost");
        return false;
    }
    if (wl_display_dispatch_pending(display) < 0) {
        lost("the connection to the compositor was lost");
        return false;
    }
    return flush();
}

bool VX_WaylandClient::roundtrip()
{
    if (!display || wl_display_roundtrip(display) < 0) {
        lost("the connection to the compositor was lost");
        return false;
    }
    return true;
}

int VX_WaylandClient::fd() const { return display ? wl_display_get_fd(display) : -1; }

int32_t VX_WaylandClient::scaleOf(const wl_output *output) const
{
    for (const Output &entry : outputs)
        if (entry.output == output)
            return entry.scale;
    return 1;
}

VX_WaylandClient::~VX_WaylandClient()
{
    if (!display)
        return;
    for (Output &entry : outputs)
        wl_output_destroy(entry.output);
    if (inputMethodManager)
        zwp_input_method_manager_v2_destroy(inputMethodManager);
    if (keyboardManager)
        zwp_virtual_keyboard_manager_v1_destroy(keyboardManager);
    if (layerShell) {
        // Its destructor request came with version 3.
        if (wl_proxy_get_version(reinterpret_cast<wl_proxy *>(layerShell)) >= 3)
            zwlr_layer_shell_v1_destroy(layerShell);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy *>(layerShell));
    }
    if (seat)
        wl_seat_destroy(seat);
    if (shm)
        wl_shm_destroy(shm);
    if (subcompositor)
        wl_subcompositor_destroy(subcompositor);
    if (compositor)
        wl_compositor_destroy(compositor);
    if (registry)
        wl_registry_destroy(registry);
    wl_display_flush(display);
    wl_display_disconnect(display);
}
