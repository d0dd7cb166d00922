#include "engine/VX_KeyNames.h"

#include <xkbcommon/xkbcommon.h>

#include "base/VX_Utf8.h"
#include "engine/VX_Layout.h"

#include <cstring>

namespace {

// The code point of the well-formed character at the start of `text`;
// false when none starts there.
bool firstCodePoint(const char *text, uint32_t &cp)
{
    const int length = vxUtf8CharLength(text, std::strlen(text));
    if (length == 0)
        return false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    static constexpr unsigned char kLeadMask[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
    cp = bytes[0] & kLeadMask[length];
    for (int i = 1; i < length; ++i)
        cp = (cp << 6) | (bytes[i] & 0x3f);
    return true;
}

}  // namespace

uint32_t vxKeysymFromName(const char *name)
{
    xkb_keysym_t keysym = xkb_keysym_from_name(name, XKB_KEYSYM_NO_FLAGS);
    if (keysym == XKB_KEY_NoSymbol)
        keysym = xkb_keysym_from_name(name, XKB_KEYSYM_CASE_INSENSITIVE);
    if (keysym == XKB_KEY_VoidSymbol)
        return 0;
    return keysym;
}

uint32_t vxModifierOf(uint32_t keysym)
{
    for (const VX_ModifierKeysym &entry : vxModifierKeysyms)
        if (entry.keysym == keysym)
            return entry.mod;
    return 0;
}

uint32_t vxModifierKeysym(uint32_t mod)
{
    for (const VX_ModifierKeysym &entry : vxModifierKeysyms)
        if (entry.mod == mod)
            return entry.keysym;  // the left key comes first
    return 0;
}

uint32_t vxOutputKeysym(int32_t code, const char *text)
{
    if (code == VX_CODE_BACKSPACE)
        return XKB_KEY_BackSpace;
    if (code == VX_CODE_RETURN)
        return XKB_KEY_Return;
    if (code != 0 || !text || !text[0])
        return 0;
    uint32_t cp = 0;
    if (!firstCodePoint(text, cp))
        return 0;
    return xkb_utf32_to_keysym(cp);
}
