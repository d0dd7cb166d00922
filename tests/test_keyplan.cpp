// The rules by which the X11 output changes the keymap: which spare keycode
// a missing character gets, that a keycode pressed a moment ago is never
// rebound or emptied, that only what still holds our keysym is undone,
// that a mapping someone else made is left alone, and what a killed panel
// left is taken back only where the keymap still shows it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "output/VX_KeyPlan.h"

namespace {

using Row = VX_KeyPlan::Row;
constexpr int64_t kHold = VX_KeyPlan::kHoldMs;
constexpr unsigned long kZhe = 0x6d6, kPe = 0x6d0, kEl = 0x6cc, kEf = 0x6c6, kF13 = 0xffca;

// Keycodes 8.. with two keysyms each; {} is a spare keycode.
VX_Keymap makeMap(const std::vector<std::vector<unsigned long>> &rows)
{
    std::vector<unsigned long> syms;
    for (const auto &row : rows)
        for (size_t i = 0; i < 2; ++i)
            syms.push_back(i < row.size() ? row[i] : 0);
    VX_Keymap map;
    map.assign(8, 8 + static_cast<int>(rows.size()) - 1, 2, syms.data());
    return map;
}

// 8: a A, 9: spare, 10: b B, 11: spare, 12: spare
VX_Keymap usMap() { return makeMap({{'a', 'A'}, {}, {'b', 'B'}, {}, {}}); }

std::string show(const std::vector<Row> &rows)
{
    std::ostringstream out;
    for (const Row &r : rows)
        out << r.keycode << "=" << std::hex << r.keysym << std::dec << " ";
    return out.str();
}

// Every repeat bit on.
struct AllRepeat {
    unsigned char bits[VX_KeyPlan::kRepeatBytes];
    AllRepeat() { std::fill(bits, bits + sizeof bits, 0xff); }
};

TEST(KeyPlan, WhatCountsAsOurs)
{
    struct Case {
        std::vector<unsigned long> row;
        bool ours;
    } cases[] = {
        {{kZhe, kZhe, 0, 0}, true},     // as the core request writes it
        {{kZhe, 0, 0, 0}, true},        // as a one-level XKB key reads back
        {{kZhe, 0, kZhe, 0}, true},
        {{kF13, 0, 0, 0}, false},       // someone else's keysym
        {{kZhe, 'Z', 0, 0}, false},     // ours plus someone else's level
        {{0, kZhe, 0, 0}, false},       // not at the first level
        {{0, 0, 0, 0}, false},
    };
    for (const Case &c : cases) {
        std::ostringstream row;
        for (unsigned long s : c.row)
            row << std::hex << s << " ";
        EXPECT_EQ(VX_KeyPlan::holds(c.row.data(), 4, kZhe), c.ours) << row.str();
    }
    EXPECT_FALSE(VX_KeyPlan::holds(nullptr, 4, kZhe));
}

TEST(KeyPlan, BindsTheAskedKeysymFirstAndFillsTheOtherSpares)
{
    VX_KeyPlan plan;
    plan.follow(usMap());
    // 'a' is in the keymap; zhe is asked; pe and el are missing too, ef
    // finds no spare left.
    plan.setWanted({'a', kPe, kZhe, kEl, kPe, kEf});
    const VX_KeyPlan::Bind bind = plan.bind(kZhe, 0);
    EXPECT_EQ(show(bind.rows), show({{9, kZhe}, {11, kPe}, {12, kEl}}));
    AllRepeat on;
    EXPECT_EQ(plan.bound(bind.rows, on.bits), (std::vector<int>{9, 11, 12}));
    EXPECT_EQ(plan.find(kPe).keycode, 11);
    EXPECT_EQ(plan.boundCount(), 3u);
    EXPECT_EQ(plan.find('a').keycode, 8);
}

TEST(KeyPlan, NoSpareKeycodeAtAll)
{
    VX_KeyPlan plan;
    plan.follow(makeMap({{'a', 'A'}, {'b', 'B'}}));
    const VX_KeyPlan::Bind bind = plan.bind(kZhe, 0);
    EXPECT_TRUE(bind.rows.empty());
    EXPECT_EQ(bind.waitUntil, 0);
}

// A keycode pressed less than the hold ago keeps its keysym: the next
// missing character takes one that was not pressed, or else waits.
TEST(KeyPlan, APressedKeycodeIsNotReboundDuringItsHold)
{
    VX_KeyPlan plan;
    plan.follow(usMap());
    AllRepeat on;
    plan.bound({{9, kZhe}, {11, kPe}, {12, kEl}}, on.bits);
    const int64_t t = 10000;
    plan.pressed(9, t);
    plan.pressed(11, t + 100);
    // 12 was never pressed: it takes the next one at once.
    EXPECT_EQ(show(plan.bind(kEf, t + 200).rows), show({{12, kEf}}));
    plan.pressed(12, t + 200);
    struct Wait {
        int64_t at;
        std::string rows;   // what the bind gives
        int64_t waitUntil;  // when it gives nothing
    } waits[] = {
        {t + 300, "", t + kHold},                    // all three pressed lately
        {t + kHold - 1, "", t + kHold},
        {t + kHold, show({{9, kEf}}), 0},            // 9's hold is over
        {t + kHold + 150, show({{9, kEf}}), 0},      // least recently bound first
        {t + 5 * kHold, show({{9, kEf}}), 0},
    };
    for (const Wait &w : waits) {
        const VX_KeyPlan::Bind bind = plan.bind(kEf, w.at);
        EXPECT_EQ(show(bind.rows), w.rows) << "at " << w.at - t;
        EXPECT_EQ(bind.waitUntil, w.waitUntil) << "at " << w.at - t;
    }
    // Rebinding one of ours turns nothing off again, and the keycode goes
    // to the back of the reuse order.
    EXPECT_TRUE(plan.bound({{9, kEf}}, on.bits).empty());
    EXPECT_EQ(show(plan.bind('x', t + 10 * kHold).rows), show({{11, 'x'}}));
}

TEST(KeyPlan, UndoesOnlyWhatIsPastItsHoldUnlessForced)
{
    VX_KeyPlan plan;
    plan.follow(usMap());
    unsigned char bits[VX_KeyPlan::kRepeatBytes] = {};
    bits[9 / 8] |= 1u << (9 % 8);  // 9 repeated before, 11 did not
    plan.bound({{9, kZhe}, {11, kPe}}, bits);
    plan.pressed(9, 1000);
    plan.pressed(11, 2000);
    EXPECT_EQ(plan.settledAt(), 2000 + kHold);

    std::vector<VX_KeyPlan::Ended> ended;
    EXPECT_EQ(show(plan.undo(1000 + kHold, false, ended)), show({{9, 0}}));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].keycode, 9);
    EXPECT_TRUE(ended[0].repeatOn);
    EXPECT_EQ(plan.find(kZhe).keycode, 0);
    EXPECT_EQ(plan.boundCount(), 1u);

    ended.clear();
    EXPECT_EQ(show(plan.undo(2000, true, ended)), show({{11, 0}}));
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_FALSE(ended[0].repeatOn) << "its repeat was off before we bound it";
    EXPECT_EQ(plan.boundCount(), 0u);
    EXPECT_EQ(plan.settledAt(), 0);
}

// Someone changes the keymap while we hold bindings.
TEST(KeyPlan, FollowsMappingsMadeByOthers)
{
    struct Case {
        const char *name;
        std::vector<unsigned long> at9;   // what keycode 9 holds afterwards
        bool stillOurs;
    } cases[] = {
        {"untouched", {kZhe, kZhe}, true},
        {"read back as one level", {kZhe, 0}, true},
        {"xmodmap keycode 9 = F13", {kF13, 0}, false},
        {"emptied by someone", {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VX_KeyPlan plan;
        plan.follow(usMap());
        AllRepeat on;
        plan.bound({{9, kZhe}}, on.bits);
        const std::vector<VX_KeyPlan::Ended> lost =
            plan.follow(makeMap({{'a', 'A'}, c.at9, {'b', 'B'}, {}, {}}));
        EXPECT_EQ(plan.boundCount(), c.stillOurs ? 1u : 0u);
        EXPECT_EQ(lost.size(), c.stillOurs ? 0u : 1u);
        if (!lost.empty()) {
            EXPECT_EQ(lost[0].keycode, 9);
            EXPECT_TRUE(lost[0].repeatOn) << "its auto-repeat goes back with the binding";
        }
        // Nothing is emptied that is no longer ours.
        std::vector<VX_KeyPlan::Ended> ended;
        EXPECT_EQ(show(plan.undo(0, true, ended)), c.stillOurs ? show({{9, 0}}) : "");
        // A keycode someone else took is never bound again; one that is
        // empty again is a spare like any other.
        const bool spare9 = c.at9.empty() || c.stillOurs;
        plan.setWanted({kPe, kEl, kEf});
        const std::string rows = show(plan.bind(kPe, 0).rows);
        EXPECT_EQ(rows.find("9=") != std::string::npos, spare9) << rows;
    }
}

TEST(KeyPlan, AKeymapWithNewKeysymsFindsThemThere)
{
    VX_KeyPlan plan;
    plan.follow(usMap());
    EXPECT_EQ(plan.find('q').keycode, 0);
    // setxkbmap fr: 'a' and 'q' change places; the copy follows.
    plan.follow(makeMap({{'q', 'Q'}, {}, {'a', 'A'}, {}, {}}));
    EXPECT_EQ(plan.find('a').keycode, 10);
    EXPECT_EQ(plan.find('q').keycode, 8);
}

TEST(KeyPlan, ReclaimsWhatAKilledPanelLeftWhereTheKeymapStillShowsIt)
{
    VX_KeyPlan before;
    before.follow(usMap());
    unsigned char bits[VX_KeyPlan::kRepeatBytes] = {};
    bits[1] = 0xff;  // keycodes 8..15 repeated
    before.bound({{9, kZhe}, {11, kPe}, {12, kEl}}, bits);
    const std::vector<uint32_t> record = before.record();
    EXPECT_EQ(record, (std::vector<uint32_t>{9, kZhe, 1, 11, kPe, 1, 12, kEl, 1}));

    // Meanwhile keycode 11 was given F13 by the user.
    const VX_Keymap now = makeMap({{'a', 'A'}, {kZhe, 0}, {'b', 'B'}, {kF13, 0}, {kEl, kEl}});
    std::vector<VX_KeyPlan::Ended> ended;
    EXPECT_EQ(show(VX_KeyPlan::reclaim(record, now, ended)), show({{9, 0}, {12, 0}}));
    ASSERT_EQ(ended.size(), 3u);
    for (const VX_KeyPlan::Ended &e : ended)
        EXPECT_TRUE(e.repeatOn) << e.keycode;

    // A record that makes no sense takes nothing.
    struct Bad {
        const char *name;
        std::vector<uint32_t> record;
    } bad[] = {
        {"keycode out of range", {300, kZhe, 1}},
        {"keycode below 8", {3, kZhe, 1}},
        {"cut short", {9, kZhe}},
        {"another keysym there", {9, kPe, 0}},
    };
    for (const Bad &b : bad) {
        ended.clear();
        EXPECT_TRUE(VX_KeyPlan::reclaim(b.record, now, ended).empty()) << b.name;
    }
}

}  // namespace
