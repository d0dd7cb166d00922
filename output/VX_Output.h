// Where vexil-panel's keys go: the window of another application that has
// the keyboard focus. An edit sink of the typing session (which decides
// what to type), with what a windowing system needs besides: one
// implementation per windowing system, every call from the GUI thread.
// What the window asks of the desktop (the focus, room for the dock) is
// VX_Desktop's.
#ifndef VEXIL_OUTPUT_VX_OUTPUT_H
#define VEXIL_OUTPUT_VX_OUTPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "typing/VX_EditSink.h"

// Every edit goes to the focused window, and every key pressed for it is
// released before the call returns, so no application ever sees a held
// key.
class VX_Output : public VX_EditSink {
public:
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
