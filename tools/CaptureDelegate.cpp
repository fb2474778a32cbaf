#include "tools/CaptureDelegate.h"

#include <cstdio>

namespace tarvik {

void CaptureDelegate::send(Terminal&, std::span<const uint8_t> data) {
    replies_.insert(replies_.end(), data.begin(), data.end());
    if (forward) forward(data);
}

void CaptureDelegate::createImageFromBitmap(Terminal&, std::span<const uint8_t> bytes, int width,
                                            int height) {
    images_.push_back(CapturedImage{width, height, fingerprint(bytes)});
}

std::string fingerprint(std::span<const uint8_t> bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace tarvik
