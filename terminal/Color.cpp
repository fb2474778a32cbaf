#include "terminal/Color.h"

#include <algorithm>
#include <cstdio>

namespace tarvik {

const std::array<Color, 16> Color::defaultInstalledColors{{
    {0, 0, 0},
    {39321, 0, 257},
    {0, 42662, 771},
    {39321, 39321, 0},
    {771, 0, 45746},
    {45746, 0, 45746},
    {0, 42405, 45746},
    {49087, 49087, 49087},
    {35466, 35209, 35466},
    {58853, 0, 257},
    {0, 55512, 0},
    {58853, 58853, 0},
    {1799, 0, 65278},
    {58853, 0, 58853},
    {0, 58853, 58853},
    {58853, 58853, 58853},
}};

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Widens a value of `digits` hex digits to 16 bits. One digit uses 0x1010, so "f"
// gives 0xF0F0 rather than 0xFFFF; programs that query colours rely on this.
std::uint16_t scaleTo16(unsigned value, int digits) {
    switch (digits) {
    case 1:
        return static_cast<std::uint16_t>(value * 4112);
    case 2:
        return static_cast<std::uint16_t>(value * 257);
    case 3:
        return static_cast<std::uint16_t>(value << 4 | value >> 4);
    default:
        return static_cast<std::uint16_t>(value);
    }
}

struct HexField {
    unsigned value = 0;
    int digits = 0;
};

// Reads up to maxDigits hex digits from the front of text and consumes them.
HexField readHex(std::string_view& text, std::size_t maxDigits) {
    HexField field;
    while (!text.empty() && static_cast<std::size_t>(field.digits) < maxDigits) {
        const int digit = hexValue(text.front());
        if (digit < 0) break;
        field.value = field.value * 16 + static_cast<unsigned>(digit);
        ++field.digits;
        text.remove_prefix(1);
    }
    return field;
}

std::optional<Color> parseHash(std::string_view digits) {
    const std::size_t length = digits.size();
    if (length != 3 && length != 6 && length != 9 && length != 12) return std::nullopt;
    const std::size_t n = length / 3;
    std::array<std::uint16_t, 3> channels{};
    for (std::size_t i = 0; i < 3; ++i) {
        // A group stops at its first non-hex character and keeps what it read.
        std::string_view group = digits.substr(i * n, n);
        channels[i] = scaleTo16(readHex(group, n).value, static_cast<int>(n));
    }
    return Color{channels[0], channels[1], channels[2]};
}

std::optional<Color> parseRgb(std::string_view fields) {
    std::array<HexField, 3> parts;
    for (HexField& part : parts) {
        part = readHex(fields, 4);
        if (!fields.empty() && fields.front() == '/') fields.remove_prefix(1);
    }
    const int n = std::max({parts[0].digits, parts[1].digits, parts[2].digits});
    if (n < 1) return std::nullopt;
    return Color{scaleTo16(parts[0].value, n), scaleTo16(parts[1].value, n), scaleTo16(parts[2].value, n)};
}

} // namespace

std::optional<Color> Color::parseColor(std::string_view text) {
    if (text.starts_with('#')) return parseHash(text.substr(1));
    if (text.starts_with("rgb:")) return parseRgb(text.substr(4));
    return std::nullopt;
}

std::vector<Color> Color::setupDefaultAnsiColors(std::span<const Color> initialColors) {
    static constexpr std::array<std::uint16_t, 6> levels{0, 95, 135, 175, 215, 255};
    std::vector<Color> colors(initialColors.begin(), initialColors.end());
    colors.reserve(colors.size() + 240);
    for (int i = 0; i < 216; ++i) {
        colors.push_back({static_cast<std::uint16_t>(levels[(i / 36) % 6] * 257),
                          static_cast<std::uint16_t>(levels[(i / 6) % 6] * 257),
                          static_cast<std::uint16_t>(levels[i % 6] * 257)});
    }
    for (int i = 0; i < 24; ++i) {
        const auto grey = static_cast<std::uint16_t>((8 + 10 * i) * 257);
        colors.push_back({grey, grey, grey});
    }
    return colors;
}

std::string Color::formatAsXcolor() const {
    char text[32];
    std::snprintf(text, sizeof text, "rgb:%04x/%04x/%04x", red, green, blue);
    return text;
}

} // namespace tarvik
