// Where vexil-panel's keys go: the window of another application that has
// the keyboard focus. Typing only: one implementation per windowing system,
// every call from the GUI thread. What the window asks of the desktop
// besides (the focus, room for the dock) is VX_Desktop's.
#ifndef VEXIL_OUTPUT_VX_OUTPUT_H
#define VEXIL_OUTPUT_VX_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

class VX_Output {
public:
    virtual ~VX_Output() = default;

    // Types one request of the board into the focused window: `qkey` is
    // VX_CODE_BACKSPACE or VX_CODE_RETURN, or 0 with `text` a NUL-terminated
    // UTF-8 text (null types nothing). Every key pressed is released before
    // the call returns, so no application ever sees a held key.
    virtual void sendKey(int qkey, const char *text) = 0;
    // Presses and releases the key of XKB `keysym` with the modifiers of
    // VX_Mod bits `mods` held around it (a named key such as Left or F5,
    // or Ctrl+C): the application sees the key, not a text.
    virtual void sendStroke(uint32_t keysym, uint32_t mods) = 0;

    // Names every text (UTF-8) the layout shown now can type, in all its
    // modes, before its first key is sent. An output that must change the
    // keyboard setup to type some of them may then do so for all of them at
    // once, the first time one is needed, instead of once per character.
    virtual void prepare(const std::vector<std::string> &texts) = 0;

    // Milliseconds of quiet after the last key before settle() is due; the
    // caller runs settle() then.
    virtual int settleDelay() const = 0;
    // Undoes what typing changed for the time being (the X keymap), so the
    // user's setup is as it was. Idempotent; the destructor runs it too.
    virtual void settle() = 0;
};

#endif
