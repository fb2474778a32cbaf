#include "view/CellMetrics.h"

#include <algorithm>
#include <cmath>

namespace tarvik {

CellMetrics computeFontDimensions(const FontMetrics& font) {
    CellMetrics cell;
    cell.width = std::max(font.advanceOfW, 1.0);
    const double height = std::ceil(font.ascent + font.descent + font.leading);
    cell.height = std::isnan(height) ? 1.0 : std::clamp(height, 1.0, 8192.0);
    if (std::isnan(cell.width)) cell.width = 1;
    return cell;
}

} // namespace tarvik
