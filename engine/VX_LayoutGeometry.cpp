// [Geometry] places every key: one "( x y [w [h]] )" entry per key, in key
// order. [Strings] gives every alpha key its characters: one word per mode
// (two words in parentheses when the layout has two modes), in the order of
// the alpha keys. A string is UTF-8 text of at most 15 bytes; its
// characters are counted as UTF-8 sequences whatever [Common] "alpha" says.
#include <cstring>

#include "base/VX_Log.h"
#include "base/VX_Utf8.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"

bool VX_LayoutLoader::parseGeometry()
{
    int32_t count = 0;
    while (count < layout.keyCount) {
        VX_Key &key = layout.keys[count];
        if (!startEntry(true, "Geometry", count, layout.keyCount) || !expectNumber(key.x) ||
            !expectNumber(key.y) ||
            !next(VX_READ_ENTRIES))
            return false;
        key.width = layout.keyWidth;
        key.height = layout.keyHeight;
        if (token.kind == VX_TOKEN_NUMBER) {
            key.width = token.value;
            if (!next(VX_READ_ENTRIES))
                return false;
            if (token.kind == VX_TOKEN_NUMBER) {
                key.height = token.value;
                if (!expectClose())
                    return false;
            }
        }
        if (token.kind != VX_TOKEN_CLOSE)
            return fail("VX_Layout: expect number or ')'");
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Geometry] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}

bool VX_LayoutLoader::parseStrings()
{
    int32_t alphaKeys = 0;
    for (int32_t i = 0; i < layout.keyCount; ++i)
        alphaKeys += layout.keys[i].type == VX_KEY_ALPHA;
    int32_t count = 0;
    for (int32_t i = 0; i < layout.keyCount; ++i) {
        VX_Key &key = layout.keys[i];
        if (key.type != VX_KEY_ALPHA)
            continue;
        const bool open = layout.modes > 1;
        if (open && !startEntry(true, "Strings", count, alphaKeys))
            return false;
        for (int32_t m = 0; m < layout.modes && m < VX_Key::kModes; ++m) {
            // With one mode the entry is its word alone.
            const bool read = m == 0 && !open ? startEntry(false, "Strings", count, alphaKeys)
                                              : expectString();
            if (!read)
                return false;
            // A key string is at most kCharsSize - 1 bytes; a longer word is
            // refused rather than cut, so that no character is silently lost.
            if (token.length >= static_cast<uint32_t>(VX_Key::kCharsSize))
                return fail("VX_Layout: string too long, at most %d bytes", VX_Key::kCharsSize - 1);
            // Every press sends one whole character, so a string must be
            // UTF-8 text throughout: a stray byte or a cut sequence would
            // be typed as a replacement character or half of one.
            size_t bad = 0;
            const int32_t characters = vxUtf8Count(token.text, token.length, &bad);
            if (characters < 0)
                return fail("VX_Layout: invalid UTF-8 at byte %u of string",
                            static_cast<unsigned>(bad + 1));
            std::memcpy(key.chars[m], token.text, token.length);
            key.chars[m][token.length] = '\0';
            key.charCount[m] = characters;
        }
        if (layout.modes > 1 && !expectClose())
            return false;
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Strings] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}
