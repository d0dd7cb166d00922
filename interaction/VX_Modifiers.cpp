#include "interaction/VX_Modifiers.h"

int VX_Modifiers::indexOf(uint32_t mod)
{
    for (int i = 0; i < kCount; ++i)
        if (mod == (1u << i))
            return i;
    return -1;
}

void VX_Modifiers::tap(uint32_t mod)
{
    const int i = indexOf(mod);
    if (i < 0)
        return;
    switch (states_[i]) {
    case OFF:
        states_[i] = LATCHED;
        break;
    case LATCHED:
        states_[i] = LOCKED;
        break;
    case LOCKED:
        states_[i] = OFF;
        break;
    }
}

bool VX_Modifiers::consume()
{
    bool changed = false;
    for (State &state : states_) {
        if (state == LATCHED) {
            state = OFF;
            changed = true;
        }
    }
    return changed;
}

void VX_Modifiers::clear()
{
    for (State &state : states_)
        state = OFF;
}

uint32_t VX_Modifiers::active() const
{
    uint32_t mask = 0;
    for (int i = 0; i < kCount; ++i)
        if (states_[i] != OFF)
            mask |= 1u << i;
    return mask;
}

VX_Modifiers::State VX_Modifiers::state(uint32_t mod) const
{
    const int i = indexOf(mod);
    return i < 0 ? OFF : states_[i];
}
