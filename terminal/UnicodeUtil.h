#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvik::UnicodeUtil {

// Inclusive range of code points.
struct Interval {
    char32_t first;
    char32_t last;
    friend bool operator==(const Interval&, const Interval&) = default;
};

// Columns a scalar occupies on the screen: 0 for controls and combining
// marks, 2 for East-Asian wide characters and emoji shown as pictures, else 1.
int columnWidth(char32_t scalar);
// The same answer found by searching the range tables; the fast table is built
// from it and must agree with it for every value.
int columnWidthBySearch(char32_t scalar);

// What the printing path needs to know of a scalar: its columns and whether it
// has a non-zero combining class (and so may join the cell written before it).
struct PrintProperties {
    int width;
    bool combines;
};

namespace detail {
// The property table as the print path reads it: one byte per scalar (width in the
// low two bits, combining above them) in blocks of 256 found through an index.
struct PropertyBlocks {
    static constexpr std::uint8_t widthMask = 0x03;
    static constexpr std::uint8_t combinesBit = 0x04;
    static constexpr unsigned blockShift = 8;
    const std::uint16_t* index;
    const std::uint8_t* blocks;
};
// Built on first use.
const PropertyBlocks& propertyBlocks();
} // namespace detail

// One table look-up for any value; values beyond Unicode print one column wide
// and never combine. Inline: every non-ASCII character printed asks it.
inline PrintProperties printProperties(char32_t scalar) {
    if (scalar > 0x10FFFF) return {1, false};
    static const detail::PropertyBlocks& table = detail::propertyBlocks();
    constexpr unsigned shift = detail::PropertyBlocks::blockShift;
    const std::uint8_t bits = table.blocks[(std::size_t{table.index[scalar >> shift]} << shift) +
                                           (scalar & ((1u << shift) - 1))];
    return {bits & detail::PropertyBlocks::widthMask, (bits & detail::PropertyBlocks::combinesBit) != 0};
}

// Zero-width characters: non-spacing and enclosing marks, format characters
// except the soft hyphen, Hangul medial vowels and final consonants, and the
// zero width space. Sorted, searched by bisection.
std::span<const Interval> combiningTable();
// Emoji that are East-Asian wide and shown in emoji presentation. Sorted.
std::span<const Interval> emojiTable();

bool inTable(std::span<const Interval> table, char32_t scalar);

// Canonical combining class; 0 for starters and for values that are no scalar.
int combiningClass(char32_t scalar);

// Whether a grapheme cluster boundary lies between two consecutive scalars.
// state carries context (emoji sequences, regional indicator pairs) along a
// run of text; start each run with 0.
bool isGraphemeBreak(char32_t previous, char32_t next, int32_t& state);

} // namespace tarvik::UnicodeUtil
