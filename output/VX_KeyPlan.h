// What the X11 output may change in the keyboard mapping, where and when:
// which spare keycode (one that carries no keysym) a character the keymap
// lacks is bound to, when a binding may be reused for another character or
// undone, what counts as still ours, and what an earlier panel that was
// killed left behind. Plain code over a copy of the keymap and a clock in
// milliseconds, so every rule is tested without a server; VX_XOutput only
// applies the rows it gets to the server and reports back.
//
// The rules it keeps:
// - A keycode is rebound or emptied only kHoldMs after its last press. A
//   client decodes a key event with the mapping it holds when it gets to
//   the event, so an application that is busy for a moment would read an
//   earlier press with the new mapping; the next key waits instead.
// - Only a keycode that still holds exactly what we wrote counts as ours:
//   a mapping someone else makes meanwhile is theirs and is never undone.
// - A bound keycode does not auto-repeat; its repeat bit goes back to what
//   it was when the binding ends, however it ends.
#ifndef VEXIL_OUTPUT_VX_KEYPLAN_H
#define VEXIL_OUTPUT_VX_KEYPLAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/VX_Keymap.h"

class VX_KeyPlan {
public:
    // Milliseconds a keycode stays bound as it is after its last press.
    static constexpr int64_t kHoldMs = 3000;
    // Bytes of the server's per-keycode auto-repeat bits (256 keycodes).
    static constexpr int kRepeatBytes = 32;

    struct Row {
        int keycode = 0;          // 8..255
        unsigned long keysym = 0; // what the keycode is to type; 0 empties it
    };
    // What to do for a keysym the keymap lacks.
    struct Bind {
        std::vector<Row> rows;  // bind these, the keysym asked for first; empty: not now
        int64_t waitUntil = 0;  // rows empty: ask again at this time; 0: no spare keycode at all
    };
    // A keycode whose binding has ended and whose auto-repeat is owed back.
    struct Ended {
        int keycode = 0;
        bool repeatOn = false;  // turn its auto-repeat back on
    };

    // True when `row` (perKeycode keysyms) holds what this plan writes for
    // `keysym`: the keysym first, nothing but it and NoSymbol after.
    static bool holds(const unsigned long *row, int perKeycode, unsigned long keysym);

    // Takes the server's mapping as it is now, after any change by anyone
    // (ours included). Bindings that no longer hold what we wrote are the
    // user's from now on: they are dropped and returned, their repeat bit
    // owed back. Keycodes that have become empty join the spares.
    std::vector<Ended> follow(const VX_Keymap &keymap);
    // The keysyms (best one per character) of the layout shown now: a bind
    // fills empty spare keycodes with those the keymap lacks too.
    void setWanted(std::vector<unsigned long> keysyms);

    const VX_Keymap &keymap() const { return keymap_; }
    // Where `keysym` is typed now (our bindings included).
    VX_Keymap::Place find(unsigned long keysym) const { return keymap_.find(keysym); }

    // The rows that give `keysym` a keycode at time `now`: the least
    // recently bound spare whose hold has passed, then empty spares for the
    // other wanted keysyms the keymap lacks.
    Bind bind(unsigned long keysym, int64_t now) const;
    // The output has written `rows`; `autoRepeats` are the server's repeat
    // bits from before (kRepeatBytes). Returns the keycodes whose auto-repeat
    // must be turned off now.
    std::vector<int> bound(const std::vector<Row> &rows, const unsigned char *autoRepeats);
    // A key of `keycode` went out at `now`.
    void pressed(int keycode, int64_t now);

    // The bindings that may be undone at `now` (all of them when `force`),
    // taken out of the plan: the output empties each and puts its repeat
    // bit back. Returns them in `ended`; their rows (keysym 0) in the result.
    std::vector<Row> undo(int64_t now, bool force, std::vector<Ended> &ended);
    // The time at which every binding may be undone (0 when none is held
    // or all may be already).
    int64_t settledAt() const;
    size_t boundCount() const { return bindings_.size(); }

    // What is bound now, as a flat list for the server to keep across a
    // crash: keycode, keysym, repeat bit before (0 or 1), per binding.
    std::vector<uint32_t> record() const;
    // What an earlier panel left, per `record` (as above) and the mapping
    // now: the rows that empty the keycodes still holding what it wrote,
    // and in `ended` every recorded keycode whose repeat bit is owed back.
    static std::vector<Row> reclaim(const std::vector<uint32_t> &record, const VX_Keymap &keymap,
                                    std::vector<Ended> &ended);

private:
    struct Binding {
        int keycode = 0;            // 8..255, a spare keycode
        unsigned long keysym = 0;   // what we wrote there
        int64_t lastPress = kNever; // ms of its last press; kNever if none since bound
        bool repeatWasOn = false;   // its auto-repeat bit before we turned it off
    };
    static constexpr int64_t kNever = INT64_MIN / 2;

    const Binding *bindingOf(int keycode) const;
    // Free to (re)bind at `now`: empty, or ours and past its hold.
    bool cold(int keycode, int64_t now) const;

    VX_Keymap keymap_;                  // the server's mapping, our bindings included
    std::vector<Binding> bindings_;     // what we have bound now, one per keycode
    std::vector<int> spares_;           // empty or ours; front is rebound first
    std::vector<unsigned long> wanted_; // keysyms of the layout shown, no repeats
};

#endif
