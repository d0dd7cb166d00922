// [Layout] section: one word per key, in key order, giving the key's type.
// A word that is no keyword must name an aux layout already placed in the
// engine; the key then links to that layout's slot.
#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"

bool VX_LayoutLoader::parseLayout()
{
    int32_t count = 0;
    while (count < layout.keyCount) {
        if (!expectString())
            return false;
        VX_Key &key = layout.keys[count];
        const char *word = token.text;
        if (const VX_KeyTypeName *keyword = vxFindKeyword(vxKeyTypeNames, word)) {
            key.type = keyword->type;
        } else {
            // A keyword always wins: a layout named like one cannot be linked.
            key.linkSlot = engine.auxLayoutIndex(word);
            if (key.linkSlot < 0)
                return fail("VX_Layout: unrecognized key type '%s'", word);
            key.type = VX_KEY_LINK;
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Layout] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}
