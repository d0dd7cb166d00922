// Moves the board to the layout a focused field's purpose asks for, and
// back to the user's own when the field changes or goes:
//  - a field whose purpose has a layout in the table shows that layout
//    (an aux layout returns, by its back key, to the user's letters);
//  - a private field with no line of its own shows the user's letters (the
//    basic layout they last chose), never digits or symbols;
//  - any other field, or none, brings back the layout the board showed
//    before the first such field, and leaves the board alone when no field
//    layout is shown;
//  - what the user picks by hand while a field's layout is shown stays
//    until the field changes; a basic layout picked so (another language)
//    becomes the one the board returns to.
// The board moves only when the field changes, never under the user's
// finger.
#ifndef VEXIL_PURPOSE_VX_PURPOSECHOOSER_H
#define VEXIL_PURPOSE_VX_PURPOSECHOOSER_H

#include <cstdint>
#include <functional>

#include "engine/VX_Engine.h"
#include "purpose/VX_Purpose.h"
#include "purpose/VX_PurposeTable.h"

class VX_PurposeChooser {
public:
    using Place = VX_Engine::Place;
    // The slot of the placed layout of `row` named `name`, or -1 (the
    // engine's findLayout).
    using Finder = std::function<int32_t(int32_t row, const char *name)>;

    // `table` and `find` must outlive the chooser.
    VX_PurposeChooser(const VX_PurposeTable &table, Finder find);

    // The focused field is now `field` (field.focused false: no field has
    // the focus) while the board shows `now`. True, with `to` set, when
    // the board is to move there.
    bool fieldChanged(const VX_Field &field, const Place &now, Place &to);
    // The user moved the board by a key of its own to `now`.
    void movedByHand(const Place &now);
    // Where `purpose` takes the board from `home` (the user's own place);
    // false when its table line names no loaded layout, or it has none.
    bool target(VX_Purpose purpose, bool isPrivate, const Place &home, Place &to) const;

    // The field last told; focused false before any.
    const VX_Field &field() const { return field_; }
    // A field's layout is shown (or the user moved on from it by hand).
    bool away() const { return away_; }

private:
    const VX_PurposeTable &table_;  // the set's purpose lines; outlives the chooser
    Finder find_;                   // slot of a layout by row and name
    VX_Field field_;                // the focused field, as last told
    bool away_ = false;             // the board left home_ for a field
    Place home_;                    // the user's own place, while away_
};

#endif
