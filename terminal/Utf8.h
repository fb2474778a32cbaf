#pragma once

#include <array>
#include <cstdint>

namespace tarvik::utf8 {

// Length of a UTF-8 sequence by its first byte; 0 marks a byte that cannot start one
// and is printed as the code point of the same value.
constexpr std::array<std::uint8_t, 256> makeLeadTable() {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 0x80; ++b)
        t[b] = 1;
    for (int b = 0xC2; b <= 0xDF; ++b)
        t[b] = 2;
    for (int b = 0xE0; b <= 0xEF; ++b)
        t[b] = 3;
    for (int b = 0xF0; b <= 0xF4; ++b)
        t[b] = 4;
    return t;
}
inline constexpr std::array<std::uint8_t, 256> leadLength = makeLeadTable();

// Decodes one complete sequence whose length its lead byte gave (2 to 4), provided it
// is well formed: the common case, worth sparing the lenient decoder's byte loop.
// False leaves anything malformed to decodeUtf8.
inline bool decodeWellFormed(const std::uint8_t* bytes, int length, char32_t& out) {
    const std::uint8_t lead = bytes[0];
    // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
    const std::uint8_t lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const std::uint8_t hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (bytes[1] < lo || bytes[1] > hi) return false;
    const auto tail = [bytes](int i) { return char32_t(bytes[i] & 0x3F); };
    const auto isTail = [bytes](int i) { return (bytes[i] & 0xC0) == 0x80; };
    switch (length) {
    case 2:
        out = char32_t(lead & 0x1F) << 6 | tail(1);
        return true;
    case 3:
        if (!isTail(2)) return false;
        out = char32_t(lead & 0x0F) << 12 | tail(1) << 6 | tail(2);
        return true;
    default:
        if (!isTail(2) || !isTail(3)) return false;
        out = char32_t(lead & 0x07) << 18 | tail(1) << 12 | tail(2) << 6 | tail(3);
        return true;
    }
}

} // namespace tarvik::utf8
