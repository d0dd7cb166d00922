// Owns every layout (two rows of slots: basic and aux; a load list fills four
// of each, vexil-panel may add one aux layout of its own) and the three
// picture caches; finds files in its search directories and loads load.cfg.
#ifndef VEXIL_ENGINE_VX_ENGINE_H
#define VEXIL_ENGINE_VX_ENGINE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VX_Layout.h"
#include "engine/VX_LoadObserver.h"
#include "image/VX_ImageList.h"
#include "interaction/VX_Modifiers.h"
#include "interaction/VX_Popup.h"

class VX_Engine {
public:
    static constexpr int kRows = 2;        // 0 basic, 1 aux
    static constexpr int kListSlots = 4;   // layouts per row a load list places
    static constexpr int kSlots = 5;       // layouts per row: the list's, and one a panel adds (aux)
    static constexpr int kPathSize = 256;  // bytes of `path`, NUL included

    // Where the board is: the layout shown and the way back from an aux
    // layout. The engine's own is activeRow, activeSlot and returnSlot.
    struct Place {
        int32_t row = VX_LAYOUT_BASIC;  // 0 basic, 1 aux
        int32_t slot = 0;               // 0 .. kSlots-1
        int32_t returnSlot = -1;        // basic slot an aux layout returns to; -1 none
    };

    // How the pointer types on every layout. All false is the layout
    // format's own model (vexil); vexil-panel turns them on for touch use.
    struct Touch {
        bool typeOnLift = false;   // a key types when the pointer lifts; slides move the press,
                                   // leaving the board cancels it
        bool oneShotCaps = false;  // caps (two modes): tap = next character, double tap = lock
        bool marks = false;        // an open multi-tap key and a locked caps key are drawn pressed
        int32_t longPressMs = 0;   // typing on the lift: holding a key with alternates (or the
                                   // switch key, with a menu) this long opens its popup; 0 never
    };

    // `searchDirs`: directories to look files up in, first match wins.
    explicit VX_Engine(std::vector<std::string> searchDirs = {});
    // Destroys the layouts slot by slot (basic, then aux), then the caches.
    ~VX_Engine();
    VX_Engine(const VX_Engine &) = delete;
    VX_Engine &operator=(const VX_Engine &) = delete;

    // Reads the list file `listName` (load.cfg unless told otherwise), found
    // like every other file, and loads every layout it names, then settles
    // their "@name" links; true when at least one basic layout is in its slot.
    bool load(const char *listName = "load.cfg");
    // `path` holding the first readable "<dir>/<fileName>", or null (message).
    // The result is the engine's own `path` buffer: it holds until the next
    // search (findFile, or a picture lookup that searches), so a caller
    // that keeps the path copies it first.
    char *findFile(const char *fileName);
    // True, with `path` holding it, when some search directory has a
    // readable `fileName`; false without a message (a file that may be
    // missing, such as a layout's alternates).
    bool hasFile(const char *fileName);
    // --- vexil-panel's own additions to a loaded set ---
    // Loads the layout "<name>.cfg" into the next free aux slot, unless a
    // layout of that name is placed already, the aux row is full or no
    // such file is found (then quietly), or one of its "@name" links finds
    // no placed aux layout (then with an information line); settles those
    // links. Its slot, or -1 (a layout that fails to load has said why).
    int32_t addAuxLayout(const char *name);
    // Reads "<layout name>.alt" into each placed layout's alternates where
    // the search directories have one (a layout without a name has none).
    // False when one of them failed, after its diagnostic; that layout
    // keeps the built-in alternates.
    bool loadAlternates();
    // Slot of the first placed aux layout named `name`, or -1.
    int32_t auxLayoutIndex(const char *name) const;
    // Settles the "@name" links of `layout` against the placed aux layouts:
    // each key links to its target's slot, or, when no aux layout of that
    // name is placed, stays untyped with one message naming layout, key and
    // target. load() does this for every placed layout once the whole list
    // has loaded; a tool that loads a layout outside the slots calls it.
    void settleNamedLinks(VX_Layout &layout);
    // Slot of the first placed layout of `row` named `name` (a layout
    // without a name is "NoName"), or -1.
    int32_t findLayout(int32_t row, const char *name) const;
    // The first placed layout named `name`, basic row first; null if none.
    VX_Layout *layoutNamed(const char *name) const;
    // The layout placed in `slot` of `row`; null for an empty slot or a row
    // or slot out of range.
    VX_Layout *layoutAt(int32_t row, int32_t slot) const;
    // Calls visit(row, slot, layout) for every placed layout: the basic row,
    // then the aux row, each in slot order.
    template <typename Visit>
    void forEachLayout(Visit &&visit) const
    {
        for (int32_t row = 0; row < kRows; ++row)
            for (int32_t slot = 0; slot < kSlots; ++slot)
                if (VX_Layout *layout = layoutAt(row, slot))
                    visit(row, slot, *layout);
    }

    // Layout navigation: where a key leads from `from`. Each puts the place
    // into `to` and returns true, or returns false when the key leads to no
    // placed layout and the board stays where it is.
    // Switch key in a basic layout: the next basic slot, after the last one
    // the first.
    bool nextBasic(const Place &from, Place &to) const;
    // Link key: aux layout `auxSlot`. The way back is the basic layout the
    // user came from, also when the link is pressed in an aux layout.
    bool openAux(const Place &from, int32_t auxSlot, Place &to) const;
    // Switch key in an aux layout: back to the basic layout it was entered
    // from; never into an empty slot.
    bool returnFromAux(const Place &from, Place &to) const;
    // The engine's own place, and moving the board to another.
    Place place() const;
    void show(const Place &to);
    VX_Image *getBoardPicture(const char *fileName);
    VX_Image *getKeyPicture(const char *fileName);
    VX_Image *getKeyPiece(const char *fileName, int x, int y, int width, int height);
    // layouts[activeRow][activeSlot], or null.
    VX_Layout *activeLayout() const;
    // Decodes every picture `layout` draws: its background and the picture
    // behind each key piece of every mode and state. Pictures load encoded
    // and painting never decodes, so a layout is prepared before it is
    // first shown; a picture already decoded costs a pointer walk.
    void preparePictures(VX_Layout &layout);
    // preparePictures() for every placed layout (tools that read them all).
    void prepareAll();

    std::vector<std::string> searchDirs;  // search table, in order
    Touch touch;                           // typing model of every layout
    VX_Modifiers modifiers;                // sticky modifiers, shared by every layout
    VX_PopupItems menu;                    // what a long press on a switch key offers; empty: none
    int32_t menuAuxSlot = -1;              // aux slot the keyboard menu opens (the emoji board); -1 none
    int32_t menuCellWidth = 0;             // layout pixels of a menu entry; 0: three key widths
    std::unique_ptr<VX_Layout> layouts[kRows][kSlots];  // slot s filled iff s < layoutCount
    uint32_t layoutCount[kRows] = {};      // filled slots per row, 0..kSlots
    int32_t activeRow = 0;                 // row of the shown layout
    int32_t activeSlot = 0;                // slot of the shown layout
    int32_t returnSlot = -1;               // basic slot to return to; -1 none
    VX_ImageList keyPictures;              // whole pictures keys are cut from
    VX_ImageList keyPieces;                // the pieces keys show
    VX_ImageList boardPictures;            // board backgrounds; first is bg.gif
    char path[kPathSize] = {};             // last candidate or found path
    VX_LoadObserver *observer = nullptr;   // told what loads meet; not owned, may be null

private:
    VX_Image *getPicture(VX_ImageList &cache, const char *fileName);
    // settleNamedLinks() for every placed layout.
    void settleAllNamedLinks();
};

#endif
