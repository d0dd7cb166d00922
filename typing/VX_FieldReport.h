// What the text field the keys go to says of itself at one report (the
// Wayland input method's done): whether one is active, whether it is
// another one than before, and its text around the cursor where it tells.
#ifndef VEXIL_TYPING_VX_FIELDREPORT_H
#define VEXIL_TYPING_VX_FIELDREPORT_H

#include <cstdint>
#include <string>

struct VX_FieldReport {
    bool active = false;    // a text field is active
    bool newField = false;  // it became active since the last report (maybe another field)
    bool hasText = false;   // it reports its surrounding text: `text` and `cursor`
    std::string text;       // that text, UTF-8 as the field gave it
    uint32_t cursor = 0;    // byte offset of the cursor in `text`; clamped to its size
};

#endif
