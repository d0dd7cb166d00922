#include "base/VX_Keysym.h"

#include <xkbcommon/xkbcommon.h>

#include "base/VX_Utf8.h"

uint32_t vxCharKeysym(uint32_t cp)
{
    if (!vxIsTextChar(cp))
        return kNoKeysym;
    return xkb_utf32_to_keysym(cp);
}

uint32_t vxCharUnicodeKeysym(uint32_t cp)
{
    if (!vxIsTextChar(cp) || cp < 0x100)
        return kNoKeysym;
    const uint32_t unicode = kUnicodeKeysymBase + cp;
    return xkb_utf32_to_keysym(cp) != unicode ? unicode : kNoKeysym;
}
