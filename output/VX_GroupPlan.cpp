#include "output/VX_GroupPlan.h"

#include <algorithm>

namespace {

constexpr unsigned kRuleBits = 0xc0;      // out-of-range rule of a group info byte
constexpr unsigned kRedirectBits = 0x30;  // redirect group of a group info byte

bool contains(const std::vector<unsigned long> &list, unsigned long keysym)
{
    return std::find(list.begin(), list.end(), keysym) != list.end();
}

// The group `key` types in for effective group `group` beyond its own
// last: its out-of-range rule. -1 when it has no group at all.
int groupInRange(const VX_GroupPlan::Key &key, int group)
{
    if (key.groups <= 0)
        return -1;
    if (group < key.groups)
        return group;
    switch (key.groupInfo & kRuleBits) {
    case VX_GroupPlan::kClampIntoRange:
        return key.groups - 1;
    case VX_GroupPlan::kRedirectIntoRange: {
        const int to = static_cast<int>((key.groupInfo & kRedirectBits) >> 4);
        return to < key.groups ? to : 0;
    }
    default:
        return group % key.groups;
    }
}

}  // namespace

int VX_GroupPlan::freeGroup(const Keyboard &keyboard)
{
    int highest = std::max(0, keyboard.groups);
    for (const Key &key : keyboard.keys)
        highest = std::max(highest, key.groups);
    return highest < kMaxGroups ? highest : -1;
}

bool VX_GroupPlan::holds(const Key &key, int group, unsigned long keysym)
{
    if (group < 0 || group >= kMaxGroups || keysym == 0 || key.groups != group + 1 || key.width < 2 ||
        key.types[group] != kAlphabeticType || key.syms.size() < static_cast<size_t>(key.groups * key.width))
        return false;
    const unsigned long *ours = key.syms.data() + group * key.width;
    for (int level = 0; level < key.width; ++level)
        if (ours[level] != (level < 2 ? keysym : 0))
            return false;
    return true;
}

bool VX_GroupPlan::holdsSpare(const Key &key, int spareType, unsigned long keysym)
{
    if (spareType < 0 || keysym == 0 || key.groups != 1 || key.width < 2 || key.types[0] != spareType ||
        key.syms.size() < static_cast<size_t>(key.width))
        return false;
    for (int level = 0; level < key.width; ++level)
        if (key.syms[static_cast<size_t>(level)] != (level < 2 ? keysym : 0))
            return false;
    return true;
}

VX_GroupPlan::Key VX_GroupPlan::spareKey(const Key &key, int spareType, unsigned long keysym)
{
    Key out;
    out.groups = 1;
    out.width = 2;
    out.groupInfo = (key.groupInfo & (kRuleBits | kRedirectBits)) | 1u;
    out.usable = key.usable;
    out.types[0] = spareType;
    out.syms = {keysym, keysym};
    return out;
}

bool VX_GroupPlan::stillHolds(const Owned &o) const
{
    const Key *key = keyOf(o.keycode);
    return key && (o.spare ? holdsSpare(*key, keyboard_.spareType, o.keysym) : holds(*key, group_, o.keysym));
}

VX_GroupPlan::Key VX_GroupPlan::withOurs(const Key &key, int group, unsigned long keysym)
{
    Key out;
    out.groups = group + 1;
    out.width = std::max(key.width, 2);
    out.groupInfo = (key.groupInfo & (kRuleBits | kRedirectBits)) | static_cast<unsigned>(out.groups);
    out.usable = key.usable;
    out.syms.assign(static_cast<size_t>(out.groups * out.width), 0);
    for (int g = 0; g < out.groups; ++g) {
        unsigned long *to = out.syms.data() + g * out.width;
        if (g == group) {
            out.types[g] = kAlphabeticType;
            to[0] = to[1] = keysym;
            continue;
        }
        const int from = groupInRange(key, g);
        if (from < 0) {
            out.types[g] = kOneLevelType;
            continue;
        }
        out.types[g] = key.types[from];
        for (int level = 0; level < key.width; ++level)
            to[level] = key.syms[static_cast<size_t>(from * key.width + level)];
    }
    return out;
}

VX_GroupPlan::Key VX_GroupPlan::without(const Key &key, int groups)
{
    Key out;
    out.groups = std::max(0, std::min(groups, key.groups));
    out.width = out.groups > 0 ? key.width : 0;
    out.groupInfo = (key.groupInfo & (kRuleBits | kRedirectBits)) | static_cast<unsigned>(out.groups);
    out.usable = key.usable;
    for (int g = 0; g < out.groups; ++g)
        out.types[g] = key.types[g];
    out.syms.assign(key.syms.begin(), key.syms.begin() + out.groups * out.width);
    return out;
}

const VX_GroupPlan::Key *VX_GroupPlan::keyOf(int keycode) const
{
    const int i = keycode - keyboard_.minKeycode;
    return i >= 0 && i < static_cast<int>(keyboard_.keys.size()) ? &keyboard_.keys[static_cast<size_t>(i)] : nullptr;
}

bool VX_GroupPlan::follow(const Keyboard &keyboard)
{
    keyboard_ = keyboard;
    owned_.erase(std::remove_if(owned_.begin(), owned_.end(), [&](const Owned &o) { return !stillHolds(o); }),
                 owned_.end());
    if (std::none_of(owned_.begin(), owned_.end(), [](const Owned &o) { return !o.spare; }))
        group_ = freeGroup(keyboard_);
    return group_ >= 0 || keyboard_.spareType >= 0;
}

void VX_GroupPlan::adopt(const std::vector<uint32_t> &record)
{
    for (size_t i = 1; i + 2 < record.size(); i += 3) {
        const int keycode = static_cast<int>(record[i]);
        const Key *key = keyOf(keycode);
        if (!key || !holdsSpare(*key, keyboard_.spareType, record[i + 2]) || keycodeOf(record[i + 2]) != 0 ||
            isSpare(keycode))
            continue;
        Owned o;
        o.keycode = keycode;
        o.keysym = record[i + 2];
        o.spare = true;
        owned_.push_back(o);
    }
}

void VX_GroupPlan::setWanted(const std::vector<unsigned long> &keysyms)
{
    wanted_.clear();
    for (unsigned long keysym : keysyms)
        if (keysym != 0 && !contains(wanted_, keysym))
            wanted_.push_back(keysym);
}

int VX_GroupPlan::keycodeOf(unsigned long keysym, bool *spare) const
{
    for (const Owned &o : owned_)
        if (o.keysym == keysym) {
            if (spare)
                *spare = o.spare;
            return o.keycode;
        }
    return 0;
}

bool VX_GroupPlan::isSpare(int keycode) const
{
    return std::any_of(owned_.begin(), owned_.end(), [&](const Owned &o) { return o.spare && o.keycode == keycode; });
}

std::vector<VX_GroupPlan::Row> VX_GroupPlan::rows() const
{
    std::vector<Row> rows;
    const bool spareForm = keyboard_.spareType >= 0;
    if (group_ < 0 && !spareForm)
        return rows;
    auto taken = [&](int keycode) {
        return std::any_of(owned_.begin(), owned_.end(), [&](const Owned &o) { return o.keycode == keycode; }) ||
               std::any_of(rows.begin(), rows.end(), [&](const Row &r) { return r.keycode == keycode; });
    };
    // Keycodes without any keysym first (no physical key types anything
    // on them), then the others that may carry our group, in keycode
    // order.
    std::vector<int> spares, others;
    for (size_t i = 0; i < keyboard_.keys.size(); ++i) {
        const Key &key = keyboard_.keys[i];
        const int keycode = keyboard_.minKeycode + static_cast<int>(i);
        if (!key.usable || taken(keycode))
            continue;
        if (key.groups == 0)
            spares.push_back(keycode);
        else if (group_ >= 0 && key.groups <= group_)
            others.push_back(keycode);
    }
    // Without a group of ours the timed fallback needs a few spares.
    if (group_ < 0) {
        const size_t keep = std::min(spares.size(), static_cast<size_t>(kFallbackSpares));
        spares.resize(spares.size() - keep);
    }
    // Without the spare type, spares take our group too, first.
    if (!spareForm) {
        others.insert(others.begin(), spares.begin(), spares.end());
        spares.clear();
    }
    // Then keycodes of ours whose character no layout shown now needs.
    std::vector<const Owned *> stale;
    for (const Owned &o : owned_)
        if (!contains(wanted_, o.keysym))
            stale.push_back(&o);
    size_t nextSpare = 0, nextOther = 0, nextStale = 0;
    for (unsigned long keysym : wanted_) {
        if (keycodeOf(keysym) != 0)
            continue;
        Row row;
        if (nextSpare < spares.size()) {
            row.keycode = spares[nextSpare++];
            row.key = spareKey(*keyOf(row.keycode), keyboard_.spareType, keysym);
        } else if (nextOther < others.size()) {
            row.keycode = others[nextOther++];
            row.key = withOurs(*keyOf(row.keycode), group_, keysym);
        } else if (nextStale < stale.size()) {
            const Owned &o = *stale[nextStale++];
            row.keycode = o.keycode;
            row.key = o.spare ? spareKey(*keyOf(o.keycode), keyboard_.spareType, keysym)
                              : withOurs(without(*keyOf(o.keycode), o.groupsBefore), group_, keysym);
        } else {
            break;
        }
        rows.push_back(row);
    }
    return rows;
}

void VX_GroupPlan::wrote(const std::vector<Row> &rows)
{
    for (const Row &row : rows) {
        const Key *key = keyOf(row.keycode);
        if (!key)
            continue;
        auto it = std::find_if(owned_.begin(), owned_.end(), [&](const Owned &o) { return o.keycode == row.keycode; });
        Owned o;
        o.keycode = row.keycode;
        o.groupsBefore = it != owned_.end() ? it->groupsBefore : key->groups;
        o.spare = holdsSpare(row.key, keyboard_.spareType, row.key.syms.size() > 1 ? row.key.syms[1] : 0);
        o.keysym = o.spare ? row.key.syms[1] : row.key.syms[static_cast<size_t>(group_ * row.key.width)];
        if (it != owned_.end())
            *it = o;
        else
            owned_.push_back(o);
        keyboard_.keys[static_cast<size_t>(row.keycode - keyboard_.minKeycode)] = row.key;
    }
}

std::vector<VX_GroupPlan::Row> VX_GroupPlan::undo()
{
    std::vector<Row> rows;
    for (const Owned &o : owned_) {
        if (o.spare || !stillHolds(o))
            continue;
        Row row;
        row.keycode = o.keycode;
        row.key = without(*keyOf(o.keycode), o.groupsBefore);
        keyboard_.keys[static_cast<size_t>(o.keycode - keyboard_.minKeycode)] = row.key;
        rows.push_back(row);
    }
    owned_.erase(std::remove_if(owned_.begin(), owned_.end(), [](const Owned &o) { return !o.spare; }),
                 owned_.end());
    wanted_.clear();
    group_ = freeGroup(keyboard_);
    return rows;
}

std::vector<uint32_t> VX_GroupPlan::record() const
{
    std::vector<uint32_t> out;
    if (owned_.empty())
        return out;
    // The group only while a key holds it: a record of spares alone
    // names none, so the next panel leaves the user's group lock be.
    const bool group = std::any_of(owned_.begin(), owned_.end(), [](const Owned &o) { return !o.spare; });
    out.push_back(static_cast<uint32_t>(group && group_ >= 0 ? group_ : kMaxGroups));
    for (const Owned &o : owned_) {
        out.push_back(static_cast<uint32_t>(o.keycode));
        out.push_back(static_cast<uint32_t>(o.groupsBefore));
        out.push_back(static_cast<uint32_t>(o.keysym));
    }
    return out;
}

std::vector<VX_GroupPlan::Row> VX_GroupPlan::reclaim(const std::vector<uint32_t> &record, const Keyboard &keyboard)
{
    std::vector<Row> rows;
    if (record.empty() || record[0] >= static_cast<uint32_t>(kMaxGroups))
        return rows;  // no group (only spares, which stay), or not a record of ours
    const int group = static_cast<int>(record[0]);
    for (size_t i = 1; i + 2 < record.size(); i += 3) {
        const int keycode = static_cast<int>(record[i]);
        const int index = keycode - keyboard.minKeycode;
        if (index < 0 || index >= static_cast<int>(keyboard.keys.size()) || record[i + 1] > uint32_t(kMaxGroups))
            continue;
        const Key &key = keyboard.keys[static_cast<size_t>(index)];
        if (!holds(key, group, record[i + 2]))
            continue;
        Row row;
        row.keycode = keycode;
        row.key = without(key, static_cast<int>(record[i + 1]));
        rows.push_back(row);
    }
    return rows;
}
