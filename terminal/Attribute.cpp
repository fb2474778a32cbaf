#include "terminal/Attribute.h"

namespace tarvik {

namespace {

// The kind is the discriminator, so ansi256(1) and trueColor(1, 0, 0) hash apart.
std::uint32_t packed(const Attribute::Color& color) {
    return static_cast<std::uint32_t>(color.kind()) << 24 | static_cast<std::uint32_t>(color.red()) << 16 |
           static_cast<std::uint32_t>(color.green()) << 8 | color.blue();
}

} // namespace

std::size_t hashValue(const Attribute::Color& color) {
    return std::hash<std::uint32_t>{}(packed(color));
}

std::size_t hashValue(const Attribute& attribute) {
    const std::uint64_t bits = static_cast<std::uint64_t>(packed(attribute.fg)) << 32 | packed(attribute.bg);
    const std::uint64_t style = attribute.style.rawValue();
    return std::hash<std::uint64_t>{}(bits) ^ static_cast<std::size_t>((style + 1) * 0x9E3779B97F4A7C15ull);
}

} // namespace tarvik
