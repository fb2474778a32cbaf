#include "view/qt/FramePainter.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRgba64>

#include <algorithm>
#include <cmath>

#include "view/qt/BoxDrawing.h"
#include "view/qt/QtImageFactory.h"

namespace tarvik {

namespace {

// An opaque colour through the 8-bit value the raster engine rounds it to anyway: a QColor
// built from a QRgb is cheap, and solid fills and glyph pens convert one per run.
QRgb rgbOf(const Color& color) {
    return QRgba64::fromRgba64(color.red, color.green, color.blue, 0xffff).toArgb32();
}

QColor opaque(const Color& color) {
    return QColor(rgbOf(color));
}

std::uint64_t batchKey(int font, const Color& color) {
    return (static_cast<std::uint64_t>(font) << 48) | (static_cast<std::uint64_t>(color.red) << 32) |
           (static_cast<std::uint64_t>(color.green) << 16) | color.blue;
}

bool drawsNothing(std::u32string_view text) {
    return text.empty() || (text.size() == 1 && (text[0] == U' ' || text[0] == 0));
}

// Rows drawn double width or double height get their transform; the clip keeps the
// doubled halves inside the row.
void applyRenderMode(QPainter& painter, BufferLine::RenderLineMode mode, double y, double height, double width) {
    using Mode = BufferLine::RenderLineMode;
    if (mode == Mode::single) return;
    painter.setClipRect(QRectF(0, y, width, height), Qt::IntersectClip);
    if (mode == Mode::doubleWidth) {
        painter.scale(2, 1);
        return;
    }
    const double pivot = mode == Mode::doubledTop ? y : y + height;
    painter.translate(0, pivot);
    painter.scale(2, 2);
    painter.translate(0, -pivot);
}

} // namespace

FramePainter::FramePainter(GlyphCache& glyphs)
    : glyphs_(glyphs), tiles_(glyphs), metrics_(glyphs.font(FontVariant::normal)) {
    fontChanged();
}

void FramePainter::fontChanged() {
    metrics_ = QFontMetricsF(glyphs_.font(FontVariant::normal));
    ascent_ = metrics_.ascent();
    tiles_.clear();
    keys_.assign(tableSize, 0);
    slots_.assign(tableSize, -1);
    batches_.clear();
    usedSlots_.clear();
}

FramePainter::Batch* FramePainter::batchFor(std::uint64_t key, int font, const Color& color) {
    std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 52) & (tableSize - 1);
    while (slots_[slot] >= 0 && keys_[slot] != key)
        slot = (slot + 1) & (tableSize - 1);
    if (slots_[slot] < 0) {
        if (usedSlots_.size() >= tableSize / 2) return nullptr; // full: the caller flushes
        // Batch objects are reused from frame to frame, keeping their lists' storage.
        if (usedSlots_.size() == batches_.size()) batches_.emplace_back();
        Batch& batch = batches_[usedSlots_.size()];
        batch.font = font;
        batch.color = opaque(color);
        keys_[slot] = key;
        slots_[slot] = static_cast<int>(usedSlots_.size());
        usedSlots_.push_back(slot);
    }
    return &batches_[static_cast<std::size_t>(slots_[slot])];
}

QColor FramePainter::toQColor(const Color& color) {
    return QColor(QRgba64::fromRgba64(color.red, color.green, color.blue, 0xffff));
}

void FramePainter::paintRows(QPainter& painter, const Frame& frame, int firstRow, int lastRow,
                             const PaintStyle& style) {
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, frame.rowCount - 1);
    const double ch = frame.cell.height;
    const double gridWidth = frame.cols * frame.cell.width;
    const Color& background = frame.defaultBackground;
    target_ = PixelTarget::of(painter);
    // Past the grid on the right and, with the last row, below it.
    if (style.viewWidth > gridWidth && lastRow >= firstRow)
        fill(painter, QRectF(gridWidth, firstRow * ch, style.viewWidth - gridWidth, (lastRow - firstRow + 1) * ch),
             background);
    if (lastRow == frame.rowCount - 1 && style.viewHeight > frame.rowCount * ch)
        fill(painter, QRectF(0, frame.rowCount * ch, std::max(style.viewWidth, gridWidth),
                             style.viewHeight - frame.rowCount * ch),
             background);

    for (int r = firstRow; r <= lastRow; ++r) {
        const FrameRow& row = frame.rows[static_cast<std::size_t>(r)];
        const double y = r * ch;
        if (!row.exists || row.cells.empty()) {
            fill(painter, QRectF(0, y, gridWidth, ch), background);
            continue;
        }
        const bool transformed = row.renderMode != BufferLine::RenderLineMode::single;
        std::optional<PixelTarget> direct;
        if (transformed) {
            // Doubled rows need the painter's transform: no direct pixels for them.
            flush(painter);
            direct.swap(target_);
            painter.save();
            applyRenderMode(painter, row.renderMode, y, ch, std::max(style.viewWidth, gridWidth));
        }
        paintBackgrounds(painter, frame, row, y, style);
        // The glyphs gathered for the row above go down now, over both rows' backgrounds
        // (so a glyph reaching into this row stays visible) and while their pixels are
        // still in the processor's cache.
        flush(painter);
        collectText(painter, frame, row, y);
        paintDecorations(painter, frame, row, y);
        if (transformed) {
            flush(painter);
            painter.restore();
            target_.swap(direct);
        }
    }
    flush(painter);
    target_.reset();
    for (int r = firstRow; r <= lastRow; ++r)
        paintImages(painter, frame, frame.rows[static_cast<std::size_t>(r)], r * ch);
}

void FramePainter::paintBackgrounds(QPainter& painter, const Frame& frame, const FrameRow& row, double y,
                                    const PaintStyle& style) {
    const double cw = frame.cell.width, ch = frame.cell.height;
    // Neighbouring runs often differ only in their text style: one fill per colour span.
    const auto& runs = row.runs;
    if (target_) {
        bandSpans_.clear();
        for (const FrameRun& run : runs) {
            const QRgb color = rgbOf(run.style.background);
            const double right = (run.firstCol + run.colCount) * cw;
            if (!bandSpans_.empty() && bandSpans_.back().color == color)
                bandSpans_.back().right = right;
            else
                bandSpans_.push_back(PixelTarget::Span{right, color});
        }
        if (!runs.empty()) target_->fillBand(runs.front().firstCol * cw, y, y + ch, bandSpans_);
    }
    for (std::size_t i = 0; !target_ && i < runs.size();) {
        const Color& background = runs[i].style.background;
        std::size_t j = i + 1;
        while (j < runs.size() && runs[j].style.background == background)
            ++j;
        const int firstCol = runs[i].firstCol, endCol = runs[j - 1].firstCol + runs[j - 1].colCount;
        fill(painter, QRectF(firstCol * cw, y, (endCol - firstCol) * cw, ch), background);
        i = j;
    }
    if (!row.selection.empty()) {
        const int end = std::min(row.selection.endCol, frame.cols);
        painter.fillRect(QRectF(row.selection.startCol * cw, y, (end - row.selection.startCol) * cw, ch),
                         style.selectionColor);
    }
}

void FramePainter::collectText(QPainter& painter, const Frame& frame, const FrameRow& row, double y) {
    const double cw = frame.cell.width;
    const double baseline = y + ascent_;
    for (const FrameRun& run : row.runs) {
        const int end = std::min(run.firstCol + run.colCount, static_cast<int>(row.cells.size()));
        for (int col = run.firstCol; col < end; ++col) {
            const FrameCell& cell = row.cells[static_cast<std::size_t>(col)];
            if (cell.filler) continue;
            const std::u32string_view text = row.cellText(col);
            if (drawsNothing(text)) continue;
            const double x = col * cw;
            if (text.size() == 1 && BoxDrawing::covers(text[0])) {
                const double left = std::round(x), right = std::round(x + cw * cell.width);
                BoxDrawing::draw(painter, text[0], QRectF(left, y, right - left, frame.cell.height),
                                 toQColor(run.style.foreground));
                continue;
            }
            addGlyphs(painter, row, run, col, x, baseline);
        }
    }
}

void FramePainter::fill(QPainter& painter, const QRectF& rect, const Color& color) {
    if (target_)
        target_->fill(rect, rgbOf(color));
    else
        painter.fillRect(rect, opaque(color));
}

void FramePainter::addGlyphs(QPainter& painter, const FrameRow& row, const FrameRun& run, int col, double x, double baseline) {
    const FrameCell& cell = row.cells[static_cast<std::size_t>(col)];
    if (target_) {
        const QRgb color = rgbOf(run.style.foreground);
        for (const GlyphCache::Glyph& glyph : glyphs_.lookup(row.cellText(col), run.style.font, cell.width)) {
            const QPointF pen = target_->toDevice(QPointF(x + glyph.offset.x(), baseline + glyph.offset.y()));
            const CoverageCache::Tile& tile = tiles_.lookup(glyph.font, glyph.index, pen, target_->scale());
            if (!tile.pixels.bits) continue;
            pendingTiles_.push_back(PendingTile{&tile, static_cast<int>(std::floor(pen.x())) + tile.offset.x(),
                                                static_cast<int>(std::floor(pen.y())) + tile.offset.y(), color});
        }
        return;
    }
    std::uint64_t lastKey = ~0ull;
    Batch* batch = nullptr;
    for (const GlyphCache::Glyph& glyph : glyphs_.lookup(row.cellText(col), run.style.font, cell.width)) {
        const std::uint64_t key = batchKey(glyph.font, run.style.foreground);
        if (key != lastKey) {
            batch = batchFor(key, glyph.font, run.style.foreground);
            if (!batch) {
                flush(painter);
                batch = batchFor(key, glyph.font, run.style.foreground);
            }
            lastKey = key;
        }
        batch->indexes.push_back(glyph.index);
        batch->positions.push_back(QPointF(x + glyph.offset.x(), baseline + glyph.offset.y()));
    }
}

void FramePainter::flush(QPainter& painter) {
    if (target_)
        for (const PendingTile& pending : pendingTiles_) {
            const CoverageCache::Tile& tile = *pending.tile;
            const PixelTarget::Coverage& p = tile.pixels;
            if (tile.colored)
                target_->blendPixels(p.bits, p.stride, p.width, p.height, pending.x, pending.y);
            else
                target_->blend(p, pending.x, pending.y, pending.color);
        }
    pendingTiles_.clear();
    for (const std::size_t slot : usedSlots_) {
        Batch& batch = batches_[static_cast<std::size_t>(slots_[slot])];
        slots_[slot] = -1;
        if (batch.indexes.isEmpty()) continue;
        QGlyphRun run;
        run.setRawFont(glyphs_.rawFont(batch.font));
        run.setGlyphIndexes(batch.indexes);
        run.setPositions(batch.positions);
        painter.setPen(batch.color);
        painter.drawGlyphRun(QPointF(0, 0), run);
        run = QGlyphRun(); // releases the lists, so clearing them keeps their storage
        batch.indexes.clear();
        batch.positions.clear();
    }
    usedSlots_.clear();
}

void FramePainter::paintDecorations(QPainter& painter, const Frame& frame, const FrameRow& row, double y) {
    const double cw = frame.cell.width;
    const double thickness = std::max(1.0, metrics_.lineWidth());
    const double baseline = y + ascent_;
    for (const FrameRun& run : row.runs) {
        const bool underline = run.style.underline != UnderlineStyle::none;
        if (!underline && !run.style.strikethrough) continue;
        const QColor color = toQColor(run.style.foreground);
        const double x0 = run.firstCol * cw, width = run.colCount * cw;
        if (run.style.underline == UnderlineStyle::single) {
            painter.fillRect(QRectF(x0, baseline + metrics_.underlinePos(), width, thickness), color);
        } else if (run.style.underline == UnderlineStyle::dotted) {
            // Dots one line-thickness long with gaps as long, from the run's left edge.
            for (double x = x0; x < x0 + width; x += 2 * thickness)
                painter.fillRect(QRectF(x, baseline + metrics_.underlinePos(), std::min(thickness, x0 + width - x),
                                        thickness),
                                 color);
        }
        if (run.style.strikethrough)
            painter.fillRect(QRectF(x0, baseline - metrics_.strikeOutPos(), width, thickness), color);
    }
}

void FramePainter::paintImages(QPainter& painter, const Frame& frame, const FrameRow& row, double y) {
    for (const TerminalImage* image : row.images) {
        const auto* strip = dynamic_cast<const QtStripImage*>(image);
        if (!strip) continue; // strips of other kinds are not ours to draw
        painter.drawImage(QRectF(strip->col() * frame.cell.width, y, strip->pixelWidth(), strip->pixelHeight()),
                          strip->image());
    }
}

void FramePainter::paintCaret(QPainter& painter, const Frame& frame, const PaintStyle& style) {
    const CaretFrame& caret = frame.caret;
    if (!caret.visible || style.caretOpacity <= 0) return;
    const QRectF cell(caret.x, caret.y, caret.width, caret.height);
    painter.save();
    painter.setOpacity(style.caretOpacity);
    if (!style.focused) {
        // Without focus every style shows the cell's outline, 3 points wide.
        QPen pen(style.caretColor, 3);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(1.5, 1.5, -1.5, -1.5));
        painter.restore();
        return;
    }
    switch (caret.style) {
    case CursorStyle::blinkUnderline:
    case CursorStyle::steadyUnderline:
        painter.fillRect(QRectF(cell.left(), cell.bottom() - 2, cell.width(), 2), style.caretColor);
        break;
    case CursorStyle::blinkBar:
    case CursorStyle::steadyBar: painter.fillRect(QRectF(cell.left(), cell.top(), 2, cell.height()), style.caretColor); break;
    case CursorStyle::blinkBlock:
    case CursorStyle::steadyBlock: {
        painter.fillRect(cell, style.caretColor);
        const std::u32string_view text = caret.cellText();
        if (drawsNothing(text)) break;
        const QColor textColor = style.caretTextColor.value_or(toQColor(frame.defaultForeground));
        if (text.size() == 1 && BoxDrawing::covers(text[0])) {
            BoxDrawing::draw(painter, text[0], cell, textColor);
            break;
        }
        const double baseline = cell.bottom() - std::ceil(metrics_.descent() + metrics_.leading());
        const int cells = caret.width > frame.cell.width * 1.5 ? 2 : 1;
        painter.setPen(textColor);
        for (const GlyphCache::Glyph& glyph : glyphs_.lookup(text, caret.cellStyle.font, cells)) {
            QGlyphRun run;
            run.setRawFont(glyphs_.rawFont(glyph.font));
            run.setGlyphIndexes({glyph.index});
            run.setPositions({QPointF(cell.left() + glyph.offset.x(), baseline + glyph.offset.y())});
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        break;
    }
    }
    painter.restore();
}

void FramePainter::paintPreedit(QPainter& painter, const Frame& frame, const QString& text) {
    if (text.isEmpty()) return;
    const CaretFrame& caret = frame.caret;
    const QFont& font = glyphs_.font(FontVariant::normal);
    const double width = std::max(caret.width, metrics_.horizontalAdvance(text));
    const QRectF box(caret.x, caret.y, width, frame.cell.height);
    painter.save();
    painter.fillRect(box, toQColor(frame.defaultBackground));
    painter.setFont(font);
    painter.setPen(toQColor(frame.defaultForeground));
    painter.drawText(QPointF(box.left(), box.top() + ascent_), text);
    painter.fillRect(QRectF(box.left(), box.top() + ascent_ + metrics_.underlinePos(), width,
                            std::max(1.0, metrics_.lineWidth())),
                     toQColor(frame.defaultForeground));
    painter.restore();
}

} // namespace tarvik
