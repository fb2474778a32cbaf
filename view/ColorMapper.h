#pragma once

#include <cstdint>
#include <span>

#include "terminal/Attribute.h"
#include "terminal/Color.h"

namespace tarvik {

enum class FontVariant : std::uint8_t { normal, bold, italic, boldItalic };
enum class UnderlineStyle : std::uint8_t { none, single, dotted };

// Everything a run of cells needs to be drawn: resolved colours and the font to use.
struct RunStyle {
    Color foreground;
    Color background;
    FontVariant font = FontVariant::normal;
    // Hyperlinks get the dotted underline, which wins over a plain one.
    UnderlineStyle underline = UnderlineStyle::none;
    bool strikethrough = false;
    friend bool operator==(const RunStyle&, const RunStyle&) = default;
};

// Turns cell attributes into drawing colours and fonts. The palette and the two native
// colours are read on every call rather than cached, so a palette change never leaves a
// stale colour behind; a lookup is a few byte tests and an array read.
class ColorMapper {
  public:
    // palette: the terminal's current 256 entries (shorter palettes read as black).
    ColorMapper(std::span<const Color> palette, Color nativeForeground, Color nativeBackground,
                bool useBrightColors)
        : palette_(palette), nativeForeground_(nativeForeground), nativeBackground_(nativeBackground),
          useBrightColors_(useBrightColors) {}

    // With useBrightColors, a bold foreground in palette 0-6 is drawn in index + 8. Without
    // it, palette 8-15 are drawn as 0-7 (the cube and the grey ramp keep their colours).
    Color mapColor(Attribute::Color color, bool isFg, bool isBold) const;
    // Inverse swap, font choice, underline and strike; withUrl adds the dotted underline.
    RunStyle getAttributes(const Attribute& attribute, bool withUrl) const;

    static Color inverse(Color color);
    // The palette index actually looked up for a foreground (the bright and lowering rules).
    static int effectiveIndex(int index, bool isFg, bool isBold, bool useBrightColors);

  private:
    Color paletteEntry(int index) const;

    std::span<const Color> palette_;
    Color nativeForeground_;
    Color nativeBackground_;
    bool useBrightColors_;
};

} // namespace tarvik
