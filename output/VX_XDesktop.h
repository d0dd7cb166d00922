// The X11 desktop of the panel window, on a connection of its own: the
// focus as the server has it, and the dock's room as EWMH struts that the
// window manager reads, and the selection that marks the display's one
// panel.
#ifndef VEXIL_OUTPUT_VX_XDESKTOP_H
#define VEXIL_OUTPUT_VX_XDESKTOP_H

#include "output/VX_Desktop.h"

typedef struct _XDisplay Display;

class VX_XDesktop : public VX_Desktop {
public:
    // Connects to `displayName` (null: $DISPLAY); ok() is false when it
    // cannot, and nothing else may be called then.
    explicit VX_XDesktop(const char *displayName = nullptr);
    ~VX_XDesktop() override;
    VX_XDesktop(const VX_XDesktop &) = delete;
    VX_XDesktop &operator=(const VX_XDesktop &) = delete;

    bool ok() const { return display_ != nullptr; }

    // Makes this connection the one owner of the display's panel
    // selection (one per screen, whoever the user), which ends with the
    // connection. False when another client owns it: only one panel may
    // change a display's keymap.
    bool claimPanel();

    unsigned long focusedWindow() override;
    bool reserveBottom(unsigned long window, int x, int width, int height) override;

private:
    Display *display_ = nullptr;  // own connection; null when not connected
    unsigned long owner_ = 0;     // unmapped window owning the panel selection; 0 none
};

#endif
