// One keyboard layout as read from its layout file: settings, keys, board
// look, and the run-time state of the pointer on it.
//
// Loading (engine/): load() reads "<name>.cfg" section by section through a
// VX_LayoutLoader, which lives for that one load.
// Use (interaction/): press/move/release/repeatStep/resetEnum drive the keys;
// each returns what the board must do (VX_KeyResult) and leaves repaint
// requests in the redraw fields; paint() draws what those ask for and clears
// them.
//
// Glossary: a "multi-tap cycle" is the run of taps on one alpha key with
// several characters, each tap replacing the character typed before by the
// next one. It is open from the key's first tap until the user presses any
// other place, or the board's reset timer runs out, or the text field changes
// behind the board's back; then it is closed.
//   enumKey     - the key whose multi-tap cycle is open, or -1 when none is
//   enumPos     - (per key) which of its characters the next tap types
//   enumActive  - (per key) it typed a character of a cycle not yet closed,
//                 so its next tap erases that character first
//   tmEnumRate  - repeat interval of a held key that has a multi-tap cycle
//   tmEnumReset - time after a release until the board closes the cycle
//   resetEnum() - closes the open multi-tap cycle
#ifndef VEXIL_ENGINE_VX_LAYOUT_H
#define VEXIL_ENGINE_VX_LAYOUT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Key.h"
#include "interaction/VX_Alternates.h"
#include "interaction/VX_KeyResult.h"
#include "interaction/VX_Popup.h"

class QPainter;
class VX_Engine;
class VX_Image;

enum { VX_LAYOUT_BASIC = 0, VX_LAYOUT_AUX = 1 };
enum { VX_FILL_NONE = 0, VX_FILL_COLOR = 1, VX_FILL_PIXMAP = 2 };
// Caps with a one-shot shift (VX_Engine::Touch::oneShotCaps).
enum VX_Caps : int32_t {
    VX_CAPS_OFF = 0,     // mode 0
    VX_CAPS_ONCE = 1,    // mode 1 for the next character only
    VX_CAPS_LOCKED = 2,  // mode 1 until caps is tapped again
};

// A [Layout] word "@name": key `key` is to link to the aux layout `target`,
// wherever load.cfg lists it. The engine settles it once the whole list has
// loaded (VX_Engine::settleNamedLinks); until then the key is untyped.
struct VX_NamedLink {
    int32_t key;         // index into the layout's keys, below keyCount
    std::string target;  // the aux layout's name, without the '@'
};

class VX_Layout {
public:
    // A key count above this is refused: no keyboard has that many keys, and
    // the key array is created before anything else of the file is checked.
    static constexpr int32_t kMaxKeys = 1024;
    // Largest board width or height in pixels: more than any screen shows.
    static constexpr int32_t kMaxBoardSize = 8192;
    // Room for a layout name read from one line plus "_bg.gif".
    static constexpr int kFileNameSize = 264;

    explicit VX_Layout(VX_Engine *engine);
    ~VX_Layout();  // releases name and keys, no picture
    VX_Layout(const VX_Layout &) = delete;
    VX_Layout &operator=(const VX_Layout &) = delete;

    // `name`, or "NoName" when it has none.
    const char *displayName() const;

    // --- Loading (engine/) ---
    // Reads "<layoutName>.cfg" found by the engine; false on any failure,
    // after its message.
    bool load(const char *layoutName);
    // True when every [Common] value is valid; one message per invalid one.
    bool checkCommon();

    // --- Use (interaction/) ---
    // Every pointer event and repeat tick returns everything the board has to
    // do about it; the run-time fields below are the state machine's own.
    // Index of the key at (px, py), or keyCount when none is hit.
    int32_t hitTest(int32_t px, int32_t py) const;
    VX_KeyResult press(int32_t px, int32_t py);
    // While the pointer stays on the held key nothing happens; elsewhere it
    // is a press.
    VX_KeyResult move(int32_t px, int32_t py);
    // May show another layout (switch, link) or mode (caps).
    VX_KeyResult release();
    VX_KeyResult repeatStep();
    // Closes the open multi-tap cycle (the reset time ran out, or the text
    // the keys type into changed behind the board's back), and the time for
    // a second tap on caps. May end a one-shot shift, so show another mode.
    VX_KeyResult resetEnum();
    // The keys type into another place now (the focus moved): resetEnum(),
    // and every latched modifier lets go; a locked one stays.
    VX_KeyResult focusChanged();
    // Key `index` is shown pressed now: held (with draw-pressed), a
    // modifier key whose modifier is latched or locked, or marked as an
    // open multi-tap key or the locked caps key.
    bool drawnPressed(int32_t index) const;
    // Draws what fullRedraw / redrawReleased / redrawPressed ask for.
    void paint(QPainter &painter);
    // Draws key `index` alone, released, with what lies under it, its top
    // left corner at the painter's origin (the key preview). Requests stay.
    void paintKey(QPainter &painter, int32_t index) const;
    // Draws the open popup with its top left corner at the painter's
    // origin, `scale` device pixels per layout pixel (popup.width() x
    // popup.height() layout pixels); nothing when it is closed.
    void paintPopup(QPainter &painter, double scale) const;

    std::unique_ptr<char[]> name;  // as written in load.cfg; may be null
    VX_Engine *engine;             // creating engine, not owned
    int32_t type = VX_LAYOUT_BASIC;  // 0 basic, 1 aux; [Common] "type"
    int32_t keyCount = 0;          // [Common] "keys"; 0 = no key array
    int32_t charBytes = 1;         // "alpha", 1 or 2; checked, not used: keys count UTF-8 characters
    int32_t modes = 1;             // 1 or 2; "mode"
    int32_t keyWidth = 0;          // default key width, pixels; "bwid"
    int32_t keyHeight = 0;         // default key height, pixels; "bhei"
    int32_t pixelUnits = 1;        // 1: [Pixs] offsets in pixels, 0: in keys
    int32_t tmPeriod = 400;        // ms from a key action to the first repeat
    int32_t tmRate = 100;          // ms between repeats of a one-char key
    int32_t tmEnumRate = 300;      // ms between repeats of a multi-tap key
    int32_t tmEnumReset = 1000;    // ms after release until the cycle closes
    int32_t drawPressed = 0;       // nonzero: held key drawn pressed
    int32_t repeatOn = 0;          // nonzero: held keys repeat
    int32_t fillMethod = VX_FILL_COLOR;  // 0 none, 1 color, 2 pixmap
    int32_t width = 240;           // board width, pixels
    int32_t height = 128;          // board height, pixels
    VX_Image *background = nullptr;  // in the engine's boardPictures, not owned
    int32_t red = 0;               // board colour, 0..255
    int32_t green = 0;
    int32_t blue = 0;
    bool colorFill = true;         // fill board and key rects with the colour
    std::unique_ptr<VX_Key[]> keys;  // keyCount keys in [Layout] order, or null
    // "@name" links not yet settled, in key order; emptied with every new
    // key array and every [Layout], so each names a key of `keys`.
    std::vector<VX_NamedLink> namedLinks;
    int32_t pressedKey = -1;       // key held by the pointer; -1 none
    int32_t enumKey = -1;          // key whose multi-tap cycle is open; -1 none
    int32_t mode = 0;              // 0 .. modes-1
    int32_t redrawReleased = -1;   // key to repaint released; -1 none
    int32_t redrawPressed = -1;    // key to repaint pressed; -1 none
    bool fullRedraw = true;        // next paint draws the whole board
    bool firstRepeat = false;      // next repeat tick is the first
    bool heldTyped = false;        // the held key has typed during this press
    uint32_t heldMods = 0;         // VX_Mod bits the held key's output goes with
    int32_t caps = VX_CAPS_OFF;    // VX_Caps; one-shot caps only (mode == caps != off)
    bool capsWindow = false;       // a second caps tap now locks: until the reset timer or another key
    bool capsUsed = false;         // a character was typed under the one-shot shift
    VX_Alternates alternates;      // what a long press on a key offers (touch model)
    VX_Popup popup;                // open while a long press shows it; its items are set at the press
    bool longPending = false;      // the repeat timer's next tick opens the held key's popup
    int32_t pointerX = 0;          // last pointer position on the layout, pixels (touch model)
    int32_t pointerY = 0;
    bool numberLayout = false;     // [Common] "number"
    bool textLayout = false;       // [Common] "text"

private:
    // Output of `key` in the current mode into `out`; true when it has any.
    bool keyAction(VX_Key &key, VX_KeyResult &out);
    // keyAction() with the held modifiers (heldMods) applied: the output
    // then goes as a key, an alpha key sends its first character without a
    // multi-tap cycle, and every latched modifier lets go.
    bool sendAction(VX_Key &key, VX_KeyResult &out);
    // Asks the next paint to draw every modifier key in its look now.
    void requestModifierLooks();
    // The release effect of `key`; true when the shown layout or mode changed.
    bool releaseAction(VX_Key &key);
    // Held key `index` is let go (released, slid off, pressed again).
    void letGo(int32_t index);
    // The repaint request and held key of the layout shown now, into `out`.
    void noteRepaint(VX_KeyResult &out) const;
    // Asks the next paint to draw key `index` in the look it has then.
    void requestLook(int32_t index);
    // Closes the open cycle unless it is key `hit`'s; may end a one-shot shift.
    void closeCycleBefore(int32_t hit, VX_KeyResult &out);
    // The release effect of a caps key with a one-shot shift.
    bool capsOneShot();
    // Back to mode 0 when the one-shot shift has been used and no cycle of
    // its character is open.
    void endOneShot(VX_KeyResult &out);

    // The touch model (engine->touch.typeOnLift): typing on the lift.
    VX_KeyResult liftPress(int32_t px, int32_t py);
    VX_KeyResult liftMove(int32_t px, int32_t py);
    // Key `index` (or keyCount: none) is held now; nothing typed yet.
    void liftHold(int32_t index, VX_KeyResult &out);
    // The held key is let go without typing (slide, leaving the board).
    void liftDrop(VX_KeyResult &out);
    // The held key's popup items, when a long press on it opens one: its
    // alternates, or the menu on a switch key. False when it has none.
    bool popupItemsFor(int32_t index);
    // Opens the held key's popup (the long-press time ran out).
    void openPopup(VX_KeyResult &out);
    // The lift over an open popup: types the highlighted alternate or picks
    // the highlighted menu entry; nothing when none is highlighted.
    void liftFromPopup(VX_KeyResult &out);
};

#endif
