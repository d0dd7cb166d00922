// Types into the applications of a Wayland session, in two ways:
//  - through a virtual keyboard (zwp_virtual_keyboard_v1) with a keymap of
//    its own (VX_WaylandKeymap), which every wlroots compositor offers;
//  - through the input method (zwp_input_method_v2) while a text field is
//    active and reports its surrounding text: text goes as commit_string +
//    commit, any UTF-8, no keymap, and a replacement as one atomic
//    delete_surrounding_text + commit_string. A field that reports no text
//    gets keys: a commit gains it nothing, and a client may drop a commit
//    that crosses a request of its own.
// Backspace, Return and key strokes are always keys of the virtual
// keyboard. What to type (the multi-tap replacement, when to wait for the
// field's report) is the typing session's: this output applies its edits
// and hands up the field's reports.
//
// No key is sent before the first keymap, and a keymap goes out only when
// the shown layout needs characters the current one lacks, with every key
// released before it.
#ifndef VEXIL_OUTPUT_VX_WAYLANDOUTPUT_H
#define VEXIL_OUTPUT_VX_WAYLANDOUTPUT_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/VX_Output.h"
#include "output/VX_WaylandKeymap.h"
#include "typing/VX_FieldReport.h"

class VX_WaylandClient;
struct zwp_virtual_keyboard_v1;
struct zwp_input_method_v2;

class VX_WaylandOutput : public VX_Output {
public:
    // Creates the virtual keyboard (and the input method when the
    // compositor has it) on `client`'s seat and uploads the first keymap.
    // `client` must have no missing() protocol and outlive the output.
    explicit VX_WaylandOutput(VX_WaylandClient &client);
    // Releases held keys, destroys the input method and the virtual
    // keyboard, so the compositor drops the virtual device.
    ~VX_WaylandOutput() override;
    VX_WaylandOutput(const VX_WaylandOutput &) = delete;
    VX_WaylandOutput &operator=(const VX_WaylandOutput &) = delete;

    // --- VX_EditSink ---
    void commitText(const char *text) override;
    // One commit where the field reports its text: the field never shows
    // the text half replaced. Else a BackSpace key per character.
    void replaceBefore(const std::string &before, const char *text) override;
    void sendStroke(uint32_t keysym, uint32_t mods) override;
    void sendBackspace() override;
    void sendReturn() override;
    // The text as pre-edit text of a field that reports its surrounding
    // text: a field may report a move of its cursor only when the input
    // method next changes something (GTK 4 does so after a click), and a
    // commit that changes nothing does not count.
    bool askReport(const char *text) override;

    void prepare(const std::vector<std::string> &texts) override;
    int settleDelay() const override { return 0; }
    // Nothing of the user's setup changes: nothing to undo.
    void settle() override {}

    // The input method is there and the seat is ours (no `unavailable`).
    bool hasInputMethod() const { return inputMethod_ != nullptr; }
    // A text field is active now (input method only).
    bool fieldActive() const { return inputMethod_ && active_; }
    // The field as of the last done (inactive before the first, and once
    // the input method is unavailable).
    const VX_FieldReport &field() const { return field_; }

    // The field's state at each of the input method's done, and once the
    // input method is unavailable: for the typing session.
    std::function<void(const VX_FieldReport &field)> onReport;
    // A text field became active or inactive (at the input method's done).
    std::function<void(bool active)> onFieldActive;
    // The keys type into another field now, or into none (the focus
    // moved): the caller lets latched modifiers go.
    std::function<void()> onFieldChange;
    // Another input method holds the seat: typing goes through the virtual
    // keyboard alone from now on. Called once.
    std::function<void()> onUnavailable;
    // The active field, or none, changed what it is (at the input method's
    // done): `hint` and `purpose` are its content type as the text-input
    // protocol gives them; `active` false: no field is active.
    std::function<void(bool active, uint32_t hint, uint32_t purpose)> onContentType;

    // --- input method events (called by the listener) ---
    void imActivate(bool active);
    void imSurrounding(const char *text, uint32_t cursor);
    void imContentType(uint32_t hint, uint32_t purpose);
    void imDone();
    void imUnavailable();

private:
    void upload();
    void tap(int keycode);
    void typeKeys(const char *text);
    // The active field reports its text: edits go to it as commits.
    bool commits() const { return fieldActive() && field_.hasText; }

    VX_WaylandClient &client_;                  // outlives the output
    zwp_virtual_keyboard_v1 *keyboard_ = nullptr;  // owned
    zwp_input_method_v2 *inputMethod_ = nullptr;   // owned; null when absent or unavailable
    VX_WaylandKeymap keymap_;                   // what keyboard_ was last given
    int uploads_ = 0;                           // keymaps sent, >= 1 after the constructor
    std::vector<int> held_;                     // XKB keycodes pressed and not yet released
    // Input method state: pending_* as received, the others as of the last done.
    bool pendingActive_ = false;
    bool pendingFresh_ = false;                 // an activate came since the last done
    std::string pendingText_;                   // surrounding text, UTF-8
    uint32_t pendingCursor_ = 0;                // byte offset into pendingText_
    bool pendingHasText_ = false;
    uint32_t pendingHint_ = 0;                  // content hint bits
    uint32_t pendingPurpose_ = 0;               // content purpose
    bool active_ = false;
    VX_FieldReport field_;       // as of the last done; hasText only while active
    uint32_t hint_ = 0, purpose_ = 0;           // the active field's content type
    uint32_t doneCount_ = 0;                    // done events so far: the serial of each commit
};

#endif
