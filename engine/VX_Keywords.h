// Keyword tables of the layout files: one lookup for all of them, and the
// key-type words, which the loader and the tools that name key types share.
#ifndef VEXIL_ENGINE_VX_KEYWORDS_H
#define VEXIL_ENGINE_VX_KEYWORDS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/VX_Key.h"

// The first entry of `table` (records with a `name`) whose name equals
// `word` exactly, case included; null when none does.
template <typename Entry, size_t N>
const Entry *vxFindKeyword(const Entry (&table)[N], const char *word)
{
    for (const Entry &entry : table)
        if (std::strcmp(word, entry.name) == 0)
            return &entry;
    return nullptr;
}

struct VX_KeyTypeName {
    const char *name;  // the [Layout] word
    int32_t type;      // VX_KeyType
};

// Tested in this order; the codes are not in table order.
inline constexpr VX_KeyTypeName vxKeyTypeNames[] = {
    {"label", VX_KEY_LABEL}, {"alpha", VX_KEY_ALPHA}, {"shift", VX_KEY_SHIFT},
    {"switch", VX_KEY_SWITCH}, {"tab", VX_KEY_TAB}, {"caps", VX_KEY_CAPS},
    {"bks", VX_KEY_BKS}, {"ent", VX_KEY_ENT}, {"space", VX_KEY_SPACE},
};

// The section headers of a layout file, in the order the loader tests
// them; tools name them to an author who misspelt one.
inline constexpr const char *vxSectionNames[] = {
    "Common", "Board", "Layout", "Geometry", "Strings", "Pixs",
};

#endif
