// The keymap of the panel's virtual keyboard on Wayland: every character
// of a layout on a keycode of its own at the first level, fixed keys for
// BackSpace, Tab, Return and space, keycodes kept while their character
// stays, never above 255, and a text that xkbcommon compiles to exactly
// those keys.
#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/VX_Utf8.h"
#include "output/VX_WaylandKeymap.h"

namespace {

struct Compiled {
    Compiled(const std::string &text)
    {
        context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
        keymap = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                            XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (keymap)
            state = xkb_state_new(keymap);
    }
    ~Compiled()
    {
        if (state)
            xkb_state_unref(state);
        if (keymap)
            xkb_keymap_unref(keymap);
        xkb_context_unref(context);
    }
    // What the key types with no modifier, as UTF-8.
    std::string typed(int keycode) const
    {
        char out[16] = {};
        xkb_state_key_get_utf8(state, keycode, out, sizeof out);
        return out;
    }
    xkb_keysym_t keysym(int keycode) const { return xkb_state_key_get_one_sym(state, keycode); }
    xkb_context *context = nullptr;
    xkb_keymap *keymap = nullptr;
    xkb_state *state = nullptr;
};

uint32_t firstCodePoint(const std::string &text)
{
    std::vector<uint32_t> cps;
    vxUtf8CodePoints(text, cps);
    return cps.empty() ? 0 : cps[0];
}

TEST(WaylandKeymap, EveryCharacterTypesItselfWithoutModifiers)
{
    // ASCII, Latin-1, Cyrillic, Greek, a character with no legacy keysym
    // (U+2603) and one outside the basic plane (U+1F600).
    const std::vector<std::string> chars = {"a",         "Z",         "1",        "!",        "\xc3\xa9",
                                            "\xc3\x9f",  "\xd0\xb6",  "\xce\xbb", "\xe2\x98\x83",
                                            "\xf0\x9f\x98\x80", "~"};
    VX_WaylandKeymap keymap;
    EXPECT_TRUE(keymap.cover(chars));
    const Compiled compiled(keymap.text());
    ASSERT_NE(compiled.keymap, nullptr) << keymap.text();
    std::set<int> used;
    for (const std::string &c : chars) {
        const int keycode = keymap.keycodeOf(firstCodePoint(c));
        ASSERT_GE(keycode, VX_WaylandKeymap::kFirstKeycode) << c;
        ASSERT_LE(keycode, VX_WaylandKeymap::kLastKeycode) << c;
        EXPECT_TRUE(used.insert(keycode).second) << c << " shares keycode " << keycode;
        EXPECT_EQ(compiled.typed(keycode), c) << "keycode " << keycode;
    }
    struct Fixed {
        uint32_t cp;
        int keycode;
        xkb_keysym_t keysym;
    } fixed[] = {{'\b', VX_WaylandKeymap::kBackSpace, XKB_KEY_BackSpace},
                 {'\t', VX_WaylandKeymap::kTab, XKB_KEY_Tab},
                 {'\n', VX_WaylandKeymap::kReturn, XKB_KEY_Return},
                 {' ', VX_WaylandKeymap::kSpace, XKB_KEY_space}};
    for (const Fixed &f : fixed) {
        EXPECT_EQ(keymap.keycodeOf(f.cp), f.keycode) << f.cp;
        EXPECT_EQ(compiled.keysym(f.keycode), f.keysym) << f.cp;
        EXPECT_EQ(used.count(f.keycode), 0u) << "a character sits on fixed key " << f.keycode;
    }
    // Keys carry the text with no trailing NUL for the compositor.
    const std::string text = keymap.text();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\0');
}

TEST(WaylandKeymap, ChangesOnlyForMissingCharactersAndKeepsKeycodes)
{
    VX_WaylandKeymap keymap;
    EXPECT_FALSE(keymap.cover({}));
    EXPECT_FALSE(keymap.cover({" ", "\t"})) << "fixed keys need no change";
    EXPECT_TRUE(keymap.cover({"a", "b"}));
    const int a = keymap.keycodeOf('a');
    EXPECT_FALSE(keymap.cover({"b", "a"}));
    // Texts of several characters: each on its own key; controls and bad
    // bytes are left out.
    EXPECT_TRUE(keymap.cover({"xyz", "\x01", "\xff"}));
    EXPECT_EQ(keymap.size(), 5u);
    EXPECT_NE(keymap.keycodeOf('y'), 0);
    EXPECT_EQ(keymap.keycodeOf(0x01), 0);
    EXPECT_EQ(keymap.keycodeOf('a'), a) << "a character kept its keycode";
    // A bad byte inside a text leaves out only itself: what follows it
    // gets its key as on X11.
    EXPECT_TRUE(keymap.cover({"p\xffq\xc3r"}));
    EXPECT_NE(keymap.keycodeOf('q'), 0);
    EXPECT_NE(keymap.keycodeOf('r'), 0);
    EXPECT_EQ(keymap.size(), 8u);
}

TEST(WaylandKeymap, OverflowKeepsOnlyTheNewLayoutAtItsKeycodes)
{
    VX_WaylandKeymap keymap;
    std::vector<std::string> first, second;
    for (uint32_t cp = 0x410; cp < 0x410 + 200; ++cp) {  // Cyrillic and beyond
        std::string s;
        s += static_cast<char>(0xc0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3f));
        first.push_back(s);
    }
    ASSERT_TRUE(keymap.cover(first));
    const int kept = keymap.keycodeOf(0x410);
    for (char c = 'a'; c <= 'z'; ++c)
        second.push_back(std::string(1, c));
    second.push_back(first[0]);
    for (int i = 0; i < 26; ++i)
        second.push_back(std::string(1, static_cast<char>('A' + i)));
    for (int i = 0; i < 10; ++i)
        second.push_back(std::string(1, static_cast<char>('0' + i)));
    ASSERT_GT(keymap.size() + second.size(), static_cast<size_t>(VX_WaylandKeymap::kCapacity));
    ASSERT_TRUE(keymap.cover(second));
    EXPECT_EQ(keymap.size(), second.size());
    EXPECT_EQ(keymap.keycodeOf(0x410), kept);
    EXPECT_EQ(keymap.keycodeOf(0x411), 0) << "dropped: the new layout lacks it";
    const Compiled compiled(keymap.text());
    ASSERT_NE(compiled.keymap, nullptr);
    for (const std::string &c : second) {
        const int keycode = keymap.keycodeOf(firstCodePoint(c));
        ASSERT_LE(keycode, VX_WaylandKeymap::kLastKeycode) << c;
        EXPECT_EQ(compiled.typed(keycode), c);
    }
    // More distinct characters than keycodes: the keymap stays within 255.
    std::vector<std::string> huge;
    for (uint32_t cp = 0x4e00; cp < 0x4e00 + 400; ++cp) {
        std::string s;
        s += static_cast<char>(0xe0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        s += static_cast<char>(0x80 | (cp & 0x3f));
        huge.push_back(s);
    }
    ASSERT_TRUE(keymap.cover(huge));
    EXPECT_EQ(keymap.size(), static_cast<size_t>(VX_WaylandKeymap::kCapacity));
    EXPECT_NE(Compiled(keymap.text()).keymap, nullptr);
}

// Named keys take keycodes beside the characters, each its own keysym in
// the compiled keymap; the keysym of a character finds the character's key.
TEST(WaylandKeymap, NamedKeysGetKeycodesOfTheirOwn)
{
    VX_WaylandKeymap keymap;
    ASSERT_TRUE(keymap.cover({"a", "c"}));
    const int a = keymap.keycodeOf('a');
    const xkb_keysym_t named[] = {XKB_KEY_Left, XKB_KEY_Escape, XKB_KEY_F12, XKB_KEY_Delete, XKB_KEY_KP_1};
    std::set<int> used = {a, keymap.keycodeOf('c')};
    for (xkb_keysym_t keysym : named) {
        SCOPED_TRACE(keysym);
        EXPECT_EQ(keymap.keycodeOfKeysym(keysym), 0);
        EXPECT_TRUE(keymap.coverKeysym(keysym));
        EXPECT_FALSE(keymap.coverKeysym(keysym)) << "once is enough";
        const int keycode = keymap.keycodeOfKeysym(keysym);
        ASSERT_GE(keycode, VX_WaylandKeymap::kFirstKeycode);
        EXPECT_TRUE(used.insert(keycode).second) << "keycode " << keycode << " taken";
    }
    // Keys of characters and the fixed keys are found by keysym too.
    EXPECT_FALSE(keymap.coverKeysym('c'));
    EXPECT_EQ(keymap.keycodeOfKeysym('c'), keymap.keycodeOf('c'));
    EXPECT_EQ(keymap.keycodeOfKeysym(XKB_KEY_BackSpace), VX_WaylandKeymap::kBackSpace);
    EXPECT_EQ(keymap.keycodeOfKeysym(XKB_KEY_Tab), VX_WaylandKeymap::kTab);
    // A character asked by keysym joins the characters and keeps the others.
    EXPECT_TRUE(keymap.coverKeysym('z'));
    EXPECT_EQ(keymap.keycodeOf('a'), a);
    EXPECT_NE(keymap.keycodeOf('z'), 0);
    // New characters never land on a named key's keycode.
    ASSERT_TRUE(keymap.cover({"a", "c", "z", "q", "w", "e"}));
    for (const char *c : {"q", "w", "e"})
        EXPECT_TRUE(used.insert(keymap.keycodeOf(static_cast<uint32_t>(c[0]))).second) << c;

    const Compiled compiled(keymap.text());
    ASSERT_NE(compiled.keymap, nullptr) << keymap.text();
    for (xkb_keysym_t keysym : named)
        EXPECT_EQ(compiled.keysym(keymap.keycodeOfKeysym(keysym)), keysym);
    EXPECT_EQ(compiled.typed(keymap.keycodeOf('z')), "z");
}

TEST(WaylandKeymap, ModifierMasksAreTheRealModifiersOfTheKeymap)
{
    VX_WaylandKeymap keymap;
    ASSERT_TRUE(keymap.cover({"c"}));
    const Compiled compiled(keymap.text());
    ASSERT_NE(compiled.keymap, nullptr);
    const struct {
        uint32_t mods;
        const char *name;
    } cases[] = {{1u << 0, XKB_MOD_NAME_SHIFT},
                 {1u << 1, XKB_MOD_NAME_CTRL},
                 {1u << 2, XKB_MOD_NAME_ALT},
                 {1u << 3, XKB_MOD_NAME_LOGO}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t mask = VX_WaylandKeymap::modifierMask(c.mods);
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(compiled.keymap, c.name);
        ASSERT_NE(index, XKB_MOD_INVALID);
        EXPECT_EQ(mask, 1u << index);
        xkb_state_update_mask(compiled.state, mask, 0, 0, 0, 0, 0);
        EXPECT_EQ(xkb_state_mod_name_is_active(compiled.state, c.name, XKB_STATE_MODS_DEPRESSED), 1);
    }
    EXPECT_EQ(VX_WaylandKeymap::modifierMask(0), 0u);
    EXPECT_EQ(VX_WaylandKeymap::modifierMask((1u << 1) | (1u << 2)), (1u << 2) | (1u << 3));
}

}  // namespace
