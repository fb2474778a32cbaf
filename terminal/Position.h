#pragma once

namespace tarvik {

// A cell position: a column and a row (whether the row counts from the viewport or from
// the oldest line depends on the caller).
struct Position {
    enum class Ordering { before, after, equal };

    int col = 0;
    int row = 0;

    // Rows first, then columns: reading order.
    static constexpr Ordering compare(const Position& a, const Position& b) {
        if (a.row != b.row) return a.row < b.row ? Ordering::before : Ordering::after;
        if (a.col != b.col) return a.col < b.col ? Ordering::before : Ordering::after;
        return Ordering::equal;
    }

    friend constexpr bool operator==(const Position&, const Position&) = default;
};

} // namespace tarvik
