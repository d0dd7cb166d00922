// The font key labels are drawn in, by vexil-skin on key pictures and by
// the panel on a long press's popup: DejaVu Sans for text and symbols, and
// a colour emoji font (Noto Color Emoji) first for a label that is emoji,
// so that emoji are drawn in colour rather than as DejaVu's outlines.
#ifndef VEXIL_IMAGE_VX_LABELFONT_H
#define VEXIL_IMAGE_VX_LABELFONT_H

#include <QFont>
#include <QString>

// The label is emoji: it holds a code point drawn as an emoji by default
// (most of U+1F000 and above, and those of the BMP with the emoji look),
// a variation selector asking for the emoji look (U+FE0F) or a joiner.
bool vxIsEmojiLabel(const QString &label);
// The font for `label` at `pixels` pixels, antialiased.
QFont vxLabelFont(const QString &label, int pixels);

#endif
