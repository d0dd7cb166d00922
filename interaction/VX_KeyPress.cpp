// What a press, a slide, a release and a repeat tick mean on a layout: hit
// test, key output, multi-tap, auto-repeat intervals, caps, layout changes
// and the repaint requests they leave for paint().
//
// Everything here works on records that already exist: nothing is allocated,
// nothing is reported, nothing can fail.
#include <cstring>

#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Layout.h"
#include "interaction/VX_PressRules.h"

namespace {

// The pressed picture is set and differs from the released one, so the key
// looks different once let go.
// The pressed look differs from the released one (a pressed slot left
// empty on purpose included), so the key must be drawn again once let go.
bool pressedLookDiffers(const VX_Key &key, int32_t mode)
{
    return key.pix[mode][VX_PIX_PRESSED] != key.pix[mode][VX_PIX_RELEASED];
}

// Character `pos` of the key's string in `mode`, one whole UTF-8 character
// (nothing past the string's end), into `text` with its NUL. This is the one
// place that takes a character out of a key string.
void copyCharacter(const VX_Key &key, int32_t mode, int32_t pos,
                   char (&text)[VX_KeyResult::kTextSize])
{
    int length = 0;
    const char *at = vxUtf8At(key.chars[mode], pos, length);
    std::memcpy(text, at, static_cast<size_t>(length));
    text[length] = '\0';
}

}  // namespace

int32_t VX_Layout::hitTest(int32_t px, int32_t py) const
{
    for (int32_t i = 0; i < keyCount; ++i) {
        const VX_Key &key = keys[i];
        if (key.pix[mode][VX_PIX_RELEASED] == nullptr || key.type == VX_KEY_LABEL)
            continue;
        if (vxCovers(key, px, py))
            return i;
    }
    return keyCount;
}

bool VX_Layout::keyAction(VX_Key &key, VX_KeyResult &out)
{
    out.erase = false;
    switch (key.type) {
    case VX_KEY_ALPHA: {
        const int32_t count = key.charCount[mode];
        if (count > 1)
            out.erase = key.enumActive;
        // A position past the string (never left by the cycle itself) starts
        // over rather than read beyond the characters.
        if (key.enumPos < 0 || (count > 0 && key.enumPos >= count))
            key.enumPos = 0;
        out.code = 0;
        copyCharacter(key, mode, key.enumPos, out.text);
        if (count > 0 && ++key.enumPos >= count)
            key.enumPos = 0;
        key.enumActive = true;
        return true;
    }
    case VX_KEY_TAB:
        out.code = 0;
        out.text[0] = '\t';
        out.text[1] = '\0';
        return true;
    case VX_KEY_BKS:
        out.code = VX_CODE_BACKSPACE;
        return true;
    case VX_KEY_SPACE:
        out.code = 0;
        out.text[0] = ' ';
        out.text[1] = '\0';
        return true;
    case VX_KEY_ENT:
        out.code = VX_CODE_RETURN;
        return true;
    case VX_KEY_NAMED:
        out.code = 0;
        out.text[0] = '\0';
        out.keysym = key.keysym;
        return true;
    default:
        return false;
    }
}

bool VX_Layout::sendAction(VX_Key &key, VX_KeyResult &out)
{
    const uint32_t mods = heldMods;
    // Under a modifier a key is a shortcut, not typing: an alpha key sends
    // its first character and opens no cycle, so no later tap erases it.
    const bool shortcut = mods != 0 && key.type == VX_KEY_ALPHA;
    if (shortcut) {
        vxCloseCycle(key);
        if (enumKey == pressedKey)
            enumKey = -1;
    }
    if (!keyAction(key, out))
        return false;
    if (mods == 0)
        return true;
    if (shortcut) {
        out.erase = false;
        vxCloseCycle(key);
    }
    if (out.keysym == 0)
        out.keysym = vxOutputKeysym(out.code, out.text);
    // A character no keysym stands for goes as plain text (never happens
    // for a well-formed character: xkbcommon has a keysym for each).
    out.mods = out.keysym != 0 ? mods : 0;
    if (engine && engine->modifiers.consume())
        requestModifierLooks();
    return true;
}

void VX_Layout::requestModifierLooks()
{
    for (int32_t i = 0; i < keyCount; ++i)
        if (keys[i].type == VX_KEY_MODIFIER)
            requestLook(i);
}

void VX_Layout::letGo(int32_t index)
{
    if (engine && engine->touch.marks) {
        requestLook(index);
    } else if (redrawPressed == index) {
        // Never drawn pressed since this press: nothing to take back, and
        // a later paint must not draw a key pressed that is no longer held.
        redrawPressed = -1;
        if (redrawReleased == -1)
            redrawReleased = index;
    } else if (drawPressed && pressedLookDiffers(keys[index], mode)) {
        redrawReleased = index;
    }
}

void VX_Layout::noteRepaint(VX_KeyResult &out) const
{
    out.repaint = fullRedraw || redrawReleased != -1 || redrawPressed != -1;
    out.held = pressedKey;
}

void VX_Layout::requestLook(int32_t index)
{
    if (redrawReleased == -1 || redrawReleased == index)
        redrawReleased = index;
    else if (redrawPressed == -1 || redrawPressed == index)
        redrawPressed = index;
    else
        fullRedraw = true;
}

bool VX_Layout::drawnPressed(int32_t index) const
{
    if (index < 0 || index >= keyCount)
        return false;
    if (index == pressedKey && drawPressed)
        return true;
    const VX_Key &key = keys[index];
    if (key.type == VX_KEY_MODIFIER && engine &&
        engine->modifiers.state(key.modifier) != VX_Modifiers::OFF)
        return true;
    if (!engine || !engine->touch.marks)
        return false;
    return (index == enumKey && key.enumActive) || (caps == VX_CAPS_LOCKED && key.type == VX_KEY_CAPS);
}

void VX_Layout::closeCycleBefore(int32_t hit, VX_KeyResult &out)
{
    // A press anywhere but on the key of the open cycle closes it.
    if (enumKey != -1 && enumKey != hit) {
        const int32_t open = enumKey;
        vxCloseCycle(keys[open]);
        enumKey = -1;
        if (engine && engine->touch.marks)
            requestLook(open);
        endOneShot(out);
    }
    // Only caps right after caps makes a double tap.
    if (capsWindow && (hit < 0 || hit >= keyCount || keys[hit].type != VX_KEY_CAPS))
        capsWindow = false;
}

void VX_Layout::endOneShot(VX_KeyResult &out)
{
    if (caps != VX_CAPS_ONCE || !capsUsed || enumKey != -1)
        return;
    caps = VX_CAPS_OFF;
    capsUsed = false;
    mode = 0;
    for (int32_t i = 0; i < keyCount; ++i)
        vxCloseCycle(keys[i]);
    fullRedraw = true;
    out.layoutChanged = true;
    out.repaint = true;
}

bool VX_Layout::capsOneShot()
{
    switch (caps) {
    case VX_CAPS_OFF:
        caps = VX_CAPS_ONCE;
        capsWindow = true;
        capsUsed = false;
        break;
    case VX_CAPS_ONCE:
        caps = capsWindow ? VX_CAPS_LOCKED : VX_CAPS_OFF;
        capsWindow = false;
        break;
    default:
        caps = VX_CAPS_OFF;
        break;
    }
    mode = caps == VX_CAPS_OFF ? 0 : 1;
    for (int32_t i = 0; i < keyCount; ++i)
        vxCloseCycle(keys[i]);
    enumKey = -1;
    return true;  // another mode, or the locked look
}

VX_KeyResult VX_Layout::press(int32_t px, int32_t py)
{
    if (engine && engine->touch.typeOnLift)
        return liftPress(px, py);
    VX_KeyResult out;
    out.reset = VX_KeyResult::TIMER_STOP;
    if (repeatOn)
        out.repeat = VX_KeyResult::TIMER_STOP;
    const int32_t hit = hitTest(px, py);

    if (pressedKey == -1) {
        closeCycleBefore(hit, out);
    } else {
        // The pointer left the held key (or a second press came while held).
        letGo(pressedKey);
        vxCloseCycle(keys[pressedKey]);
    }

    heldTyped = false;
    heldMods = 0;
    if (hit == keyCount) {
        pressedKey = -1;
        noteRepaint(out);
        return out;
    }

    pressedKey = hit;
    heldMods = engine ? engine->modifiers.active() : 0;
    if (drawPressed)
        redrawPressed = hit;
    noteRepaint(out);
    if (!sendAction(keys[hit], out))
        return out;
    noteRepaint(out);  // a modifier that let go is drawn again
    out.send = true;
    heldTyped = true;
    // A period of 0 means no auto-repeat, not no output.
    if (repeatOn && tmPeriod > 0) {
        out.repeat = VX_KeyResult::TIMER_START;
        out.repeatInterval = tmPeriod;
        firstRepeat = true;
    }
    return out;
}

VX_KeyResult VX_Layout::move(int32_t px, int32_t py)
{
    if (engine && engine->touch.typeOnLift)
        return liftMove(px, py);
    if (pressedKey != -1 && vxCovers(keys[pressedKey], px, py)) {
        VX_KeyResult out;
        noteRepaint(out);
        return out;
    }
    const bool wasHeld = pressedKey != -1;
    VX_KeyResult out = press(px, py);
    // A slide never touches the reset timer, and leaves the repeat timer
    // alone unless the held key changed.
    out.reset = VX_KeyResult::TIMER_KEEP;
    if (!wasHeld && pressedKey == -1)
        out.repeat = VX_KeyResult::TIMER_KEEP;
    return out;
}

VX_KeyResult VX_Layout::release()
{
    VX_KeyResult out;
    if (repeatOn || longPending)
        out.repeat = VX_KeyResult::TIMER_STOP;
    if (pressedKey != -1 && popup.isOpen()) {
        liftFromPopup(out);
    } else if (pressedKey != -1) {
        longPending = false;  // lifted before the long-press time: a tap
        VX_Key &key = keys[pressedKey];
        // Typing on the lift: the key types now, unless holding it already
        // did by repeating.
        if (engine->touch.typeOnLift && !heldTyped && sendAction(key, out)) {
            out.send = true;
            heldTyped = true;
        }
        const bool typedText = heldTyped && vxTypesText(key);
        if (releaseAction(key)) {
            // Set on the layout that was active at the release: after a
            // switch or link that is the one just left, redrawn whole when
            // shown again.
            fullRedraw = true;
            out.layoutChanged = true;
            if (redrawPressed == pressedKey)
                redrawPressed = -1;
        } else {
            letGo(pressedKey);
        }
        pressedKey = -1;
        heldTyped = false;
        heldMods = 0;
        if (typedText && caps == VX_CAPS_ONCE) {
            capsUsed = true;
            endOneShot(out);
        }
    }
    if (const VX_Layout *shown = engine->activeLayout()) {
        if (shown->enumKey != -1 || shown->capsWindow) {
            out.reset = VX_KeyResult::TIMER_START;
            out.resetInterval = shown->tmEnumReset;
        }
        shown->noteRepaint(out);
    }
    return out;
}

bool VX_Layout::releaseAction(VX_Key &key)
{
    VX_Engine &e = *engine;
    switch (key.type) {
    case VX_KEY_ALPHA:
        // A shortcut (sent under a modifier) opens no cycle.
        if (key.charCount[mode] > 1 && heldMods == 0)
            enumKey = pressedKey;
        return false;

    case VX_KEY_MODIFIER:
        e.modifiers.tap(key.modifier);
        requestLook(pressedKey);
        return false;

    case VX_KEY_SWITCH: {
        VX_Engine::Place to;
        const bool moved = type == VX_LAYOUT_BASIC ? e.nextBasic(e.place(), to)
                                                   : e.returnFromAux(e.place(), to);
        if (moved)
            e.show(to);
        return moved;
    }

    case VX_KEY_CAPS:
        if (modes <= 1)
            return false;
        if (engine->touch.oneShotCaps && modes == 2)
            return capsOneShot();
        mode = mode == modes - 1 ? 0 : mode + 1;
        // Every key's cycle ends with the mode: a position or an open cycle
        // of the old mode must not make the next tap erase the user's text.
        for (int32_t i = 0; i < keyCount; ++i)
            vxCloseCycle(keys[i]);
        enumKey = -1;
        return true;

    case VX_KEY_LINK: {
        VX_Engine::Place to;
        if (!e.openAux(e.place(), key.linkSlot, to))
            return false;
        e.show(to);
        return true;
    }

    default:
        return false;
    }
}

VX_KeyResult VX_Layout::repeatStep()
{
    VX_KeyResult out;
    if (pressedKey == -1)
        return out;
    if (longPending) {
        openPopup(out);
        noteRepaint(out);
        return out;
    }
    VX_Key &key = keys[pressedKey];
    out.send = sendAction(key, out);
    out.held = pressedKey;
    if (out.send)
        heldTyped = true;
    if (!firstRepeat)
        return out;
    firstRepeat = false;
    const int32_t interval = key.charCount[mode] <= 1 ? tmRate : tmEnumRate;
    if (repeatOn && interval > 0) {
        out.repeat = VX_KeyResult::TIMER_START;
        out.repeatInterval = interval;
    }
    return out;
}

VX_KeyResult VX_Layout::focusChanged()
{
    if (engine && engine->modifiers.consume())
        requestModifierLooks();
    return resetEnum();
}

VX_KeyResult VX_Layout::resetEnum()
{
    VX_KeyResult out;
    capsWindow = false;
    if (enumKey != -1) {
        const int32_t open = enumKey;
        vxCloseCycle(keys[open]);
        enumKey = -1;
        if (engine && engine->touch.marks)
            requestLook(open);
        endOneShot(out);
    }
    noteRepaint(out);
    return out;
}
