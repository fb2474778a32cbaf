#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <span>

namespace tarvik {

// Turns the pictures a program sends into images: decoded sixel bitmaps and encoded
// files (PNG, JPEG, GIF). A picture wider or taller than 10000 pixels, or whose bitmap
// would exceed 64 MiB, is dropped before anything is allocated for it.
class ImageDecoding {
  public:
    static constexpr int maxSide = 10000;
    static constexpr std::int64_t maxBytes = 64LL * 1024 * 1024;

    static bool withinBound(std::int64_t width, std::int64_t height);

    // RGBA, 4 bytes per pixel, rows top to bottom; none when empty, out of bound or short.
    static std::optional<QImage> fromBitmap(std::span<const std::uint8_t> bytes, int width, int height);
    // An encoded image file; none when it does not decode or is out of bound.
    static std::optional<QImage> fromFileData(std::span<const std::uint8_t> data);
};

} // namespace tarvik
