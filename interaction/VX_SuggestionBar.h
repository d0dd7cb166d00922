// The strip of word suggestions above the board: up to three words side by
// side in cells of equal width, the most likely in the middle, the second
// on the left, the third on the right. It keeps the words, says which cell
// a pointer is over, and draws itself in the board's colour from pictures
// made when the words, size or colour change, so painting only copies
// them. Where a front end puts the strip and when it shows it is the
// front end's; the bar itself decides nothing about what to type.
#ifndef VEXIL_INTERACTION_VX_SUGGESTIONBAR_H
#define VEXIL_INTERACTION_VX_SUGGESTIONBAR_H

#include <QColor>
#include <QImage>
#include <string>
#include <vector>

class QPainter;

class VX_SuggestionBar {
public:
    // Cells side by side.
    static constexpr int kCells = 3;
    // Height of the strip in layout pixels (scaled with the board, so it
    // keeps its proportion to the keys).
    static constexpr int kLayoutHeight = 36;
    // Longest word shown, in bytes; a longer suggestion is left out.
    static constexpr size_t kMaxWordBytes = 96;

    // The cell that shows the suggestion of `rank` (0 most likely) among
    // `count` (1..kCells): the middle first, then left, then right; -1 for
    // a rank out of range.
    static int cellOfRank(int rank, int count);

    // Shows `mostLikelyFirst` (the first kCells words, empty or too long
    // ones left out); true when what the bar shows changed.
    bool setWords(const std::vector<std::string> &mostLikelyFirst);
    // Shows no word.
    bool clear() { return setWords({}); }
    // The word in `cell` (0..kCells-1, left to right); "" when empty.
    const std::string &word(int cell) const;
    bool empty() const;

    // The strip is `width` x `height` logical pixels, drawn with
    // `pixelRatio` (>= 1) device pixels to one, on `board` (the board's
    // colour). Sizes below one pixel make a strip that draws nothing.
    void setLook(int width, int height, double pixelRatio, const QColor &board);
    int width() const { return width_; }
    int height() const { return height_; }

    // The cell under logical x (inside the strip's width), -1 outside.
    int cellAt(int x) const;
    // Draws `cell` pressed (-1: none); true when that changed.
    bool setPressed(int cell);
    int pressed() const { return pressed_; }

    // Copies the strip to the painter's (0, 0), in logical pixels: the
    // painter's own transform must be the device ratio alone.
    void paint(QPainter &painter) const;

private:
    // Draws both pictures again for the words and look now.
    void render();
    void renderInto(QImage &image, bool pressed) const;

    std::string words_[kCells];  // per cell, left to right; "" empty
    int width_ = 0;              // logical pixels, >= 0
    int height_ = 0;             // logical pixels, >= 0
    double ratio_ = 1.0;         // device pixels per logical pixel, >= 1
    QColor board_;               // the board's colour, the strip's ground
    int pressed_ = -1;           // cell drawn pressed; -1 none
    QImage plain_;               // every cell released, device pixels
    QImage down_;                // every cell pressed, device pixels
};

#endif
