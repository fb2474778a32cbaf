#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "terminal/TerminalDelegate.h"

namespace tarvik {

// A picture the terminal decoded, kept only as its size and a fingerprint of its pixels:
// enough to tell in a test that the right image arrived, without holding the bitmap.
struct CapturedImage {
    int width = 0;
    int height = 0;
    std::string pixelHash;
};

// The host of a terminal that nobody looks at. It keeps every byte the terminal answers
// (and passes it on when a child is listening) and notes the images it is handed.
class CaptureDelegate : public TerminalDelegate {
  public:
    // Called with each reply as it is produced, e.g. to write it to a child.
    std::function<void(std::span<const uint8_t>)> forward;

    void send(Terminal& source, std::span<const uint8_t> data) override;
    void createImageFromBitmap(Terminal& source, std::span<const uint8_t> bytes, int width,
                               int height) override;

    const std::vector<uint8_t>& replies() const { return replies_; }
    const std::vector<CapturedImage>& images() const { return images_; }

  private:
    std::vector<uint8_t> replies_;
    std::vector<CapturedImage> images_;
};

// 64-bit FNV-1a of the bytes as 16 hex digits.
std::string fingerprint(std::span<const uint8_t> bytes);

} // namespace tarvik
