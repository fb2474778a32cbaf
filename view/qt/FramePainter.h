#pragma once

#include <QColor>
#include <QFontMetricsF>
#include <QList>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "view/Frame.h"
#include "view/qt/CoverageCache.h"
#include "view/qt/GlyphCache.h"
#include "view/qt/PixelTarget.h"

class QPainter;

namespace tarvik {

// What a frame alone does not say: the view's own colours and the caret's state.
struct PaintStyle {
    QColor selectionColor{0x30, 0x8c, 0xc6};
    QColor caretColor{0x30, 0x8c, 0xc6};
    std::optional<QColor> caretTextColor; // none: the default foreground
    bool focused = true;
    double caretOpacity = 1;
    double viewWidth = 0; // the drawing area, filled past the grid with the default background
    double viewHeight = 0;
};

// Paints frames with QPainter: backgrounds per run, the selection, glyphs at their
// cells' columns, box drawing, underlines and strike-through at the font's positions,
// double-size rows, image strips after the text, and the caret.
//
// Where the painter draws into a plain raster image, backgrounds and glyphs are written
// straight into its pixels (PixelTarget, CoverageCache). Otherwise glyphs are not drawn
// cell by cell: they are gathered per font and colour over a row and drawn as one glyph
// run each.
class FramePainter {
  public:
    explicit FramePainter(GlyphCache& glyphs);

    // Call after the cache's font changed.
    void fontChanged();

    // Rows firstRow ... lastRow of the frame (viewport rows), which must have been built.
    void paintRows(QPainter& painter, const Frame& frame, int firstRow, int lastRow, const PaintStyle& style);
    void paintCaret(QPainter& painter, const Frame& frame, const PaintStyle& style);
    // Input-method text being composed, shown at the caret and not yet sent.
    void paintPreedit(QPainter& painter, const Frame& frame, const QString& text);

    static QColor toQColor(const Color& color);

  private:
    struct Batch {
        int font = 0;
        QColor color;
        QList<quint32> indexes;
        QList<QPointF> positions;
    };

    void paintBackgrounds(QPainter& painter, const Frame& frame, const FrameRow& row, double y,
                          const PaintStyle& style);
    void collectText(QPainter& painter, const Frame& frame, const FrameRow& row, double y);
    void paintDecorations(QPainter& painter, const Frame& frame, const FrameRow& row, double y);
    void addGlyphs(QPainter& painter, const FrameRow& row, const FrameRun& run, int col, double x, double baseline);
    void flush(QPainter& painter);
    void fill(QPainter& painter, const QRectF& rect, const Color& color);
    void paintImages(QPainter& painter, const Frame& frame, const FrameRow& row, double y);

    // A glyph waiting for the row below's backgrounds, drawn straight into the pixels.
    struct PendingTile {
        const CoverageCache::Tile* tile;
        int x;
        int y;
        QRgb color;
    };

    GlyphCache& glyphs_;
    CoverageCache tiles_;
    std::optional<PixelTarget> target_; // set while paintRows draws straight into pixels
    std::vector<PendingTile> pendingTiles_;
    std::vector<PixelTarget::Span> bandSpans_;
    QFontMetricsF metrics_;
    double ascent_ = 0;
    // Batches by (font, colour) in a small open-addressed table: the lookup runs once
    // per glyph, and a screen of many colours would spend its time in a general map.
    Batch* batchFor(std::uint64_t key, int font, const Color& color); // null when full
    static constexpr std::size_t tableSize = 4096; // power of two, above the colours a frame uses
    std::vector<std::uint64_t> keys_;
    std::vector<int> slots_; // index into batches_, -1 when free
    std::vector<Batch> batches_;
    std::vector<std::size_t> usedSlots_;
};

} // namespace tarvik
