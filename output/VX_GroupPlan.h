// Where the characters of the shown layouts live in the X keymap: on
// keycodes that carry no keysym (spares) as keys of their own, else in a
// keyboard group of the panel's own on keys of the user's; which group is
// free, what every other group of such a keycode must hold so that the
// user's own groups type as before, and how each key goes back. Plain code
// over a copy of the server's XKB keyboard, so every rule is tested without
// a server; VX_XOutput writes the rows it gets and latches the group for
// each press of a key of our group, so every key event carries its own
// meaning.
//
// The rules it keeps:
// - A spare keycode given a character holds it as a key of its own: one
//   group of the alphabetic type with the character at both levels, so
//   every group the user locks reaches it (the groups wrap) and Shift and
//   Lock change nothing; the keyboard gets no group more. Such keys stay as
//   they are when the panel ends, so a client that reads a press late,
//   however late, still reads its character; the next panel takes them as
//   its own (adopt()). Spares carry no keysym in the user's keymap, so no
//   key the layout gives a meaning types anything new.
// - Spares come first; keys of the user's carry a group of ours only for
//   the characters the spares cannot hold. With no group free, the spare
//   form leaves kFallbackSpares spares empty for the spare-keycode fallback.
// - Only a group above every group the keymap has is ours, and only when
//   the keymap has fewer than kMaxGroups: the user's groups stay as they are.
// - A keycode carries ours only when it has no key actions and no modifier
//   of its own (keycodes without any keysym first): pressing it in any of
//   the user's groups does what it did.
// - A keycode given a group of ours types in each of the user's groups
//   what it typed there before: the groups between its own last one and
//   ours take the group its out-of-range rule gave them.
// - Our group is of the two-level alphabetic type with the character at
//   both levels, so Shift and Lock select it and are consumed: a held
//   Shift or Caps Lock changes nothing, in any client.
// - A character keeps its keycode while the panel runs; a keycode is given
//   another character only when every keycode is taken, and then one whose
//   character no layout shown now needs.
// - A key goes back only while it still holds exactly what we wrote.
#ifndef VEXIL_OUTPUT_VX_GROUPPLAN_H
#define VEXIL_OUTPUT_VX_GROUPPLAN_H

#include <cstdint>
#include <vector>

class VX_GroupPlan {
public:
    static constexpr int kMaxGroups = 4;        // groups XKB has
    static constexpr int kOneLevelType = 0;     // XKB's canonical type indices
    static constexpr int kAlphabeticType = 2;
    // Out-of-range rules of a key's group info byte (bits 6-7), and where
    // the redirect group sits (bits 4-5) and the group count (bits 0-3).
    static constexpr unsigned kClampIntoRange = 0x40;
    static constexpr unsigned kRedirectIntoRange = 0x80;
    // Spares left empty for the timed fallback when no group is free.
    static constexpr int kFallbackSpares = 4;

    // One keycode as the server has it.
    struct Key {
        int groups = 0;                  // 0..kMaxGroups
        int width = 0;                   // keysyms per group, >= the widest type's levels
        unsigned groupInfo = 0;          // XKB group info byte (rule, redirect group, count)
        int types[kMaxGroups] = {};      // key type index per group
        std::vector<unsigned long> syms; // groups * width keysyms, group by group
        bool usable = false;             // no actions, no modifier bits: may carry a group of ours
    };
    // The server's keyboard: keys[i] is keycode minKeycode + i.
    struct Keyboard {
        int minKeycode = 8;
        int groups = 0;          // groups of the keyboard (its controls), 0..kMaxGroups
        int spareType = -1;      // key type index of the spare form (alphabetic); -1: no spare form
        std::vector<Key> keys;
    };
    // What one keycode is to become: a whole key as the server takes it.
    struct Row {
        int keycode = 0;
        Key key;
    };
    // What a keycode of ours was before and what we wrote (for undoing it,
    // also after a crash).
    struct Owned {
        int keycode = 0;
        int groupsBefore = 0;      // its group count before ours
        unsigned long keysym = 0;  // what our group (or the spare form) holds on it
        bool spare = false;        // a spare in the spare form: kept when the panel ends
    };

    // The group ours would take in `keyboard`: one above its highest; -1
    // when it has kMaxGroups already (then no group is free).
    static int freeGroup(const Keyboard &keyboard);
    // True when `key` holds exactly what this plan writes for `keysym` in
    // group `group`: group + 1 groups, ours of the alphabetic type with
    // the keysym at both levels.
    static bool holds(const Key &key, int group, unsigned long keysym);
    // True when `key` is a spare in the spare form holding `keysym`: one
    // group of type `spareType` with the keysym at both levels.
    static bool holdsSpare(const Key &key, int spareType, unsigned long keysym);

    // Takes the server's keyboard as it is now, after any change by anyone
    // (ours included): keycodes that no longer hold what we wrote, or all
    // of our group when it is not free any more, are the user's again; the
    // rest stays ours. Returns false when neither a group is free nor the
    // keyboard has the spare type (then nothing is ours).
    bool follow(const Keyboard &keyboard);
    // Takes the spares in the spare form that an earlier panel's `record`
    // names and that still hold its keysym as ours (after follow()).
    void adopt(const std::vector<uint32_t> &record);
    // The characters (keysyms) the layouts shown now type: each is given
    // a keycode in our group by rows(), keeping those it has.
    void setWanted(const std::vector<unsigned long> &keysyms);
    // The rows that give every wanted keysym without a keycode one (as far
    // as keycodes reach). The caller writes them and calls wrote().
    std::vector<Row> rows() const;
    // True when a layout shown wants a character (the spare type is needed
    // only then).
    bool wantsAny() const { return !wanted_.empty(); }
    // True when the keyboard last followed has the spare type.
    bool hasSpareType() const { return keyboard_.spareType >= 0; }
    // The rows of rows() are in the keymap now.
    void wrote(const std::vector<Row> &rows);

    // The group of ours (-1 none) and the keycode of `keysym` among ours
    // (0 none); `spare` (if given) says whether it is a spare in the spare
    // form (else a key of our group).
    int group() const { return group_; }
    int keycodeOf(unsigned long keysym, bool *spare = nullptr) const;
    // True when `keycode` is a spare of ours in the spare form.
    bool isSpare(int keycode) const;

    // The rows that give every key of our group back its groups from
    // before, each only while it holds what we wrote; spares in the spare
    // form stay as they are, and ours. The plan then wants nothing.
    std::vector<Row> undo();
    const std::vector<Owned> &owned() const { return owned_; }

    // What we own as a flat list for the server to keep across a crash:
    // group (kMaxGroups: none), then keycode, groups before and keysym per
    // keycode.
    std::vector<uint32_t> record() const;
    // What an earlier panel left, per `record` and the keyboard now: the
    // rows that give back the keys of its group still holding what it
    // wrote (its spares in the spare form stay: see adopt()).
    static std::vector<Row> reclaim(const std::vector<uint32_t> &record, const Keyboard &keyboard);

private:
    const Key *keyOf(int keycode) const;
    // `key` with `group` + 1 groups: the user's kept, those up to ours
    // filled by its out-of-range rule, ours holding `keysym`.
    static Key withOurs(const Key &key, int group, unsigned long keysym);
    // `key` (holding ours) with `groups` groups again.
    static Key without(const Key &key, int groups);
    // A spare holding `keysym` in the spare form.
    static Key spareKey(const Key &key, int spareType, unsigned long keysym);
    // True when `o` still holds what we wrote in `key`.
    bool stillHolds(const Owned &o) const;

    Keyboard keyboard_;                  // the server's keyboard, our rows included
    int group_ = -1;                     // our group; -1 when none is free
    std::vector<Owned> owned_;           // keycodes holding ours now, one per keysym
    std::vector<unsigned long> wanted_;  // keysyms of the layouts shown, no repeats
};

#endif
