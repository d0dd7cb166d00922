#include "output/VX_XDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cstdint>
#include <string>

namespace {

// Server time `a` comes after `b` (times wrap after 49 days).
bool later(unsigned long a, unsigned long b) { return static_cast<int32_t>(static_cast<uint32_t>(a - b)) > 0; }

}  // namespace

VX_XDesktop::VX_XDesktop(const char *displayName) : display_(XOpenDisplay(displayName))
{
    if (!display_)
        return;
    int event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(display_, "XInputExtension", &xiOpcode_, &event, &error) ||
        XIQueryVersion(display_, &major, &minor) != Success || major < 2 || (major == 2 && minor < 2)) {
        xiOpcode_ = -1;
        return;
    }
    // Raw events come to the root window whatever window is under the
    // pointer, and take no grab or focus from anyone.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawTouchBegin);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XFlush(display_);
}

VX_XDesktop::~VX_XDesktop()
{
    if (display_)
        XCloseDisplay(display_);
}

bool VX_XDesktop::claimPanel()
{
    const std::string name = "_VEXIL_PANEL_S" + std::to_string(DefaultScreen(display_));
    const Atom selection = XInternAtom(display_, name.c_str(), False);
    if (!owner_)
        owner_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), -1, -1, 1, 1, 0, 0, 0);
    // Looking and taking in one step: two panels starting at once cannot
    // both find the selection free.
    XGrabServer(display_);
    const Window current = XGetSelectionOwner(display_, selection);
    if (current == None)
        XSetSelectionOwner(display_, selection, owner_, CurrentTime);
    const bool ours = XGetSelectionOwner(display_, selection) == owner_;
    XUngrabServer(display_);
    XSync(display_, False);
    return ours;
}

unsigned long VX_XDesktop::focusedWindow()
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    return focus;
}

int VX_XDesktop::fd() const { return display_ ? ConnectionNumber(display_) : -1; }

void VX_XDesktop::poll()
{
    if (!display_)
        return;
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XGenericEventCookie *cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_ || !XGetEventData(display_, cookie))
            continue;
        if (cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawTouchBegin) {
            clicks_[nextClick_] = static_cast<const XIRawEvent *>(cookie->data)->time;
            nextClick_ = (nextClick_ + 1) % kClicks;
            if (clickCount_ < kClicks)
                ++clickCount_;
        }
        XFreeEventData(display_, cookie);
    }
}

bool VX_XDesktop::clickedBefore(unsigned long pressTime)
{
    if (!display_ || xiOpcode_ < 0)
        return false;
    // Every click made before this press has reached the connection once
    // a round trip is over.
    XSync(display_, False);
    poll();
    bool clicked = false;
    for (int i = 0; i < clickCount_; ++i) {
        const unsigned long at = clicks_[i];
        // The press on the panel itself comes at pressTime (or is one of
        // the panel's earlier ones, at or before lastPress_).
        if (later(pressTime, at) && (lastPress_ == 0 || later(at, lastPress_)))
            clicked = true;
    }
    lastPress_ = pressTime;
    return clicked;
}

bool VX_XDesktop::reserveBottom(unsigned long window, int x, int width, int height)
{
    if (width < 0 || height < 0 || (height > 0 && width == 0))
        return false;
    // _NET_WM_STRUT_PARTIAL: left, right, top, bottom, then the start and
    // end of each edge's span (left y, right y, top x, bottom x). All zero:
    // no room kept.
    long partial[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, x, x + width - 1};
    if (height == 0)
        partial[10] = partial[11] = 0;
    const Atom strutPartial = XInternAtom(display_, "_NET_WM_STRUT_PARTIAL", False);
    const Atom strut = XInternAtom(display_, "_NET_WM_STRUT", False);
    XChangeProperty(display_, window, strutPartial, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(partial), 12);
    // Older window managers read only the first four values.
    XChangeProperty(display_, window, strut, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(partial), 4);
    XSync(display_, False);
    return true;
}
