#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "terminal/TerminalDelegate.h"
#include "terminal/TerminalImage.h"
#include "view/CellMetrics.h"

namespace tarvik {

class Terminal;

// A decoded picture held by the widget (its size in pixels).
class ViewImage {
  public:
    virtual ~ViewImage() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};

// A strip as attached to a line: its size and column, the pixels are the widget's.
class StripImage : public TerminalImage {
  public:
    StripImage(int pixelWidth, int pixelHeight) : width_(pixelWidth), height_(pixelHeight) {}
    int pixelWidth() const override { return width_; }
    int pixelHeight() const override { return height_; }
    int col() const override { return col_; }
    void setCol(int value) override { col_ = value; }

  private:
    int width_;
    int height_;
    int col_ = 0;
};

// Where a picture lands inside a strip, in strip points: the whole picture is drawn
// into this rectangle and clipped to the strip.
struct StripPlacement {
    int stripWidth = 0;  // strip size, fractions dropped
    int stripHeight = 0;
    double imageX = 0;   // the picture's rectangle relative to the strip's top-left corner
    double imageY = 0;
    double imageWidth = 0;
    double imageHeight = 0;
};

// The widget's side of image placement.
class ImageFactory {
  public:
    virtual ~ImageFactory() = default;
    // RGBA, 4 bytes per pixel, rows top to bottom; null when no image can be made.
    virtual std::unique_ptr<ViewImage> fromBitmap(std::span<const std::uint8_t> rgba, int width, int height) = 0;
    // An encoded image file (PNG, JPEG, GIF ...); null when it does not decode.
    virtual std::unique_ptr<ViewImage> decode(std::span<const std::uint8_t> data) = 0;
    // One strip: a transparent stripWidth x stripHeight picture with `image` drawn into
    // the placement's rectangle. Null when the strip cannot be made.
    virtual std::shared_ptr<StripImage> makeStrip(const ViewImage& image, const StripPlacement& placement) = 0;
};

// The target size of a placed picture, in points.
struct ImageTarget {
    double width = 0;
    double height = 0;
    // The picture's rectangle inside the target (smaller than it when fitted).
    double imageX = 0;
    double imageY = 0;
    double imageWidth = 0;
    double imageHeight = 0;
};

// Sizes, cuts and attaches pictures from the cursor downwards.
class ImagePlacement {
  public:
    // Pictures, targets and strips above these bounds are dropped.
    static constexpr int maxSide = 10000;
    static constexpr std::int64_t maxBytes = 64ll * 1024 * 1024;

    struct ViewGeometry {
        double viewWidth = 0;
        double viewHeight = 0;
        double scale = 1; // backing scale factor
        CellMetrics cell;
    };

    // The size requests resolved against the picture and the view; none when the result
    // is empty or beyond the bounds.
    static std::optional<ImageTarget> target(int imageWidth, int imageHeight, ImageSizeRequest width,
                                             ImageSizeRequest height, bool preserveAspectRatio,
                                             const ViewGeometry& view);
    // The placement of strip k of a target.
    static StripPlacement strip(const ImageTarget& target, int k, CellMetrics cell);
    // Number of strips: the target height over the cell height, rounded up.
    static int stripCount(const ImageTarget& target, CellMetrics cell);

    // Places a picture on the terminal's active buffer; returns the strips attached.
    static int insertImage(Terminal& terminal, ImageFactory& factory, const ViewImage& image, ImageSizeRequest width,
                           ImageSizeRequest height, bool preserveAspectRatio, const ViewGeometry& view);
    // The request for a decoded bitmap: 100 % wide when the view is narrower than it.
    static ImageSizeRequest bitmapWidthRequest(int bitmapWidth, double viewWidth);
};

} // namespace tarvik
