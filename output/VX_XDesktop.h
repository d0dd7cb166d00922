// The X11 desktop of the panel window, on a connection of its own: the
// focus as the server has it, the clicks anywhere on the screen (XInput 2
// raw button and touch events), the dock's room as EWMH struts that the
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
    // Needs XInput 2.2 on the server; false without it.
    bool clickedBefore(unsigned long pressTime) override;
    bool reserveBottom(unsigned long window, int x, int width, int height) override;

    // The connection's socket, and what reads the events waiting on it
    // (the host runs it when the socket is readable, so events never pile
    // up while the panel is not pressed).
    int fd() const;
    void poll();

    // Clicks remembered between two presses on the panel: enough to find
    // one in the interval even when the panel's own are among them.
    static constexpr int kClicks = 8;

private:
    Display *display_ = nullptr;  // own connection; null when not connected
    unsigned long owner_ = 0;     // unmapped window owning the panel selection; 0 none
    int xiOpcode_ = -1;           // XInput's major opcode; -1: no raw events selected
    unsigned long clicks_[kClicks] = {};  // server times (ms) of the last clicks, a ring
    int nextClick_ = 0;           // where the next click goes in clicks_, 0..kClicks-1
    int clickCount_ = 0;          // clicks in clicks_, 0..kClicks
    unsigned long lastPress_ = 0;  // server time of the panel's last press; 0 before the first
};

#endif
