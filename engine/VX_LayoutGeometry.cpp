// [Geometry] places every key: one "( x y [w [h]] )" entry per key, in key
// order. [Strings] gives every alpha key its characters: one word per mode
// (two words in parentheses when the layout has two modes), in the order of
// the alpha keys. A string is UTF-8 text of at most 15 bytes; its
// characters are counted as UTF-8 sequences whatever [Common] "alpha" says.
#include <cstring>

#include "base/VX_Log.h"
#include "base/VX_Utf8.h"
#include "config/VX_Parser.h"
#include "engine/VX_Layout.h"

void VX_Layout::parseGeometry(VX_Parser &in)
{
    int32_t count = 0;
    while (count < keyCount) {
        VX_Key &key = keys[count];
        failed = !expectOpen(in);
        if (failed)
            return;
        failed = !expectNumber(in, key.x);
        if (failed)
            return;
        failed = !expectNumber(in, key.y);
        if (failed)
            return;
        failed = !in.nextToken(token, VX_READ_ENTRIES);
        if (failed)
            return;
        key.width = keyWidth;
        key.height = keyHeight;
        if (token.kind == VX_TOKEN_NUMBER) {
            key.width = token.value;
            failed = !in.nextToken(token, VX_READ_ENTRIES);
            if (failed)
                return;
            if (token.kind == VX_TOKEN_NUMBER) {
                key.height = token.value;
                failed = !expectClose(in);
                if (failed)
                    return;
            }
        }
        if (token.kind != VX_TOKEN_CLOSE) {
            vxLog.print("VX_Layout: expect number or ')' (%s, %u)\n", in.displayName(),
                        in.lineCount);
            failed = true;
            return;
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Geometry] (%s)\n", count, displayName());
    failed = !in.nextToken(token, VX_READ_NUMBERS);
}

void VX_Layout::parseStrings(VX_Parser &in)
{
    int32_t count = 0;
    for (int32_t i = 0; i < keyCount; ++i) {
        VX_Key &key = keys[i];
        if (key.type != VX_KEY_ALPHA)
            continue;
        if (modes > 1) {
            failed = !expectOpen(in);
            if (failed)
                return;
        }
        for (int32_t m = 0; m < modes && m < VX_Key::kModes; ++m) {
            failed = !expectString(in);
            if (failed)
                return;
            // A key string is at most kCharsSize - 1 bytes; a longer word is
            // refused rather than cut, so that no character is silently lost.
            if (token.length >= static_cast<uint32_t>(VX_Key::kCharsSize)) {
                vxLog.print("VX_Layout: string too long, at most %d bytes (%s, %u)\n",
                            VX_Key::kCharsSize - 1, in.displayName(), in.lineCount);
                failed = true;
                return;
            }
            // Every press sends one whole character, so a string must be
            // UTF-8 text throughout: a stray byte or a cut sequence would
            // be typed as a replacement character or half of one.
            size_t bad = 0;
            const int32_t count = vxUtf8Count(token.text, token.length, &bad);
            if (count < 0) {
                vxLog.print("VX_Layout: invalid UTF-8 at byte %u of string (%s, %u)\n",
                            static_cast<unsigned>(bad + 1), in.displayName(), in.lineCount);
                failed = true;
                return;
            }
            std::memcpy(key.chars[m], token.text, token.length);
            key.chars[m][token.length] = '\0';
            key.charCount[m] = count;
        }
        if (modes > 1) {
            failed = !expectClose(in);
            if (failed)
                return;
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Strings] (%s)\n", count, displayName());
    failed = !in.nextToken(token, VX_READ_NUMBERS);
}
