// What a key the board sends by XKB keysym (a named key, or a key under
// sticky modifiers) is as a Qt key event: the Qt key, the modifiers and the
// text a physical keyboard's event would carry.
#ifndef VEXIL_APP_QVX_KEYEVENTS_H
#define VEXIL_APP_QVX_KEYEVENTS_H

#include <QString>
#include <Qt>
#include <cstdint>

struct QVX_KeyEvents {
    // The Qt key of `keysym`: function and cursor keys by table, keysyms
    // of a character by that character (upper case, as Qt names letter
    // keys); Qt::Key_unknown for any other.
    static int qtKey(uint32_t keysym);
    // The Qt modifiers of VX_Mod bits `mods`.
    static Qt::KeyboardModifiers qtModifiers(uint32_t mods);
    // The text the event carries: the keysym's character (upper case with
    // Shift), none under Control, Alt or Super, which make it a shortcut.
    static QString text(uint32_t keysym, uint32_t mods);
};

#endif
