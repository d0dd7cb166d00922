// Types text on a loaded layout set the way a user would: by pressing and
// releasing keys at their centres, switching layouts, opening aux layouts and
// toggling caps as needed. The taps are recorded, so that a test can replay
// them on the real window and expect the same text.
#ifndef VEXIL_TESTS_TYPINGPLAN_H
#define VEXIL_TESTS_TYPINGPLAN_H

#include <string>
#include <vector>

class VX_Engine;
class VX_Layout;

struct PlannedTap {
    int row = 0;          // engine row of the layout the tap lands on
    int slot = 0;         // its slot
    int key = 0;          // key index in that layout
    int x = 0, y = 0;     // key centre on the board, pixels
    int waitMs = 0;       // pause before the tap: a multi-tap cycle must close
    bool changesLayout = false;  // the tap shows another layout
    int shownRow = 0, shownSlot = 0, shownMode = 0;  // what the board shows after the tap
};

struct TypingResult {
    std::vector<PlannedTap> taps;
    std::string typed;     // what the key outputs wrote, erase steps applied
    std::string error;     // why a character could not be typed; "" on success
    int mostTapsForOne = 0;  // most taps one character took, layout moves included
};

// Types `text` (UTF-8) from the engine's current state; the engine's layouts
// are left in the state the last tap left them. With `home`, the layout of
// that name is shown first. Characters are looked up in the shown layout
// (its current mode first), then in the home layout (the basic layout shown
// at the start), then in the others in slot order.
TypingResult typeText(VX_Engine &engine, const std::string &text, const char *home = nullptr);

// Presses and releases key `index` of `layout` at its centre and applies the
// output to `typed` (Backspace removes the last character).
void tapKey(VX_Layout &layout, int index, std::string &typed);

#endif
