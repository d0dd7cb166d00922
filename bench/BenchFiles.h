// Files the benchmarks run on when they are not the shipped ones: a layout
// set shaped like a real one (aux digits and symbols, a two-mode QWERTY, a
// phone keypad, a two-byte alphabet, each with a picture sheet and a
// background), a 100-key grid layout, and a large layout text for the
// tokenizer. Pictures are drawn with QPainter and written as GIF by giflib.
#ifndef VEXIL_BENCH_BENCHFILES_H
#define VEXIL_BENCH_BENCHFILES_H

#include <string>

class QImage;

// Writes `image` as a GIF (at most 256 colours; more are reduced). False
// with `error` set when the file cannot be written.
bool writeGifFile(const std::string &path, const QImage &image, std::string &error);

// Writes load.cfg, bg.gif and five layouts with their pictures into `dir`.
bool writeLayoutSet(const std::string &dir, std::string &error);

// Writes load.cfg naming one basic layout "grid" of cols x rows alpha keys,
// each with a released and a pressed picture, draw-pressed on.
bool writeGridLayout(const std::string &dir, int cols, int rows, std::string &error);

// A layout text of at least `minBytes` bytes, every line within the line
// reader's limit: comments, sections, numbers, parentheses and words.
std::string largeLayoutText(size_t minBytes);

#endif
