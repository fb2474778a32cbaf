#include "view/qt/QtImageFactory.h"

#include <QPainter>

#include <cmath>

#include "view/qt/ImageDecoding.h"

namespace tarvik {

std::unique_ptr<ViewImage> QtImageFactory::fromBitmap(std::span<const std::uint8_t> rgba, int width, int height) {
    auto image = ImageDecoding::fromBitmap(rgba, width, height);
    if (!image) return nullptr;
    return std::make_unique<QtViewImage>(std::move(*image));
}

std::unique_ptr<ViewImage> QtImageFactory::decode(std::span<const std::uint8_t> data) {
    auto image = ImageDecoding::fromFileData(data);
    if (!image) return nullptr;
    return std::make_unique<QtViewImage>(std::move(*image));
}

std::shared_ptr<StripImage> QtImageFactory::makeStrip(const ViewImage& image, const StripPlacement& placement) {
    const auto* source = dynamic_cast<const QtViewImage*>(&image);
    if (!source || placement.stripWidth <= 0 || placement.stripHeight <= 0) return nullptr;
    const int pixelWidth = static_cast<int>(std::ceil(placement.stripWidth * ratio_));
    const int pixelHeight = static_cast<int>(std::ceil(placement.stripHeight * ratio_));
    if (!ImageDecoding::withinBound(pixelWidth, pixelHeight)) return nullptr;
    QImage strip(pixelWidth, pixelHeight, QImage::Format_RGBA8888_Premultiplied);
    if (strip.isNull()) return nullptr;
    strip.setDevicePixelRatio(ratio_);
    strip.fill(Qt::transparent);
    {
        QPainter painter(&strip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRectF(placement.imageX, placement.imageY, placement.imageWidth, placement.imageHeight),
                          source->image());
    }
    return std::make_shared<QtStripImage>(placement.stripWidth, placement.stripHeight, std::move(strip));
}

} // namespace tarvik
