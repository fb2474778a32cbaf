#pragma once

#include "view/Frame.h"

namespace tarvik {

// Output that scrolls moves whole rows: what the screen shows in row r + k is what row r
// must show now. Found by comparing rows, the widget moves those pixels instead of
// painting them again, and paints only the rows that came in or changed.

// Whether two built rows draw the same pixels (text, styles, selection, images, mode).
bool sameRowContent(const FrameRow& a, const FrameRow& b);

// The shift k of rows first ... last from `shown` to `next`: next row r equals shown row
// r + k (k > 0: the content moved up; k < 0: down). Chosen to keep the most rows, and only
// when it keeps at least half of them; 0 when no shift does.
int detectRowShift(const Frame& shown, const Frame& next, int first, int last);

} // namespace tarvik
