#include "terminal/Attribute.h"

#include <string>
#include <utility>

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

namespace tarvik {

namespace {

void appendSgrColor(std::string& out, const Attribute::Color& color, int base, int brightBase,
                    const char* extended) {
    switch (color.kind()) {
    case Attribute::Color::Kind::ansi256: {
        const int code = color.code();
        if (code < 8)
            out += ";" + std::to_string(base + code);
        else if (code < 16)
            out += ";" + std::to_string(brightBase + code - 8);
        else
            out += std::string(";") + extended + ";5;" + std::to_string(code);
        break;
    }
    case Attribute::Color::Kind::trueColor:
        out += std::string(";") + extended + ":2::" + std::to_string(color.red()) + ":" +
               std::to_string(color.green()) + ":" + std::to_string(color.blue());
        break;
    case Attribute::Color::Kind::defaultColor:
    case Attribute::Color::Kind::defaultInvertedColor: break;
    }
}

} // namespace

std::string Attribute::toSgr() const {
    // Every style bit is reported, so a program that saves and restores the pen this way
    // gets dim, italic and crossed-out text back as well.
    static constexpr std::pair<CharacterStyle, const char*> styles[] = {
        {CharacterStyle::bold, ";1"},      {CharacterStyle::dim, ";2"},     {CharacterStyle::italic, ";3"},
        {CharacterStyle::underline, ";4"}, {CharacterStyle::blink, ";5"},   {CharacterStyle::inverse, ";7"},
        {CharacterStyle::invisible, ";8"}, {CharacterStyle::crossedOut, ";9"},
    };
    std::string out = "0";
    for (const auto& [bit, text] : styles)
        if (style.contains(bit)) out += text;
    appendSgrColor(out, fg, 30, 90, "38");
    appendSgrColor(out, bg, 40, 100, "48");
    return out + "m";
}

} // namespace tarvik
