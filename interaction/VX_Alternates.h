// The alternates of a layout's keys: what a long press on a key offers
// besides what a tap types. A built-in table holds the usual variants of
// the characters of the shipped languages (accented Latin letters, Greek
// tonos and dialytika, Cyrillic ё ъ й ґ є ї, superscripts and fractions of
// the digits, typographic punctuation and currencies), in both cases; a
// file of vexil's own beside a layout ("<name>.alt") replaces the entries
// it names for that layout.
//
// The file: UTF-8 text, one entry a line, blanks between the words. The
// first word is a key's string in one mode as the layout file gives it
// (one character, or a multi-tap key's whole string), the others are what
// the long press offers, in order (each one character or a sequence of
// up to 31 bytes, such as an emoji with a skin tone or a joiner). A line
// with the key alone takes the key's alternates away. Lines starting with
// '#' and blank lines are skipped.
#ifndef VEXIL_INTERACTION_VX_ALTERNATES_H
#define VEXIL_INTERACTION_VX_ALTERNATES_H

#include <array>
#include <cstdint>
#include <vector>

#include "engine/VX_Key.h"
#include "interaction/VX_Popup.h"

class VX_Alternates {
public:
    static constexpr int kKeySize = VX_Key::kCharsSize;             // bytes of a key word, NUL included
    static constexpr int kTextSize = VX_PopupItems::kTextSize;      // bytes of an alternate, NUL included
    static constexpr int kMaxPerKey = VX_PopupItems::kMaxItems;     // alternates on one line
    static constexpr int kMaxEntries = 1024;                        // lines with a key in one file
    static constexpr long kMaxFileBytes = 256 * 1024;              // largest file read

    // Reads the file at `path` (`fileName` names it in messages) in place
    // of any file read before. False, keeping no entry of it, after one
    // diagnostic naming the file and line, when it cannot be read or a
    // line is wrong; the built-in table still serves.
    bool load(const char *path, const char *fileName);
    // Drops the file's entries: the built-in table alone.
    void clear();

    // What a long press on `key` in `mode` offers, into `out` (cleared
    // first): the file's entry for the key's string; else, for a one-
    // character key, that character's alternates; else, for a multi-tap
    // key, its own characters, then the alternates of each. Never the
    // character a one-character key types itself.
    void fill(const VX_Key &key, int32_t mode, VX_PopupItems &out) const;
    // The alternates of `character` (one UTF-8 character or a key string)
    // into `out`, appended: the file's entry, or else the built-in one.
    void append(const char *character, VX_PopupItems &out) const;
    // The built-in alternates of `character`, space-separated; null when it
    // has none.
    static const char *builtIn(const char *character);
    // Calls visit(character, alternates) for every built-in entry.
    template <typename Visit>
    static void forEachBuiltIn(Visit &&visit);

    // Entries read from the file.
    int32_t entryCount() const { return static_cast<int32_t>(entries_.size()); }
    // Key word of entry `index` (0 .. entryCount()-1) and its line in the file.
    const char *entryKey(int32_t index, int32_t &line) const;
    // The file's name as load() was given it; empty before a load.
    const char *fileName() const { return fileName_; }

private:
    struct Entry {
        char key[kKeySize];  // NUL-terminated UTF-8
        int32_t first;       // index of its first alternate in texts_
        int32_t count;       // its alternates; 0 takes the built-in ones away
        int32_t line;        // where the file gave it
    };
    const Entry *find(const char *key) const;

    std::vector<Entry> entries_;                       // in file order, keys distinct
    std::vector<std::array<char, kTextSize>> texts_;   // every entry's alternates, NUL-terminated
    char fileName_[256] = {};                          // the file's name (messages), cut to fit
};

// The built-in table: pairs of a character and its alternates.
struct VX_AltBuiltIn {
    const char *character;
    const char *alternates;  // space-separated
};
extern const VX_AltBuiltIn kVxAltBuiltIn[];
extern const int kVxAltBuiltInCount;

template <typename Visit>
void VX_Alternates::forEachBuiltIn(Visit &&visit)
{
    for (int i = 0; i < kVxAltBuiltInCount; ++i)
        visit(kVxAltBuiltIn[i].character, kVxAltBuiltIn[i].alternates);
}

#endif
