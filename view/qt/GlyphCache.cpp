#include "view/qt/GlyphCache.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {

QFont variantOf(const QFont& base, FontVariant variant) {
    QFont font = base;
    const bool bold = variant == FontVariant::bold || variant == FontVariant::boldItalic;
    const bool italic = variant == FontVariant::italic || variant == FontVariant::boldItalic;
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// The cluster and the two lookup tags (variant, cells) as one key, without allocating.
struct KeyBuffer {
    static constexpr std::size_t capacity = 32;
    std::array<char32_t, capacity> data{};
    std::size_t size = 0;

    KeyBuffer(std::u32string_view cluster, FontVariant variant, int cells) {
        const std::size_t n = std::min(cluster.size(), capacity - 2);
        std::copy_n(cluster.begin(), n, data.begin());
        data[n] = 0x110000 + static_cast<char32_t>(variant);
        data[n + 1] = 0x110000 + static_cast<char32_t>(cells);
        size = n + 2;
    }
    std::u32string_view view() const { return {data.data(), size}; }
};

} // namespace

GlyphCache::GlyphCache(const QFont& font) {
    setFont(font);
}

void GlyphCache::setFont(const QFont& font) {
    for (int i = 0; i < 4; ++i)
        fonts_[static_cast<std::size_t>(i)] = variantOf(font, static_cast<FontVariant>(i));
    const QFontMetricsF metrics(fonts_[0]);
    cellWidth_ = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('W')));
    cellHeight_ =
        std::clamp(std::ceil(metrics.ascent() + metrics.descent() + metrics.leading()), 1.0, 8192.0);
    clear();
}

void GlyphCache::clear() {
    rawFonts_.clear();
    for (const QFont& font : fonts_)
        rawFonts_.push_back(QRawFont::fromFont(font));
    pool_.clear();
    ascii_.fill(Entry{});
    clusters_.clear();
    shaped_ = 0;
}

std::span<const GlyphCache::Glyph> GlyphCache::lookup(std::u32string_view cluster, FontVariant variant,
                                                      int cells) {
    cells = std::clamp(cells, 1, 2);
    Entry* entry = nullptr;
    if (cluster.size() == 1 && cluster[0] < 128 && cells == 1) {
        entry = &ascii_[static_cast<std::size_t>(variant) * 128 + cluster[0]];
        if (!entry->known) *entry = shape(cluster, variant, cells);
    } else {
        const KeyBuffer key(cluster, variant, cells);
        auto found = clusters_.find(key.view());
        if (found == clusters_.end())
            found = clusters_.emplace(std::u32string(key.view()), shape(cluster, variant, cells)).first;
        entry = &found->second;
    }
    return {pool_.data() + entry->start, entry->count};
}

GlyphCache::Entry GlyphCache::shape(std::u32string_view cluster, FontVariant variant, int cells) {
    ++shaped_;
    Entry entry;
    entry.start = static_cast<std::uint32_t>(pool_.size());
    entry.known = true;
    if (cluster.empty()) return entry;
    if (cluster.size() != 1 || !shapeWithPrimary(cluster[0], variant, cells)) {
        const QString text = QString::fromUcs4(cluster.data(), static_cast<qsizetype>(cluster.size()));
        shapeWithFallback(text, variant, cells);
    }
    entry.count = static_cast<std::uint16_t>(pool_.size() - entry.start);
    return entry;
}

bool GlyphCache::shapeWithPrimary(char32_t scalar, FontVariant variant, int cells) {
    const QRawFont& raw = rawFonts_[static_cast<std::size_t>(variant)];
    if (!raw.isValid() || !raw.supportsCharacter(static_cast<uint>(scalar))) return false;
    const QString text = QString::fromUcs4(&scalar, 1);
    const QList<quint32> indexes = raw.glyphIndexesForString(text);
    if (indexes.size() != 1 || indexes[0] == 0) return false;
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(indexes);
    const double advance = advances.isEmpty() ? cellWidth_ : advances[0].x();
    // Centred in its cells: a wide character in a monospaced font is still one advance.
    const double x = std::max(0.0, (cells * cellWidth_ - advance) / 2);
    pool_.push_back(Glyph{indexes[0], static_cast<std::uint16_t>(variant), QPointF(x, 0)});
    return true;
}

namespace {

// Pictographs and anything asked for as emoji (U+FE0F, a keycap) are looked up in
// the colour emoji font first; the system's own fallback would often settle on a
// monochrome outline in some text font.
bool wantsColourEmoji(const QString& text) {
    for (const char32_t scalar : text.toUcs4())
        if (scalar == 0xFE0F || scalar == 0x20E3 || (scalar >= 0x1F000 && scalar <= 0x1FAFF)) return true;
    return false;
}

QFont preferringColourEmoji(QFont font) {
    font.setFamilies({QStringLiteral("Noto Color Emoji"), font.family()});
    return font;
}

} // namespace

void GlyphCache::shapeWithFallback(const QString& text, FontVariant variant, int cells) {
    const QFont& font = fonts_[static_cast<std::size_t>(variant)];
    QTextLayout layout(text, wantsColourEmoji(text) ? preferringColourEmoji(font) : font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return;
    }
    line.setLineWidth(1e6);
    layout.endLayout();
    const double target = cells * cellWidth_;
    const double advance = line.naturalTextWidth();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    double scale = advance > target && advance > 0 ? target / advance : 1.0;
    for (const QGlyphRun& run : runs) {
        const QRawFont raw = run.rawFont();
        const double height = raw.ascent() + raw.descent();
        if (height * scale > cellHeight_ * 1.2 && height > 0)
            scale = std::min(scale, cellHeight_ * 1.2 / height);
    }
    const double x0 = std::max(0.0, (target - advance * scale) / 2);
    for (const QGlyphRun& run : runs) {
        QRawFont raw = run.rawFont();
        if (scale != 1.0) raw.setPixelSize(raw.pixelSize() * scale);
        const std::uint16_t slot = slotFor(raw);
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i) {
            const QPointF p = positions[i];
            pool_.push_back(
                Glyph{indexes[i], slot, QPointF(x0 + p.x() * scale, (p.y() - line.ascent()) * scale)});
        }
    }
}

std::uint16_t GlyphCache::slotFor(const QRawFont& font) {
    for (std::size_t i = 0; i < rawFonts_.size(); ++i)
        if (rawFonts_[i] == font) return static_cast<std::uint16_t>(i);
    rawFonts_.push_back(font);
    return static_cast<std::uint16_t>(rawFonts_.size() - 1);
}

} // namespace tarvik
