// Follows the keyboard focus of the desktop's applications through the
// accessibility bus (AT-SPI), for a panel that cannot see the focus
// itself: each time the focus moves onto an editable text, a terminal or
// away from them, it tells what the focused field is for. The purposes
// come from what the accessible object says: its role (password text,
// terminal, spin button: a number) and the input type that web browsers
// expose (text-input-type: email, url, tel, number, password, search).
// The objects of this process itself are ignored, so a click on the board
// never counts as leaving a field.
//
// libatspi delivers its events from GLib's main loop: the host runs that
// loop (Qt on Linux does when its event dispatcher is the GLib one),
// or calls pump() often.
#ifndef VEXIL_ACCESSIBILITY_VX_ATSPIWATCHER_H
#define VEXIL_ACCESSIBILITY_VX_ATSPIWATCHER_H

#include <functional>
#include <string>

#include "purpose/VX_Purpose.h"

typedef struct _AtspiEventListener AtspiEventListener;
typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiAccessible AtspiAccessible;

class VX_AtspiWatcher {
public:
    VX_AtspiWatcher() = default;
    // Stops listening and lets the bus go.
    ~VX_AtspiWatcher();
    VX_AtspiWatcher(const VX_AtspiWatcher &) = delete;
    VX_AtspiWatcher &operator=(const VX_AtspiWatcher &) = delete;

    // Connects to the accessibility bus and listens for focus changes.
    // False with `error` (one line, no prefix) when there is no such bus:
    // nothing is followed then.
    bool start(std::string &error);
    // Runs what GLib's default main loop has ready, without waiting (for a
    // host whose event loop is not GLib's).
    static void pump();

    // The focused field changed: field.focused false when the focus went
    // to something that takes no text. Not called twice in a row with the
    // same field.
    std::function<void(const VX_Field &field)> onField;

    // What a focused accessible object of `role` (an AtspiRole) with these
    // traits is as a field; focused false when it takes no text.
    // `inputType` is its "text-input-type" attribute, empty when none.
    static VX_Field fieldOf(int role, bool editable, const std::string &inputType);

private:
    static void onEvent(AtspiEvent *event, void *self);
    void focusEvent(AtspiAccessible *source, bool gained);
    void report(const VX_Field &field);

    AtspiEventListener *listener_ = nullptr;  // registered while not null; owned
    bool initialised_ = false;                // atspi_init() succeeded and wants atspi_exit()
    VX_Field last_;                           // what onField last told
};

#endif
