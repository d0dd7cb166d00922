// What a press, a slide, a release and a repeat tick mean on a layout: hit
// test, key output, multi-tap, auto-repeat intervals, caps, layout changes
// and the repaint requests they leave for paint().
//
// Everything here works on records that already exist: nothing is allocated,
// nothing is reported, nothing can fail.
#include <cstring>

#include "base/VX_Utf8.h"
#include "engine/VX_Engine.h"
#include "engine/VX_Layout.h"

namespace {

// (px, py) inside the key's rectangle; right and bottom edges included.
// The far edges are summed in 64 bits: a layout file may place a key of any
// size anywhere up to the largest 32-bit number.
bool covers(const VX_Key &key, int32_t px, int32_t py)
{
    return key.x <= px && px <= int64_t(key.x) + key.width && key.y <= py &&
           py <= int64_t(key.y) + key.height;
}

// The pressed picture is set and differs from the released one, so the key
// looks different once let go.
// The pressed look differs from the released one (a pressed slot left
// empty on purpose included), so the key must be drawn again once let go.
bool pressedLookDiffers(const VX_Key &key, int32_t mode)
{
    return key.pix[mode][VX_PIX_PRESSED] != key.pix[mode][VX_PIX_RELEASED];
}

void closeCycle(VX_Key &key)
{
    key.enumPos = 0;
    key.enumActive = false;
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
        if (covers(key, px, py))
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
    default:
        return false;
    }
}

void VX_Layout::letGo(int32_t index)
{
    if (redrawPressed == index) {
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
}

VX_KeyResult VX_Layout::press(int32_t px, int32_t py)
{
    VX_KeyResult out;
    out.reset = VX_KeyResult::TIMER_STOP;
    if (repeatOn)
        out.repeat = VX_KeyResult::TIMER_STOP;
    const int32_t hit = hitTest(px, py);

    if (pressedKey == -1) {
        // A fresh press anywhere but on the key of the open cycle closes it.
        if (enumKey != -1 && enumKey != hit) {
            closeCycle(keys[enumKey]);
            enumKey = -1;
        }
    } else {
        // The pointer left the held key (or a second press came while held).
        letGo(pressedKey);
        closeCycle(keys[pressedKey]);
    }

    if (hit == keyCount) {
        pressedKey = -1;
        noteRepaint(out);
        return out;
    }

    pressedKey = hit;
    if (drawPressed)
        redrawPressed = hit;
    noteRepaint(out);
    if (!keyAction(keys[hit], out))
        return out;
    out.send = true;
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
    if (pressedKey != -1 && covers(keys[pressedKey], px, py)) {
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
    if (repeatOn)
        out.repeat = VX_KeyResult::TIMER_STOP;
    if (pressedKey != -1) {
        if (releaseAction(keys[pressedKey])) {
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
    }
    if (const VX_Layout *shown = engine->activeLayout()) {
        if (shown->enumKey != -1) {
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
        if (key.charCount[mode] > 1)
            enumKey = pressedKey;
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
        mode = mode == modes - 1 ? 0 : mode + 1;
        // Every key's cycle ends with the mode: a position or an open cycle
        // of the old mode must not make the next tap erase the user's text.
        for (int32_t i = 0; i < keyCount; ++i)
            closeCycle(keys[i]);
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
    VX_Key &key = keys[pressedKey];
    out.send = keyAction(key, out);
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

void VX_Layout::resetEnum()
{
    if (enumKey == -1)
        return;
    closeCycle(keys[enumKey]);
    enumKey = -1;
}
