#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvik::Unicode {

// One decoded scalar and the number of bytes it took. Malformed input decodes
// as U+FFFD one byte at a time, so a bad byte never hides the bytes after it.
struct Decoded {
    char32_t scalar;
    std::size_t length;
};

inline constexpr char32_t replacementCharacter = 0xFFFD;

Decoded decode(std::string_view text, std::size_t offset);

// Space separators (general category Zs) and the tab.
bool isSpaceSeparator(char32_t c);
// LF, VT, FF, CR, NEL and the line and paragraph separators.
bool isLineBreak(char32_t c);
inline bool isWhiteSpaceOrLineBreak(char32_t c) {
    return isSpaceSeparator(c) || isLineBreak(c);
}

// Removes the leading and trailing scalars for which `strip` holds; inner bytes stay as they are.
std::string trimmed(std::string_view text, bool (*strip)(char32_t));

bool allScalars(std::string_view text, bool (*accept)(char32_t));
bool anyScalar(std::string_view text, bool (*match)(char32_t));

} // namespace tarvik::Unicode
