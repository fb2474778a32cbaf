#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// An RGB colour with 16 bits per channel, the precision of X11 colour strings (rgb:ffff/0000/0000).
struct Color {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;

    static const Color defaultForeground;
    static const Color defaultBackground;
    // The 16 base colours a palette is built from.
    static const std::array<Color, 16> defaultInstalledColors;

    // Parses "#" with 3, 6, 9 or 12 hex digits, or "rgb:r/g/b" with 1-4 hex digits per
    // field. None for anything else.
    static std::optional<Color> parseColor(std::string_view text);

    // The 256-entry palette: the 16 given colours, the 6x6x6 cube and the grey ramp.
    static std::vector<Color> setupDefaultAnsiColors(std::span<const Color> initialColors);

    // "rgb:rrrr/gggg/bbbb", four lower-case hex digits per channel.
    std::string formatAsXcolor() const;

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

inline constexpr Color Color::defaultForeground{35389, 35389, 35389};
inline constexpr Color Color::defaultBackground{0, 0, 0};

} // namespace tarvik
