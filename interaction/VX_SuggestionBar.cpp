#include "interaction/VX_SuggestionBar.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>

namespace {

// Dark text on a light board, light text on a dark one.
QColor inkOn(const QColor &ground)
{
    const double light = 0.299 * ground.red() + 0.587 * ground.green() + 0.114 * ground.blue();
    return light > 140 ? QColor(20, 20, 20) : QColor(245, 245, 245);
}

QColor mix(const QColor &a, const QColor &b, double share)
{
    return QColor(int(std::lround(a.red() * (1 - share) + b.red() * share)),
                  int(std::lround(a.green() * (1 - share) + b.green() * share)),
                  int(std::lround(a.blue() * (1 - share) + b.blue() * share)));
}

}  // namespace

int VX_SuggestionBar::cellOfRank(int rank, int count)
{
    if (count < 1 || count > kCells || rank < 0 || rank >= count)
        return -1;
    static const int kOrder[kCells] = {1, 0, 2};  // middle, left, right
    return kOrder[rank];
}

bool VX_SuggestionBar::setWords(const std::vector<std::string> &mostLikelyFirst)
{
    std::string shown[kCells];
    int count = 0;
    for (const std::string &word : mostLikelyFirst) {
        if (count == kCells)
            break;
        if (word.empty() || word.size() > kMaxWordBytes)
            continue;
        shown[count++] = word;
    }
    std::string cells[kCells];
    for (int rank = 0; rank < count; ++rank)
        cells[cellOfRank(rank, count)] = shown[rank];
    if (std::equal(cells, cells + kCells, words_))
        return false;
    std::copy(cells, cells + kCells, words_);
    pressed_ = -1;
    render();
    return true;
}

const std::string &VX_SuggestionBar::word(int cell) const
{
    static const std::string none;
    return cell >= 0 && cell < kCells ? words_[cell] : none;
}

bool VX_SuggestionBar::empty() const
{
    return std::all_of(words_, words_ + kCells, [](const std::string &w) { return w.empty(); });
}

void VX_SuggestionBar::setLook(int width, int height, double pixelRatio, const QColor &board)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    pixelRatio = std::max(pixelRatio, 1.0);
    if (width == width_ && height == height_ && pixelRatio == ratio_ && board == board_)
        return;
    width_ = width;
    height_ = height;
    ratio_ = pixelRatio;
    board_ = board;
    render();
}

int VX_SuggestionBar::cellAt(int x) const
{
    if (width_ <= 0 || x < 0 || x >= width_)
        return -1;
    return std::min(kCells - 1, int(int64_t(x) * kCells / width_));
}

bool VX_SuggestionBar::setPressed(int cell)
{
    if (cell < 0 || cell >= kCells || words_[cell].empty())
        cell = -1;
    if (cell == pressed_)
        return false;
    pressed_ = cell;
    return true;
}

void VX_SuggestionBar::paint(QPainter &painter) const
{
    if (plain_.isNull())
        return;
    const QRectF whole(0, 0, width_, height_);
    painter.drawImage(whole, plain_);
    if (pressed_ >= 0 && !down_.isNull()) {
        const int left = pressed_ * width_ / kCells;
        const int right = (pressed_ + 1) * width_ / kCells;
        const QRectF target(left, 0, right - left, height_);
        const QRectF source(left * ratio_, 0, (right - left) * ratio_, height_ * ratio_);
        painter.drawImage(target, down_, source);
    }
}

void VX_SuggestionBar::render()
{
    const int w = int(std::ceil(width_ * ratio_));
    const int h = int(std::ceil(height_ * ratio_));
    if (w < 1 || h < 1) {
        plain_ = QImage();
        down_ = QImage();
        return;
    }
    plain_ = QImage(w, h, QImage::Format_RGB32);
    down_ = QImage(w, h, QImage::Format_RGB32);
    renderInto(plain_, false);
    renderInto(down_, true);
}

void VX_SuggestionBar::renderInto(QImage &image, bool pressed) const
{
    const QColor ink = inkOn(board_);
    image.fill(board_);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double w = image.width(), h = image.height();
    // A line along the bottom parts the strip from the keys.
    painter.fillRect(QRectF(0, h - std::max(1.0, ratio_), w, std::max(1.0, ratio_)), mix(board_, ink, 0.25));
    for (int cell = 0; cell < kCells; ++cell) {
        const double left = std::floor(cell * w / kCells), right = std::floor((cell + 1) * w / kCells);
        if (cell > 0)
            painter.fillRect(QRectF(left, h * 0.25, std::max(1.0, ratio_), h * 0.5), mix(board_, ink, 0.35));
        if (words_[cell].empty())
            continue;
        if (pressed)
            painter.fillRect(QRectF(left + ratio_, 0, right - left - ratio_, h - ratio_), mix(board_, ink, 0.3));
        QFont font;
        font.setPixelSize(std::max(1, int(h * 0.46)));
        font.setBold(cell == 1);
        painter.setFont(font);
        painter.setPen(ink);
        const QFontMetrics metrics(font);
        const double margin = h * 0.2;
        const int room = std::max(1, int(right - left - 2 * margin));
        const QString text =
            metrics.elidedText(QString::fromUtf8(words_[cell].data(), int(words_[cell].size())), Qt::ElideRight, room);
        painter.drawText(QRectF(left + margin, 0, room, h), Qt::AlignCenter, text);
    }
}
