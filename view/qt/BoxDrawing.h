#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace tarvik {

// Box-drawing and block-element characters (U+2500 ... U+259F) drawn as lines and
// rectangles instead of font glyphs. A font's glyphs rarely fill the cell exactly, so
// frames drawn with them show gaps between rows; drawn from the cell's own geometry
// they join at every size.
class BoxDrawing {
  public:
    static constexpr char32_t first = 0x2500;
    static constexpr char32_t last = 0x259F;

    static bool covers(char32_t scalar) { return scalar >= first && scalar <= last; }

    // Draws the character into `cell` (its edges should lie on device pixels so that
    // neighbouring cells share them). Returns false for characters outside the range.
    static bool draw(QPainter& painter, char32_t scalar, const QRectF& cell, const QColor& color);
};

} // namespace tarvik
