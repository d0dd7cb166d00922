#include "app/QVX_KeyEvents.h"

#include <QChar>
#include <xkbcommon/xkbcommon.h>

#include "interaction/VX_Modifiers.h"

namespace {

struct KeysymQtKey {
    uint32_t keysym;  // XKB keysym
    int key;          // Qt::Key
};

// Keys that type no character, or whose Qt key is not their character's.
constexpr KeysymQtKey kKeys[] = {
    {XKB_KEY_Escape, Qt::Key_Escape},       {XKB_KEY_Tab, Qt::Key_Tab},
    {XKB_KEY_ISO_Left_Tab, Qt::Key_Backtab}, {XKB_KEY_BackSpace, Qt::Key_Backspace},
    {XKB_KEY_Return, Qt::Key_Return},       {XKB_KEY_KP_Enter, Qt::Key_Enter},
    {XKB_KEY_Insert, Qt::Key_Insert},       {XKB_KEY_Delete, Qt::Key_Delete},
    {XKB_KEY_Pause, Qt::Key_Pause},         {XKB_KEY_Print, Qt::Key_Print},
    {XKB_KEY_Home, Qt::Key_Home},           {XKB_KEY_End, Qt::Key_End},
    {XKB_KEY_Left, Qt::Key_Left},           {XKB_KEY_Up, Qt::Key_Up},
    {XKB_KEY_Right, Qt::Key_Right},         {XKB_KEY_Down, Qt::Key_Down},
    {XKB_KEY_Prior, Qt::Key_PageUp},        {XKB_KEY_Next, Qt::Key_PageDown},
    {XKB_KEY_Menu, Qt::Key_Menu},           {XKB_KEY_Caps_Lock, Qt::Key_CapsLock},
    {XKB_KEY_Num_Lock, Qt::Key_NumLock},    {XKB_KEY_Scroll_Lock, Qt::Key_ScrollLock},
    {XKB_KEY_Shift_L, Qt::Key_Shift},       {XKB_KEY_Shift_R, Qt::Key_Shift},
    {XKB_KEY_Control_L, Qt::Key_Control},   {XKB_KEY_Control_R, Qt::Key_Control},
    {XKB_KEY_Alt_L, Qt::Key_Alt},           {XKB_KEY_Alt_R, Qt::Key_Alt},
    {XKB_KEY_Super_L, Qt::Key_Super_L},     {XKB_KEY_Super_R, Qt::Key_Super_R},
    {XKB_KEY_space, Qt::Key_Space},
};

}  // namespace

int QVX_KeyEvents::qtKey(uint32_t keysym)
{
    for (const KeysymQtKey &entry : kKeys)
        if (entry.keysym == keysym)
            return entry.key;
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35)
        return Qt::Key_F1 + static_cast<int>(keysym - XKB_KEY_F1);
    const uint32_t cp = xkb_keysym_to_utf32(keysym);
    if (cp < 0x20 || cp == 0x7f)
        return Qt::Key_unknown;
    return static_cast<int>(QChar::toUpper(static_cast<char32_t>(cp)));
}

Qt::KeyboardModifiers QVX_KeyEvents::qtModifiers(uint32_t mods)
{
    Qt::KeyboardModifiers result;
    if (mods & VX_MOD_SHIFT)
        result |= Qt::ShiftModifier;
    if (mods & VX_MOD_CONTROL)
        result |= Qt::ControlModifier;
    if (mods & VX_MOD_ALT)
        result |= Qt::AltModifier;
    if (mods & VX_MOD_SUPER)
        result |= Qt::MetaModifier;
    return result;
}

QString QVX_KeyEvents::text(uint32_t keysym, uint32_t mods)
{
    if (mods & (VX_MOD_CONTROL | VX_MOD_ALT | VX_MOD_SUPER))
        return QString();
    if (mods & VX_MOD_SHIFT)
        keysym = xkb_keysym_to_upper(keysym);
    const uint32_t cp = xkb_keysym_to_utf32(keysym);
    if (cp == 0)
        return QString();
    const char32_t point = cp;
    return QString::fromUcs4(&point, 1);
}
