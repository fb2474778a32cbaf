#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvik {

// Decodes standard Base64 (A-Z a-z 0-9 + /). Any other character, whitespace included,
// fails the whole decoding: data that arrives damaged must not reach a clipboard or an
// image decoder half-read. Padding with '=' is optional, but when present it must be
// the last one or two characters of a group of four.
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);

} // namespace tarvik
