#include "panel/QVX_FieldLayouts.h"

#include "app/QVX_Board.h"

namespace {

bool samePlace(const VX_Engine::Place &a, const VX_Engine::Place &b)
{
    return a.row == b.row && a.slot == b.slot && a.returnSlot == b.returnSlot;
}

}  // namespace

QVX_FieldLayouts::QVX_FieldLayouts(QVX_Board &board, const std::string &listName)
    : QObject(&board), board_(board),
      chooser_(table_, [&board](int32_t row, const char *name) { return board.engine.findLayout(row, name); })
{
    const std::string path = VX_PurposeTable::find(board.engine.searchDirs, listName);
    if (!path.empty())
        table_.load(path.c_str());
    shown_ = board.engine.place();
    connect(&board, &QVX_Board::changed, this, &QVX_FieldLayouts::boardChanged);
}

void QVX_FieldLayouts::setField(const VX_Field &field)
{
    if (field == chooser_.field())
        return;
    VX_Engine::Place to;
    if (chooser_.fieldChanged(field, board_.engine.place(), to)) {
        shown_ = to;
        board_.showPlace(to);
    }
}

void QVX_FieldLayouts::boardChanged()
{
    const VX_Engine::Place now = board_.engine.place();
    if (samePlace(now, shown_))
        return;
    shown_ = now;
    chooser_.movedByHand(now);
}
