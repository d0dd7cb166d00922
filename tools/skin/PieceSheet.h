// Key pictures kept once each and packed onto one sheet. Pieces with the
// same size and the same pixels are one piece; the sheet places them on
// shelves (rows of the height of their tallest piece) without gaps, since
// every piece is cut with its key's exact size.
#ifndef VEXIL_TOOLS_SKIN_PIECESHEET_H
#define VEXIL_TOOLS_SKIN_PIECESHEET_H

#include <QColor>
#include <QImage>
#include <QPoint>
#include <cstddef>
#include <unordered_map>
#include <vector>

class PieceSheet {
public:
    // The widest sheet pack() makes, unless one piece is wider.
    static constexpr int kMaxWidth = 1024;

    // Index of the piece with exactly the pixels of `image` (RGB32, not
    // null); a new piece when no such piece is held yet.
    int add(const QImage &image);
    int count() const { return static_cast<int>(pieces_.size()); }

    // Places every piece and draws the sheet, unused space in `fill`. Of the
    // widths from about half of `preferredWidth` to kMaxWidth the one giving
    // the smallest sheet is taken. Returns a null image when there are no
    // pieces.
    QImage pack(int preferredWidth, QColor fill);
    // Top-left corner of a piece on the sheet, after pack().
    QPoint position(int piece) const { return positions_[static_cast<size_t>(piece)]; }

private:
    // Places the pieces in `order` on shelves at most `width` wide; gives the
    // sheet's size.
    QSize shelve(const std::vector<int> &order, int width, std::vector<QPoint> &positions) const;

    std::vector<QImage> pieces_;
    std::unordered_multimap<size_t, int> byHash_;  // hash of the pixels -> piece
    std::vector<QPoint> positions_;
};

#endif
