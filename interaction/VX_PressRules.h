// Rules about single keys that both typing models of the state machine
// share (interaction/ only).
#ifndef VEXIL_INTERACTION_VX_PRESSRULES_H
#define VEXIL_INTERACTION_VX_PRESSRULES_H

#include <cstdint>

#include "engine/VX_Key.h"

// (px, py) inside the key's rectangle; right and bottom edges included.
// The far edges are summed in 64 bits: a layout file may place a key of any
// size anywhere up to the largest 32-bit number.
inline bool vxCovers(const VX_Key &key, int32_t px, int32_t py)
{
    return key.x <= px && px <= int64_t(key.x) + key.width && key.y <= py &&
           py <= int64_t(key.y) + key.height;
}

inline void vxCloseCycle(VX_Key &key)
{
    key.enumPos = 0;
    key.enumActive = false;
}

// The key types something when it acts (a text or a key code).
inline bool vxHasOutput(const VX_Key &key)
{
    switch (key.type) {
    case VX_KEY_ALPHA:
    case VX_KEY_TAB:
    case VX_KEY_BKS:
    case VX_KEY_SPACE:
    case VX_KEY_ENT:
    case VX_KEY_NAMED:
        return true;
    default:
        return false;
    }
}

// The key types a character (which a one-shot shift applies to), not a
// Backspace or a Return.
inline bool vxTypesText(const VX_Key &key)
{
    return key.type == VX_KEY_ALPHA || key.type == VX_KEY_TAB || key.type == VX_KEY_SPACE;
}

#endif
