#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

// Scans for the end of a run of text: sixteen bytes a turn with SSE2, elsewhere eight
// bytes a word. A word is tested for "some byte below n" with the borrow trick: only the
// existence of such a byte is exact, so the word that has one is walked byte by byte.
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

// High bit of every byte of the word that is not zero.
constexpr std::uint64_t nonZeroBytes(std::uint64_t word) {
    return (((word & ~highBits) + ~highBits) | word) & highBits;
}

// High bit of every byte that is no decimal digit: a digit has 3 in its high nibble and
// at most 9 in its low one.
constexpr std::uint64_t nonDigitBytes(std::uint64_t word) {
    const std::uint64_t low = word & (ones * 0x0F);
    return nonZeroBytes(((word & (ones * 0xF0)) ^ (ones * 0x30)) | ((low + ones * 0x06) & (ones * 0x10)));
}

// The eight-digit number whose digits are the bytes' values, the first byte most
// significant: pairs, then quads, then the two halves combined.
constexpr std::uint64_t decimalValue(std::uint64_t digits) {
    digits = digits * 10 + (digits >> 8);
    return (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
}

// The value of the digits that end before byte `end` of a word of digit nibbles, bytes before
// them already cleared: moved to the top of the word (in two shifts: no digits at all
// shift by 64 bits), then read as eight digits.
constexpr std::uint64_t valueOfDigitsBefore(std::uint64_t nibbles, unsigned end) {
    return decimalValue(nibbles << (63 - 8 * end) << 1);
}

// A parameter list of digits and ';' that ends within the eight bytes at p, read without a
// branch per digit: in cursor addressing how many digits a parameter has is random, and a
// branch on it mispredicts. Returns the list's length and writes one value per parameter
// to out (room for eight) and their number to count; returns 8 and writes nothing when
// the list does not end within the word. Colour lists are that long; they are read from a
// block of 32 bytes (colourParameterList).
inline unsigned shortParameterList(const std::uint8_t* p, std::int64_t* out, std::size_t& count) {
    const std::uint64_t word = load(p);
    const std::uint64_t nonDigit = nonDigitBytes(word);
    const std::uint64_t nonParameter = nonDigit & nonZeroBytes(word ^ (ones * ';'));
    if (nonParameter == 0) return 8;
    const unsigned length = static_cast<unsigned>(__builtin_ctzll(nonParameter)) / 8;
    const std::uint64_t low = word & (ones * 0x0F);
    std::size_t n = 0;
    for (unsigned start = 0;; ++n) {
        // The byte at length ends the digits of the last parameter, so end <= length < 8.
        const unsigned end = start + static_cast<unsigned>(__builtin_ctzll(nonDigit >> (8 * start))) / 8;
        // What came before the parameter cleared.
        out[n] = static_cast<std::int64_t>(valueOfDigitsBefore(low & (~0ULL << (8 * start)), end));
        if (end == length) break;
        start = end + 1;
    }
    count = n + 1;
    return length;
}

} // namespace bytescan

// A run of text: its length and whether every byte of it is printable ASCII.
struct TextRun {
    std::size_t length;
    bool ascii;
};

#if defined(__SSE2__)
namespace bytescan {

// Bits set for the bytes of a 16-byte block that continue a run.
inline unsigned textMask(__m128i v) {
    // Unsigned "at least 0x20": the maximum with 0x20 leaves such a byte as it is.
    const __m128i floor = _mm_set1_epi8(0x20);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, floor), v)));
}
inline unsigned asciiMask(__m128i v) {
    // Signed compares: bytes from 0x80 up are negative, so they fail the first test.
    const __m128i inRange =
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
    return static_cast<unsigned>(_mm_movemask_epi8(inRange));
}

// Sixteen bytes a turn; the position of the first byte that ends the run comes out of
// the block's mask, so no byte is walked one by one. A short tail is read as the last
// sixteen bytes of the input, overlapping what was already scanned.
template <unsigned (*mask)(__m128i)> std::size_t runLength(const std::uint8_t* p, std::size_t n) {
    const auto block = [](const std::uint8_t* at) {
        return mask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
    };
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const unsigned m = block(p + i);
        if (m != 0xFFFF) return i + static_cast<std::size_t>(__builtin_ctz(~m));
    }
    if (i == n) return n;
    if (n >= 16) {
        const unsigned shift = static_cast<unsigned>(16 - (n - i));
        // Past the end the shifted mask reads zero, which ends the run there.
        const unsigned m = block(p + n - 16) >> shift;
        return i + static_cast<std::size_t>(__builtin_ctz(~m));
    }
    // Shorter than a block: the bytes are copied into one, padded with a byte that ends
    // the run.
    alignas(16) std::uint8_t padded[16] = {};
    std::memcpy(padded, p, n);
    return static_cast<std::size_t>(__builtin_ctz(~block(padded)));
}

// A parameter list of digits, ';' and ':' that ends within the 32 bytes at p (forty must
// be readable), each value at most seven digits: colour lists. Where its parameters
// begin comes out of one pair of masks, so each value is read from a word of its own,
// independent of the others; a chain that found each parameter's end before the next
// could start would wait on every load. Writes the values to out (room for 32), their
// number to count and whether a ':' came among them to colon; returns the list's length,
// or 32, having written nothing certain, when the list does not fit.
inline unsigned colourParameterList(const std::uint8_t* p, std::int64_t* out, std::size_t& count,
                                    bool& colon) {
    const auto masks = [](const std::uint8_t* at, unsigned& digit, unsigned& separator, unsigned& colons) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                              _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
        const __m128i isColon = _mm_cmpeq_epi8(v, _mm_set1_epi8(':'));
        digit = static_cast<unsigned>(_mm_movemask_epi8(isDigit));
        colons = static_cast<unsigned>(_mm_movemask_epi8(isColon));
        separator = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(isColon, _mm_cmpeq_epi8(v, _mm_set1_epi8(';')))));
    };
    unsigned digitLow, separatorLow, colonLow, digitHigh, separatorHigh, colonHigh;
    masks(p, digitLow, separatorLow, colonLow);
    masks(p + 16, digitHigh, separatorHigh, colonHigh);
    const std::uint32_t parameter = (digitLow | separatorLow) | (digitHigh | separatorHigh) << 16;
    if (parameter == ~0U) return 32;
    const unsigned length = static_cast<unsigned>(__builtin_ctz(~parameter));
    const std::uint32_t within = (1U << length) - 1;
    std::uint32_t separators = (separatorLow | separatorHigh << 16) & within;
    colon = ((colonLow | colonHigh << 16) & within) != 0;
    std::size_t n = 0;
    for (unsigned start = 0;; ++n) {
        const unsigned end = separators != 0 ? static_cast<unsigned>(__builtin_ctz(separators)) : length;
        const unsigned digits = end - start;
        if (digits >= 8) return 32;
        out[n] = static_cast<std::int64_t>(valueOfDigitsBefore(load(p + start) & (ones * 0x0F), digits));
        if (separators == 0) break;
        separators &= separators - 1;
        start = end + 1;
    }
    count = n + 1;
    return length;
}

} // namespace bytescan

// How many leading bytes are no C0 control (0x20 and up): what the parser hands over
// as text in ground state.
inline std::size_t textRunLength(const std::uint8_t* p, std::size_t n) {
    return bytescan::runLength<bytescan::textMask>(p, n);
}

// How many leading bytes are printable ASCII (0x20 ... 0x7E).
inline std::size_t asciiRunLength(const std::uint8_t* p, std::size_t n) {
    return bytescan::runLength<bytescan::asciiMask>(p, n);
}

// The text run and, from the same loads, whether it is printable ASCII throughout: the
// row writer then takes it whole without a scan of its own.
inline TextRun textRun(const std::uint8_t* p, std::size_t n) {
    const auto load = [](const std::uint8_t* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    // The bits below the first byte that ends the run.
    const auto within = [](unsigned text) { return (~text & (text + 1)) - 1; };
    unsigned foreign = 0; // run bytes that are no printable ASCII
    const auto end = [&](std::size_t at, __m128i v, unsigned shift) {
        const unsigned text = bytescan::textMask(v) >> shift;
        foreign |= (~bytescan::asciiMask(v) >> shift) & within(text);
        return TextRun{at + static_cast<std::size_t>(__builtin_ctz(~text)), foreign == 0};
    };
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = load(p + i);
        if (bytescan::textMask(v) != 0xFFFF) return end(i, v, 0);
        foreign |= ~bytescan::asciiMask(v) & 0xFFFF;
    }
    if (i == n) return {n, foreign == 0};
    // A tail is read as the last sixteen bytes; a short input is padded with zeros, which
    // end the run.
    if (n >= 16) return end(i, load(p + n - 16), static_cast<unsigned>(16 - (n - i)));
    alignas(16) std::uint8_t padded[16] = {};
    std::memcpy(padded, p, n);
    return end(0, load(padded), 0);
}
#else
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

inline TextRun textRun(const std::uint8_t* p, std::size_t n) {
    const std::size_t length = textRunLength(p, n);
    return {length, asciiRunLength(p, length) == length};
}

#endif

} // namespace tarvik
