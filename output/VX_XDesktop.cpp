#include "output/VX_XDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

VX_XDesktop::VX_XDesktop(const char *displayName) : display_(XOpenDisplay(displayName)) {}

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
