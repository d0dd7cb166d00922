#include "output/VX_Keymap.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace {

constexpr unsigned long kUnicodeKeysymBase = 0x1000000;

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
    // text; surrogates and values past U+10FFFF are no characters at all.
    if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
        return 0;
    int count = 0;
    const unsigned long legacy = xkb_utf32_to_keysym(cp);
    if (legacy != XKB_KEY_NoSymbol)
        out[count++] = legacy;
    const unsigned long unicode = kUnicodeKeysymBase + cp;
    if (cp >= 0x100 && legacy != unicode)
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
