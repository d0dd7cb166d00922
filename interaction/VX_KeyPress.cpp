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
bool hasDistinctPressed(const VX_Key &key, int32_t mode)
{
    const VX_Image *pressed = key.pix[mode][VX_PIX_PRESSED];
    return pressed != nullptr && pressed != key.pix[mode][VX_PIX_RELEASED];
}

void closeCycle(VX_Key &key)
{
    key.enumPos = 0;
    key.enumActive = false;
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

int32_t VX_Layout::keyAction(VX_Key &key)
{
    erasePrevious = false;
    switch (key.type) {
    case VX_KEY_ALPHA: {
        const int32_t count = key.charCount[mode];
        if (count > 1)
            erasePrevious = key.enumActive;
        // A position past the string (never left by the cycle itself) starts
        // over rather than read beyond the characters.
        if (key.enumPos < 0 || (count > 0 && key.enumPos >= count))
            key.enumPos = 0;
        sendCode = 0;
        // One whole character; none past the end of the string.
        int length = 0;
        const char *at = vxUtf8At(key.chars[mode], key.enumPos, length);
        std::memcpy(sendText, at, static_cast<size_t>(length));
        sendText[length] = '\0';
        if (count > 0 && ++key.enumPos >= count)
            key.enumPos = 0;
        key.enumActive = true;
        return tmPeriod;
    }
    case VX_KEY_TAB:
        sendCode = 0;
        sendText[0] = '\t';
        sendText[1] = '\0';
        return tmPeriod;
    case VX_KEY_BKS:
        sendCode = VX_CODE_BACKSPACE;
        return tmPeriod;
    case VX_KEY_SPACE:
        sendCode = 0;
        sendText[0] = ' ';
        sendText[1] = '\0';
        return tmPeriod;
    case VX_KEY_ENT:
        sendCode = VX_CODE_RETURN;
        return tmPeriod;
    default:
        return 0;
    }
}

int32_t VX_Layout::press(int32_t px, int32_t py)
{
    const int32_t hit = hitTest(px, py);

    if (pressedKey == -1) {
        // A fresh press anywhere but on the key of the open cycle closes it.
        if (enumKey != -1 && enumKey != hit) {
            closeCycle(keys[enumKey]);
            enumKey = -1;
        }
    } else {
        // The pointer left the held key (or a second press came while held).
        VX_Key &left = keys[pressedKey];
        if (drawPressed && hasDistinctPressed(left, mode))
            redrawReleased = pressedKey;
        closeCycle(left);
    }

    if (hit == keyCount) {
        erasePrevious = false;
        pressChanged = pressedKey != -1;
        pressedKey = -1;
        return 0;
    }

    pressedKey = hit;
    if (drawPressed)
        redrawPressed = hit;
    pressChanged = true;
    const int32_t interval = keyAction(keys[hit]);
    if (interval != 0)
        firstRepeat = true;
    return interval;
}

int32_t VX_Layout::move(int32_t px, int32_t py)
{
    if (pressedKey != -1 && covers(keys[pressedKey], px, py)) {
        erasePrevious = false;
        pressChanged = false;
        return 0;
    }
    return press(px, py);
}

void VX_Layout::release()
{
    if (pressedKey == -1)
        return;
    VX_Key &key = keys[pressedKey];
    if (releaseAction(key)) {
        // Set on the layout that was active at the release: after a switch
        // or link that is the one just left, redrawn whole when shown again.
        fullRedraw = true;
    } else if (drawPressed && hasDistinctPressed(key, mode)) {
        redrawReleased = pressedKey;
    }
    pressedKey = -1;
    pressChanged = true;
}

bool VX_Layout::releaseAction(VX_Key &key)
{
    VX_Engine &e = *engine;
    switch (key.type) {
    case VX_KEY_ALPHA:
        if (key.charCount[mode] > 1)
            enumKey = pressedKey;
        return false;

    case VX_KEY_SWITCH:
        if (type == VX_LAYOUT_BASIC) {
            int32_t next = e.activeSlot + 1;
            if (next >= VX_Engine::kSlots || !e.layouts[VX_LAYOUT_BASIC][next])
                next = 0;
            if (next == e.activeSlot)
                return false;
            e.activeSlot = next;
            return true;
        } else {
            const int32_t back = e.returnSlot;
            // Never return into an empty slot: that would leave no layout
            // on the board and the pointer ignored for good.
            if (back < 0 || back >= VX_Engine::kSlots ||
                !e.layouts[VX_LAYOUT_BASIC][back])
                return false;
            e.activeRow = VX_LAYOUT_BASIC;
            e.activeSlot = back;
            e.returnSlot = -1;
            return true;
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
        const int32_t target = key.linkSlot;
        if (target < 0 || target >= VX_Engine::kSlots || !e.layouts[VX_LAYOUT_AUX][target])
            return false;
        // From an aux layout the way back stays the basic layout the user
        // came from; only a link out of a basic layout sets it.
        if (e.activeRow == VX_LAYOUT_BASIC)
            e.returnSlot = e.activeSlot;
        e.activeRow = VX_LAYOUT_AUX;
        e.activeSlot = target;
        return true;
    }

    default:
        return false;
    }
}

int32_t VX_Layout::repeatStep()
{
    if (pressedKey == -1)
        return 0;
    VX_Key &key = keys[pressedKey];
    keyAction(key);
    if (!firstRepeat)
        return 0;
    firstRepeat = false;
    return key.charCount[mode] <= 1 ? tmRate : tmEnumRate;
}

void VX_Layout::resetEnum()
{
    if (enumKey == -1)
        return;
    closeCycle(keys[enumKey]);
    enumKey = -1;
}
