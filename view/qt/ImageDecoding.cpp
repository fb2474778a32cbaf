#include "view/qt/ImageDecoding.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace tarvik {

bool ImageDecoding::withinBound(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= maxSide && height <= maxSide && width * height * 4 <= maxBytes;
}

std::optional<QImage> ImageDecoding::fromBitmap(std::span<const std::uint8_t> bytes, int width, int height) {
    if (!withinBound(width, height)) return std::nullopt;
    const auto needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    if (bytes.size() < needed) return std::nullopt;
    // The decoder's alpha is 0 or 255, so straight and premultiplied alpha agree; the
    // premultiplied format is the one the painter blends fastest.
    QImage image(bytes.data(), width, height, width * 4, QImage::Format_RGBA8888);
    return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied); // deep copy
}

std::optional<QImage> ImageDecoding::fromFileData(std::span<const std::uint8_t> data) {
    if (data.empty() || data.size() > static_cast<std::size_t>(maxBytes)) return std::nullopt;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // The header's size first: a small file may claim an enormous picture.
    const QSize size = reader.size();
    if (!size.isValid() || !withinBound(size.width(), size.height())) return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull() || !withinBound(image.width(), image.height())) return std::nullopt;
    return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
}

} // namespace tarvik
