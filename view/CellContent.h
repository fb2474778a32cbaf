#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "terminal/CharData.h"

namespace tarvik {

class Terminal;

// The one place the view reads what a cell shows and which link it carries; the tables
// behind clusters and link payloads may move, and only these two functions follow them.

// The scalars of the cell's grapheme copied into `out` (a null cell gives U+0000);
// returns how many were copied.
std::size_t cellScalars(const Terminal& terminal, const CharData& cell, std::span<char32_t> out);
// Whether the cell carries a link (no table lookup: the frame asks this for every cell).
inline bool cellHasLink(const CharData& cell) {
    return cell.hasPayload();
}
// The hyperlink payload of the cell, or nullptr.
const std::string* cellPayload(const Terminal& terminal, const CharData& cell);

} // namespace tarvik
