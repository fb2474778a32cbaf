#include "view/qt/PixelTarget.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>

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
        const uchar* mask = coverage.bits + (row - y) * coverage.stride + (x1 - x);
        auto* line = reinterpret_cast<QRgb*>(bits_ + row * stride_);
        for (int col = x1; col < x2; ++col, ++mask) {
            const unsigned a = *mask;
            if (a == 0) continue;
            line[col] = a == 255 ? color : mix(color, a, line[col]);
        }
    }
}

} // namespace tarvik
