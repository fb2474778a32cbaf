#include "view/DirtyRegion.h"

#include <algorithm>
#include <cmath>

#include "terminal/Terminal.h"

namespace tarvik {

std::optional<DirtyRows> takeDirtyRows(Terminal& terminal) {
    const auto range = terminal.getUpdateRange();
    terminal.clearUpdateRange();
    if (!range) return std::nullopt;
    const int last = terminal.rows() - 1;
    DirtyRows rows{std::clamp(range->first, 0, last), std::clamp(range->second, 0, last)};
    if (rows.end < rows.start) return std::nullopt;
    return rows;
}

PixelRect dirtyRectangle(DirtyRows rows, int rowCount, CellMetrics cell, double viewWidth, double viewHeight) {
    PixelRect rect;
    rect.x = 0;
    rect.width = viewWidth;
    rect.y = cell.height * rows.start;
    rect.height = cell.height * (rows.end - rows.start + 1);
    if (rows.end >= rowCount - 1) rect.height = std::max(rect.height, viewHeight - rect.y);
    return rect;
}

DirtyRows rowsInRectangle(const PixelRect& rect, int rowCount, CellMetrics cell) {
    const int last = std::max(rowCount - 1, 0);
    const double top = std::floor(rect.y / cell.height);
    // The bottom edge itself belongs to the next row.
    const double bottom = std::ceil((rect.y + rect.height) / cell.height) - 1;
    const auto clampRow = [last](double value) {
        if (!(value > 0)) return 0;
        return value >= last ? last : static_cast<int>(value);
    };
    return DirtyRows{clampRow(top), std::max(clampRow(top), clampRow(bottom))};
}

} // namespace tarvik
