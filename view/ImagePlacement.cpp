#include "view/ImagePlacement.h"

#include <algorithm>
#include <cmath>

#include "terminal/Terminal.h"

namespace tarvik {

namespace {

using Kind = ImageSizeRequest::Kind;

double resolve(ImageSizeRequest request, double cellSide, double viewSide, double imageSide, double scale) {
    const double n = static_cast<double>(request.value);
    switch (request.kind) {
    case Kind::cells: return n * cellSide;
    case Kind::pixels: return n;
    case Kind::percent: return n * 0.01 * viewSide;
    case Kind::automatic: return imageSide / scale;
    }
    return imageSide / scale;
}

bool withinBounds(double width, double height) {
    if (!(width >= 1) || !(height > 0)) return false;
    if (width > ImagePlacement::maxSide || height > ImagePlacement::maxSide) return false;
    return std::floor(width) * std::ceil(height) * 4 <= static_cast<double>(ImagePlacement::maxBytes);
}

} // namespace

std::optional<ImageTarget> ImagePlacement::target(int imageWidth, int imageHeight, ImageSizeRequest width,
                                                  ImageSizeRequest height, bool preserveAspectRatio,
                                                  const ViewGeometry& view) {
    if (imageWidth <= 0 || imageHeight <= 0 || !withinBounds(imageWidth, imageHeight)) return std::nullopt;
    const double scale = view.scale > 0 ? view.scale : 1;
    const double iw = imageWidth;
    const double ih = imageHeight;
    ImageTarget t;
    t.width = resolve(width, view.cell.width, view.viewWidth, iw, scale);
    t.height = resolve(height, view.cell.height, view.viewHeight, ih, scale);
    const bool autoWidth = width.kind == Kind::automatic;
    const bool autoHeight = height.kind == Kind::automatic;
    t.imageWidth = t.width;
    t.imageHeight = t.height;
    if (preserveAspectRatio && !(autoWidth && autoHeight)) {
        if (autoHeight) {
            t.height = t.imageHeight = t.width * ih / iw;
        } else if (autoWidth) {
            t.width = t.imageWidth = t.height * iw / ih;
        } else {
            // Fitted inside the requested box, centred on the axis with room to spare.
            const double fit = std::min(t.width / iw, t.height / ih);
            t.imageWidth = iw * fit;
            t.imageHeight = ih * fit;
            t.imageX = (t.width - t.imageWidth) / 2;
            t.imageY = (t.height - t.imageHeight) / 2;
        }
    }
    if (!withinBounds(t.width, t.height)) return std::nullopt;
    return t;
}

int ImagePlacement::stripCount(const ImageTarget& target, CellMetrics cell) {
    // A whole number of cells computed in floating point must not gain a strip.
    return static_cast<int>(std::ceil(target.height / cell.height - 1e-9));
}

StripPlacement ImagePlacement::strip(const ImageTarget& target, int k, CellMetrics cell) {
    StripPlacement placement;
    placement.stripWidth = static_cast<int>(target.width);
    placement.stripHeight = static_cast<int>(cell.height);
    placement.imageX = target.imageX;
    placement.imageY = target.imageY - k * cell.height;
    placement.imageWidth = target.imageWidth;
    placement.imageHeight = target.imageHeight;
    return placement;
}

int ImagePlacement::insertImage(Terminal& terminal, ImageFactory& factory, const ViewImage& image,
                                ImageSizeRequest width, ImageSizeRequest height, bool preserveAspectRatio,
                                const ViewGeometry& view) {
    const auto placed = target(image.width(), image.height(), width, height, preserveAspectRatio, view);
    if (!placed) return 0;
    const int strips = stripCount(*placed, view.cell);
    int attached = 0;
    for (int k = 0; k < strips; ++k) {
        const std::shared_ptr<StripImage> strip = factory.makeStrip(image, ImagePlacement::strip(*placed, k, view.cell));
        if (!strip) continue;
        Buffer& buffer = terminal.buffer();
        const int col = buffer.x();
        strip->setCol(col);
        buffer.lines()[buffer.yBase() + buffer.y()].attach(strip);
        terminal.updateRange(buffer.y(), false);
        terminal.cmdLineFeedBasic();
        terminal.buffer().setX(col);
        ++attached;
    }
    return attached;
}

ImageSizeRequest ImagePlacement::bitmapWidthRequest(int bitmapWidth, double viewWidth) {
    if (viewWidth < bitmapWidth) return ImageSizeRequest{Kind::percent, 100};
    return ImageSizeRequest{};
}

} // namespace tarvik
