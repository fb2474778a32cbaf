#pragma once

#include <QFont>
#include <QPointF>
#include <QRawFont>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "view/ColorMapper.h"

namespace tarvik {

// Glyphs for cell clusters, looked up once and kept. A cluster the chosen font lacks is
// shaped with the system's fallback fonts and scaled, when it is wider than its cells,
// so that it stays inside them. Drawing then needs only glyph indexes and positions:
// the painter batches them into glyph runs, one per font and colour.
class GlyphCache {
  public:
    // One glyph of a cluster; `offset` is from the left end of the cell's baseline.
    struct Glyph {
        std::uint32_t index = 0;
        std::uint16_t font = 0; // slot of rawFont()
        QPointF offset;
    };

    explicit GlyphCache(const QFont& font);

    // Replaces the four fonts (the given one, bold, italic, bold italic); empties the cache.
    void setFont(const QFont& font);
    void clear();

    const QFont& font(FontVariant variant) const { return fonts_[static_cast<int>(variant)]; }
    const QRawFont& rawFont(int slot) const { return rawFonts_[static_cast<std::size_t>(slot)]; }
    int fontCount() const { return static_cast<int>(rawFonts_.size()); }

    // The glyphs for a cluster drawn `cells` wide (1, or 2 for a wide character). The
    // span is valid until the next lookup.
    std::span<const Glyph> lookup(std::u32string_view cluster, FontVariant variant, int cells);

    // Number of clusters shaped so far (for tests of the cache's emptying).
    std::size_t shapedCount() const { return shaped_; }

  private:
    struct Entry {
        std::uint32_t start = 0;
        std::uint16_t count = 0;
        bool known = false;
    };
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::u32string_view key) const { return std::hash<std::u32string_view>{}(key); }
    };
    struct KeyEqual {
        using is_transparent = void;
        bool operator()(std::u32string_view a, std::u32string_view b) const { return a == b; }
    };

    Entry shape(std::u32string_view cluster, FontVariant variant, int cells);
    bool shapeWithPrimary(char32_t scalar, FontVariant variant, int cells);
    void shapeWithFallback(const QString& text, FontVariant variant, int cells);
    std::uint16_t slotFor(const QRawFont& font);

    std::array<QFont, 4> fonts_;
    std::vector<QRawFont> rawFonts_; // slots 0-3: the four variants
    double cellWidth_ = 1;
    double cellHeight_ = 1;
    std::vector<Glyph> pool_;
    std::array<Entry, 4 * 128> ascii_{};
    std::unordered_map<std::u32string, Entry, KeyHash, KeyEqual> clusters_;
    std::size_t shaped_ = 0;
};

} // namespace tarvik
