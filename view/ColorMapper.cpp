#include "view/ColorMapper.h"

namespace tarvik {

using ColorKind = Attribute::Color::Kind;

Color ColorMapper::inverse(Color color) {
    return Color{static_cast<std::uint16_t>(65535 - color.red), static_cast<std::uint16_t>(65535 - color.green),
                 static_cast<std::uint16_t>(65535 - color.blue)};
}

int ColorMapper::effectiveIndex(int index, bool isFg, bool isBold, bool useBrightColors) {
    if (useBrightColors) return (isFg && isBold && index < 7) ? index + 8 : index;
    // Only the bright half of the base colours has a dark twin eight below; lowering a
    // cube or grey index would pick an unrelated colour.
    return (index >= 8 && index <= 15) ? index - 8 : index;
}

Color ColorMapper::paletteEntry(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= palette_.size()) return Color{};
    return palette_[static_cast<std::size_t>(index)];
}

Color ColorMapper::mapColor(Attribute::Color color, bool isFg, bool isBold) const {
    switch (color.kind()) {
    case ColorKind::ansi256:
        return paletteEntry(effectiveIndex(color.code(), isFg, isBold, useBrightColors_));
    case ColorKind::trueColor:
        return Color{static_cast<std::uint16_t>(color.red() * 257), static_cast<std::uint16_t>(color.green() * 257),
                     static_cast<std::uint16_t>(color.blue() * 257)};
    case ColorKind::defaultColor:
        return isFg ? nativeForeground_ : nativeBackground_;
    case ColorKind::defaultInvertedColor:
        return inverse(isFg ? nativeForeground_ : nativeBackground_);
    }
    return nativeForeground_;
}

namespace {

bool isDefault(Attribute::Color color) {
    return color.kind() == ColorKind::defaultColor || color.kind() == ColorKind::defaultInvertedColor;
}

} // namespace

RunStyle ColorMapper::getAttributes(const Attribute& attribute, bool withUrl) const {
    const CharacterStyle style = attribute.style;
    Attribute::Color fg = attribute.fg;
    Attribute::Color bg = attribute.bg;
    if (style.contains(CharacterStyle::inverse)) {
        std::swap(fg, bg);
        if (isDefault(fg)) fg = Attribute::Color::defaultInvertedColor();
        if (isDefault(bg)) bg = Attribute::Color::defaultInvertedColor();
    }
    const bool bold = style.contains(CharacterStyle::bold);
    // Without bright colours, brightness is shown by the bold face instead.
    const bool brightAsBold =
        !useBrightColors_ && fg.kind() == ColorKind::ansi256 && fg.code() >= 8 && fg.code() <= 15;
    const bool italic = style.contains(CharacterStyle::italic);

    RunStyle run;
    if (bold || brightAsBold)
        run.font = italic ? FontVariant::boldItalic : FontVariant::bold;
    else
        run.font = italic ? FontVariant::italic : FontVariant::normal;
    run.foreground = mapColor(fg, true, bold);
    run.background = mapColor(bg, false, false);
    if (style.contains(CharacterStyle::underline)) run.underline = UnderlineStyle::single;
    if (withUrl) run.underline = UnderlineStyle::dotted;
    run.strikethrough = style.contains(CharacterStyle::crossedOut);
    return run;
}

} // namespace tarvik
