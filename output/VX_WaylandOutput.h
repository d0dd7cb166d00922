// Types into the applications of a Wayland session, in two ways:
//  - through a virtual keyboard (zwp_virtual_keyboard_v1) with a keymap of
//    its own (VX_WaylandKeymap), which every wlroots compositor offers;
//  - through the input method (zwp_input_method_v2) while a text field is
//    active and reports its surrounding text: text goes as commit_string +
//    commit, any UTF-8, no keymap. A field that reports no text gets keys:
//    a commit gains it nothing, and a client may drop a commit that
//    crosses a request of its own.
// Backspace and Return are always keys of the virtual keyboard.
//
// The erase step of a multi-tap cycle and the character after it become
// one atomic replacement (delete_surrounding_text + commit_string in one
// commit) where the field reports its surrounding text, and only while the
// text before the cursor is still what the cycle typed: the user's own text
// is never deleted. Since a field may report a move of its cursor only
// when the input method next changes something (GTK 4 does so after a
// click), the replacement waits for a fresh report: the new character
// shown as pre-edit text asks for it, and the requests that follow wait in
// order behind it. With no report within kReportWaitMs the
// character goes in without the erase. A field that reports no text at all
// gets a BackSpace key first.
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

class VX_WaylandClient;
struct zwp_virtual_keyboard_v1;
struct zwp_input_method_v2;

class VX_WaylandOutput : public VX_Output {
public:
    // How long a multi-tap replacement waits for the field's report before
    // the caller runs reportTimedOut().
    static constexpr int kReportWaitMs = 150;

    // Creates the virtual keyboard (and the input method when the
    // compositor has it) on `client`'s seat and uploads the first keymap.
    // `client` must have no missing() protocol and outlive the output.
    explicit VX_WaylandOutput(VX_WaylandClient &client);
    // Releases held keys, destroys the input method and the virtual
    // keyboard, so the compositor drops the virtual device.
    ~VX_WaylandOutput() override;
    VX_WaylandOutput(const VX_WaylandOutput &) = delete;
    VX_WaylandOutput &operator=(const VX_WaylandOutput &) = delete;

    void sendKey(int qkey, const char *text) override;
    void sendStroke(uint32_t keysym, uint32_t mods) override;
    void prepare(const std::vector<std::string> &texts) override;
    int settleDelay() const override { return 0; }
    // Nothing of the user's setup changes: nothing to undo.
    void settle() override {}

    // The input method is there and the seat is ours (no `unavailable`).
    bool hasInputMethod() const { return inputMethod_ != nullptr; }
    // A text field is active now (input method only).
    bool fieldActive() const { return inputMethod_ && active_; }
    // Keymaps uploaded so far (tests and diagnostics).
    int keymapUploads() const { return uploads_; }
    // A multi-tap replacement waits for the field's report.
    bool awaitingReport() const { return awaiting_; }
    // No report came for wait `id` (as onAwaitReport gave it): its
    // character goes in without the erase (the user's text is kept whatever
    // it is), then the requests behind it. Nothing when that wait is over.
    void reportTimedOut(uint32_t id);

    // A text field became active or inactive (at the input method's done).
    std::function<void(bool active)> onFieldActive;
    // The text the board types into changed behind its back (another field,
    // or the user's own edit under an open multi-tap cycle): the caller
    // closes the cycle.
    std::function<void()> onOutsideChange;
    // The keys type into another field now, or into none (the focus
    // moved): the caller closes the cycle and lets latched modifiers go.
    std::function<void()> onFieldChange;
    // A replacement began to wait for the field's report: the caller runs
    // reportTimedOut(id) kReportWaitMs later.
    std::function<void(uint32_t id)> onAwaitReport;
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
    void commitText(const char *text, uint32_t eraseBytes);
    // Types the waiting character as the report (or its absence) allows,
    // then the requests queued behind it.
    void resolve(bool fresh);
    // The text before the cursor ends with `cycleText_`.
    bool cycleTextBeforeCursor() const;

    VX_WaylandClient &client_;                  // outlives the output
    zwp_virtual_keyboard_v1 *keyboard_ = nullptr;  // owned
    zwp_input_method_v2 *inputMethod_ = nullptr;   // owned; null when absent or unavailable
    VX_WaylandKeymap keymap_;                   // what keyboard_ was last given
    int uploads_ = 0;                           // keymaps sent, >= 1 after the constructor
    std::vector<int> held_;                     // XKB keycodes pressed and not yet released
    bool eraseNext_ = false;                    // an erase step waits for the text that replaces it
    // Input method state: pending_* as received, the others as of the last done.
    bool pendingActive_ = false;
    bool pendingFresh_ = false;                 // an activate came since the last done
    std::string pendingText_;                   // surrounding text, UTF-8
    uint32_t pendingCursor_ = 0;                // byte offset into pendingText_
    bool pendingHasText_ = false;
    uint32_t pendingHint_ = 0;                  // content hint bits
    uint32_t pendingPurpose_ = 0;               // content purpose
    bool active_ = false;
    std::string surrounding_;                   // text around the cursor, UTF-8
    uint32_t cursor_ = 0;                       // byte offset into surrounding_, <= its size
    bool hasSurrounding_ = false;               // the field reports its text
    uint32_t hint_ = 0, purpose_ = 0;           // the active field's content type
    uint32_t doneCount_ = 0;                    // done events so far: the serial of each commit
    std::string cycleText_;                     // what the open multi-tap cycle last committed
    bool unconfirmed_ = false;                  // no done has shown cycleText_ yet
    // The replacement waiting for a report, and what was asked after it.
    struct Request {
        int qkey;          // as sendKey() got it
        std::string text;  // UTF-8
        bool hasText;      // text was not null
        uint32_t keysym;   // nonzero: a sendStroke() call of this keysym
        uint32_t mods;     // and these VX_Mod bits
    };
    bool awaiting_ = false;                     // a report is asked for; waitText_ waits
    uint32_t waitId_ = 0;                       // number of the wait, counted from 1
    std::string waitText_;                      // the cycle's next character, UTF-8
    std::vector<Request> queued_;               // sendKey() and sendStroke() calls since, in order
};

#endif
