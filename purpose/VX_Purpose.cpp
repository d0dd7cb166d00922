#include "purpose/VX_Purpose.h"

#include <cstring>

namespace {

// Indexed by VX_Purpose.
constexpr const char *kNames[VX_PURPOSE_COUNT] = {
    "normal", "alpha", "digits", "number", "phone", "url",      "email",
    "name",   "password", "pin", "date",   "time",  "datetime", "terminal",
};

// Content hint bits that make a field private.
constexpr uint32_t kHintHiddenText = 0x40;
constexpr uint32_t kHintSensitiveData = 0x80;

}  // namespace

const char *vxPurposeName(VX_Purpose purpose)
{
    return purpose < VX_PURPOSE_COUNT ? kNames[purpose] : kNames[VX_PURPOSE_NORMAL];
}

bool vxPurposeFromName(const char *word, VX_Purpose &purpose)
{
    if (!word)
        return false;
    for (int i = 0; i < VX_PURPOSE_COUNT; ++i) {
        if (std::strcmp(word, kNames[i]) == 0) {
            purpose = static_cast<VX_Purpose>(i);
            return true;
        }
    }
    return false;
}

VX_Field vxFieldFromContentType(uint32_t hint, uint32_t purpose)
{
    VX_Field field;
    field.focused = true;
    field.purpose = purpose < VX_PURPOSE_COUNT ? static_cast<VX_Purpose>(purpose) : VX_PURPOSE_NORMAL;
    field.isPrivate = field.purpose == VX_PURPOSE_PASSWORD || (hint & (kHintHiddenText | kHintSensitiveData)) != 0;
    return field;
}
