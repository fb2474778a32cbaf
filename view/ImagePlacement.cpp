#include "view/ImagePlacement.h"

#include "terminal/Terminal.h"

namespace tarvik {

std::optional<ImageTarget> ImagePlacement::target(int, int, ImageSizeRequest, ImageSizeRequest, bool,
                                                  const ViewGeometry&) {
    return std::nullopt;
}
StripPlacement ImagePlacement::strip(const ImageTarget&, int, CellMetrics) { return {}; }
int ImagePlacement::stripCount(const ImageTarget&, CellMetrics) { return 0; }
int ImagePlacement::insertImage(Terminal&, ImageFactory&, const ViewImage&, ImageSizeRequest, ImageSizeRequest, bool,
                                const ViewGeometry&) {
    return 0;
}
ImageSizeRequest ImagePlacement::bitmapWidthRequest(int bitmapWidth, double viewWidth) {
    if (viewWidth < bitmapWidth) return ImageSizeRequest{ImageSizeRequest::Kind::percent, 100};
    return ImageSizeRequest{};
}

} // namespace tarvik
