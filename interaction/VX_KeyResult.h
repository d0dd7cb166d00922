// What one pointer event (press, slide, release) or one repeat tick asks of
// the board widget: the output to send, what to do with its two timers,
// whether to repaint and whether another layout (or mode) is now shown.
//
// The state machine fills it completely, so the widget acts on this record
// alone and never reads the layout's run-time fields.
#ifndef VEXIL_INTERACTION_VX_KEYRESULT_H
#define VEXIL_INTERACTION_VX_KEYRESULT_H

#include <cstdint>

#include "base/VX_Utf8.h"
#include "interaction/VX_Popup.h"

// Key codes a key result sends (Qt::Key_Backspace, Qt::Key_Return).
constexpr int32_t VX_CODE_BACKSPACE = 0x01000003;
constexpr int32_t VX_CODE_RETURN = 0x01000004;

struct VX_KeyResult {
    // One UTF-8 character of 1 to 4 bytes, or an alternate picked from a
    // long press's popup (a sequence such as an emoji with a joiner), and
    // its NUL.
    static constexpr int kTextSize = VX_PopupItems::kTextSize;

    // What to do with one of the board's timers.
    enum Timer : uint8_t {
        TIMER_KEEP,   // leave it as it is
        TIMER_STOP,   // stop it
        TIMER_START,  // (re)start it with the interval given beside it
    };

    bool send = false;             // code/text are to be sent
    bool erase = false;            // a Backspace goes first; only ever with `send`
    int32_t code = 0;              // 0: type `text`; else a Qt key code
    char text[kTextSize] = {};     // NUL-terminated UTF-8: one character, or a picked alternate
    // Nonzero: the output goes as the key of this XKB keysym, pressed with
    // `mods` held (a named key, or code/text under a sticky modifier);
    // code/text then say what it types alone (nothing for a named key).
    uint32_t keysym = 0;
    uint32_t mods = 0;             // VX_Mod bits held around `keysym`
    Timer repeat = TIMER_KEEP;     // the auto-repeat timer
    int32_t repeatInterval = 0;    // ms, > 0 with TIMER_START
    Timer reset = TIMER_KEEP;      // the single-shot multi-tap reset timer
    int32_t resetInterval = 0;     // ms with TIMER_START
    bool repaint = false;          // the shown layout has a repaint request pending
    bool layoutChanged = false;    // another layout or mode is shown: resize, draw whole
    int32_t held = -1;             // key held by the pointer after the event; -1 none
    bool popupChanged = false;     // the layout's popup opened, closed or moved its highlight
    int32_t menuAction = -1;       // a menu entry was picked: its action (VX_Engine::menu); -1 none
};

#endif
