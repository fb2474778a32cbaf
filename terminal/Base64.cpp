#include "terminal/Base64.h"

#include <array>

namespace tarvik {

namespace {

constexpr uint8_t invalid = 0xFF;

constexpr std::array<uint8_t, 256> makeTable() {
    std::array<uint8_t, 256> t{};
    for (auto& v : t)
        v = invalid;
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        t[static_cast<uint8_t>(alphabet[i])] = static_cast<uint8_t>(i);
    return t;
}
constexpr std::array<uint8_t, 256> sextet = makeTable();

} // namespace

std::optional<std::vector<uint8_t>> base64Decode(std::string_view text) {
    std::size_t length = text.size();
    if (length % 4 == 0 && length > 0) {
        if (text[length - 1] == '=') --length;
        if (text[length - 1] == '=') --length;
    }
    // One leftover character carries fewer than eight bits: no byte can end there.
    if (length % 4 == 1) return std::nullopt;

    std::vector<uint8_t> out;
    out.reserve(length / 4 * 3 + 2);
    uint32_t bits = 0;
    int held = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const uint8_t value = sextet[static_cast<uint8_t>(text[i])];
        if (value == invalid) return std::nullopt;
        bits = (bits << 6) | value;
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(bits >> held));
            bits &= (1u << held) - 1;
        }
    }
    return out;
}

} // namespace tarvik
