#pragma once

#include <cstdint>
#include <vector>

#include "terminal/Terminal.h"

namespace tarvik {

// Whether reports in this tracking mode carry the Shift, Meta and Control bits.
constexpr bool sendsModifiers(MouseMode mode) {
    return mode >= MouseMode::vt200;
}
// Whether pointer motion without a button change is reported.
constexpr bool sendMotionEvent(MouseMode mode) {
    return mode == MouseMode::anyEvent;
}

// Button flags of one pointer event: 0-2 for buttons 0-2, 64 and 65 for the wheel
// (buttons 4 and 5), 3 for any release; plus 4 Shift, 8 Meta, 16 Control when the
// terminal's tracking mode reports modifiers.
int encodeButton(const Terminal& terminal, int button, bool release, bool shift, bool meta, bool control);

// Writes one report in the terminal's mouse protocol. x and y are the 0-based cell,
// pixelX and pixelY the pointer in pixels from the view's top left corner. Whether the
// event should be reported at all is the caller's decision.
void sendEvent(Terminal& terminal, int buttonFlags, int x, int y, int pixelX, int pixelY);
void sendEvent(Terminal& terminal, int buttonFlags, int x, int y);
// A motion report: the same with the motion bit (32) added.
void sendMotion(Terminal& terminal, int buttonFlags, int x, int y, int pixelX, int pixelY);

// Appends one value in the UTF-8 mouse protocol: ASCII as itself, larger values as a
// two-byte sequence capped at 2047, and 2047 itself as the single byte 0.
void encodeMouseUtf(std::vector<uint8_t>& data, int ch);

} // namespace tarvik
