#include "output/VX_XOutput.h"

// Qt's headers before Xlib's: Xlib defines macros (None, Bool, Status)
// that Qt's headers use as names.
#include <QString>
#include <QVector>
#include <algorithm>
#include <cstring>

#include "base/VX_Log.h"
#include "engine/VX_KeyNames.h"
#include "engine/VX_Layout.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A request the server refused (a window that has gone, say) is reported
// and typing goes on; Xlib's own handler would end the process.
int reportXError(Display *, XErrorEvent *event)
{
    vxLog.print("VX_XOutput: X error %d on request %d\n", event->error_code, event->request_code);
    return 0;
}

}  // namespace

VX_XOutput::VX_XOutput(const char *displayName)
{
    XSetErrorHandler(reportXError);
    Display *display = XOpenDisplay(displayName);
    if (!display) {
        error_ = "cannot connect to the X server";
        return;
    }
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        error_ = "the X server has no XTest extension";
        return;
    }
    display_ = display;
    // Our own presses must reach the server even while it is grabbed by
    // another client (a menu that is open, for one).
    XTestGrabControl(display_, True);
    int xkbOpcode, xkbEvent, xkbError, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    xkb_ = XkbQueryExtension(display_, &xkbOpcode, &xkbEvent, &xkbError, &xkbMajor, &xkbMinor);
    refreshKeymap();
}

VX_XOutput::~VX_XOutput()
{
    if (!display_)
        return;
    settle();
    XCloseDisplay(display_);
}

void VX_XOutput::sendKey(int qkey, const char *text)
{
    if (qkey == VX_CODE_BACKSPACE) {
        const unsigned long keysym = XK_BackSpace;
        typeKeysyms(&keysym, 1);
    } else if (qkey == VX_CODE_RETURN) {
        const unsigned long keysym = XK_Return;
        typeKeysyms(&keysym, 1);
    } else if (qkey == 0 && text) {
        // A byte that starts no character comes out as U+FFFD.
        const QVector<uint> points = QString::fromUtf8(text).toUcs4();
        for (uint cp : points)
            typeCodePoint(cp);
    }
    XFlush(display_);
}

void VX_XOutput::sendStroke(uint32_t keysym, uint32_t mods)
{
    refreshKeymap();
    VX_Keymap::Place key = keymap_.find(keysym);
    if (key.keycode == 0) {
        key.keycode = bindMissing(keysym);
        key.shift = false;
        if (key.keycode == 0) {
            vxLog.print("VX_XOutput: no spare keycode left for keysym 0x%lx\n", static_cast<unsigned long>(keysym));
            return;
        }
    }
    // A keysym at the Shift level (a capital) needs Shift held as well.
    if (key.shift)
        mods |= VX_MOD_SHIFT;
    std::vector<unsigned> held;
    for (uint32_t mod : {VX_MOD_SHIFT, VX_MOD_CONTROL, VX_MOD_ALT, VX_MOD_SUPER}) {
        if (!(mods & mod))
            continue;
        const unsigned long left = vxModifierKeysym(mod);
        int keycode = keymap_.find(left).keycode;
        if (keycode == 0)
            keycode = keymap_.find(left + 1).keycode;  // the right-hand twin
        if (keycode == 0) {
            vxLog.print("VX_XOutput: the keymap has no key for modifier keysym 0x%lx\n", left);
            continue;
        }
        held.push_back(static_cast<unsigned>(keycode));
    }
    for (unsigned keycode : held)
        XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(key.keycode), True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(key.keycode), False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    XFlush(display_);
}

void VX_XOutput::typeCodePoint(uint32_t cp)
{
    unsigned long keysyms[2];
    const int count = VX_Keymap::keysymsFor(cp, keysyms);
    if (count == 0) {
        vxLog.print("VX_XOutput: U+%04X has no key to type it with\n", static_cast<unsigned>(cp));
        return;
    }
    typeKeysyms(keysyms, count);
}

void VX_XOutput::typeKeysyms(const unsigned long *keysyms, int count)
{
    refreshKeymap();
    // A keycode we bound carries the keysym at both levels, so it is found
    // here too, and typing the same character again changes nothing.
    for (int i = 0; i < count; ++i) {
        const VX_Keymap::Place place = keymap_.find(keysyms[i]);
        if (place.keycode != 0) {
            tap(place.keycode, place.shift);
            return;
        }
    }
    const int keycode = bindMissing(keysyms[0]);
    if (keycode == 0) {
        vxLog.print("VX_XOutput: no spare keycode left for keysym 0x%lx\n", keysyms[0]);
        return;
    }
    tap(keycode, false);
}

void VX_XOutput::tap(int keycode, bool shift)
{
    int shiftKeycode = 0;
    if (shift) {
        shiftKeycode = keymap_.find(XK_Shift_L).keycode;
        if (shiftKeycode == 0)
            shiftKeycode = keymap_.find(XK_Shift_R).keycode;
    }
    if (shiftKeycode != 0)
        XTestFakeKeyEvent(display_, static_cast<unsigned>(shiftKeycode), True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), False, CurrentTime);
    if (shiftKeycode != 0)
        XTestFakeKeyEvent(display_, static_cast<unsigned>(shiftKeycode), False, CurrentTime);
}

void VX_XOutput::prepare(const std::vector<std::string> &texts)
{
    prepared_.clear();
    for (const std::string &text : texts) {
        const QVector<uint> points = QString::fromUtf8(text.c_str()).toUcs4();
        for (uint cp : points) {
            unsigned long keysyms[2];
            if (VX_Keymap::keysymsFor(cp, keysyms) > 0 &&
                std::find(prepared_.begin(), prepared_.end(), keysyms[0]) == prepared_.end())
                prepared_.push_back(keysyms[0]);
        }
    }
}

int VX_XOutput::nextSpare(const std::vector<int> &justBound)
{
    for (int keycode : spares_)
        if (std::find(justBound.begin(), justBound.end(), keycode) == justBound.end())
            return keycode;
    return 0;
}

int VX_XOutput::bindMissing(unsigned long keysym)
{
    // The character asked for first, so it has a keycode even when the
    // spare ones do not reach for all.
    std::vector<unsigned long> wanted{keysym};
    for (unsigned long other : prepared_)
        if (other != keysym && keymap_.find(other).keycode == 0)
            wanted.push_back(other);
    std::vector<int> justBound;
    std::vector<std::pair<int, unsigned long>> rows;
    for (unsigned long sym : wanted) {
        const int keycode = nextSpare(justBound);
        if (keycode == 0)
            break;
        justBound.push_back(keycode);
        spares_.erase(std::find(spares_.begin(), spares_.end(), keycode));
        spares_.push_back(keycode);
        auto same = [keycode](const std::pair<unsigned long, int> &b) { return b.second == keycode; };
        bound_.erase(std::remove_if(bound_.begin(), bound_.end(), same), bound_.end());
        bound_.emplace_back(sym, keycode);
            rows.emplace_back(keycode, sym);
        setRepeat(keycode, false);
    }
    if (justBound.empty())
        return 0;
    writeKeycodes(rows);
    // The server has the new mapping before the key event arrives, and
    // every client is sent all the mapping notifications ahead of that
    // event, so the mapping a client fetches for it is the final one.
    XSync(display_, False);
    return justBound.front();
}

void VX_XOutput::writeKeycodes(const std::vector<std::pair<int, unsigned long>> &rows)
{
    if (rows.empty())
        return;
    if (!writeKeycodesXkb(rows))
        for (const auto &row : rows)
            writeKeycode(row.first, row.second);
    for (const auto &row : rows)
        keymap_.setKeycode(row.first, row.second);
}

bool VX_XOutput::writeKeycodesXkb(const std::vector<std::pair<int, unsigned long>> &rows)
{
    if (!xkb_)
        return false;
    XkbDescPtr xkb = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    XkbMapChangesRec changes;
    std::memset(&changes, 0, sizeof changes);
    bool ok = true;
    for (const auto &row : rows) {
        const int keycode = row.first;
        if (keycode < xkb->min_key_code || keycode > xkb->max_key_code) {
            ok = false;
            break;
        }
        if (row.second == NoSymbol) {
            // No group at all: the key carries nothing, as before.
            ok = XkbChangeTypesOfKey(xkb, keycode, 0, XkbGroup1Mask, nullptr, &changes) == Success;
        } else {
            // One group of one level: the keysym with or without Shift.
            int types[XkbNumKbdGroups] = {XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex};
            ok = XkbChangeTypesOfKey(xkb, keycode, 1, XkbGroup1Mask, types, &changes) == Success;
            KeySym *syms = ok ? XkbResizeKeySyms(xkb, keycode, 1) : nullptr;
            ok = syms != nullptr;
            if (ok)
                syms[0] = row.second;
        }
        if (!ok)
            break;
        // The keys between two of ours go out as the server has them.
        const int last = changes.num_key_syms ? changes.first_key_sym + changes.num_key_syms - 1 : keycode;
        const int first = changes.num_key_syms ? std::min<int>(changes.first_key_sym, keycode) : keycode;
        changes.changed |= XkbKeySymsMask;
        changes.first_key_sym = static_cast<KeyCode>(first);
        changes.num_key_syms = static_cast<unsigned char>(std::max(last, keycode) - first + 1);
    }
    if (ok)
        ok = XkbChangeMap(display_, xkb, &changes);
    XkbFreeKeyboard(xkb, 0, True);
    return ok;
}

void VX_XOutput::writeKeycode(int keycode, unsigned long keysym)
{
    const int per = keymap_.perKeycode;
    if (per <= 0)
        return;
    std::vector<KeySym> row(static_cast<size_t>(per), NoSymbol);
    if (keysym != NoSymbol) {
        row[0] = keysym;
        if (per > 1)
            row[1] = keysym;
    }
    XChangeKeyboardMapping(display_, keycode, per, row.data(), 1);
}

void VX_XOutput::setRepeat(int keycode, bool on)
{
    // A bound keycode never repeats on its own: should a release reach the
    // server late, the application must not see the character again.
    // Turned back on only where it was on before.
    if (on) {
        auto was = std::find(repeatOff_.begin(), repeatOff_.end(), keycode);
        if (was == repeatOff_.end())
            return;
        repeatOff_.erase(was);
    } else {
        XKeyboardState state;
        XGetKeyboardControl(display_, &state);
        if (!(state.auto_repeats[keycode / 8] & (1 << (keycode % 8))))
            return;
        if (std::find(repeatOff_.begin(), repeatOff_.end(), keycode) == repeatOff_.end())
            repeatOff_.push_back(keycode);
    }
    XKeyboardControl control;
    control.key = keycode;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display_, KBKey | KBAutoRepeatMode, &control);
}

void VX_XOutput::settle()
{
    if (!display_ || bound_.empty())
        return;
    refreshKeymap();
    std::vector<std::pair<int, unsigned long>> rows;
    for (const auto &b : bound_) {
        // Only what is still ours: a keymap loaded meanwhile stays as it is.
        const unsigned long *now = keymap_.keysymsOf(b.second);
        if (now && now[0] == b.first)
            rows.emplace_back(b.second, NoSymbol);
        setRepeat(b.second, true);
    }
    writeKeycodes(rows);
    bound_.clear();
    XSync(display_, False);
}

void VX_XOutput::refreshKeymap()
{
    // Mapping notifications (ours among them) are the only events this
    // connection gets; each one means the copy may be out of date.
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            keymapStale_ = true;
        }
    }
    if (!keymapStale_)
        return;
    keymapStale_ = false;
    int first = 0, last = 0, per = 0;
    XDisplayKeycodes(display_, &first, &last);
    KeySym *syms = XGetKeyboardMapping(display_, static_cast<KeyCode>(first), last - first + 1, &per);
    if (!syms) {
        keymap_.assign(first, first - 1, 0, nullptr);
        return;
    }
    static_assert(sizeof(KeySym) == sizeof(unsigned long), "KeySym is an unsigned long");
    keymap_.assign(first, last, per, reinterpret_cast<const unsigned long *>(syms));
    XFree(syms);

    // Bindings someone else has overwritten are theirs now.
    auto lost = [this](const std::pair<unsigned long, int> &b) {
        const unsigned long *now = keymap_.keysymsOf(b.second);
        return !now || now[0] != b.first;
    };
    bound_.erase(std::remove_if(bound_.begin(), bound_.end(), lost), bound_.end());
    // Keep the reuse order of the keycodes that are still free or ours,
    // then add keycodes that have become free.
    const std::vector<int> empty = keymap_.spareKeycodes();
    auto usable = [&](int keycode) {
        if (std::binary_search(empty.begin(), empty.end(), keycode))
            return true;
        return std::any_of(bound_.begin(), bound_.end(),
                           [keycode](const std::pair<unsigned long, int> &b) { return b.second == keycode; });
    };
    std::vector<int> order;
    for (int keycode : spares_)
        if (usable(keycode))
            order.push_back(keycode);
    for (int keycode : empty)
        if (std::find(order.begin(), order.end(), keycode) == order.end())
            order.push_back(keycode);
    spares_.swap(order);
}
