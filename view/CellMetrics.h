#pragma once

namespace tarvik {

// The numbers of a font the cell size is derived from, in points.
struct FontMetrics {
    double advanceOfW = 0; // horizontal advance of the glyph "W"
    double ascent = 0;
    double descent = 0;
    double leading = 0;
};

// Size of one cell in points.
struct CellMetrics {
    double width = 1;
    double height = 1;
    friend bool operator==(const CellMetrics&, const CellMetrics&) = default;
};

// Width is the advance of "W" (at least 1); height is ceil(ascent + descent + leading),
// clamped to 1 ... 8192.
CellMetrics computeFontDimensions(const FontMetrics& font);

} // namespace tarvik
