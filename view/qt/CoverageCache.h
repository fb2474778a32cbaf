#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "view/qt/PixelTarget.h"

namespace tarvik {

class GlyphCache;

// Glyph coverage as the raster engine renders it, kept per glyph and sub-pixel phase so
// that drawing a glyph is one blend of its pixels. Each image is made by drawing the
// glyph once through a painter, at the same fraction of a device pixel it is placed at,
// so it matches what drawing it in place would have given.
class CoverageCache {
  public:
    struct Tile {
        // Format_Alpha8, cropped to the pixels the glyph touches; null when it touches
        // none. Colour glyphs (emoji) keep their pixels: Format_ARGB32_Premultiplied.
        QImage image;
        QPoint offset; // of the top-left pixel from the pen position's whole device pixel
        bool colored = false;
        // The image's pixels and geometry, read once (QImage's accessors are calls).
        PixelTarget::Coverage pixels;
        std::vector<std::uint16_t> lineSpans;
    };

    explicit CoverageCache(const GlyphCache& glyphs) : glyphs_(glyphs) { tiles_.reserve(1024); }

    // Empties the cache (after a font change, or a change of device pixel ratio).
    void clear() { tiles_.clear(); }

    // The tile of glyph `index` of font slot `font` drawn at device position `pen`
    // (whose whole part the caller adds back) with `scale` device pixels per unit.
    const Tile& lookup(int font, std::uint32_t index, QPointF pen, double scale);

  private:
    // The fractions are kept exactly: the font engine buckets sub-pixel positions its own
    // way, and a rounded fraction could land in the next bucket.
    struct Key {
        int font;
        std::uint32_t index;
        double fx;
        double fy;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };

    Tile render(int font, std::uint32_t index, double fx, double fy, double scale) const;

    const GlyphCache& glyphs_;
    double scale_ = 0;
    std::unordered_map<Key, Tile, KeyHash> tiles_;
};

} // namespace tarvik
