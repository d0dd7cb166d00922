// The touch typing model (VX_Engine::Touch::typeOnLift): a press only
// holds a key, a slide moves the hold to the key under the pointer, leaving
// the board cancels it, and the lift types the key held then (release() in
// VX_KeyPress.cpp). A held key still repeats: its first repeat tick types
// it, and the lift then types nothing more.
//
// Like the format's own model, nothing here allocates, reports or fails.
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"
#include "interaction/VX_PressRules.h"

void VX_Layout::liftHold(int32_t index, VX_KeyResult &out)
{
    heldTyped = false;
    if (index < 0 || index >= keyCount) {
        pressedKey = -1;
        return;
    }
    pressedKey = index;
    heldMods = engine ? engine->modifiers.active() : 0;
    if (drawPressed)
        redrawPressed = index;
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
    if (repeatOn)
        out.repeat = VX_KeyResult::TIMER_STOP;
    const int32_t hit = hitTest(px, py);
    // A second press while one is held replaces it.
    liftDrop(out);
    closeCycleBefore(hit, out);
    liftHold(hit, out);
    noteRepaint(out);
    return out;
}

VX_KeyResult VX_Layout::liftMove(int32_t px, int32_t py)
{
    VX_KeyResult out;
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
