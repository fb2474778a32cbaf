#pragma once

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
// One table look-up for any value; values beyond Unicode print one column wide
// and never combine.
PrintProperties printProperties(char32_t scalar);

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
