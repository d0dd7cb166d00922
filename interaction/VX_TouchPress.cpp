// The touch typing model (VX_Engine::Touch::typeOnLift): a press only
// holds a key, a slide moves the hold to the key under the pointer, leaving
// the board cancels it, and the lift types the key held then (release() in
// VX_KeyPress.cpp). A held key still repeats: its first repeat tick types
// it, and the lift then types nothing more.
//
// A key with alternates (or a switch key, while the engine has a menu)
// does not repeat: holding it for the long-press time opens its popup
// instead, slides then move the popup's highlight, and the lift types the
// highlighted alternate or picks the menu entry; lifting away from the
// popup types nothing.
//
// Like the format's own model, nothing here allocates, reports or fails.
#include <algorithm>
#include <cstring>

#include "engine/VX_Engine.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Layout.h"
#include "interaction/VX_PressRules.h"

void VX_Layout::liftHold(int32_t index, VX_KeyResult &out)
{
    heldTyped = false;
    longPending = false;
    if (index < 0 || index >= keyCount) {
        pressedKey = -1;
        return;
    }
    pressedKey = index;
    heldMods = engine ? engine->modifiers.active() : 0;
    if (drawPressed)
        redrawPressed = index;
    // A key with a popup waits for the long press instead of repeating.
    if (popupItemsFor(index)) {
        out.repeat = VX_KeyResult::TIMER_START;
        out.repeatInterval = engine->touch.longPressMs;
        longPending = true;
        firstRepeat = false;
        return;
    }
    // Holding the key long enough types it: the first tick comes after the
    // layout's period, as the second character would in the other model.
    if (repeatOn && tmPeriod > 0 && vxHasOutput(keys[index])) {
        out.repeat = VX_KeyResult::TIMER_START;
        out.repeatInterval = tmPeriod;
        firstRepeat = true;
    }
}

// The hold on `pressedKey` ends without a lift: a slide to another key, off
// the board, or a second press. What its repeats typed stays, and ends its
// cycle as any other key's press would.
void VX_Layout::liftDrop(VX_KeyResult &out)
{
    if (longPending)
        out.repeat = VX_KeyResult::TIMER_STOP;
    longPending = false;
    if (popup.isOpen()) {
        popup.close();
        out.popupChanged = true;
    }
    if (pressedKey == -1)
        return;
    const int32_t held = pressedKey;
    letGo(held);
    if (heldTyped) {
        vxCloseCycle(keys[held]);
        if (enumKey == held)
            enumKey = -1;
        if (caps == VX_CAPS_ONCE && vxTypesText(keys[held])) {
            capsUsed = true;
            endOneShot(out);
        }
    }
    pressedKey = -1;
    heldTyped = false;
    if (repeatOn)
        out.repeat = VX_KeyResult::TIMER_STOP;
}

VX_KeyResult VX_Layout::liftPress(int32_t px, int32_t py)
{
    VX_KeyResult out;
    out.reset = VX_KeyResult::TIMER_STOP;
    if (repeatOn || longPending)
        out.repeat = VX_KeyResult::TIMER_STOP;
    pointerX = px;
    pointerY = py;
    const int32_t hit = hitTest(px, py);
    // A second press while one is held replaces it (and closes its popup).
    liftDrop(out);
    closeCycleBefore(hit, out);
    liftHold(hit, out);
    noteRepaint(out);
    return out;
}

VX_KeyResult VX_Layout::liftMove(int32_t px, int32_t py)
{
    VX_KeyResult out;
    pointerX = px;
    pointerY = py;
    // Over an open popup the finger only moves the highlight, also above
    // the board, where the popup is.
    if (popup.isOpen()) {
        const int32_t picked = popup.pick(px, py);
        if (picked != popup.highlight) {
            popup.highlight = picked;
            out.popupChanged = true;
        }
        noteRepaint(out);
        return out;
    }
    if (pressedKey != -1 && vxCovers(keys[pressedKey], px, py)) {
        noteRepaint(out);
        return out;
    }
    const bool onBoard = px >= 0 && py >= 0 && px < width && py < height;
    if (!onBoard) {
        liftDrop(out);  // off the board: nothing is typed
        noteRepaint(out);
        return out;
    }
    const int32_t hit = hitTest(px, py);
    // Between keys the hold stays where it was, so a slide from one key to
    // the next never loses it in the gap.
    if (hit == keyCount) {
        noteRepaint(out);
        return out;
    }
    liftDrop(out);
    closeCycleBefore(hit, out);
    liftHold(hit, out);
    noteRepaint(out);
    return out;
}

bool VX_Layout::popupItemsFor(int32_t index)
{
    if (!engine || !engine->touch.typeOnLift || engine->touch.longPressMs <= 0)
        return false;
    const VX_Key &key = keys[index];
    if (key.type == VX_KEY_SWITCH) {
        popup.items = engine->menu;
        return popup.items.count > 0;
    }
    alternates.fill(key, mode, popup.items);
    return popup.items.count > 0;
}

void VX_Layout::openPopup(VX_KeyResult &out)
{
    longPending = false;
    out.repeat = VX_KeyResult::TIMER_STOP;
    if (pressedKey < 0 || pressedKey >= keyCount || popup.items.count <= 0)
        return;
    const VX_Key &key = keys[pressedKey];
    if (key.type == VX_KEY_SWITCH) {
        // One column of entries, wide enough for a layout's or a set's name.
        const int32_t wide = engine->menuCellWidth > 0 ? engine->menuCellWidth : 3 * key.width;
        popup.open(VX_Popup::MENU, pressedKey, key, width, std::min(wide, width), key.height, 1);
    } else {
        popup.open(VX_Popup::ALTERNATES, pressedKey, key, width, key.width, key.height, 0);
    }
    popup.highlight = popup.pick(pointerX, pointerY);
    out.popupChanged = true;
}

void VX_Layout::liftFromPopup(VX_KeyResult &out)
{
    const int32_t held = pressedKey;
    const int32_t chosen = popup.highlight;
    const VX_Popup::Kind kind = popup.kind;
    letGo(held);
    // What a popup types is no step of a cycle: the key's cycle is over.
    vxCloseCycle(keys[held]);
    if (enumKey == held)
        enumKey = -1;
    bool typed = false;
    if (chosen >= 0 && chosen < popup.items.count) {
        if (kind == VX_Popup::MENU) {
            out.menuAction = popup.items.actions[chosen];
        } else {
            out.code = 0;
            std::memcpy(out.text, popup.items.texts[chosen], sizeof out.text);
            out.text[sizeof out.text - 1] = '\0';
            if (heldMods != 0) {
                // Under a sticky modifier a character goes as its key, as
                // any key's would; a sequence has no key and goes as text.
                int length = 0;
                vxUtf8At(out.text, 0, length);
                out.keysym = out.text[length] == '\0' ? vxOutputKeysym(0, out.text) : 0;
                out.mods = out.keysym != 0 ? heldMods : 0;
                if (engine && engine->modifiers.consume())
                    requestModifierLooks();
            }
            out.send = true;
            typed = true;
        }
    }
    popup.close();
    out.popupChanged = true;
    pressedKey = -1;
    heldTyped = false;
    heldMods = 0;
    longPending = false;
    if (typed && caps == VX_CAPS_ONCE) {
        capsUsed = true;
        endOneShot(out);
    }
}
