#include "tools/skin/PieceSheet.h"

#include <QPainter>
#include <algorithm>
#include <functional>
#include <string_view>

namespace {

size_t hashPixels(const QImage &image)
{
    const std::string_view bytes(reinterpret_cast<const char *>(image.constBits()),
                                 static_cast<size_t>(image.sizeInBytes()));
    return std::hash<std::string_view>()(bytes) ^ (static_cast<size_t>(image.width()) << 16) ^
           static_cast<size_t>(image.height());
}

}  // namespace

int PieceSheet::add(const QImage &image)
{
    const size_t hash = hashPixels(image);
    const auto range = byHash_.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it)
        if (pieces_[static_cast<size_t>(it->second)] == image)
            return it->second;
    const int index = count();
    pieces_.push_back(image);
    byHash_.emplace(hash, index);
    return index;
}

QSize PieceSheet::shelve(const std::vector<int> &order, int width, std::vector<QPoint> &positions) const
{
    int x = 0, top = 0, shelfHeight = 0, used = 0;
    for (int piece : order) {
        const QImage &image = pieces_[static_cast<size_t>(piece)];
        if (x > 0 && x + image.width() > width) {
            top += shelfHeight;
            x = 0;
            shelfHeight = 0;
        }
        positions[static_cast<size_t>(piece)] = QPoint(x, top);
        x += image.width();
        used = std::max(used, x);
        shelfHeight = std::max(shelfHeight, image.height());
    }
    return QSize(used, top + shelfHeight);
}

QImage PieceSheet::pack(int preferredWidth, QColor fill)
{
    positions_.assign(pieces_.size(), QPoint());
    if (pieces_.empty())
        return QImage();

    // Tallest first, so that each shelf is as high as its first piece.
    std::vector<int> order(pieces_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const QImage &pa = pieces_[static_cast<size_t>(a)], &pb = pieces_[static_cast<size_t>(b)];
        if (pa.height() != pb.height())
            return pa.height() > pb.height();
        return pa.width() > pb.width();
    });

    int widest = 0;
    for (const QImage &piece : pieces_)
        widest = std::max(widest, piece.width());
    const int from = std::max(widest, std::min(preferredWidth, kMaxWidth) / 2);
    const int to = std::max(widest, kMaxWidth);
    std::vector<QPoint> trial(pieces_.size());
    QSize best;
    for (int width = from; width <= to; ++width) {
        const QSize size = shelve(order, width, trial);
        const qint64 area = static_cast<qint64>(size.width()) * size.height();
        if (best.isEmpty() || area < static_cast<qint64>(best.width()) * best.height()) {
            best = size;
            positions_ = trial;
        }
    }

    QImage sheet(best, QImage::Format_RGB32);
    sheet.fill(fill);
    QPainter painter(&sheet);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (size_t i = 0; i < pieces_.size(); ++i)
        painter.drawImage(positions_[i], pieces_[i]);
    return sheet;
}
