#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QRgb>

#include <cstdint>
#include <optional>
#include <span>

class QPainter;

namespace tarvik {

// The pixels a painter draws into, for writing solid backgrounds and glyph coverage
// straight into them. A screen of many colours costs thousands of fills and glyph runs,
// and the painter's per-call work (state, pen, clipping, caches) then outweighs the
// pixels themselves; written here they cost little more than the memory they touch.
//
// Only available while the painter draws into a 32-bit raster image (an offscreen
// image, or the window's backing store behind a widget) with no world transform, clip,
// opacity or composition mode of its own, so that writing the pixels directly gives
// what the painter would have drawn. Everything else keeps using the painter; both
// write to the same memory in program order.
class PixelTarget {
  public:
    static std::optional<PixelTarget> of(QPainter& painter);

    // Device pixels per logical unit.
    double scale() const { return scale_; }
    // A logical point in device pixels.
    QPointF toDevice(QPointF point) const { return origin_ + point * scale_; }

    // One span of a band: it runs from the previous span's right edge (or the band's left
    // edge) to `right`, in logical units.
    struct Span {
        double right;
        QRgb color;
    };

    // Fills a logical rectangle with an opaque colour; its edges round to device pixels
    // as the raster engine rounds them, so neighbouring fills share their edges.
    void fill(const QRectF& rect, QRgb color);
    // Fills the band from `top` to `bottom` with spans of colour side by side from `left`:
    // the band's first line is drawn and then copied to the others.
    void fillBand(double left, double top, double bottom, std::span<const Span> spans);
    // 8-bit coverage, `stride` bytes per line; per line, the first covered column and one
    // past the last (so the blend skips the empty ends of a glyph's lines).
    struct Coverage {
        const uchar* bits = nullptr;
        qsizetype stride = 0;
        int width = 0;
        int height = 0;
        const std::uint16_t* lineSpans = nullptr; // 2 per line
    };

    // Blends coverage with its top-left pixel at device pixel (x, y) in an opaque colour.
    void blend(const Coverage& coverage, int x, int y, QRgb color);
    // Draws premultiplied pixels over the target, top-left pixel at (x, y).
    void blendPixels(const uchar* pixels, qsizetype stride, int width, int height, int x, int y);

  private:
    uchar* bits_ = nullptr;
    qsizetype stride_ = 0;
    QRect bounds_; // device pixels that may be written: the image within the painter's clip
    QPointF origin_;
    double scale_ = 1;
};

} // namespace tarvik
