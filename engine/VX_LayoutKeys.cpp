// [Layout] section: one word per key, in key order, giving the key's type.
// A word that is no keyword must name an aux layout already placed in the
// engine; the key then links to that layout's slot.
#include <cstring>

#include "app/VX_Log.h"
#include "config/VX_Parser.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

struct KeyTypeName {
    const char *name;
    int32_t type;
};

// Tested in this order; the codes are not in table order.
static constexpr KeyTypeName kKeyTypes[] = {
    {"label", VX_KEY_LABEL}, {"alpha", VX_KEY_ALPHA}, {"shift", VX_KEY_SHIFT},
    {"switch", VX_KEY_SWITCH}, {"tab", VX_KEY_TAB}, {"caps", VX_KEY_CAPS},
    {"bks", VX_KEY_BKS}, {"ent", VX_KEY_ENT}, {"space", VX_KEY_SPACE},
};

}  // namespace

void VX_Layout::parseLayout(VX_Parser &in)
{
    int32_t count = 0;
    while (count < keyCount) {
        failed = !expectString(in);
        if (failed)
            return;
        VX_Key &key = keys[count];
        const char *word = token.text;
        bool matched = false;
        for (const KeyTypeName &entry : kKeyTypes) {
            if (std::strcmp(word, entry.name) == 0) {
                key.type = entry.type;
                matched = true;
                break;
            }
        }
        if (!matched) {
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
    vxLog.print("VX_Layout: read %d entries from [Layout] (%s)\n", count, displayName());
    failed = !in.nextToken(token, false, true);
}
