// The sticky modifiers of the board: Shift, Control, Alt and Super, each
// off, latched (held for the next key that sends something, then let go)
// or locked (held for every key until tapped again). One set serves every
// layout of an engine, so a modifier latched on one layout still applies
// to a key typed after switching to another.
#ifndef VEXIL_INTERACTION_VX_MODIFIERS_H
#define VEXIL_INTERACTION_VX_MODIFIERS_H

#include <cstdint>

// Modifier bits of VX_KeyResult::mods and VX_Key::modifier.
enum VX_Mod : uint32_t {
    VX_MOD_SHIFT = 1u << 0,
    VX_MOD_CONTROL = 1u << 1,
    VX_MOD_ALT = 1u << 2,
    VX_MOD_SUPER = 1u << 3,
};

class VX_Modifiers {
public:
    static constexpr int kCount = 4;  // modifiers, one bit each in VX_Mod order

    enum State : uint8_t { OFF, LATCHED, LOCKED };

    // A tap on the key of modifier `mod` (one VX_Mod bit; others are
    // ignored): off -> latched -> locked -> off.
    void tap(uint32_t mod);
    // A key sent its output with active() held: every latched modifier lets
    // go. True when one did (its keys must be drawn again).
    bool consume();
    // Every modifier off (a new set of layouts).
    void clear();

    // Mask of the modifiers latched or locked now.
    uint32_t active() const;
    State state(uint32_t mod) const;

private:
    static int indexOf(uint32_t mod);

    State states_[kCount] = {};  // per modifier, VX_Mod bit order
};

#endif
