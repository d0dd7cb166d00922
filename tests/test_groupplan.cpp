// The rules of the panel's own keyboard group: which group is free, which
// keycodes may carry it, that each of the user's groups types on such a
// keycode what it typed before, that a character keeps its keycode, that
// only what still holds our keysym goes back, and what a killed panel left
// is taken back only where the keymap still shows it. And the spares: keys
// of their own first, kept at the end, taken on by the next panel.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "output/VX_GroupPlan.h"

namespace {

using Key = VX_GroupPlan::Key;
using Keyboard = VX_GroupPlan::Keyboard;
using Row = VX_GroupPlan::Row;
constexpr int kTwoLevel = 1;
constexpr unsigned long kEf = 0x6c6, kYeru = 0x6d9, kZhe = 0x6d6, kEl = 0x6cc, kPe = 0x6d0;

// A key of `groups` groups of two levels, `syms` group by group.
Key key(std::vector<unsigned long> syms, unsigned groupInfoRule = 0, bool usable = true)
{
    Key k;
    k.groups = static_cast<int>(syms.size() / 2);
    k.width = k.groups ? 2 : 0;
    k.groupInfo = groupInfoRule | static_cast<unsigned>(k.groups);
    for (int g = 0; g < k.groups; ++g)
        k.types[g] = VX_GroupPlan::kAlphabeticType;
    k.syms = syms;
    k.usable = usable;
    return k;
}

// us,ru: 8 a spare, 9 Shift (a modifier), 10 a/ф, 11 s/ы, 12 a key of one
// group (Escape), 13 another spare.
Keyboard usRu()
{
    Keyboard kb;
    kb.minKeycode = 8;
    kb.keys = {key({}), key({0xffe1, 0xffe1}, 0, false), key({'a', 'A', kEf, 0x6e6}), key({'s', 'S', kYeru, 0x6f9}),
               key({0xff1b, 0}), key({})};
    kb.keys[4].types[0] = kTwoLevel;
    kb.groups = 2;
    return kb;
}

std::string show(const Key &k)
{
    std::ostringstream out;
    out << k.groups << " groups, info " << std::hex << k.groupInfo << ":";
    for (int g = 0; g < k.groups; ++g) {
        out << " [t" << std::dec << k.types[g] << std::hex;
        for (int l = 0; l < k.width; ++l)
            out << " " << k.syms[static_cast<size_t>(g * k.width + l)];
        out << "]";
    }
    return out.str();
}

TEST(GroupPlan, TheFreeGroupIsAboveEveryGroupTheKeymapHas)
{
    struct Case {
        int keyboardGroups;
        int keyGroups;  // of one key
        int free;
    } cases[] = {{1, 1, 1}, {2, 2, 2}, {2, 3, 3}, {3, 1, 3}, {4, 2, -1}, {1, 4, -1}, {0, 0, 0}};
    for (const Case &c : cases) {
        Keyboard kb;
        kb.groups = c.keyboardGroups;
        kb.keys.push_back(key(std::vector<unsigned long>(static_cast<size_t>(2 * c.keyGroups), 'x')));
        EXPECT_EQ(VX_GroupPlan::freeGroup(kb), c.free) << c.keyboardGroups << " groups, a key of " << c.keyGroups;
    }
}

TEST(GroupPlan, SparesFirstThenKeysWithoutActionsOrModifiersNeverOthers)
{
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(usRu()));
    EXPECT_EQ(plan.group(), 2);
    plan.setWanted({'a', kZhe, 'z', kEl, kPe, kZhe, 'q'});
    const std::vector<Row> rows = plan.rows();
    std::vector<int> keycodes;
    for (const Row &r : rows)
        keycodes.push_back(r.keycode);
    // Spares 8 and 13, then 10, 11, 12 in order; Shift (9) never; 'q' finds
    // no keycode left.
    EXPECT_EQ(keycodes, (std::vector<int>{8, 13, 10, 11, 12}));
    plan.wrote(rows);
    EXPECT_EQ(plan.keycodeOf('a'), 8);
    EXPECT_EQ(plan.keycodeOf(kZhe), 13);
    EXPECT_EQ(plan.keycodeOf(kPe), 12);
    EXPECT_EQ(plan.keycodeOf('q'), 0);
    EXPECT_TRUE(plan.rows().empty()) << "nothing changes while the layout stays";
}

// Each of the user's groups types on a keycode of ours what it typed before,
// whatever the key's rule for groups beyond its own.
TEST(GroupPlan, TheUserGroupsOfAKeyStayAsTheyTyped)
{
    const unsigned redirectTo0 = VX_GroupPlan::kRedirectIntoRange | 0x00;
    struct Case {
        const char *name;
        Key before;
        std::string after;
    } cases[] = {
        {"spare", key({}), "3 groups, info 3: [t0 0 0] [t0 0 0] [t2 6d6 6d6]"},
        {"two groups", key({'a', 'A', kEf, 0x6e6}), "3 groups, info 3: [t2 61 41] [t2 6c6 6e6] [t2 6d6 6d6]"},
        {"one group, wrap", key({'1', '!'}), "3 groups, info 3: [t2 31 21] [t2 31 21] [t2 6d6 6d6]"},
        {"one group, clamp", key({'1', '!'}, VX_GroupPlan::kClampIntoRange),
         "3 groups, info 43: [t2 31 21] [t2 31 21] [t2 6d6 6d6]"},
        {"one group, redirect", key({'1', '!'}, redirectTo0), "3 groups, info 83: [t2 31 21] [t2 31 21] [t2 6d6 6d6]"},
    };
    for (const Case &c : cases) {
        Keyboard kb;
        kb.groups = 2;
        kb.keys = {c.before, key({'x', 'X', kEl, 0x6ec})};
        VX_GroupPlan plan;
        ASSERT_TRUE(plan.follow(kb));
        plan.setWanted({kZhe});
        const std::vector<Row> rows = plan.rows();
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(show(rows[0].key), c.after) << c.name;
        EXPECT_TRUE(VX_GroupPlan::holds(rows[0].key, 2, kZhe)) << c.name;
        // And back: the key as it was.
        plan.wrote(rows);
        const std::vector<Row> back = plan.undo();
        ASSERT_EQ(back.size(), 1u) << c.name;
        EXPECT_EQ(show(back[0].key), show(c.before)) << c.name;
    }
    // Wrap with three groups of the user: group 2 of a two-group key.
    Key two = key({'a', 'A', kEf, 0x6e6});
    Keyboard kb;
    kb.groups = 3;
    kb.keys = {two, key({'x', 'X', kEl, 0x6ec, 'y', 'Y'})};
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(kb));
    plan.setWanted({kZhe});
    const std::vector<Row> rows = plan.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(show(rows[0].key), "4 groups, info 4: [t2 61 41] [t2 6c6 6e6] [t2 61 41] [t2 6d6 6d6]");
}

TEST(GroupPlan, WhatCountsAsOurs)
{
    Key ours = key({'a', 'A', kEf, 0x6e6, kZhe, kZhe});
    struct Case {
        const char *name;
        Key key;
        int group;
        bool held;
    } cases[] = {
        {"as written", ours, 2, true},
        {"another keysym", key({'a', 'A', kEf, 0x6e6, kEl, kEl}), 2, false},
        {"levels differ", key({'a', 'A', kEf, 0x6e6, kZhe, 'Z'}), 2, false},
        {"another group", ours, 1, false},
        {"a group more", key({'a', 'A', kEf, 0x6e6, kZhe, kZhe, 'q', 'Q'}), 2, false},
        {"no groups", key({}), 2, false},
    };
    cases[0].key.types[2] = VX_GroupPlan::kAlphabeticType;
    for (const Case &c : cases)
        EXPECT_EQ(VX_GroupPlan::holds(c.key, c.group, kZhe), c.held) << c.name;
    Key oneLevel = ours;
    oneLevel.types[2] = VX_GroupPlan::kOneLevelType;
    EXPECT_FALSE(VX_GroupPlan::holds(oneLevel, 2, kZhe)) << "Lock and Shift would not be consumed";
}

// A character keeps its keycode across layouts while keycodes last; when
// they run out, a keycode whose character no layout shown needs is taken.
TEST(GroupPlan, CharactersKeepTheirKeycodesAndOnlyUnneededOnesAreTaken)
{
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(usRu()));
    plan.setWanted({kZhe, kEl, 'a', 'b', 'c'});
    plan.wrote(plan.rows());
    const int zhe = plan.keycodeOf(kZhe), a = plan.keycodeOf('a');
    // Another layout: zhe and a stay; pe and q take the keycodes of el
    // and b, the first no longer needed.
    const int el = plan.keycodeOf(kEl), b = plan.keycodeOf('b'), c = plan.keycodeOf('c');
    plan.setWanted({'a', kPe, kZhe, 'q', 'c'});
    const std::vector<Row> rows = plan.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].keycode, el);
    EXPECT_EQ(rows[1].keycode, b);
    plan.wrote(rows);
    EXPECT_EQ(plan.keycodeOf(kZhe), zhe);
    EXPECT_EQ(plan.keycodeOf('a'), a);
    EXPECT_EQ(plan.keycodeOf('c'), c);
    EXPECT_EQ(plan.keycodeOf(kPe), el);
    EXPECT_EQ(plan.keycodeOf('q'), b);
    EXPECT_EQ(plan.keycodeOf('b'), 0);
    // The keycode taken over keeps its user's groups from before ours.
    const std::vector<Row> back = plan.undo();
    for (const Row &r : back)
        if (r.keycode == 10 || r.keycode == 11) {
            EXPECT_EQ(show(r.key), show(usRu().keys[static_cast<size_t>(r.keycode - 8)])) << r.keycode;
        }
}

// Someone loads another keymap or changes a key of ours: what no longer
// holds what we wrote is theirs, and is never undone.
TEST(GroupPlan, FollowsTheKeymapAndUndoesOnlyWhatIsStillOurs)
{
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(usRu()));
    plan.setWanted({kZhe, kEl});
    const std::vector<Row> rows = plan.rows();
    plan.wrote(rows);
    Keyboard now = usRu();
    for (const Row &r : rows)
        now.keys[static_cast<size_t>(r.keycode - 8)] = r.key;
    // The keycode of el is remapped by someone else.
    const int el = plan.keycodeOf(kEl);
    now.keys[static_cast<size_t>(el - 8)] = key({0xffca, 0});
    ASSERT_TRUE(plan.follow(now));
    EXPECT_EQ(plan.keycodeOf(kEl), 0);
    EXPECT_NE(plan.keycodeOf(kZhe), 0);
    const std::vector<Row> back = plan.undo();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].keycode, rows[0].keycode);
    EXPECT_EQ(back[0].key.groups, 0);
    EXPECT_TRUE(plan.owned().empty());
    EXPECT_TRUE(plan.rows().empty()) << "after the undo the plan wants nothing";

    // A new keymap with four groups leaves no group free: nothing is ours.
    Keyboard four = usRu();
    four.keys[2] = key({'a', 'A', kEf, 0x6e6, 'b', 'B', 'c', 'C'});
    VX_GroupPlan full;
    EXPECT_FALSE(full.follow(four));
    full.setWanted({kZhe});
    EXPECT_TRUE(full.rows().empty());
}

// A panel killed outright leaves its record; the next takes back the keys
// that still show what it wrote, each with its groups from before.
TEST(GroupPlan, ReclaimTakesBackOnlyWhatAKilledPanelStillHolds)
{
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(usRu()));
    plan.setWanted({kZhe, kEl, 'a'});
    const std::vector<Row> rows = plan.rows();
    plan.wrote(rows);
    const std::vector<uint32_t> record = plan.record();
    ASSERT_EQ(record.size(), 1u + 3 * 3);
    EXPECT_EQ(record[0], 2u);
    Keyboard now = usRu();
    for (const Row &r : rows)
        now.keys[static_cast<size_t>(r.keycode - 8)] = r.key;
    // Someone remapped the keycode of 'a' meanwhile.
    now.keys[static_cast<size_t>(plan.keycodeOf('a') - 8)] = key({0xffca, 0});
    const std::vector<Row> back = VX_GroupPlan::reclaim(record, now);
    ASSERT_EQ(back.size(), 2u);
    for (const Row &r : back)
        EXPECT_EQ(show(r.key), show(usRu().keys[static_cast<size_t>(r.keycode - 8)])) << r.keycode;
    // Records that cannot be right take nothing.
    const std::vector<std::vector<uint32_t>> bad = {{}, {7, 8, 0, kZhe}, {2, 300, 0, kZhe}, {2, 8, 9, kZhe}};
    for (const auto &r : bad)
        EXPECT_TRUE(VX_GroupPlan::reclaim(r, now).empty()) << r.size();
}

// us,ru with the alphabetic type for spares: 8 and 13 are spares.
Keyboard usRuWithSpares()
{
    Keyboard kb = usRu();
    kb.spareType = VX_GroupPlan::kAlphabeticType;
    return kb;
}

// Characters go to the spares first, as keys of their own (one group,
// the character at both levels: every group and level of the user's
// reaches it); only those beyond the spares take our group on keys of the
// user's. At the end only the keys of our group go back: the spares keep
// their characters for a client that reads late, and the record says so.
TEST(GroupPlan, SparesHoldCharactersAsKeysOfTheirOwnAndStayAtTheEnd)
{
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(usRuWithSpares()));
    plan.setWanted({kZhe, 'a', kEl});
    const std::vector<Row> rows = plan.rows();
    ASSERT_EQ(rows.size(), 3u);
    struct Want {
        int keycode;
        const char *key;
        bool spare;
    } wants[] = {
        {8, "1 groups, info 1: [t2 6d6 6d6]", true},
        {13, "1 groups, info 1: [t2 61 61]", true},
        {10, "3 groups, info 3: [t2 61 41] [t2 6c6 6e6] [t2 6cc 6cc]", false},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].keycode, wants[i].keycode) << i;
        EXPECT_EQ(show(rows[i].key), wants[i].key) << i;
    }
    plan.wrote(rows);
    for (const Want &w : wants) {
        bool spare = !w.spare;
        EXPECT_NE(plan.keycodeOf(w.keycode == 8 ? kZhe : w.keycode == 13 ? 'a' : kEl, &spare), 0);
        EXPECT_EQ(spare, w.spare) << w.keycode;
        EXPECT_EQ(plan.isSpare(w.keycode), w.spare) << w.keycode;
    }
    // The record names our group while a key holds it.
    EXPECT_EQ(plan.record().front(), 2u);
    const std::vector<Row> back = plan.undo();
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].keycode, 10);
    EXPECT_EQ(show(back[0].key), show(usRu().keys[2]));
    EXPECT_EQ(plan.keycodeOf(kZhe), 8) << "a spare stays";
    EXPECT_EQ(plan.keycodeOf(kEl), 0);
    // The record of spares alone names no group, so the next panel leaves
    // the user's group lock be; reclaim() leaves spares alone.
    const std::vector<uint32_t> record = plan.record();
    EXPECT_EQ(record, (std::vector<uint32_t>{VX_GroupPlan::kMaxGroups, 8, 0, kZhe, 13, 0, 'a'}));
    Keyboard now = usRuWithSpares();
    now.keys[0] = rows[0].key;
    now.keys[5] = rows[1].key;
    EXPECT_TRUE(VX_GroupPlan::reclaim(record, now).empty());
}

// The next panel takes on the spares the last one left where they still
// hold its characters: a character keeps its keycode from one panel to the
// next, and a spare is given another character only when keycodes run out.
TEST(GroupPlan, TheNextPanelTakesOnTheSparesItsPredecessorLeft)
{
    const std::vector<uint32_t> record = {VX_GroupPlan::kMaxGroups, 8, 0, kZhe, 13, 0, kEl};
    struct Case {
        const char *name;
        Key at13;            // what keycode 13 holds now
        bool adopted13;      // el is still ours on 13
    } cases[] = {
        {"as left", key({kEl, kEl}), true},
        {"remapped since", key({0xffca, 0xffca}), false},
        {"emptied since", key({}), false},
    };
    for (const Case &c : cases) {
        Keyboard now = usRuWithSpares();
        now.keys[0] = key({kZhe, kZhe});
        now.keys[5] = c.at13;
        VX_GroupPlan plan;
        ASSERT_TRUE(plan.follow(now));
        plan.adopt(record);
        EXPECT_EQ(plan.keycodeOf(kZhe), 8) << c.name;
        EXPECT_EQ(plan.keycodeOf(kEl), c.adopted13 ? 13 : 0) << c.name;
        // Zhe is wanted again: nothing to write for it. Pe takes a free
        // spare if there is one, else a key of the user's in our group
        // before a spare whose character is not wanted.
        plan.setWanted({kZhe, kPe});
        const std::vector<Row> rows = plan.rows();
        ASSERT_EQ(rows.size(), 1u) << c.name;
        EXPECT_EQ(rows[0].keycode, c.adopted13 ? 10 : (c.at13.groups == 0 ? 13 : 10)) << c.name;
    }
    // A record of another kind's keys, or nonsense, adopts nothing.
    Keyboard now = usRuWithSpares();
    now.keys[0] = key({kZhe, kZhe});
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(now));
    plan.adopt({VX_GroupPlan::kMaxGroups, 8, 0, kEl, 300, 0, kZhe, 9});
    EXPECT_TRUE(plan.owned().empty());
}

// A keymap with four groups leaves no group for ours: spares still hold
// characters of their own, all but a few left empty for the fallback.
TEST(GroupPlan, WithoutAFreeGroupSparesStillServeAndSomeStayEmpty)
{
    Keyboard kb = usRuWithSpares();
    kb.keys[2] = key({'a', 'A', kEf, 0x6e6, 'b', 'B', 'c', 'C'});
    for (int i = 0; i < 6; ++i)
        kb.keys.push_back(key({}));  // spares 14..19: eight in all
    VX_GroupPlan plan;
    ASSERT_TRUE(plan.follow(kb));
    EXPECT_EQ(plan.group(), -1);
    plan.setWanted({kZhe, kEl, kPe, 'q', 'w', 'e'});
    const std::vector<Row> rows = plan.rows();
    std::vector<int> keycodes;
    for (const Row &r : rows) {
        keycodes.push_back(r.keycode);
        EXPECT_EQ(r.key.groups, 1) << r.keycode;
    }
    EXPECT_EQ(keycodes, (std::vector<int>{8, 13, 14, 15})) << "four of eight spares left empty";
    // Without the spare type there is nothing to write at all.
    kb.spareType = -1;
    VX_GroupPlan none;
    EXPECT_FALSE(none.follow(kb));
    none.setWanted({kZhe});
    EXPECT_TRUE(none.rows().empty());
}

}  // namespace
