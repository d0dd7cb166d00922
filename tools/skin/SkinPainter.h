// Draws the board background and the key pictures of a layout. Every key
// picture is opaque and key-sized: it carries the board background under its
// rounded corners, since the board copies pictures without blending.
#ifndef VEXIL_TOOLS_SKIN_SKINPAINTER_H
#define VEXIL_TOOLS_SKIN_SKINPAINTER_H

#include <QColor>
#include <QRect>
#include <QString>

class QPainter;

enum class KeyStyle {
    Plain,     // characters: light face
    Function,  // editing, mode and layout keys: grey face
    Accent,    // Return: coloured face
    Label,     // drawn text only, never pressed
};

struct KeyLook {
    QString label;
    KeyStyle style = KeyStyle::Plain;
    bool pressed = false;
    bool lit = false;  // a mode key whose mode is on
    bool latched = false;  // pressed look of a modifier: sunk and lit
};

class SkinPainter {
public:
    explicit SkinPainter(QColor board);

    // The board's background over `area`: flat board colour with a light
    // edge.
    void drawBackground(QPainter &painter, const QRect &area) const;
    // One key picture at `rect`; the background must already be there.
    void drawKey(QPainter &painter, const QRect &rect, const KeyLook &look) const;

private:
    QColor board_;
};

#endif
