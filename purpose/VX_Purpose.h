// What a text field says it is for, as a keyboard reads it: the purpose
// of its content (digits, a phone number, an e-mail address, a terminal...)
// and whether what is typed there is private (a password, or text the
// application marks sensitive or hidden). Private fields get no key
// preview, no suggestions and no learning.
#ifndef VEXIL_PURPOSE_VX_PURPOSE_H
#define VEXIL_PURPOSE_VX_PURPOSE_H

#include <cstdint>

// The purposes, in the order and with the values of the Wayland
// text-input content purpose, so a compositor's value converts as it is.
enum VX_Purpose : uint8_t {
    VX_PURPOSE_NORMAL = 0,
    VX_PURPOSE_ALPHA,
    VX_PURPOSE_DIGITS,
    VX_PURPOSE_NUMBER,
    VX_PURPOSE_PHONE,
    VX_PURPOSE_URL,
    VX_PURPOSE_EMAIL,
    VX_PURPOSE_NAME,
    VX_PURPOSE_PASSWORD,
    VX_PURPOSE_PIN,
    VX_PURPOSE_DATE,
    VX_PURPOSE_TIME,
    VX_PURPOSE_DATETIME,
    VX_PURPOSE_TERMINAL,
    VX_PURPOSE_COUNT  // number of purposes; no purpose itself
};

// The field that has the focus, as the board needs to know it.
struct VX_Field {
    bool focused = false;                  // a text field has the focus; the rest is its
    VX_Purpose purpose = VX_PURPOSE_NORMAL;  // what it is for
    bool isPrivate = false;                // password, sensitive or hidden: no preview, suggestions, learning

    bool operator==(const VX_Field &other) const
    {
        return focused == other.focused && purpose == other.purpose && isPrivate == other.isPrivate;
    }
    bool operator!=(const VX_Field &other) const { return !(*this == other); }
};

// The lower-case word of `purpose` ("digits", "email", ...), as the purpose
// file and `vexil-panel --status` write it; "normal" for anything unknown.
const char *vxPurposeName(VX_Purpose purpose);
// The purpose named `word` (as vxPurposeName writes it); false when it
// names none.
bool vxPurposeFromName(const char *word, VX_Purpose &purpose);

// The field a Wayland input method describes with its content type:
// `hint` the bits of the text-input content hint, `purpose` the content
// purpose. An unknown purpose value is a normal field; the password
// purpose and the sensitive-data and hidden-text hints make it private.
VX_Field vxFieldFromContentType(uint32_t hint, uint32_t purpose);

#endif
