// One keyboard layout as read from its layout file: settings, keys, board
// look, and the run-time state of the pointer on it.
//
// Loading (engine/): load() reads "<name>.cfg" section by section; every
// section reader follows one contract: it is called while `token` holds its
// header, and returns with `failed` true (after one message) or with `token`
// holding the first token after the section.
// Use (interaction/): press/move/release/repeatStep/resetEnum drive the keys and
// leave their results in the send and redraw fields; paint() draws what the
// redraw fields ask for and clears them.
#ifndef VEXIL_ENGINE_VX_LAYOUT_H
#define VEXIL_ENGINE_VX_LAYOUT_H

#include <cstdint>
#include <memory>

#include "base/VX_Utf8.h"
#include "config/VX_Token.h"
#include "engine/VX_Key.h"

class QPainter;
class VX_Engine;
class VX_Image;
class VX_Parser;

enum { VX_LAYOUT_BASIC = 0, VX_LAYOUT_AUX = 1 };
enum { VX_FILL_NONE = 0, VX_FILL_COLOR = 1, VX_FILL_PIXMAP = 2 };

// Key codes the layout sends (Qt::Key_Backspace, Qt::Key_Return).
constexpr int32_t VX_CODE_BACKSPACE = 0x01000003;
constexpr int32_t VX_CODE_RETURN = 0x01000004;

class VX_Layout {
public:
    // A key count above this is refused: no keyboard has that many keys, and
    // the key array is created before anything else of the file is checked.
    static constexpr int32_t kMaxKeys = 1024;
    // Room for a layout name read from one line plus "_bg.gif".
    static constexpr int kFileNameSize = 264;

    explicit VX_Layout(VX_Engine *engine);
    ~VX_Layout();  // releases name and keys, no picture
    VX_Layout(const VX_Layout &) = delete;
    VX_Layout &operator=(const VX_Layout &) = delete;

    // `name`, or "NoName" when it has none.
    const char *displayName() const;

    // --- Loading (engine/) ---
    // Reads "<layoutName>.cfg" found by the engine; false on any failure.
    bool load(const char *layoutName);
    void parseCommon(VX_Parser &in);
    bool checkCommon();
    void parseLayout(VX_Parser &in);
    void parseGeometry(VX_Parser &in);
    void parseStrings(VX_Parser &in);
    void parseBoard(VX_Parser &in);
    void parsePixs(VX_Parser &in);
    // Parse helpers: read one token into `token` and insist on its kind.
    bool expectNumber(VX_Parser &in, int32_t &value);
    bool expectOpen(VX_Parser &in);
    bool expectClose(VX_Parser &in);
    bool expectString(VX_Parser &in);

    // --- Use (interaction/) ---
    // Index of the key at (px, py), or keyCount when none is hit.
    int32_t hitTest(int32_t px, int32_t py) const;
    // Interval in ms when the press has output, else 0.
    int32_t press(int32_t px, int32_t py);
    int32_t move(int32_t px, int32_t py);
    void release();
    // New repeat interval, or 0 when the current one stays.
    int32_t repeatStep();
    void resetEnum();
    int32_t keyAction(VX_Key &key);
    bool releaseAction(VX_Key &key);
    // Draws what fullRedraw / redrawReleased / redrawPressed ask for.
    void paint(QPainter &painter);

    std::unique_ptr<char[]> name;  // as written in load.cfg; may be null
    VX_Engine *engine;             // creating engine, not owned
    bool failed = false;           // a section reader failed
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
    int32_t pressedKey = -1;       // key held by the pointer; -1 none
    int32_t enumKey = -1;          // key whose multi-tap cycle is open; -1 none
    int32_t mode = 0;              // 0 .. modes-1
    int32_t sendCode = -1;         // 0: send sendText; else a Qt key code
    char sendText[kUtf8MaxBytes + 1] = {};  // one UTF-8 character and a NUL
    bool erasePrevious = false;    // send a Backspace before the output
    int32_t redrawReleased = -1;   // key to repaint released; -1 none
    int32_t redrawPressed = -1;    // key to repaint pressed; -1 none
    bool fullRedraw = true;        // next paint draws the whole board
    bool pressChanged = false;     // last pointer event changed the held key
    bool firstRepeat = false;      // next repeat tick is the first
    bool numberLayout = false;     // [Common] "number"
    bool textLayout = false;       // [Common] "text"
    VX_Token token;                // current token of the loader
};

#endif
