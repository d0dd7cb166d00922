// Types into the focused X11 window through the XTest extension, on a
// connection of its own. Where the server has XKB, the characters of the
// layouts shown are written once when a layout is shown (VX_GroupPlan
// decides where): on keycodes that carry no keysym as keys of their own,
// beyond those into a keyboard group of the panel's own, whose presses
// latch that group. Every key event carries its own meaning, whatever
// group the user has locked, Caps Lock or a held Shift, however late a
// client reads it, and nothing is rebound while the layout stays. The
// group goes when the panel ends (the user is never left in it); the
// spare keycodes keep their characters, so a client that reads after the
// panel has ended still reads them right.
//
// Other keys (named keys, Ctrl+C, characters no group could take) are
// typed in the user's first group: a key of the keymap that types the
// character without a modifier or with Shift alone, else a spare keycode
// bound for a while; VX_KeyPlan decides which keycode, when it may be
// reused and when undone, and this class applies that to the server:
// - a key that must wait for a spare keycode waits in a queue, with every
//   key after it, drained by a timer: the board never stops; the queue is
//   typed out before the panel ends;
// - every change of the mapping, by anyone, is read before the next key;
// - what is bound is kept in a property of the root window, so a panel
//   that was killed leaves nothing the next one cannot take back;
// - settle() and the destructor empty only keycodes that still hold what
//   we wrote, and give their auto-repeat back.
#ifndef VEXIL_OUTPUT_VX_XOUTPUT_H
#define VEXIL_OUTPUT_VX_XOUTPUT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "output/VX_GroupPlan.h"
#include "output/VX_KeyPlan.h"
#include "output/VX_Keymap.h"
#include "output/VX_Output.h"

typedef struct _XDisplay Display;
class QTimer;

class VX_XOutput : public VX_Output {
public:
    // Quiet time before settle() is due, in milliseconds: by then every
    // binding is past its hold and may be undone.
    static constexpr int kSettleDelayMs = 3000;
    static_assert(kSettleDelayMs >= VX_KeyPlan::kHoldMs, "settle() comes after the hold");
    // Longest wait at the exit for the last keys to be read, in ms: for
    // keys of our group and spare keycodes bound for a while, which go
    // back; a session that ends the panel does not wait long.
    static constexpr int kExitWaitMs = 1000;
    // Name of the root window property that records what is bound.
    static constexpr const char *kRecordProperty = "_VEXIL_PANEL_KEYS";

    // Connects to `displayName` (null: $DISPLAY). On failure ok() is false
    // and error() says why; nothing else may be called then.
    explicit VX_XOutput(const char *displayName = nullptr);
    // Types the keys still queued, waiting as long as it takes; then takes
    // the group of ours out of the keymap and undoes every binding (giving
    // the last of their keys at most kExitWaitMs to be read); the spares
    // keep their characters, recorded for the next panel.
    ~VX_XOutput() override;
    VX_XOutput(const VX_XOutput &) = delete;
    VX_XOutput &operator=(const VX_XOutput &) = delete;

    bool ok() const { return display_ != nullptr; }
    const char *error() const { return error_; }

    // --- VX_EditSink: X fields report no text, so a replacement is one
    // BackSpace per character it replaces, then the text.
    void commitText(const char *text) override;
    void replaceBefore(const std::string &before, const char *text) override;
    void sendBackspace() override;
    void sendReturn() override;
    bool askReport(const char *) override { return false; }
    // The modifiers' own keys (Control_L, ...) must be in the keymap and in
    // its modifier map, as they are in every usual one; the key itself is
    // bound like a character when the keymap lacks it.
    void sendStroke(uint32_t keysym, uint32_t mods) override;
    void prepare(const std::vector<std::string> &texts) override;
    int settleDelay() const override { return kSettleDelayMs; }
    // Undoes every binding past its hold.
    void settle() override;

    // Takes back what an earlier panel that was killed left bound: the
    // keycodes its record names that still hold what it wrote. Only for the
    // one panel of the display, before its first key.
    void reclaim();

    // Keycodes bound right now (tests and diagnostics).
    size_t boundCount() const { return plan_.boundCount(); }
    // Name of the root window property that records the group of ours.
    static constexpr const char *kGroupProperty = "_VEXIL_PANEL_GROUP";

    // Reads every event the server has sent: keymap changes, and the
    // user's group lock, which never stays on the group of ours. The host
    // calls it whenever the connection has something to read.
    void poll();
    // The connection's descriptor, for the host to watch; -1 without one.
    int fd() const;

private:
    // One key of the board, as it waits for a spare keycode.
    struct Pending {
        unsigned long keysyms[2] = {0, 0};  // the first the keymap has is typed
        int count = 0;                       // keysyms used: 1 or 2
        bool stroke = false;                 // a stroke: keysyms[0] with `mods` held
        uint32_t mods = 0;                   // VX_Mod bits of a stroke
    };
    static int64_t now();
    // Sends `key` now, or queues it behind the keys that wait.
    void send(const Pending &key);
    void sendKeysym(unsigned long keysym);
    // Sends `key`; false when it must wait for a spare keycode (then
    // nothing went out and waitUntil_ says until when).
    bool attempt(const Pending &key);
    // Sends the queued keys that may go; with `block`, waits for all.
    void drain(bool block);
    // Arms the timer that drains the queue at waitUntil_.
    void retryLater();
    bool stroke(uint32_t keysym, uint32_t mods);
    bool typeKeysyms(const unsigned long *keysyms, int count);
    // The key that types the first of `keysyms` the keymap has, else the
    // first bound to a spare keycode; keycode 0 when there is no spare
    // keycode at all, or (`later` set) when every spare was pressed a
    // moment ago.
    VX_Keymap::Place placeFor(const unsigned long *keysyms, int count, bool &later);
    // Press and release of `keycode`, inside Shift when `shift`, in the
    // user's first group.
    void tap(int keycode, bool shift);
    // The next key event goes in `group` (a group latch).
    void latchGroup(int group);
    // Reads the XKB keyboard as VX_GroupPlan sees it.
    bool readKeyboard(VX_GroupPlan::Keyboard &keyboard);
    // Writes whole keys in one request.
    bool writeKeys(const std::vector<VX_GroupPlan::Row> &rows);
    // Gives the wanted characters without a keycode one in our group.
    void fillGroup();
    void writeGroupRecord();
    void undoGroup();
    void reclaimGroup();
    // Moves the user's locked group off ours, on the way `from` was going.
    void keepUserOffOurGroup(int locked);
    // Waits until the server has handled everything sent so far and reads
    // the mapping anew when anyone changed it since; bindings that are
    // no longer ours get their auto-repeat back.
    void sync();
    // Records `rows` as bound, then binds them, auto-repeat off.
    void applyBind(const std::vector<VX_KeyPlan::Row> &rows);
    // Empties what `rows` name, gives `ended` their auto-repeat back and
    // records what is left bound.
    void applyEnd(const std::vector<VX_KeyPlan::Row> &rows, const std::vector<VX_KeyPlan::Ended> &ended);
    void undoAll(bool force);
    void writeRecord();
    // Sets each row in one request where the server has XKB, so that
    // clients see one mapping change and read it once; else one core
    // request per keycode.
    void writeKeycodes(const std::vector<VX_KeyPlan::Row> &rows);
    bool writeKeycodesXkb(const std::vector<VX_KeyPlan::Row> &rows);
    void writeKeycode(int keycode, unsigned long keysym);
    void setRepeat(int keycode, bool on);
    void readKeymap(VX_Keymap &keymap);

    Display *display_ = nullptr;   // own connection; null when not connected
    const char *error_ = "";       // why the connection failed; static text
    bool xkb_ = false;             // the server has the XKB extension
    int xkbEvent_ = -1;            // event type of XKB events; -1 without XKB
    unsigned long record_ = 0;     // atom of kRecordProperty
    bool keymapStale_ = true;      // the mapping changed since the plan read it
    VX_KeyPlan plan_;              // what is bound where, and the rules for it
    VX_GroupPlan groups_;          // the group of ours: which keycode carries what
    unsigned long groupRecord_ = 0;// atom of kGroupProperty
    int userGroup_ = 0;            // the user's locked group last seen, never ours
    int baseGroup_ = 0;            // the keyboard's base, locked and latched group as last notified
    int lockedGroup_ = 0;
    int latchedGroup_ = 0;
    int64_t lastGroupKey_ = INT64_MIN / 2;  // ms (steady clock) of the last key in our group
    std::deque<Pending> queue_;    // keys waiting for a spare keycode, in the order they came
    int64_t waitUntil_ = 0;        // ms (steady clock) when the first of queue_ may go
    std::unique_ptr<QTimer> retry_;// single shot at waitUntil_; made when first needed
};

#endif
