// The panel's side of the field's purpose: reads the set's purpose file,
// moves the board to the layout the focused field asks for and back (by
// VX_PurposeChooser's rules), notices the user's own moves between
// layouts, and keeps what the focused field is, so that a private field
// shows no preview and `--status` can tell its purpose.
#ifndef VEXIL_PANEL_QVX_FIELDLAYOUTS_H
#define VEXIL_PANEL_QVX_FIELDLAYOUTS_H

#include <QObject>
#include <string>

#include "engine/VX_Engine.h"
#include "purpose/VX_Purpose.h"
#include "purpose/VX_PurposeChooser.h"
#include "purpose/VX_PurposeTable.h"

class QVX_Board;

class QVX_FieldLayouts : public QObject {
    Q_OBJECT

public:
    // Follows `board`, which must outlive this and have loaded the load
    // list `listName` (its purpose file is looked up beside it, in the
    // engine's search directories). A purpose file that does not load has
    // said why; the board then keeps the user's layouts for every field.
    QVX_FieldLayouts(QVX_Board &board, const std::string &listName);

    // The focused field is now `field` (focused false: none).
    void setField(const VX_Field &field);
    // The focused field, as last told.
    const VX_Field &field() const { return chooser_.field(); }
    // Whether the purpose file was found and read.
    bool hasTable() const { return !table_.empty(); }

private:
    // The board asked for a repaint: if it shows another layout than
    // before and not by this class, the user moved it.
    void boardChanged();

    QVX_Board &board_;           // outlives this
    VX_PurposeTable table_;      // the set's purpose lines; empty without a file
    VX_PurposeChooser chooser_;  // reads table_
    VX_Engine::Place shown_;     // the place the board was last seen at
};

#endif
