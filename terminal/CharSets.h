#pragma once

#include <array>
#include <cstdint>

// The 94-character sets a program can designate with ESC ( F and its siblings.
// Only immutable tables live here: which table is designated to G0-G3 belongs
// to each terminal, so one session can never change another session's sets.
namespace tarvik::CharSets {

// Replacement code point for each byte 0x00-0x7F; 0 means the byte is not translated.
struct Table {
    std::array<char32_t, 128> map{};
    // True when the table translates nothing (US ASCII).
    bool empty() const;
};

// The table designated by final byte F, nullptr when F names no known set.
const Table* lookup(uint8_t final);

// The absent table: no translation, as for plain US ASCII.
inline constexpr const Table* defaultCharset = nullptr;

// Replacement for byte b under table t, or 0 when b passes unchanged (b above
// 0x7E, t absent or empty, or no entry for b). A replacement always occupies
// one cell, whatever its usual width.
char32_t translate(const Table* t, uint8_t b);

} // namespace tarvik::CharSets
