#include "view/CellContent.h"

#include "terminal/Terminal.h"

namespace tarvik {

std::size_t cellScalars(const Terminal& terminal, const CharData& cell, std::span<char32_t> out) {
    return cell.copyScalars(out, terminal.tables());
}

const std::string* cellPayload(const Terminal& terminal, const CharData& cell) {
    return cell.getPayload(terminal.tables());
}

} // namespace tarvik
