#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvik {

// Scans for the end of a run of text eight bytes at a time. A word is tested for "some
// byte below n" with the borrow trick: only the existence of such a byte is exact, so
// the word that has one is walked byte by byte.
namespace bytescan {

constexpr std::uint64_t ones = 0x0101010101010101ULL;
constexpr std::uint64_t highBits = 0x8080808080808080ULL;

inline std::uint64_t load(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Some byte of the word is below n (n at most 0x80).
constexpr bool hasByteBelow(std::uint64_t word, std::uint8_t n) {
    return ((word - ones * n) & ~word & highBits) != 0;
}

// Some byte of the word is above n (n below 0x80).
constexpr bool hasByteAbove(std::uint64_t word, std::uint8_t n) {
    return (((word + ones * (127 - n)) | word) & highBits) != 0;
}

} // namespace bytescan

// How many leading bytes are no C0 control (0x20 and up): what the parser hands over
// as text in ground state.
inline std::size_t textRunLength(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i + 8 <= n && !bytescan::hasByteBelow(bytescan::load(p + i), 0x20))
        i += 8;
    while (i < n && p[i] >= 0x20)
        ++i;
    return i;
}

// How many leading bytes are printable ASCII (0x20 ... 0x7E).
inline std::size_t asciiRunLength(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i + 8 <= n) {
        const std::uint64_t word = bytescan::load(p + i);
        if (bytescan::hasByteBelow(word, 0x20) || bytescan::hasByteAbove(word, 0x7E)) break;
        i += 8;
    }
    while (i < n && p[i] >= 0x20 && p[i] < 0x7F)
        ++i;
    return i;
}

} // namespace tarvik
