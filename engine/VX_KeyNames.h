// Keys named by their XKB keysym name: the [Layout] word "!name" (a named
// key such as "!Left" or "!F5", or a modifier such as "!Control_L"), and
// the keysym a key's output is sent as when a modifier is held with it.
#ifndef VEXIL_ENGINE_VX_KEYNAMES_H
#define VEXIL_ENGINE_VX_KEYNAMES_H

#include <cstdint>

#include "interaction/VX_Modifiers.h"

// First character of a named key in [Layout]: "!name".
constexpr char kNamedKeyMark = '!';

struct VX_ModifierKeysym {
    uint32_t keysym;  // XKB keysym of a modifier key
    uint32_t mod;     // its VX_Mod bit
};

// The keysyms that are sticky modifiers on the board, left and right.
inline constexpr VX_ModifierKeysym vxModifierKeysyms[] = {
    {0xffe1, VX_MOD_SHIFT},   {0xffe2, VX_MOD_SHIFT},  // Shift_L, Shift_R
    {0xffe3, VX_MOD_CONTROL}, {0xffe4, VX_MOD_CONTROL},  // Control_L, Control_R
    {0xffe9, VX_MOD_ALT},     {0xffea, VX_MOD_ALT},  // Alt_L, Alt_R
    {0xffeb, VX_MOD_SUPER},   {0xffec, VX_MOD_SUPER},  // Super_L, Super_R
};

// The keysym xkbcommon knows by `name`, the exact spelling first, then
// any case; 0 when it knows none (NoSymbol and VoidSymbol count as none).
uint32_t vxKeysymFromName(const char *name);
// The VX_Mod bit of a modifier keysym, 0 for every other keysym.
uint32_t vxModifierOf(uint32_t keysym);
// The keysym of a left-hand key for modifier bit `mod` (Control_L for
// VX_MOD_CONTROL), 0 for anything else.
uint32_t vxModifierKeysym(uint32_t mod);
// The keysym that types a key output (Qt key code `code`, or 0 with the
// UTF-8 `text`) when it goes as a key with modifiers: BackSpace, Return,
// Tab, space, or the keysym of the text's first character; 0 when none.
uint32_t vxOutputKeysym(int32_t code, const char *text);

#endif
