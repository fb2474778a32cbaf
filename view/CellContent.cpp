#include "view/CellContent.h"

namespace tarvik {

std::size_t cellScalars(const Terminal& /*terminal*/, const CharData& cell, std::span<char32_t> out) {
    return cell.copyScalars(out);
}

const std::string* cellPayload(const Terminal& /*terminal*/, const CharData& cell) {
    return cell.getPayload();
}

} // namespace tarvik
