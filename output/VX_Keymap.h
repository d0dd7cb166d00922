// A copy of the X server's keyboard mapping as the core protocol hands it
// out (per keycode: the keysym without modifiers, with Shift, then the other
// groups and levels), and the questions the panel asks of it: where can a
// keysym be typed with no modifier or with Shift alone, and which keycodes
// carry nothing and may be bound for a moment. Plain data: no connection to
// the server, so the rules can be tested without one.
#ifndef VEXIL_OUTPUT_VX_KEYMAP_H
#define VEXIL_OUTPUT_VX_KEYMAP_H

#include <cstdint>
#include <vector>

class VX_Keymap {
public:
    // Where a keysym is found: `keycode` 0 when nowhere usable.
    struct Place {
        int keycode = 0;     // X keycode, 8..255
        bool shift = false;  // true when Shift must be held (the second keysym)
    };

    // Keysyms to try for Unicode code point `cp`, best first: the legacy
    // keysym when one exists, then the Unicode keysym (0x1000000 + cp).
    // Tab, line feed, carriage return and backspace give their function
    // keysyms; other control characters give none. Returns how many of
    // out[0..1] it filled (0, 1 or 2).
    static int keysymsFor(uint32_t cp, unsigned long out[2]);

    // Takes a mapping of keycodes first..last, `perKeycode` keysyms each
    // (`syms` holds (last - first + 1) * perKeycode of them).
    void assign(int first, int last, int perKeycode, const unsigned long *syms);
    // Sets the keysyms of one keycode in the copy: [keysym, keysym, 0...],
    // or all 0 when `keysym` is 0 (mirrors a change the caller made).
    void setKeycode(int keycode, unsigned long keysym);

    // The first keycode that types `keysym` without modifiers, else the
    // first that types it with Shift. Keypad keys do not count: what they
    // type depends on Num Lock.
    Place find(unsigned long keysym) const;
    // Keycodes that carry no keysym at all, in ascending order.
    std::vector<int> spareKeycodes() const;
    // The keysyms of `keycode` (perKeycode of them), or null outside the map.
    const unsigned long *keysymsOf(int keycode) const;

    int firstKeycode = 0;             // keycode of syms[0 .. perKeycode)
    int lastKeycode = -1;             // last keycode held; < firstKeycode when empty
    int perKeycode = 0;               // keysyms per keycode, >= 0
    std::vector<unsigned long> syms;  // (last - first + 1) * perKeycode keysyms
};

#endif
