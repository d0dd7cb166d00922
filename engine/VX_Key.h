// One key of a layout: type, rectangle on the board, pictures and characters
// per mode, and its multi-tap state.
#ifndef VEXIL_ENGINE_VX_KEY_H
#define VEXIL_ENGINE_VX_KEY_H

#include <cstdint>

class VX_Image;

// Key types, as the [Layout] section names them.
enum VX_KeyType : int32_t {
    VX_KEY_UNTYPED = 0,
    VX_KEY_LABEL = 1,
    VX_KEY_ALPHA = 2,
    VX_KEY_SHIFT = 3,
    VX_KEY_SWITCH = 4,
    VX_KEY_CAPS = 5,
    VX_KEY_TAB = 6,
    VX_KEY_BKS = 7,
    VX_KEY_SPACE = 8,
    VX_KEY_ENT = 9,
    VX_KEY_LINK = 10,
    // vexil's own, written "!name" in [Layout]:
    VX_KEY_NAMED = 11,     // sends the key of XKB keysym `keysym`
    VX_KEY_MODIFIER = 12,  // sticky modifier `modifier` (latch, lock, release)
};

// Picture states, the second index of VX_Key::pix.
enum { VX_PIX_RELEASED = 0, VX_PIX_PRESSED = 1 };

struct VX_Key {
    static constexpr int kModes = 2;       // modes a key can carry
    static constexpr int kStates = 2;      // released, pressed
    static constexpr int kCharsSize = 16;  // bytes of one mode's string, NUL included

    int32_t type = VX_KEY_UNTYPED;  // VX_KeyType
    int32_t x = 0;                  // left edge on the board, pixels
    int32_t y = 0;                  // top edge on the board, pixels
    int32_t width = 0;              // pixels
    int32_t height = 0;             // pixels
    VX_Image *pix[kModes][kStates] = {};     // pieces in the engine's cache, not owned
    char chars[kModes][kCharsSize] = {};     // well-formed UTF-8, <= 15 bytes
    int32_t charCount[kModes] = {};          // UTF-8 characters in chars[m]
    int32_t linkSlot = 0;           // link key: aux slot it opens, 0..3
    uint32_t keysym = 0;            // named and modifier keys: XKB keysym, nonzero
    uint32_t modifier = 0;          // modifier key: its VX_Mod bit
    int32_t enumPos = 0;            // index of the character the next press sends
    bool enumActive = false;        // the key has sent a character of an open cycle
    bool pixInPlace = false;        // a picture was cut at the key's own place
};

#endif
