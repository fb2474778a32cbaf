#include "view/qt/CoverageCache.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

#include <cmath>
#include <cstring>

#include "view/qt/GlyphCache.h"

namespace tarvik {

std::size_t CoverageCache::hash(const Key& key) {
    std::uint64_t x = 0, y = 0;
    std::memcpy(&x, &key.fx, sizeof x);
    std::memcpy(&y, &key.fy, sizeof y);
    std::uint64_t h = (static_cast<std::uint64_t>(key.font) << 32) ^ key.index;
    h = (h ^ (x + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2))) * 0xff51afd7ed558ccdull;
    h = (h ^ (y + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2))) * 0xc4ceb9fe1a85ec53ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

void CoverageCache::clear() {
    tiles_.clear();
    slots_.assign(1024, Slot{});
}

const CoverageCache::Tile& CoverageCache::lookup(int font, std::uint32_t index, QPointF pen, double scale) {
    if (scale != scale_) {
        clear();
        scale_ = scale;
    }
    const Key key{font, index, pen.x() - std::floor(pen.x()), pen.y() - std::floor(pen.y())};
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(key) & mask; slots_[i].tile; i = (i + 1) & mask)
        if (slots_[i].key == key) return *slots_[i].tile;
    const Tile& tile = tiles_.emplace_back(render(font, index, key.fx, key.fy, scale));
    if (2 * tiles_.size() > slots_.size()) grow();
    insert(key, &tile);
    return tile;
}

void CoverageCache::insert(const Key& key, const Tile* tile) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash(key) & mask;
    while (slots_[i].tile)
        i = (i + 1) & mask;
    slots_[i] = Slot{key, tile};
}

void CoverageCache::grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (const Slot& slot : old)
        if (slot.tile) insert(slot.key, slot.tile);
}

CoverageCache::Tile CoverageCache::render(int font, std::uint32_t index, double fx, double fy, double scale) const {
    const QRawFont& raw = glyphs_.rawFont(font);
    // Room around the outline's box for antialiasing and the engine's rounding.
    const QRectF box = raw.boundingRect(index);
    const int left = static_cast<int>(std::floor(box.left() * scale)) - 2;
    const int top = static_cast<int>(std::floor(box.top() * scale)) - 2;
    const int right = static_cast<int>(std::ceil(box.right() * scale)) + 3;
    const int bottom = static_cast<int>(std::ceil(box.bottom() * scale)) + 3;
    Tile tile;
    if (right <= left || bottom <= top || box.isEmpty()) return tile;
    QImage image(right - left, bottom - top, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(fx - left, fy - top);
        painter.scale(scale, scale);
        painter.setPen(Qt::white);
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes({index});
        run.setPositions({QPointF(0, 0)});
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    // White drawn on transparent leaves (a, a, a, a) where the glyph covers a; any other
    // pixel means a glyph with colours of its own.
    QRect used;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            if (p == 0) continue;
            used |= QRect(x, y, 1, 1);
            const int a = qAlpha(p);
            if (qRed(p) != a || qGreen(p) != a || qBlue(p) != a) tile.colored = true;
        }
    }
    if (used.isEmpty()) return tile;
    tile.image = image.copy(used);
    if (!tile.colored) tile.image = tile.image.convertToFormat(QImage::Format_Alpha8);
    tile.offset = QPoint(left + used.left(), top + used.top());
    const int width = tile.image.width(), height = tile.image.height();
    tile.lineSpans.assign(2 * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height && !tile.colored; ++y) {
        const uchar* line = tile.image.constScanLine(y);
        int first = 0, end = width;
        while (first < end && line[first] == 0)
            ++first;
        while (end > first && line[end - 1] == 0)
            --end;
        tile.lineSpans[2 * static_cast<std::size_t>(y)] = static_cast<std::uint16_t>(first);
        tile.lineSpans[2 * static_cast<std::size_t>(y) + 1] = static_cast<std::uint16_t>(end);
    }
    tile.pixels = {tile.image.constBits(), tile.image.bytesPerLine(), width, height, tile.lineSpans.data()};
    return tile;
}

} // namespace tarvik
