// The keyboard group of the panel's own in the X keymap: which group is
// free, which keycode carries which character of the shown layouts there,
// what every other group of such a keycode must hold so that the user's
// own groups type as before, and how each key goes back. Plain code over a
// copy of the server's XKB keyboard, so every rule is tested without a
// server; VX_XOutput writes the rows it gets and latches the group for each
// key press, so every key event carries its own meaning.
//
// The rules it keeps:
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
        unsigned long keysym = 0;  // what our group holds on it
    };

    // The group ours would take in `keyboard`: one above its highest; -1
    // when it has kMaxGroups already (then no group is free).
    static int freeGroup(const Keyboard &keyboard);
    // True when `key` holds exactly what this plan writes for `keysym` in
    // group `group`: group + 1 groups, ours of the alphabetic type with
    // the keysym at both levels.
    static bool holds(const Key &key, int group, unsigned long keysym);

    // Takes the server's keyboard as it is now, after any change by anyone
    // (ours included): keycodes that no longer hold what we wrote, or all
    // when our group is not free any more, are the user's again; the rest
    // stays ours. Returns false when no group is free (then nothing is ours).
    bool follow(const Keyboard &keyboard);
    // The characters (keysyms) the layouts shown now type: each is given
    // a keycode in our group by rows(), keeping those it has.
    void setWanted(const std::vector<unsigned long> &keysyms);
    // The rows that give every wanted keysym without a keycode one (as far
    // as keycodes reach). The caller writes them and calls wrote().
    std::vector<Row> rows() const;
    // The rows of rows() are in the keymap now.
    void wrote(const std::vector<Row> &rows);

    // The group of ours (-1 none) and the keycode of `keysym` in it (0 none).
    int group() const { return group_; }
    int keycodeOf(unsigned long keysym) const;

    // The rows that give every keycode of ours back its groups from
    // before, each only while it holds what we wrote; the plan then owns
    // and wants nothing.
    std::vector<Row> undo();
    const std::vector<Owned> &owned() const { return owned_; }

    // What we own as a flat list for the server to keep across a crash:
    // group, then keycode, groups before and keysym per keycode.
    std::vector<uint32_t> record() const;
    // What an earlier panel left, per `record` and the keyboard now: the
    // rows that give back the keycodes still holding what it wrote.
    static std::vector<Row> reclaim(const std::vector<uint32_t> &record, const Keyboard &keyboard);

private:
    const Key *keyOf(int keycode) const;
    // `key` with `group` + 1 groups: the user's kept, those up to ours
    // filled by its out-of-range rule, ours holding `keysym`.
    static Key withOurs(const Key &key, int group, unsigned long keysym);
    // `key` (holding ours) with `groups` groups again.
    static Key without(const Key &key, int groups);

    Keyboard keyboard_;                  // the server's keyboard, our rows included
    int group_ = -1;                     // our group; -1 when none is free
    std::vector<Owned> owned_;           // keycodes holding ours now, one per keysym
    std::vector<unsigned long> wanted_;  // keysyms of the layouts shown, no repeats
};

#endif
