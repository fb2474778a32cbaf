#pragma once

#include <optional>

#include "view/CellMetrics.h"

namespace tarvik {

class Terminal;

// A rectangle in points, y measured from the view's top.
struct PixelRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Changed viewport rows, inclusive.
struct DirtyRows {
    int start = 0;
    int end = 0;
    friend bool operator==(const DirtyRows&, const DirtyRows&) = default;
};

// Reads the terminal's refresh range and resets it (also the scroll-invariant one);
// none when nothing changed. The range is clamped to the screen.
std::optional<DirtyRows> takeDirtyRows(Terminal& terminal);
// The rectangle covering rows start ... end over the full width; when end is the last
// row the rectangle reaches down to the view's bottom edge (the sliver below the grid).
PixelRect dirtyRectangle(DirtyRows rows, int rowCount, CellMetrics cell, double viewWidth, double viewHeight);
// The viewport rows a rectangle touches (to repaint an exposed area), clamped to the screen.
DirtyRows rowsInRectangle(const PixelRect& rect, int rowCount, CellMetrics cell);

} // namespace tarvik
