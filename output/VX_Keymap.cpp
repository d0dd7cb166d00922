#include "output/VX_Keymap.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include "base/VX_Keysym.h"

namespace {

bool isKeypad(unsigned long keysym) { return keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_Equal; }

}  // namespace

int VX_Keymap::keysymsFor(uint32_t cp, unsigned long out[2])
{
    switch (cp) {
    case '\b':
        out[0] = XKB_KEY_BackSpace;
        return 1;
    case '\t':
        out[0] = XKB_KEY_Tab;
        return 1;
    case '\n':
    case '\r':
        out[0] = XKB_KEY_Return;
        return 1;
    default:
        break;
    }
    // Other control characters have no key an application would read as
    // text.
    int count = 0;
    if (const uint32_t keysym = vxCharKeysym(cp))
        out[count++] = keysym;
    if (const uint32_t unicode = vxCharUnicodeKeysym(cp))
        out[count++] = unicode;
    return count;
}

void VX_Keymap::assign(int first, int last, int perKey, const unsigned long *keysyms)
{
    firstKeycode = first;
    lastKeycode = last;
    perKeycode = perKey < 0 ? 0 : perKey;
    const size_t count = last >= first ? static_cast<size_t>(last - first + 1) * perKeycode : 0;
    syms.assign(keysyms, keysyms + count);
}

const unsigned long *VX_Keymap::keysymsOf(int keycode) const
{
    if (keycode < firstKeycode || keycode > lastKeycode || perKeycode == 0)
        return nullptr;
    return syms.data() + static_cast<size_t>(keycode - firstKeycode) * perKeycode;
}

void VX_Keymap::setKeycode(int keycode, unsigned long keysym)
{
    const unsigned long *at = keysymsOf(keycode);
    if (!at)
        return;
    unsigned long *row = syms.data() + (at - syms.data());
    for (int i = 0; i < perKeycode; ++i)
        row[i] = i < 2 ? keysym : 0;
}

VX_Keymap::Place VX_Keymap::find(unsigned long keysym) const
{
    Place place;
    if (keysym == XKB_KEY_NoSymbol || isKeypad(keysym))
        return place;
    const int levels = perKeycode < 2 ? perKeycode : 2;
    for (int level = 0; level < levels; ++level)
        for (int keycode = firstKeycode; keycode <= lastKeycode; ++keycode)
            if (keysymsOf(keycode)[level] == keysym) {
                place.keycode = keycode;
                place.shift = level == 1;
                return place;
            }
    return place;
}

std::vector<int> VX_Keymap::spareKeycodes() const
{
    std::vector<int> spare;
    for (int keycode = firstKeycode; keycode <= lastKeycode; ++keycode) {
        const unsigned long *at = keysymsOf(keycode);
        bool empty = true;
        for (int i = 0; i < perKeycode && empty; ++i)
            empty = at[i] == XKB_KEY_NoSymbol;
        if (empty)
            spare.push_back(keycode);
    }
    return spare;
}
