// The popup a long press opens above its key: the key's alternates (other
// characters it can type) or the keyboard menu, in cells of one size laid
// out in rows above the key, one cell highlighted as the finger slides. It
// lives in layout coordinates, so it may reach above the board (negative y);
// the front end draws it there and never decides what the finger picks.
//
// Plain records: opening, sliding and picking never allocate.
#ifndef VEXIL_INTERACTION_VX_POPUP_H
#define VEXIL_INTERACTION_VX_POPUP_H

#include <cstdint>

struct VX_Key;

// The cells a popup offers, in order: each a text to type, or a menu entry
// whose action the front end carries out.
struct VX_PopupItems {
    static constexpr int kMaxItems = 32;  // cells of one popup
    static constexpr int kTextSize = 32;  // bytes of one cell's text, NUL included

    // Appends `text` (at most kTextSize - 1 bytes, else cut at a character
    // boundary) with `action` (-1: a text to type); false when full or
    // when `text` is empty or already offered.
    bool add(const char *text, int32_t action = -1);
    bool contains(const char *text) const;
    void clear() { count = 0; }

    int32_t count = 0;                     // cells filled, 0..kMaxItems
    char texts[kMaxItems][kTextSize] = {}; // NUL-terminated UTF-8 each
    int32_t actions[kMaxItems] = {};       // per cell: -1 types its text, else a menu action
};

struct VX_Popup {
    enum Kind : uint8_t {
        CLOSED,
        ALTERNATES,  // characters or sequences to type
        MENU,        // the keyboard menu (VX_Engine::menu)
    };
    static constexpr int32_t kGap = 4;  // layout pixels between the popup and its key

    // Lays the items out above `key` on a board `boardWidth` wide: cells
    // `cellWidth` x `cellHeight`, as many in a row as the board holds (at
    // most `maxColumns`; 0 no limit), the
    // first row nearest the key, the popup centred over it and kept inside
    // the board's width where it fits.
    void open(Kind kind, int32_t key, const VX_Key &onKey, int32_t boardWidth, int32_t cellWidth,
              int32_t cellHeight, int32_t maxColumns = 0);
    void close();
    bool isOpen() const { return kind != CLOSED; }

    // Top left corner of cell `index` in layout coordinates.
    void cellAt(int32_t index, int32_t &cx, int32_t &cy) const;
    // The cell a finger at (px, py) picks: the one under it or, between the
    // popup and its key (alternates only: a menu's key picks nothing) and
    // within half a cell around, the nearest; -1 when the finger has left
    // that area (lifting there types nothing).
    int32_t pick(int32_t px, int32_t py) const;
    int32_t width() const { return columns * cellWidth; }
    int32_t height() const { return rows * cellHeight; }

    Kind kind = CLOSED;
    int32_t key = -1;          // the key it belongs to; -1 closed
    VX_PopupItems items;       // what it offers; filled before open()
    int32_t columns = 0;       // cells per row, >= 1 while open
    int32_t rows = 0;          // rows of cells, >= 1 while open
    int32_t x = 0;             // left edge, layout pixels
    int32_t y = 0;             // top edge, layout pixels; negative above the board
    int32_t cellWidth = 0;     // layout pixels, >= 1 while open
    int32_t cellHeight = 0;    // layout pixels, >= 1 while open
    int32_t keyBottom = 0;     // bottom edge of the key: the reach ends half a cell below
    int32_t highlight = -1;    // cell the lift types; -1 none
};

#endif
