#include "output/VX_KeyPlan.h"

#include <algorithm>

namespace {

constexpr int kMinKeycode = 8;    // X keycodes run 8..255
constexpr int kMaxKeycode = 255;

bool repeatBit(const unsigned char *bits, int keycode)
{
    return bits && (bits[keycode / 8] & (1u << (keycode % 8))) != 0;
}

}  // namespace

bool VX_KeyPlan::holds(const unsigned long *row, int perKeycode, unsigned long keysym)
{
    if (!row || perKeycode <= 0 || keysym == 0 || row[0] != keysym)
        return false;
    for (int i = 1; i < perKeycode; ++i)
        if (row[i] != 0 && row[i] != keysym)
            return false;
    return true;
}

const VX_KeyPlan::Binding *VX_KeyPlan::bindingOf(int keycode) const
{
    for (const Binding &b : bindings_)
        if (b.keycode == keycode)
            return &b;
    return nullptr;
}

bool VX_KeyPlan::cold(int keycode, int64_t now) const
{
    const Binding *b = bindingOf(keycode);
    return !b || b->lastPress + kHoldMs <= now;
}

std::vector<VX_KeyPlan::Ended> VX_KeyPlan::follow(const VX_Keymap &keymap)
{
    keymap_ = keymap;
    std::vector<Ended> ended;
    auto lost = [&](const Binding &b) {
        if (holds(keymap_.keysymsOf(b.keycode), keymap_.perKeycode, b.keysym))
            return false;
        ended.push_back({b.keycode, b.repeatWasOn});
        return true;
    };
    bindings_.erase(std::remove_if(bindings_.begin(), bindings_.end(), lost), bindings_.end());
    // The reuse order of keycodes still empty or ours stays; keycodes that
    // have become empty come last.
    const std::vector<int> empty = keymap_.spareKeycodes();
    std::vector<int> order;
    for (int keycode : spares_)
        if (bindingOf(keycode) || std::binary_search(empty.begin(), empty.end(), keycode))
            order.push_back(keycode);
    for (int keycode : empty)
        if (std::find(order.begin(), order.end(), keycode) == order.end())
            order.push_back(keycode);
    spares_.swap(order);
    return ended;
}

void VX_KeyPlan::setWanted(std::vector<unsigned long> keysyms)
{
    std::vector<unsigned long> unique;
    for (unsigned long keysym : keysyms)
        if (keysym != 0 && std::find(unique.begin(), unique.end(), keysym) == unique.end())
            unique.push_back(keysym);
    wanted_.swap(unique);
}

VX_KeyPlan::Bind VX_KeyPlan::bind(unsigned long keysym, int64_t now) const
{
    Bind plan;
    if (keysym == 0 || spares_.empty())
        return plan;
    auto first = std::find_if(spares_.begin(), spares_.end(), [&](int keycode) { return cold(keycode, now); });
    if (first == spares_.end()) {
        // Every spare keycode is ours and was pressed a moment ago: the
        // first whose hold ends.
        int64_t soonest = INT64_MAX;
        for (const Binding &b : bindings_)
            soonest = std::min(soonest, b.lastPress + kHoldMs);
        plan.waitUntil = soonest;
        return plan;
    }
    plan.rows.push_back({*first, keysym});
    // Empty keycodes take the other characters of the layout the keymap
    // lacks, so a run of them meets one mapping change, not one per key.
    auto spare = spares_.begin();
    for (unsigned long other : wanted_) {
        if (other == keysym || keymap_.find(other).keycode != 0)
            continue;
        spare = std::find_if(spare, spares_.end(),
                             [&](int keycode) { return keycode != *first && !bindingOf(keycode); });
        if (spare == spares_.end())
            break;
        plan.rows.push_back({*spare, other});
        ++spare;
    }
    return plan;
}

std::vector<int> VX_KeyPlan::bound(const std::vector<Row> &rows, const unsigned char *autoRepeats)
{
    std::vector<int> repeatOff;
    for (const Row &row : rows) {
        if (row.keycode < kMinKeycode || row.keycode > kMaxKeycode || row.keysym == 0)
            continue;
        auto it = std::find_if(bindings_.begin(), bindings_.end(),
                               [&](const Binding &b) { return b.keycode == row.keycode; });
        if (it != bindings_.end()) {
            it->keysym = row.keysym;
            it->lastPress = kNever;
        } else {
            Binding b;
            b.keycode = row.keycode;
            b.keysym = row.keysym;
            b.repeatWasOn = repeatBit(autoRepeats, row.keycode);
            if (b.repeatWasOn)
                repeatOff.push_back(row.keycode);
            bindings_.push_back(b);
        }
        keymap_.setKeycode(row.keycode, row.keysym);
        auto at = std::find(spares_.begin(), spares_.end(), row.keycode);
        if (at != spares_.end())
            spares_.erase(at);
        spares_.push_back(row.keycode);
    }
    return repeatOff;
}

void VX_KeyPlan::pressed(int keycode, int64_t now)
{
    for (Binding &b : bindings_)
        if (b.keycode == keycode)
            b.lastPress = now;
}

std::vector<VX_KeyPlan::Row> VX_KeyPlan::undo(int64_t now, bool force, std::vector<Ended> &ended)
{
    std::vector<Row> rows;
    auto done = [&](const Binding &b) {
        if (!force && b.lastPress + kHoldMs > now)
            return false;
        if (holds(keymap_.keysymsOf(b.keycode), keymap_.perKeycode, b.keysym)) {
            rows.push_back({b.keycode, 0});
            keymap_.setKeycode(b.keycode, 0);
        }
        ended.push_back({b.keycode, b.repeatWasOn});
        return true;
    };
    bindings_.erase(std::remove_if(bindings_.begin(), bindings_.end(), done), bindings_.end());
    return rows;
}

int64_t VX_KeyPlan::settledAt() const
{
    int64_t at = 0;
    for (const Binding &b : bindings_)
        if (b.lastPress != kNever)
            at = std::max(at, b.lastPress + kHoldMs);
    return at;
}

std::vector<uint32_t> VX_KeyPlan::record() const
{
    std::vector<uint32_t> out;
    for (const Binding &b : bindings_) {
        out.push_back(static_cast<uint32_t>(b.keycode));
        out.push_back(static_cast<uint32_t>(b.keysym));
        out.push_back(b.repeatWasOn ? 1 : 0);
    }
    return out;
}

std::vector<VX_KeyPlan::Row> VX_KeyPlan::reclaim(const std::vector<uint32_t> &record, const VX_Keymap &keymap,
                                                 std::vector<Ended> &ended)
{
    std::vector<Row> rows;
    for (size_t i = 0; i + 2 < record.size(); i += 3) {
        const int keycode = static_cast<int>(record[i]);
        const unsigned long keysym = record[i + 1];
        if (keycode < kMinKeycode || keycode > kMaxKeycode)
            continue;
        const bool seen = std::any_of(ended.begin(), ended.end(), [&](const Ended &e) { return e.keycode == keycode; });
        if (seen)
            continue;
        if (holds(keymap.keysymsOf(keycode), keymap.perKeycode, keysym))
            rows.push_back({keycode, 0});
        ended.push_back({keycode, record[i + 2] != 0});
    }
    return rows;
}
