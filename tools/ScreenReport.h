#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "terminal/Terminal.h"
#include "tools/CaptureDelegate.h"

namespace tarvik {

enum class ReportFormat { text, json };

// The live screen (not the viewport) and the history above it, each row as a selection
// of it would copy it.
std::vector<std::string> screenLines(const Terminal& terminal);
std::vector<std::string> historyLines(const Terminal& terminal);

// One line per screen row, then "cursor ROW COL" (1-based).
std::string screenAsText(const Terminal& terminal);
// Everything a test may want to check about the final state, as one JSON object.
std::string screenAsJson(const Terminal& terminal, const CaptureDelegate& capture);
std::string screenReport(const Terminal& terminal, const CaptureDelegate& capture, ReportFormat format);

std::string base64Encode(std::span<const uint8_t> bytes);

} // namespace tarvik
