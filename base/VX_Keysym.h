// The XKB keysyms that type a character: what both keyboard outputs (the X
// keymap and the Wayland panel's own keymap) bind a character to, so a
// character is typed by the same keysym on either system.
#ifndef VEXIL_BASE_VX_KEYSYM_H
#define VEXIL_BASE_VX_KEYSYM_H

#include <cstdint>

// The keysym no key has.
constexpr uint32_t kNoKeysym = 0;
// Keysyms 0x1000100 .. 0x110FFFF name code points U+0100 .. U+10FFFF.
constexpr uint32_t kUnicodeKeysymBase = 0x1000000;

// The keysym that types `codePoint` as text: its legacy keysym where one
// exists (a, eacute, Cyrillic_zhe), else its Unicode keysym; kNoKeysym for
// what is no text character (vxIsTextChar).
uint32_t vxCharKeysym(uint32_t codePoint);
// The Unicode keysym of `codePoint` when it differs from vxCharKeysym's
// (a character from U+0100 up that has a legacy keysym), else kNoKeysym:
// a second keysym an X keymap may hold the character under.
uint32_t vxCharUnicodeKeysym(uint32_t codePoint);

#endif
