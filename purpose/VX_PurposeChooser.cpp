#include "purpose/VX_PurposeChooser.h"

#include <utility>

namespace {

bool samePlace(const VX_Engine::Place &a, const VX_Engine::Place &b)
{
    return a.row == b.row && a.slot == b.slot && (a.row == VX_LAYOUT_BASIC || a.returnSlot == b.returnSlot);
}

// The basic layout `place` belongs to: itself, or the one an aux layout
// goes back to.
int32_t lettersOf(const VX_Engine::Place &place)
{
    if (place.row == VX_LAYOUT_BASIC)
        return place.slot;
    return place.returnSlot >= 0 ? place.returnSlot : 0;
}

}  // namespace

VX_PurposeChooser::VX_PurposeChooser(const VX_PurposeTable &table, Finder find) : table_(table), find_(std::move(find))
{
}

bool VX_PurposeChooser::target(VX_Purpose purpose, bool isPrivate, const Place &home, Place &to) const
{
    for (const std::string &name : table_.choices(purpose)) {
        for (int32_t row : {VX_LAYOUT_BASIC, VX_LAYOUT_AUX}) {
            const int32_t slot = find_ ? find_(row, name.c_str()) : -1;
            if (slot < 0)
                continue;
            to.row = row;
            to.slot = slot;
            to.returnSlot = row == VX_LAYOUT_AUX ? lettersOf(home) : -1;
            return true;
        }
    }
    if (isPrivate) {
        to.row = VX_LAYOUT_BASIC;
        to.slot = lettersOf(home);
        to.returnSlot = -1;
        return true;
    }
    return false;
}

bool VX_PurposeChooser::fieldChanged(const VX_Field &field, const Place &now, Place &to)
{
    field_ = field;
    const Place home = away_ ? home_ : now;
    Place there;
    if (field.focused && target(field.purpose, field.isPrivate, home, there)) {
        home_ = home;
        away_ = true;
        to = there;
        return !samePlace(there, now);
    }
    if (!away_)
        return false;
    away_ = false;
    to = home_;
    return !samePlace(home_, now);
}

void VX_PurposeChooser::movedByHand(const Place &now)
{
    if (away_ && now.row == VX_LAYOUT_BASIC)
        home_ = now;
}
