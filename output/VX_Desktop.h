// What the panel window asks of the desktop besides typing: which window
// has the keyboard focus, whether the user clicked into an application,
// and room kept free for a docked window. A
// windowing system that offers neither needs no implementation: the panel
// then goes without (see QVX_Panel).
#ifndef VEXIL_OUTPUT_VX_DESKTOP_H
#define VEXIL_OUTPUT_VX_DESKTOP_H

class VX_Desktop {
public:
    virtual ~VX_Desktop() = default;

    // Names the window that has the keyboard focus now; it changes whenever
    // the focus moves to another window.
    virtual unsigned long focusedWindow() = 0;
    // True when a pointer button went down or a finger touched the screen
    // outside the panel since the panel's last press and before
    // `pressTime`, the server time (ms) of a press on the panel now: the
    // user clicked into an application in between, so its cursor may be
    // elsewhere. False where the desktop cannot tell.
    virtual bool clickedBefore(unsigned long pressTime)
    {
        (void)pressTime;
        return false;
    }

    // Asks the window manager to keep maximised windows out of the bottom
    // `height` pixels of the whole desktop, from x to x + width - 1, on
    // behalf of `window` (a native window id); false when it cannot. A
    // height of 0 gives the room back.
    virtual bool reserveBottom(unsigned long window, int x, int width, int height) = 0;
};

#endif
