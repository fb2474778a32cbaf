#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tarvik {

class Terminal;

// A block of screen cells, 0-based and inclusive on every side.
struct CellRectangle {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    friend bool operator==(const CellRectangle&, const CellRectangle&) = default;
};

// Decodes the four 1-based parameters Pt ; Pl ; Pb ; Pr starting at `start`, as the
// rectangle commands and the checksum report receive them. Absent values reach the edge
// of the screen; in origin mode the rectangle is relative to the scroll region and the
// left margin. None when the rectangle is empty (an explicit bottom or right of 0).
std::optional<CellRectangle> getRectangleFromRequest(const Terminal& terminal,
                                                     std::span<const int64_t> parameters, std::size_t start);

} // namespace tarvik
