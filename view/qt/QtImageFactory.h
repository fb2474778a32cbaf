#pragma once

#include <QImage>

#include "view/ImagePlacement.h"

namespace tarvik {

// A decoded picture held as a QImage.
class QtViewImage : public ViewImage {
  public:
    explicit QtViewImage(QImage image) : image_(std::move(image)) {}
    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    const QImage& image() const { return image_; }

  private:
    QImage image_;
};

// One strip of a placed picture, attached to a line; its QImage is drawn at the strip's
// column with its top at the top of the line's row.
class QtStripImage : public StripImage {
  public:
    QtStripImage(int pixelWidth, int pixelHeight, QImage image)
        : StripImage(pixelWidth, pixelHeight), image_(std::move(image)) {}
    const QImage& image() const { return image_; }

  private:
    QImage image_;
};

// The widget's side of image placement: decoding through QImage and cutting strips.
// Strips are made at the screen's device pixel ratio so pictures stay sharp on
// high-density screens.
class QtImageFactory : public ImageFactory {
  public:
    void setDevicePixelRatio(double ratio) { ratio_ = ratio < 1 ? 1 : ratio; }

    std::unique_ptr<ViewImage> fromBitmap(std::span<const std::uint8_t> rgba, int width, int height) override;
    std::unique_ptr<ViewImage> decode(std::span<const std::uint8_t> data) override;
    std::shared_ptr<StripImage> makeStrip(const ViewImage& image, const StripPlacement& placement) override;

  private:
    double ratio_ = 1;
};

} // namespace tarvik
