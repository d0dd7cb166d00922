// The keymap rules the panel types by: which keysyms a character tries,
// where a keysym is typed (no modifier before Shift, keypad keys never),
// and which keycodes are free to bind.
#include <gtest/gtest.h>

#include <vector>

#include "output/VX_Keymap.h"

namespace {

constexpr unsigned long kNone = 0;

// Keycodes 8.. with two keysyms each, as the core protocol gives them.
VX_Keymap makeMap(const std::vector<std::vector<unsigned long>> &rows, int per = 2)
{
    std::vector<unsigned long> syms;
    for (const auto &row : rows)
        for (int i = 0; i < per; ++i)
            syms.push_back(i < static_cast<int>(row.size()) ? row[i] : kNone);
    VX_Keymap map;
    map.assign(8, 8 + static_cast<int>(rows.size()) - 1, per, syms.data());
    return map;
}

TEST(Keymap, KeysymsForCharacters)
{
    struct Case {
        uint32_t cp;
        std::vector<unsigned long> want;
    } cases[] = {
        {'a', {'a'}},
        {'!', {'!'}},
        {0xe9, {0xe9}},                       // Latin-1: the keysym is the code point
        {0x436, {0x6d6, 0x1000436}},          // Cyrillic zhe: legacy keysym, then Unicode
        {0x20ac, {0x20ac, 0x10020ac}},        // euro sign has a legacy keysym of its own
        {0x1f600, {0x101f600}},               // beyond the BMP: Unicode keysym only
        {'\t', {0xff09}},                     // Tab
        {'\n', {0xff0d}},                     // line feed types Return
        {'\r', {0xff0d}},
        {'\b', {0xff08}},                     // BackSpace
        {0x07, {}},                           // other control characters: nothing
        {0x7f, {}},
        {0x85, {}},
        {0xd800, {}},                         // a surrogate is no character
        {0x110000, {}},
    };
    for (const Case &c : cases) {
        unsigned long out[2] = {};
        const int n = VX_Keymap::keysymsFor(c.cp, out);
        EXPECT_EQ(std::vector<unsigned long>(out, out + n), c.want) << "U+" << std::hex << c.cp;
    }
}

TEST(Keymap, FindsPlainBeforeShiftedAndSkipsKeypad)
{
    const VX_Keymap map = makeMap({
        {0xffaa, 0xffaa},  // 8: KP_Multiply
        {'8', '*'},        // 9
        {'a', 'A'},        // 10
        {'A', kNone},      // 11: A without Shift, found before 10's shifted A
        {0xffb1, '1'},     // 12: KP_End / KP_1 style
        {kNone, kNone},    // 13: spare
        {'1', '!'},        // 14
    });
    struct Case {
        unsigned long keysym;
        int keycode;
        bool shift;
    } cases[] = {
        {'a', 10, false}, {'A', 11, false}, {'*', 9, true}, {'1', 14, false},
        {'!', 14, true},  {0xffaa, 0, false}, {'z', 0, false}, {kNone, 0, false},
    };
    for (const Case &c : cases) {
        const VX_Keymap::Place place = map.find(c.keysym);
        EXPECT_EQ(place.keycode, c.keycode) << "keysym 0x" << std::hex << c.keysym;
        EXPECT_EQ(place.shift, c.shift) << "keysym 0x" << std::hex << c.keysym;
    }
}

TEST(Keymap, OnlyTheFirstTwoKeysymsCount)
{
    // The third keysym of a row belongs to another group (AltGr and the
    // like), which a press without modifiers never reaches.
    const VX_Keymap map = makeMap({{'e', 'E', 0x20ac}, {kNone, kNone, kNone}}, 3);
    EXPECT_EQ(map.find(0x20ac).keycode, 0);
    EXPECT_EQ(map.spareKeycodes(), std::vector<int>{9});
}

TEST(Keymap, BindingAndRestoringAKeycodeChangesWhatIsSpare)
{
    VX_Keymap map = makeMap({{'a', 'A'}, {kNone, kNone}, {kNone, kNone}});
    EXPECT_EQ(map.spareKeycodes(), (std::vector<int>{9, 10}));
    map.setKeycode(9, 0x6d6);
    EXPECT_EQ(map.find(0x6d6).keycode, 9);
    EXPECT_FALSE(map.find(0x6d6).shift);
    EXPECT_EQ(map.spareKeycodes(), std::vector<int>{10});
    map.setKeycode(9, kNone);
    EXPECT_EQ(map.find(0x6d6).keycode, 0);
    EXPECT_EQ(map.spareKeycodes(), (std::vector<int>{9, 10}));
    // Outside the map nothing is written.
    map.setKeycode(200, 0x6d6);
    EXPECT_EQ(map.keysymsOf(200), nullptr);
    EXPECT_EQ(map.find(0x6d6).keycode, 0);
}

TEST(Keymap, EmptyMapFindsNothing)
{
    VX_Keymap map;
    EXPECT_EQ(map.find('a').keycode, 0);
    EXPECT_TRUE(map.spareKeycodes().empty());
    map.assign(8, 7, 2, nullptr);
    EXPECT_EQ(map.find('a').keycode, 0);
    EXPECT_EQ(map.keysymsOf(8), nullptr);
}

}  // namespace
