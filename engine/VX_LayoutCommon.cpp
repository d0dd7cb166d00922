// [Common] sets the layout's type, key count, modes, key size and timing,
// checks them, and creates the key array the other key sections fill.
#include <new>

#include "base/VX_Log.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"
#include "engine/VX_LayoutLoader.h"

namespace {

// [Common] parameters in the order they are tested. A parameter either
// takes a number into `value` or, without a value, sets `flag`.
struct CommonParameter {
    const char *name;
    int32_t VX_Layout::*value;
    bool VX_Layout::*flag;
};

constexpr CommonParameter kCommonParameters[] = {
    {"type", &VX_Layout::type, nullptr},
    {"alpha", &VX_Layout::charBytes, nullptr},
    {"keys", &VX_Layout::keyCount, nullptr},
    {"mode", &VX_Layout::modes, nullptr},
    {"bwid", &VX_Layout::keyWidth, nullptr},
    {"bhei", &VX_Layout::keyHeight, nullptr},
    {"pixs", &VX_Layout::pixelUnits, nullptr},
    {"tm-period", &VX_Layout::tmPeriod, nullptr},
    {"tm-rate", &VX_Layout::tmRate, nullptr},
    {"tm-enum-rate", &VX_Layout::tmEnumRate, nullptr},
    {"tm-enum-reset", &VX_Layout::tmEnumReset, nullptr},
    {"draw-pressed", &VX_Layout::drawPressed, nullptr},
    {"repeat-on", &VX_Layout::repeatOn, nullptr},
    {"number", nullptr, &VX_Layout::numberLayout},
    {"text", nullptr, &VX_Layout::textLayout},
};

// Out of 0..max when read as unsigned, so a negative value fails too.
bool outOfRange(int32_t value, uint32_t max) { return static_cast<uint32_t>(value) > max; }

}  // namespace

bool VX_LayoutLoader::parseCommon()
{
    for (;;) {
        if (!next(VX_READ_NUMBERS))
            return false;
        if (token.kind != VX_TOKEN_WORD)
            break;
        const CommonParameter *parameter = vxFindKeyword(kCommonParameters, token.text);
        if (!parameter)
            return fail("VX_Layout: unknown parameter '%s' in [Common] section", token.text);
        if (parameter->flag)
            layout.*(parameter->flag) = true;
        else if (!expectNumber(layout.*(parameter->value)))
            return false;
    }

    if (!layout.checkCommon())
        return false;
    // A fresh array: whatever earlier key sections stored is gone.
    VX_Key *created = new (std::nothrow) VX_Key[static_cast<size_t>(layout.keyCount)];
    if (!created) {
        vxLog.print("VX_Layout: can't allocate memory for %d keys\n", layout.keyCount);
        return false;
    }
    layout.keys.reset(created);
    layout.namedLinks.clear();  // they named keys of the array just replaced
    return true;
}

bool VX_Layout::checkCommon()
{
    bool valid = true;
    if (outOfRange(type, 1)) {
        vxLog.print("VX_Layout: invalid value for type\n");
        valid = false;
    }
    if (charBytes != 1 && charBytes != 2) {
        vxLog.print("VX_Layout: invalid value for alpha\n");
        valid = false;
    }
    if (modes != 1 && modes != 2) {
        vxLog.print("VX_Layout: invalid value for modes\n");
        valid = false;
    }
    if (keyWidth < 0) {
        vxLog.print("VX_Layout: invalid value for bwid\n");
        valid = false;
    }
    if (keyHeight < 0) {
        vxLog.print("VX_Layout: invalid value for bhei\n");
        valid = false;
    }
    if (outOfRange(pixelUnits, 1)) {
        vxLog.print("VX_Layout: invalid value for pixs\n");
        valid = false;
    }
    if (keyCount == 0) {
        vxLog.print("VX_Layout: keys count not specified\n");
        valid = false;
    } else if (keyCount < 0 || keyCount > kMaxKeys) {
        // The key array is created from this count at once.
        vxLog.print("VX_Layout: invalid value for keys (at most %d)\n", kMaxKeys);
        valid = false;
    }
    return valid;
}
