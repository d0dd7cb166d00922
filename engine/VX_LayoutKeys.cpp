// [Layout] section: one word per key, in key order, giving the key's type.
// A word that is no keyword must name an aux layout already placed in the
// engine; the key then links to that layout's slot.
#include <cstring>

#include "base/VX_Log.h"
#include "config/VX_Parser.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"

void VX_Layout::parseLayout(VX_Parser &in)
{
    int32_t count = 0;
    while (count < keyCount) {
        failed = !expectString(in);
        if (failed)
            return;
        VX_Key &key = keys[count];
        const char *word = token.text;
        if (const VX_KeyTypeName *keyword = vxFindKeyword(vxKeyTypeNames, word)) {
            key.type = keyword->type;
        } else {
            // A keyword always wins: a layout named like one cannot be linked.
            key.linkSlot = engine->auxLayoutIndex(word);
            if (key.linkSlot < 0) {
                vxLog.print("VX_Layout: unrecognized key type '%s' (%s, %u)\n", word,
                            in.displayName(), in.lineCount);
                failed = true;
                return;
            }
            key.type = VX_KEY_LINK;
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Layout] (%s)\n", count, displayName());
    failed = !in.nextToken(token, VX_READ_NUMBERS);
}
