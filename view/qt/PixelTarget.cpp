#include "view/qt/PixelTarget.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

namespace {

// (color * a + dst * (255 - a)) / 255 per channel, two channels per multiply.
inline QRgb mix(QRgb color, unsigned a, QRgb dst) {
    const unsigned b = 255 - a;
    unsigned low = (color & 0xff00ff) * a + (dst & 0xff00ff) * b;
    low = ((low + ((low >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    unsigned high = ((color >> 8) & 0xff00ff) * a + ((dst >> 8) & 0xff00ff) * b;
    high = (high + ((high >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return high | low;
}

#if defined(__SSE2__)

// mix() on four pixels at once, as 16-bit lanes: every intermediate of its formula stays
// below 65536, so the lanes give exactly mix()'s result, and without its branches (which
// a glyph's edge pixels, neither empty nor full, would keep mispredicting).
class Blender4 {
  public:
    explicit Blender4(QRgb color)
        : solid_(_mm_set1_epi32(static_cast<int>(color))), color16_(_mm_unpacklo_epi8(solid_, zero())) {}

    // Four pixels `dst` under four coverage bytes (the low 32 bits of `coverage`).
    __m128i blend(__m128i dst, __m128i coverage) const {
        __m128i a = _mm_unpacklo_epi8(coverage, coverage);
        a = _mm_unpacklo_epi16(a, a); // each pixel's coverage in its four channel bytes
        const __m128i low = mix(_mm_unpacklo_epi8(a, zero()), _mm_unpacklo_epi8(dst, zero()));
        const __m128i high = mix(_mm_unpackhi_epi8(a, zero()), _mm_unpackhi_epi8(dst, zero()));
        return _mm_packus_epi16(low, high);
    }

    __m128i solid() const { return solid_; }

  private:
    static __m128i zero() { return _mm_setzero_si128(); }

    // Two pixels: (color * a + dst * (255 - a)) / 255, rounded as mix() rounds.
    __m128i mix(__m128i a, __m128i dst) const {
        const __m128i b = _mm_sub_epi16(_mm_set1_epi16(255), a);
        __m128i x = _mm_add_epi16(_mm_mullo_epi16(color16_, a), _mm_mullo_epi16(dst, b));
        x = _mm_add_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), _mm_set1_epi16(0x80));
        return _mm_srli_epi16(x, 8);
    }

    __m128i solid_;
    __m128i color16_;
};

// The last one to three pixels of a line through the same four-pixel blend, the unused
// lanes with no coverage and never stored. Loaded and stored in pieces: a round trip
// through a small buffer would stall on forwarding its narrow stores to the wide load.
void blendTail(const Blender4& blender, QRgb* line, const uchar* coverage, int count) {
    std::uint32_t a = coverage[0];
    __m128i dst = _mm_cvtsi32_si128(static_cast<int>(line[0]));
    if (count >= 2) {
        a |= static_cast<std::uint32_t>(coverage[1]) << 8;
        dst = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(line));
    }
    if (count == 3) {
        a |= static_cast<std::uint32_t>(coverage[2]) << 16;
        dst = _mm_unpacklo_epi64(dst, _mm_cvtsi32_si128(static_cast<int>(line[2])));
    }
    const __m128i blended = blender.blend(dst, _mm_cvtsi32_si128(static_cast<int>(a)));
    if (count == 1) {
        line[0] = static_cast<QRgb>(_mm_cvtsi128_si32(blended));
        return;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(line), blended);
    if (count == 3) line[2] = static_cast<QRgb>(_mm_cvtsi128_si32(_mm_srli_si128(blended, 8)));
}

// One line of a glyph: line[i] = mix(color, coverage[i], line[i]) for i < count.
void blendLine(QRgb* line, const uchar* coverage, int count, QRgb color) {
    const Blender4 blender(color);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        std::uint32_t a;
        std::memcpy(&a, coverage + i, sizeof a);
        auto* pixels = reinterpret_cast<__m128i*>(line + i);
        // The inside of a stem is common enough to be worth its test.
        if (a == 0xffffffffu)
            _mm_storeu_si128(pixels, blender.solid());
        else if (a != 0)
            _mm_storeu_si128(pixels, blender.blend(_mm_loadu_si128(pixels), _mm_cvtsi32_si128(static_cast<int>(a))));
    }
    if (i < count) blendTail(blender, line + i, coverage + i, count - i);
}

#else

void blendLine(QRgb* line, const uchar* coverage, int count, QRgb color) {
    for (int i = 0; i < count; ++i) {
        const unsigned a = coverage[i];
        if (a != 0) line[i] = a == 255 ? color : mix(color, a, line[i]);
    }
}

#endif

int roundEdge(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}

} // namespace

std::optional<PixelTarget> PixelTarget::of(QPainter& painter) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return std::nullopt;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image) return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied)
        return std::nullopt;
    if (!painter.transform().isIdentity() || painter.hasClipping() || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return std::nullopt;
    // What is left is the device's own mapping: the widget's place in its window and the
    // device pixel ratio.
    const QTransform device2 = painter.deviceTransform();
    if (device2.type() > QTransform::TxScale || device2.m11() != device2.m22() || device2.m11() <= 0)
        return std::nullopt;
    QRect bounds = image->rect();
    const QRegion system = engine->systemClip();
    if (!system.isEmpty()) {
        if (system.rectCount() != 1) return std::nullopt;
        bounds &= system.boundingRect();
    }
    PixelTarget target;
    // The painter holds the only reference to the image it draws into: reading the bits
    // through the const accessor keeps the image from detaching under it.
    target.bits_ = const_cast<uchar*>(image->constBits());
    target.stride_ = image->bytesPerLine();
    target.bounds_ = bounds;
    target.origin_ = QPointF(device2.dx(), device2.dy());
    target.scale_ = device2.m11();
    return target;
}

void PixelTarget::fill(const QRectF& rect, QRgb color) {
    const QPointF a = toDevice(rect.topLeft()), b = toDevice(rect.bottomRight());
    const int x1 = std::max(roundEdge(a.x()), bounds_.left()), x2 = std::min(roundEdge(b.x()), bounds_.right() + 1);
    const int y1 = std::max(roundEdge(a.y()), bounds_.top()), y2 = std::min(roundEdge(b.y()), bounds_.bottom() + 1);
    if (x2 <= x1) return;
    color |= 0xff000000u;
    for (int y = y1; y < y2; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits_ + y * stride_);
        std::fill(line + x1, line + x2, color);
    }
}

void PixelTarget::fillBand(double left, double top, double bottom, std::span<const Span> spans) {
    const int y1 = std::max(roundEdge(origin_.y() + top * scale_), bounds_.top());
    const int y2 = std::min(roundEdge(origin_.y() + bottom * scale_), bounds_.bottom() + 1);
    if (y2 <= y1 || spans.empty()) return;
    auto* first = reinterpret_cast<QRgb*>(bits_ + y1 * stride_);
    const int bandLeft = std::max(roundEdge(origin_.x() + left * scale_), bounds_.left());
    int x = bandLeft;
    for (const Span& span : spans) {
        const int right = std::min(roundEdge(origin_.x() + span.right * scale_), bounds_.right() + 1);
        if (right > x) std::fill(first + x, first + right, span.color | 0xff000000u);
        x = std::max(x, right);
    }
    if (x <= bandLeft) return;
    const std::size_t bytes = static_cast<std::size_t>(x - bandLeft) * sizeof(QRgb);
    for (int y = y1 + 1; y < y2; ++y)
        std::memcpy(bits_ + y * stride_ + bandLeft * qsizetype(sizeof(QRgb)), first + bandLeft, bytes);
}

void PixelTarget::blendPixels(const uchar* pixels, qsizetype stride, int width, int height, int x, int y) {
    const int x1 = std::max(x, bounds_.left()), x2 = std::min(x + width, bounds_.right() + 1);
    const int y1 = std::max(y, bounds_.top()), y2 = std::min(y + height, bounds_.bottom() + 1);
    for (int row = y1; row < y2; ++row) {
        const auto* source = reinterpret_cast<const QRgb*>(pixels + (row - y) * stride) + (x1 - x);
        auto* line = reinterpret_cast<QRgb*>(bits_ + row * stride_);
        for (int col = x1; col < x2; ++col, ++source) {
            const QRgb s = *source;
            const unsigned a = qAlpha(s);
            if (a == 0) continue;
            line[col] = a == 255 ? s : s + mix(0, a, line[col]);
        }
    }
}

void PixelTarget::blend(const Coverage& coverage, int x, int y, QRgb color) {
    const int y1 = std::max(y, bounds_.top()), y2 = std::min(y + coverage.height, bounds_.bottom() + 1);
    color |= 0xff000000u;
    for (int row = y1; row < y2; ++row) {
        const std::uint16_t* span = coverage.lineSpans + 2 * (row - y);
        const int x1 = std::max(x + span[0], bounds_.left()), x2 = std::min(x + span[1], bounds_.right() + 1);
        if (x2 <= x1) continue;
        const uchar* mask = coverage.bits + (row - y) * coverage.stride + (x1 - x);
        blendLine(reinterpret_cast<QRgb*>(bits_ + row * stride_) + x1, mask, x2 - x1, color);
    }
}

} // namespace tarvik
