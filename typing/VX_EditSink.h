// Where a typing session's edits go: one implementation per way of typing
// into another application (X11 through XTest, Wayland through a virtual
// keyboard and the input method). A sink applies each edit to its protocol
// and decides nothing about what to type; every call from one thread.
#ifndef VEXIL_TYPING_VX_EDITSINK_H
#define VEXIL_TYPING_VX_EDITSINK_H

#include <cstdint>
#include <string>

class VX_EditSink {
public:
    virtual ~VX_EditSink() = default;

    // Types `text` (NUL-terminated UTF-8, may be empty) at the cursor.
    virtual void commitText(const char *text) = 0;
    // Replaces `before`, the text the session knows stands just before the
    // cursor (UTF-8), with `text`: as one edit where the protocol has one,
    // else one Backspace per character of `before`, then `text`.
    virtual void replaceBefore(const std::string &before, const char *text) = 0;
    // Presses and releases the key of XKB `keysym` with the modifiers of
    // VX_Mod bits `mods` held around it: the application sees the key.
    virtual void sendStroke(uint32_t keysym, uint32_t mods) = 0;
    // The Backspace key and the Return key.
    virtual void sendBackspace() = 0;
    virtual void sendReturn() = 0;
    // Shows `text` as the field's pre-edit text, which makes a field that
    // reports its surrounding text report it afresh; false, showing
    // nothing, when the sink has no such field now.
    virtual bool askReport(const char *text) = 0;
};

#endif
