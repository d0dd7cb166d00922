// The keymap of vexil-panel's own virtual keyboard on Wayland: every
// character the shown layout can type sits alone on a keycode of its own,
// at the first level, so no modifier is ever needed; BackSpace, Tab, Return
// and space sit on their usual keys. Named keys (Left, F5, Escape ...) get
// keycodes of their own from the same pool; modifiers go as the masks of
// the keymap's real modifiers, never as keys. The keymap belongs to the panel's
// virtual device only: the user's keyboard and its keymap never change.
//
// Plain code over xkbcommon: it chooses the keycodes and writes the keymap
// text, and the caller uploads it. A character keeps its keycode for as
// long as it stays in the keymap, so a key already sent never changes
// meaning behind the client's back.
#ifndef VEXIL_OUTPUT_VX_WAYLANDKEYMAP_H
#define VEXIL_OUTPUT_VX_WAYLANDKEYMAP_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class VX_WaylandKeymap {
public:
    // XKB keycodes (evdev key code + 8). X11 clients behind XWayland read
    // no keycode above 255, so none above it is used.
    static constexpr int kFirstKeycode = 9;
    static constexpr int kLastKeycode = 255;
    static constexpr int kBackSpace = 22;
    static constexpr int kTab = 23;
    static constexpr int kReturn = 36;
    static constexpr int kSpace = 65;
    // Keycodes left for characters: all of kFirst..kLast but the four above.
    static constexpr int kCapacity = kLastKeycode - kFirstKeycode + 1 - 4;

    // Makes sure every code point of `texts` (UTF-8, any length each) has a
    // keycode. True when the keymap changed and must be uploaded again; false
    // when it already held them all. When the characters kept so far and the
    // new ones do not fit, only those of `texts` stay (at their keycodes).
    // What is no text character (controls) is left out, and so are bytes
    // that start no well-formed character (vxUtf8CodePoints).
    bool cover(const std::vector<std::string> &texts);

    // The XKB keycode that types `cp`, 0 when none does. Tab, line feed and
    // space give their fixed keys.
    int keycodeOf(uint32_t cp) const;
    // Characters on keycodes of their own now.
    size_t size() const { return chars_.size(); }

    // Makes sure the key of XKB `keysym` (a named key such as Left or F5,
    // or the keysym of a character) has a keycode, beside the characters.
    // True when the keymap changed; false when it had one already or no
    // keycode is left.
    bool coverKeysym(uint32_t keysym);
    // The XKB keycode of `keysym`, 0 when the keymap has none.
    int keycodeOfKeysym(uint32_t keysym) const;
    // The modifier mask of VX_Mod bits `mods` in this keymap (its real
    // modifiers Shift, Control, Mod1 for Alt, Mod4 for Super).
    static uint32_t modifierMask(uint32_t mods);

    // The keymap in XKB text form (format XKB_V1) as xkbcommon compiles and
    // writes it, with no trailing NUL; empty when xkbcommon rejects it.
    std::string text() const;

private:
    // The first keycode no fixed key, character or keysym has; 0 when none.
    int freeKeycode(int from) const;

    std::vector<std::pair<uint32_t, int>> chars_;  // (code point, XKB keycode), keycodes distinct
    std::vector<std::pair<uint32_t, int>> keys_;   // (keysym, XKB keycode) of keys that are no character
};

#endif
