// [Layout] section: one word per key, in key order, giving the key's type.
// A word that is no keyword links to the aux layout of that exact name when
// one is already placed in the engine (so only to an aux layout listed
// earlier in load.cfg). Otherwise a word "@name" links to the aux layout
// `name` wherever load.cfg lists it, settled once the whole list has loaded;
// any other word fails the layout. A word "!name" is a key named by its
// XKB keysym name (a modifier when the keysym is one); a name xkbcommon
// does not know fails the layout like any word that is no key type.
#include "base/VX_Log.h"
#include "engine/VX_Engine.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"

namespace {

// First character of a named link, "@name".
constexpr char kNamedLinkMark = '@';

}  // namespace

bool VX_LayoutLoader::parseLayout()
{
    // This section types every key again: links named before are void.
    layout.namedLinks.clear();
    int32_t count = 0;
    while (count < layout.keyCount) {
        if (!startEntry(false, "Layout", count, layout.keyCount))
            return false;
        VX_Key &key = layout.keys[count];
        const char *word = token.text;
        key.keysym = 0;  // a second [Layout] types the key anew
        key.modifier = 0;
        // A keyword always wins: a layout named like one cannot be linked.
        // A placed aux layout wins over the named form, so a word that links
        // an earlier aux layout (whatever its name) keeps doing so.
        if (const VX_KeyTypeName *keyword = vxFindKeyword(vxKeyTypeNames, word)) {
            key.type = keyword->type;
        } else if (int32_t slot = engine.auxLayoutIndex(word); slot >= 0) {
            key.type = VX_KEY_LINK;
            key.linkSlot = slot;
        } else if (word[0] == kNamedKeyMark) {
            const uint32_t keysym = word[1] ? vxKeysymFromName(word + 1) : 0;
            if (keysym == 0)
                return fail("VX_Layout: unrecognized key type '%s'", word);
            key.keysym = keysym;
            key.modifier = vxModifierOf(keysym);
            key.type = key.modifier ? VX_KEY_MODIFIER : VX_KEY_NAMED;
        } else if (word[0] == kNamedLinkMark && word[1] != '\0') {
            key.type = VX_KEY_UNTYPED;  // until the engine settles the link
            key.linkSlot = 0;
            layout.namedLinks.push_back({count, word + 1});
        } else {
            return fail("VX_Layout: unrecognized key type '%s'", word);
        }
        ++count;
    }
    vxLog.info("VX_Layout: read %d entries from [Layout] (%s)\n", count, layout.displayName());
    return next(VX_READ_NUMBERS);
}
