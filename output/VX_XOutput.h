// Types into the focused X11 window through the XTest extension, on a
// connection of its own. A character that no key of the keymap types
// without a modifier or with Shift alone is bound for a moment to a spare
// keycode (one that carries no keysym); settle() puts every such keycode
// back to empty once typing has paused, and the destructor does so too, so
// the user's keymap is as it was.
//
// The binding is not undone right after the key: a client reads the new
// mapping only when it gets to the mapping notification, and if the old
// mapping were back by then it would read the key as nothing. Spare
// keycodes are reused least recently bound first for the same reason, and
// when one character is missing, every missing character of the layout
// shown is bound with it: a quick run of taps over such characters then
// meets one keymap change before its first key instead of one per key,
// which clients reading the mapping late could apply to the wrong keys.
#ifndef VEXIL_OUTPUT_VX_XOUTPUT_H
#define VEXIL_OUTPUT_VX_XOUTPUT_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "output/VX_Keymap.h"
#include "output/VX_Output.h"

typedef struct _XDisplay Display;

class VX_XOutput : public VX_Output {
public:
    // Quiet time before settle() is due, in milliseconds.
    static constexpr int kSettleDelayMs = 1500;

    // Connects to `displayName` (null: $DISPLAY). On failure ok() is false
    // and error() says why; nothing else may be called then.
    explicit VX_XOutput(const char *displayName = nullptr);
    ~VX_XOutput() override;
    VX_XOutput(const VX_XOutput &) = delete;
    VX_XOutput &operator=(const VX_XOutput &) = delete;

    bool ok() const { return display_ != nullptr; }
    const char *error() const { return error_; }

    void sendKey(int qkey, const char *text) override;
    // The modifiers' own keys (Control_L, ...) must be in the keymap and in
    // its modifier map, as they are in every usual one; the key itself is
    // bound like a character when the keymap lacks it.
    void sendStroke(uint32_t keysym, uint32_t mods) override;
    void prepare(const std::vector<std::string> &texts) override;
    int settleDelay() const override { return kSettleDelayMs; }
    void settle() override;

    // Keycodes bound right now (tests and diagnostics).
    size_t boundCount() const { return bound_.size(); }

private:
    void typeCodePoint(uint32_t cp);
    void typeKeysyms(const unsigned long *keysyms, int count);
    // Press and release of `keycode`, inside Shift when `shift`.
    void tap(int keycode, bool shift);
    // Binds `keysym` and every keysym of prepared_ the keymap lacks, each
    // to a spare keycode, in one go, and waits until the server has them.
    // Returns the keycode of `keysym`, or 0 when no spare keycode is left.
    int bindMissing(unsigned long keysym);
    // The spare keycode to bind next: the least recently bound one that
    // this call of bindMissing() has not bound yet; 0 when none is left.
    int nextSpare(const std::vector<int> &justBound);
    // Sets each (keycode, keysym) row, keysym 0 for none, in one request
    // where the server has XKB, so that clients see one mapping change
    // and read it once; else one core request per keycode.
    void writeKeycodes(const std::vector<std::pair<int, unsigned long>> &rows);
    bool writeKeycodesXkb(const std::vector<std::pair<int, unsigned long>> &rows);
    void writeKeycode(int keycode, unsigned long keysym);
    // Turns the server's auto-repeat of `keycode` off, or back on where
    // this output turned it off.
    void setRepeat(int keycode, bool on);
    // Reads the whole mapping anew when it changed (our own bindings
    // included) and keeps the spare list and the bindings true to it.
    void refreshKeymap();

    Display *display_ = nullptr;   // own connection; null when not connected
    const char *error_ = "";       // why the connection failed; static text
    bool xkb_ = false;             // the server has the XKB extension
    VX_Keymap keymap_;             // the server's mapping, our bindings included
    bool keymapStale_ = true;      // the mapping changed since keymap_ was read
    std::vector<int> spares_;      // spare keycodes; front is rebound first
    std::vector<std::pair<unsigned long, int>> bound_;  // (keysym, keycode) bound now
    std::vector<unsigned long> prepared_;  // best keysym of each character the shown layout types
    std::vector<int> repeatOff_;   // keycodes whose auto-repeat this output turned off
};

#endif
