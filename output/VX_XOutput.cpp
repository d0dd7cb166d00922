#include "output/VX_XOutput.h"

// Qt's header before Xlib's: Xlib defines macros (None, Bool, Status)
// that Qt's headers use as names.
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/VX_Log.h"
#include "base/VX_Utf8.h"
#include "engine/VX_KeyNames.h"

// Xlib's headers last: they define macros (None, Bool, Status) that other
// headers use as names.
#include <X11/XKBlib.h>
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

// The CARDINAL values of a root window property (empty when none).
static std::vector<uint32_t> readCardinals(Display *display, unsigned long property);

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
    if (xkb_) {
        // A new keymap (setxkbmap) and a changed one come as XKB events;
        // the core MappingNotify comes without asking.
        xkbEvent_ = xkbEvent;
        const unsigned int mask = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display_, XkbUseCoreKbd, mask, mask);
        // The user's group lock, which must never stay on ours.
        // The group state, kept from these events so a key needs no
        // round trip to ask for it.
        const unsigned long groups = XkbGroupStateMask | XkbGroupBaseMask | XkbGroupLockMask | XkbGroupLatchMask;
        XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, groups, groups);
        XkbStateRec state;
        if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success) {
            userGroup_ = state.locked_group;
            baseGroup_ = state.base_group;
            lockedGroup_ = state.locked_group;
            latchedGroup_ = state.latched_group;
        }
    }
    record_ = XInternAtom(display_, kRecordProperty, False);
    groupRecord_ = XInternAtom(display_, kGroupProperty, False);
    sync();
}

VX_XOutput::~VX_XOutput()
{
    if (!display_)
        return;
    // Keys still waiting for a spare keycode are typed first: the panel
    // ends without losing a tap.
    drain(true);
    undoGroup();
    undoAll(true);
    XCloseDisplay(display_);
}

int VX_XOutput::fd() const { return display_ ? ConnectionNumber(display_) : -1; }

void VX_XOutput::poll()
{
    if (display_)
        sync();
}

int64_t VX_XOutput::now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void VX_XOutput::commitText(const char *text)
{
    std::vector<uint32_t> points;
    vxUtf8CodePoints(text, points);
    for (uint32_t cp : points) {
        Pending key;
        key.count = VX_Keymap::keysymsFor(cp, key.keysyms);
        if (key.count == 0)
            vxLog.print("VX_XOutput: U+%04X has no key to type it with\n", static_cast<unsigned>(cp));
        else
            send(key);
    }
    XFlush(display_);
}

void VX_XOutput::replaceBefore(const std::string &before, const char *text)
{
    std::vector<uint32_t> erased;
    vxUtf8CodePoints(before, erased);
    for (size_t i = 0; i < erased.size(); ++i)
        sendKeysym(XK_BackSpace);
    commitText(text);
}

void VX_XOutput::sendBackspace()
{
    sendKeysym(XK_BackSpace);
    XFlush(display_);
}

void VX_XOutput::sendReturn()
{
    sendKeysym(XK_Return);
    XFlush(display_);
}

void VX_XOutput::sendStroke(uint32_t keysym, uint32_t mods)
{
    Pending key;
    key.keysyms[0] = keysym;
    key.count = 1;
    key.stroke = true;
    key.mods = mods;
    send(key);
    XFlush(display_);
}

void VX_XOutput::sendKeysym(unsigned long keysym)
{
    Pending key;
    key.keysyms[0] = keysym;
    key.count = 1;
    send(key);
}

void VX_XOutput::send(const Pending &key)
{
    // Behind a key that waits every key waits, so they all arrive in order.
    if (queue_.empty() && attempt(key))
        return;
    queue_.push_back(key);
    retryLater();
}

bool VX_XOutput::attempt(const Pending &key)
{
    return key.stroke ? stroke(key.keysyms[0], key.mods) : typeKeysyms(key.keysyms, key.count);
}

void VX_XOutput::drain(bool block)
{
    while (!queue_.empty()) {
        if (attempt(queue_.front())) {
            queue_.pop_front();
            continue;
        }
        if (!block) {
            retryLater();
            break;
        }
        XFlush(display_);
        const int64_t wait = waitUntil_ - now();
        if (wait > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    if (queue_.empty() && retry_)
        retry_->stop();
    XFlush(display_);
}

void VX_XOutput::retryLater()
{
    if (!retry_) {
        retry_.reset(new QTimer);
        retry_->setSingleShot(true);
        QObject::connect(retry_.get(), &QTimer::timeout, [this] { drain(false); });
    }
    retry_->start(static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(waitUntil_ - now(), VX_KeyPlan::kHoldMs))));
}

bool VX_XOutput::stroke(uint32_t keysym, uint32_t mods)
{
    const unsigned long sym = keysym;
    bool later = false;
    VX_Keymap::Place key = placeFor(&sym, 1, later);
    if (later)
        return false;
    if (key.keycode == 0)
        return true;
    // A spare of ours types its character at both levels; a keysym at
    // the Shift level of a key of the user's (a capital) needs Shift.
    const bool spare = groups_.isSpare(key.keycode);
    if (key.shift && !spare)
        mods |= VX_MOD_SHIFT;
    std::vector<unsigned> held;
    for (uint32_t mod : {VX_MOD_SHIFT, VX_MOD_CONTROL, VX_MOD_ALT, VX_MOD_SUPER}) {
        if (!(mods & mod))
            continue;
        const unsigned long left = vxModifierKeysym(mod);
        int keycode = plan_.find(left).keycode;
        if (keycode == 0)
            keycode = plan_.find(left + 1).keycode;  // the right-hand twin
        if (keycode == 0) {
            vxLog.print("VX_XOutput: the keymap has no key for modifier keysym 0x%lx\n", left);
            continue;
        }
        held.push_back(static_cast<unsigned>(keycode));
    }
    for (unsigned keycode : held)
        XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    // The key as the keymap's first group has it, whatever group is locked.
    latchGroup(0);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(key.keycode), True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(key.keycode), False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XTestFakeKeyEvent(display_, *it, False, CurrentTime);
    plan_.pressed(key.keycode, now());
    return true;
}

bool VX_XOutput::typeKeysyms(const unsigned long *keysyms, int count)
{
    sync();
    for (int i = 0; i < count; ++i) {
        bool spare = false;
        const int keycode = groups_.keycodeOf(keysyms[i], &spare);
        if (keycode == 0)
            continue;
        // A spare holds the character in its one group, any group the
        // user has locked reaching it; else our group is latched. Both
        // levels alike, Shift and Lock consumed: the press alone says
        // which character it is.
        if (!spare)
            latchGroup(groups_.group());
        XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), True, CurrentTime);
        XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), False, CurrentTime);
        if (!spare)
            lastGroupKey_ = now();
        return true;
    }
    bool later = false;
    const VX_Keymap::Place place = placeFor(keysyms, count, later);
    if (later)
        return false;
    if (place.keycode != 0)
        tap(place.keycode, place.shift);
    return true;
}

VX_Keymap::Place VX_XOutput::placeFor(const unsigned long *keysyms, int count, bool &later)
{
    sync();
    // A keycode we bound carries the keysym too, so it is found here, and
    // typing the same character again changes nothing.
    for (int i = 0; i < count; ++i) {
        const VX_Keymap::Place place = plan_.find(keysyms[i]);
        if (place.keycode != 0)
            return place;
    }
    const VX_KeyPlan::Bind bind = plan_.bind(keysyms[0], now());
    if (!bind.rows.empty()) {
        applyBind(bind.rows);
        VX_Keymap::Place place;
        place.keycode = bind.rows.front().keycode;
        return place;
    }
    if (bind.waitUntil == 0) {
        vxLog.print("VX_XOutput: no spare keycode left for keysym 0x%lx\n", keysyms[0]);
        return VX_Keymap::Place();
    }
    // Every spare keycode was pressed a moment ago: this key waits, in
    // order, until one of them may be bound anew.
    waitUntil_ = bind.waitUntil;
    later = true;
    return VX_Keymap::Place();
}

void VX_XOutput::tap(int keycode, bool shift)
{
    int shiftKeycode = 0;
    if (shift) {
        shiftKeycode = plan_.find(XK_Shift_L).keycode;
        if (shiftKeycode == 0)
            shiftKeycode = plan_.find(XK_Shift_R).keycode;
    }
    if (shiftKeycode != 0)
        XTestFakeKeyEvent(display_, static_cast<unsigned>(shiftKeycode), True, CurrentTime);
    // The core keymap's first two keysyms are those of the first group.
    latchGroup(0);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), True, CurrentTime);
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), False, CurrentTime);
    if (shiftKeycode != 0)
        XTestFakeKeyEvent(display_, static_cast<unsigned>(shiftKeycode), False, CurrentTime);
    plan_.pressed(keycode, now());
}

void VX_XOutput::prepare(const std::vector<std::string> &texts)
{
    std::vector<unsigned long> wanted;
    for (const std::string &text : texts) {
        std::vector<uint32_t> points;
        vxUtf8CodePoints(text, points);
        for (uint32_t cp : points) {
            unsigned long keysyms[2];
            if (VX_Keymap::keysymsFor(cp, keysyms) > 0)
                wanted.push_back(keysyms[0]);
        }
    }
    groups_.setWanted(wanted);
    plan_.setWanted(std::move(wanted));
    sync();
    fillGroup();
}

void VX_XOutput::latchGroup(int group)
{
    if (!xkb_)
        return;
    // The effective group is base + latched + locked, brought into range.
    const int latch = group - baseGroup_ - lockedGroup_;
    if (latch != latchedGroup_)
        XkbLatchGroup(display_, XkbUseCoreKbd, static_cast<unsigned>(latch));
    // The press ends the latch; the server's notification says so.
    latchedGroup_ = latch;
}

bool VX_XOutput::readKeyboard(VX_GroupPlan::Keyboard &keyboard)
{
    if (!xkb_)
        return false;
    const unsigned which = XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask | XkbModifierMapMask |
                           XkbVirtualModMapMask;
    XkbDescPtr xkb = XkbGetMap(display_, which, XkbUseCoreKbd);
    if (!xkb)
        return false;
    // Spares take XKB's alphabetic type, which every keymap has: a type
    // added while clients run is not always read right by those that
    // hold the keymap already.
    keyboard.spareType = VX_GroupPlan::kAlphabeticType;
    keyboard.minKeycode = xkb->min_key_code;
    keyboard.groups = 0;
    keyboard.keys.assign(static_cast<size_t>(xkb->max_key_code - xkb->min_key_code + 1), VX_GroupPlan::Key());
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        VX_GroupPlan::Key &key = keyboard.keys[static_cast<size_t>(keycode - xkb->min_key_code)];
        key.groups = XkbKeyNumGroups(xkb, keycode);
        key.width = XkbKeyGroupsWidth(xkb, keycode);
        key.groupInfo = xkb->map->key_sym_map[keycode].group_info;
        for (int g = 0; g < key.groups && g < VX_GroupPlan::kMaxGroups; ++g)
            key.types[g] = XkbKeyKeyTypeIndex(xkb, keycode, g);
        const KeySym *syms = XkbKeySymsPtr(xkb, keycode);
        key.syms.assign(syms, syms + key.groups * key.width);
        key.usable = !XkbKeyHasActions(xkb, keycode) && xkb->map->modmap[keycode] == 0 &&
                     (!xkb->server || !xkb->server->vmodmap || xkb->server->vmodmap[keycode] == 0);
        keyboard.groups = std::max(keyboard.groups, key.groups);
    }
    XkbFreeKeyboard(xkb, 0, True);
    return true;
}

bool VX_XOutput::writeKeys(const std::vector<VX_GroupPlan::Row> &rows)
{
    if (rows.empty())
        return true;
    // With the key actions: resizing a key looks at them.
    XkbDescPtr xkb = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    XkbMapChangesRec changes;
    std::memset(&changes, 0, sizeof changes);
    bool ok = true;
    int first = 0, last = -1;
    for (const VX_GroupPlan::Row &row : rows) {
        const int keycode = row.keycode;
        const VX_GroupPlan::Key &key = row.key;
        if (keycode < xkb->min_key_code || keycode > xkb->max_key_code) {
            ok = false;
            break;
        }
        int types[XkbNumKbdGroups] = {0, 0, 0, 0};
        for (int g = 0; g < key.groups; ++g)
            types[g] = key.types[g];
        ok = XkbChangeTypesOfKey(xkb, keycode, key.groups, XkbAllGroupsMask, key.groups ? types : nullptr,
                                 &changes) == Success;
        if (!ok)
            break;
        const int width = XkbKeyGroupsWidth(xkb, keycode);
        if (key.groups > 0) {
            KeySym *syms = XkbResizeKeySyms(xkb, keycode, key.groups * width);
            if (!syms) {
                ok = false;
                break;
            }
            for (int g = 0; g < key.groups; ++g)
                for (int level = 0; level < width; ++level)
                    syms[g * width + level] =
                        level < key.width ? key.syms[static_cast<size_t>(g * key.width + level)] : NoSymbol;
        }
        xkb->map->key_sym_map[keycode].group_info = static_cast<unsigned char>(key.groupInfo);
        first = last < first ? keycode : std::min(first, keycode);
        last = std::max(last, keycode);
    }
    if (ok) {
        changes.changed |= XkbKeySymsMask;
        if (changes.num_key_syms) {
            last = std::max(last, changes.first_key_sym + changes.num_key_syms - 1);
            first = std::min<int>(first, changes.first_key_sym);
        }
        changes.first_key_sym = static_cast<KeyCode>(first);
        changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
        ok = XkbChangeMap(display_, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, 0, True);
    // Read back before the next key, whatever the server made of it.
    keymapStale_ = true;
    return ok;
}

void VX_XOutput::fillGroup()
{
    const std::vector<VX_GroupPlan::Row> rows = groups_.rows();
    if (rows.empty())
        return;
    groups_.wrote(rows);
    // Recorded before the change, so a panel killed in between still
    // leaves a record of every keycode it may have touched.
    writeGroupRecord();
    if (!writeKeys(rows))
        vxLog.print("VX_XOutput: the server refused the keyboard group of the panel\n");
    XSync(display_, False);
}

void VX_XOutput::writeGroupRecord()
{
    const Window root = DefaultRootWindow(display_);
    const std::vector<uint32_t> record = groups_.record();
    if (record.empty()) {
        XDeleteProperty(display_, root, groupRecord_);
        return;
    }
    std::vector<long> values(record.begin(), record.end());
    XChangeProperty(display_, root, groupRecord_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(values.data()), static_cast<int>(values.size()));
}

void VX_XOutput::undoGroup()
{
    if (groups_.owned().empty())
        return;
    // The spares stay as they are, so a client however late reads their
    // presses right. Keys of our group go back: a client reads a key event
    // with the keymap it has when it gets to it, so their last presses
    // get a moment to be read first.
    const bool group = std::any_of(groups_.owned().begin(), groups_.owned().end(),
                                   [](const VX_GroupPlan::Owned &o) { return !o.spare; });
    const int64_t wait = group ? std::min<int64_t>(lastGroupKey_ + kExitWaitMs - now(), kExitWaitMs) : 0;
    if (wait > 0) {
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    sync();
    const int ours = groups_.group();
    const std::vector<VX_GroupPlan::Row> rows = groups_.undo();
    writeKeys(rows);
    // The user's lock back on a group the keymap has.
    XkbStateRec state;
    if (group && xkb_ && XkbGetState(display_, XkbUseCoreKbd, &state) == Success && state.locked_group >= ours)
        XkbLockGroup(display_, XkbUseCoreKbd, static_cast<unsigned>(userGroup_));
    // What is left is the spares, for the next panel to take.
    writeGroupRecord();
    XSync(display_, False);
}

void VX_XOutput::keepUserOffOurGroup(int locked)
{
    const int ours = groups_.group();
    if (groups_.owned().empty() || ours <= 0 || locked != ours) {
        if (ours < 0 || locked < ours || groups_.owned().empty())
            userGroup_ = locked;
        return;
    }
    // One step past the user's last group: on round to the first, or
    // back from the first to the last.
    const int next = userGroup_ == ours - 1 ? 0 : ours - 1;
    XkbLockGroup(display_, XkbUseCoreKbd, static_cast<unsigned>(next));
    XFlush(display_);
    userGroup_ = next;
}

static std::vector<uint32_t> readCardinals(Display *display, unsigned long property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<uint32_t> out;
    if (XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 4 * 256, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) != Success)
        return out;
    if (type == XA_CARDINAL && format == 32 && data) {
        // Format 32 comes as longs.
        const long *values = reinterpret_cast<const long *>(data);
        for (unsigned long i = 0; i < count; ++i)
            out.push_back(static_cast<uint32_t>(values[i]));
    }
    if (data)
        XFree(data);
    return out;
}

void VX_XOutput::reclaimGroup()
{
    const std::vector<uint32_t> record = readCardinals(display_, groupRecord_);
    if (record.empty())
        return;
    VX_GroupPlan::Keyboard keyboard;
    if (readKeyboard(keyboard)) {
        const std::vector<VX_GroupPlan::Row> rows = VX_GroupPlan::reclaim(record, keyboard);
        if (!rows.empty()) {
            vxLog.print("VX_XOutput: took back %zu keys of the group an earlier panel left\n", rows.size());
            writeKeys(rows);
        }
        XkbStateRec state;
        if (record[0] < static_cast<uint32_t>(VX_GroupPlan::kMaxGroups) &&
            XkbGetState(display_, XkbUseCoreKbd, &state) == Success && state.locked_group >= static_cast<int>(record[0]))
            XkbLockGroup(display_, XkbUseCoreKbd, 0);
    }
    keymapStale_ = true;
    sync();
    // The spares an earlier panel left holding its characters are ours:
    // a character keeps its keycode from one panel to the next.
    groups_.adopt(record);
    writeGroupRecord();
}

void VX_XOutput::sync()
{
    // After the round trip every notification of a change the server made
    // before it is here; each means the copy may be out of date.
    XSync(display_, False);
    int locked = -1;
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            keymapStale_ = true;
        } else if (xkb_ && event.type == xkbEvent_) {
            const XkbEvent *xkbEvent = reinterpret_cast<XkbEvent *>(&event);
            const int kind = xkbEvent->any.xkb_type;
            if (kind == XkbNewKeyboardNotify || kind == XkbMapNotify)
                keymapStale_ = true;
            else if (kind == XkbStateNotify) {
                baseGroup_ = xkbEvent->state.base_group;
                lockedGroup_ = xkbEvent->state.locked_group;
                latchedGroup_ = xkbEvent->state.latched_group;
                if (xkbEvent->state.changed & XkbGroupLockMask)
                    locked = xkbEvent->state.locked_group;
            }
        }
    }
    if (keymapStale_) {
        keymapStale_ = false;
        VX_Keymap keymap;
        readKeymap(keymap);
        const std::vector<VX_KeyPlan::Ended> lost = plan_.follow(keymap);
        if (!lost.empty())
            applyEnd({}, lost);
        VX_GroupPlan::Keyboard keyboard;
        if (readKeyboard(keyboard)) {
            const size_t owned = groups_.owned().size();
            groups_.follow(keyboard);
            if (groups_.owned().size() < owned)
                vxLog.print("VX_XOutput: %zu keys of the panel's group were changed by another client\n",
                            owned - groups_.owned().size());
            // A new keymap (setxkbmap) has none of ours: the shown layout's
            // characters go into its free group at once.
            fillGroup();
        }
    }
    if (locked >= 0)
        keepUserOffOurGroup(locked);
}

void VX_XOutput::readKeymap(VX_Keymap &keymap)
{
    int first = 0, last = 0, per = 0;
    XDisplayKeycodes(display_, &first, &last);
    KeySym *syms = XGetKeyboardMapping(display_, static_cast<KeyCode>(first), last - first + 1, &per);
    if (!syms) {
        keymap.assign(first, first - 1, 0, nullptr);
        return;
    }
    static_assert(sizeof(KeySym) == sizeof(unsigned long), "KeySym is an unsigned long");
    keymap.assign(first, last, per, reinterpret_cast<const unsigned long *>(syms));
    XFree(syms);
}

void VX_XOutput::applyBind(const std::vector<VX_KeyPlan::Row> &rows)
{
    XKeyboardState state;
    XGetKeyboardControl(display_, &state);
    static_assert(sizeof state.auto_repeats == VX_KeyPlan::kRepeatBytes, "one bit per keycode");
    const std::vector<int> repeatOff =
        plan_.bound(rows, reinterpret_cast<const unsigned char *>(state.auto_repeats));
    // Recorded before the change, so a panel killed in between still
    // leaves a record of every keycode it may have touched.
    writeRecord();
    writeKeycodes(rows);
    // A bound keycode never repeats on its own: should a release reach
    // the server late, the application must not see the character again.
    for (int keycode : repeatOff)
        setRepeat(keycode, false);
    // The server has the new mapping before the key event arrives, and
    // every client is sent the mapping notifications ahead of that event.
    XSync(display_, False);
}

void VX_XOutput::applyEnd(const std::vector<VX_KeyPlan::Row> &rows, const std::vector<VX_KeyPlan::Ended> &ended)
{
    writeKeycodes(rows);
    for (const VX_KeyPlan::Ended &e : ended)
        if (e.repeatOn)
            setRepeat(e.keycode, true);
    writeRecord();
    XSync(display_, False);
}

void VX_XOutput::settle()
{
    if (display_)
        undoAll(false);
}

void VX_XOutput::undoAll(bool force)
{
    if (plan_.boundCount() == 0)
        return;
    sync();
    if (force) {
        // The last keys may still be on their way through a busy client.
        const int64_t wait = std::min<int64_t>(plan_.settledAt() - now(), kExitWaitMs);
        if (wait > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            sync();
        }
    }
    std::vector<VX_KeyPlan::Ended> ended;
    const std::vector<VX_KeyPlan::Row> rows = plan_.undo(now(), force, ended);
    if (!ended.empty())
        applyEnd(rows, ended);
}

void VX_XOutput::reclaim()
{
    reclaimGroup();
    const std::vector<uint32_t> record = readCardinals(display_, record_);
    if (record.empty())
        return;
    std::vector<VX_KeyPlan::Ended> ended;
    const std::vector<VX_KeyPlan::Row> rows = VX_KeyPlan::reclaim(record, plan_.keymap(), ended);
    if (!rows.empty())
        vxLog.print("VX_XOutput: took back %zu keycodes an earlier panel left bound\n", rows.size());
    applyEnd(rows, ended);
    keymapStale_ = true;
    sync();
}

void VX_XOutput::writeRecord()
{
    const Window root = DefaultRootWindow(display_);
    const std::vector<uint32_t> record = plan_.record();
    if (record.empty()) {
        XDeleteProperty(display_, root, record_);
        return;
    }
    std::vector<long> values(record.begin(), record.end());
    XChangeProperty(display_, root, record_, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(values.data()), static_cast<int>(values.size()));
}

void VX_XOutput::writeKeycodes(const std::vector<VX_KeyPlan::Row> &rows)
{
    if (rows.empty())
        return;
    if (!writeKeycodesXkb(rows))
        for (const VX_KeyPlan::Row &row : rows)
            writeKeycode(row.keycode, row.keysym);
}

bool VX_XOutput::writeKeycodesXkb(const std::vector<VX_KeyPlan::Row> &rows)
{
    if (!xkb_)
        return false;
    XkbDescPtr xkb = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    XkbMapChangesRec changes;
    std::memset(&changes, 0, sizeof changes);
    bool ok = true;
    for (const VX_KeyPlan::Row &row : rows) {
        const int keycode = row.keycode;
        if (keycode < xkb->min_key_code || keycode > xkb->max_key_code) {
            ok = false;
            break;
        }
        if (row.keysym == NoSymbol) {
            // No group at all: the key carries nothing, as before.
            ok = XkbChangeTypesOfKey(xkb, keycode, 0, XkbGroup1Mask, nullptr, &changes) == Success;
        } else {
            // One group of one level: the keysym with or without Shift.
            int types[XkbNumKbdGroups] = {XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex, XkbOneLevelIndex};
            ok = XkbChangeTypesOfKey(xkb, keycode, 1, XkbGroup1Mask, types, &changes) == Success;
            KeySym *syms = ok ? XkbResizeKeySyms(xkb, keycode, 1) : nullptr;
            ok = syms != nullptr;
            if (ok)
                syms[0] = row.keysym;
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
    const int per = plan_.keymap().perKeycode;
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
    XKeyboardControl control;
    control.key = keycode;
    control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
    XChangeKeyboardControl(display_, KBKey | KBAutoRepeatMode, &control);
}
