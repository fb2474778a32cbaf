#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>

#include <cstdint>
#include <deque>
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

    explicit CoverageCache(const GlyphCache& glyphs) : glyphs_(glyphs) { clear(); }

    // Empties the cache (after a font change, or a change of device pixel ratio).
    void clear();

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
    static std::size_t hash(const Key& key);

    // The lookup runs once per glyph drawn: an open-addressed table of keys beside the
    // tile pointers keeps it to a probe or two in memory it has just touched, where a
    // node-based map walked a chain of separately allocated tiles.
    struct Slot {
        Key key{};
        const Tile* tile = nullptr; // null: free
    };
    void insert(const Key& key, const Tile* tile);
    void grow();

    Tile render(int font, std::uint32_t index, double fx, double fy, double scale) const;

    const GlyphCache& glyphs_;
    double scale_ = 0;
    std::deque<Tile> tiles_; // a deque, so the tiles handed out stay put as it grows
    std::vector<Slot> slots_; // a power of two in size, at most half full
};

} // namespace tarvik
