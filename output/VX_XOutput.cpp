#include "output/VX_XOutput.h"

// Qt's headers before Xlib's: Xlib defines macros (None, Bool, Status)
// that Qt's headers use as names.
#include <QString>
#include <QVector>
#include <algorithm>

#include "base/VX_Log.h"
#include "engine/VX_Layout.h"

#include <X11/Xatom.h>
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
    const int keycode = bind(keysyms[0]);
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

int VX_XOutput::bind(unsigned long keysym)
{
    if (spares_.empty())
        return 0;
    const int keycode = spares_.front();
    spares_.erase(spares_.begin());
    spares_.push_back(keycode);
    auto same = [keycode](const std::pair<unsigned long, int> &b) { return b.second == keycode; };
    bound_.erase(std::remove_if(bound_.begin(), bound_.end(), same), bound_.end());
    bound_.emplace_back(keysym, keycode);
    writeKeycode(keycode, keysym);
    setRepeat(keycode, false);
    // The server has the new mapping before the key event arrives, and
    // every client is sent the mapping notification ahead of that event.
    XSync(display_, False);
    return keycode;
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
    keymap_.setKeycode(keycode, keysym);
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
    for (const auto &b : bound_) {
        // Only what is still ours: a keymap loaded meanwhile stays as it is.
        const unsigned long *now = keymap_.keysymsOf(b.second);
        if (now && now[0] == b.first)
            writeKeycode(b.second, NoSymbol);
        setRepeat(b.second, true);
    }
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

unsigned long VX_XOutput::focusedWindow()
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    return focus;
}

bool VX_XOutput::reserveBottom(unsigned long window, int x, int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    // _NET_WM_STRUT_PARTIAL: left, right, top, bottom, then the start and
    // end of each edge's span (left y, right y, top x, bottom x).
    long partial[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, x, x + width - 1};
    const Atom strutPartial = XInternAtom(display_, "_NET_WM_STRUT_PARTIAL", False);
    const Atom strut = XInternAtom(display_, "_NET_WM_STRUT", False);
    XChangeProperty(display_, window, strutPartial, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(partial), 12);
    // Older window managers read only the first four values.
    XChangeProperty(display_, window, strut, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(partial), 4);
    XSync(display_, False);
    return true;
}
