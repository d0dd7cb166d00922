// [Layout] section: one word per key, in key order, giving the key's type.
// A word that is no keyword must name an aux layout already placed in the
// engine, or a layout that load.cfg lists after this one (so that two aux
// layouts can link to each other); the key then links to that layout's slot.
#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"

bool VX_LayoutLoader::parseLayout()
{
    int32_t count = 0;
    while (count < layout.keyCount) {
        if (!startEntry(false, "Layout", count, layout.keyCount))
            return false;
        VX_Key &key = layout.keys[count];
        const char *word = token.text;
        if (const VX_KeyTypeName *keyword = vxFindKeyword(vxKeyTypeNames, word)) {
            key.type = keyword->type;
        } else {
            // A keyword always wins: a layout named like one cannot be linked.
            key.linkSlot = engine.auxLayoutIndex(word);
            if (key.linkSlot < 0) {
                if (!engine.listedLater(word))
                    return fail("VX_Layout: unrecognized key type '%s'", word);
                engine.linkLater(layout, count, word);
            }
            key.type = VX_KEY_LINK;
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Layout] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}
