#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "terminal/ParserTypes.h"

namespace tarvik {

class Terminal;

// Decodes sixel graphics (DCS ... q) into an RGBA bitmap for the host. The string is
// collected while it arrives and decoded once it ends: the image size is only known
// after the last band, so a first pass measures and a second one draws.
//
// A program controls every number in the data, so the decoder is bounded: numbers and
// repeat counts saturate, the collected data is capped, the register table has a fixed
// capacity, and an image beyond maxSide pixels on a side or maxBitmapBytes in all is
// dropped without reaching the host.
class SixelDcsHandler : public DcsHandler {
  public:
    static constexpr std::size_t maxDataBytes = std::size_t{64} << 20;
    static constexpr std::size_t maxBitmapBytes = std::size_t{64} << 20;
    static constexpr std::int64_t maxSide = 10000;
    static constexpr std::int64_t numberLimit = 2147483647;
    static constexpr std::size_t maxRegisters = 65536;

    explicit SixelDcsHandler(Terminal& terminal) : terminal_(&terminal) {}

    void hook(std::span<const uint8_t> collect, std::span<const int64_t> parameters, uint8_t flag) override;
    void put(std::span<const uint8_t> bytes) override;
    void unhook() override;
    void abandon() override;

    // The last decoded image: RGBA, 4 bytes per pixel, maxX pixels per row.
    const std::vector<uint8_t>& pixels() const { return pixels_; }
    int maxX() const { return static_cast<int>(maxX_); }
    int maxY() const { return static_cast<int>(maxY_); }

    // Packed red << 24 | green << 16 | blue << 8 | alpha.
    static uint32_t packColor(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha = 255) {
        return red << 24 | green << 16 | blue << 8 | alpha;
    }
    // HLS in degrees and percent to packed RGB; hue 0 is blue, 120 red, 240 green.
    static uint32_t hls_to_rgb(int64_t hue, int64_t lightness, int64_t saturation);

    static constexpr uint8_t poundChar = '#';

  private:
    struct Cursor;
    std::size_t readColorList(std::size_t pos, std::vector<int64_t>& list) const;
    std::size_t readRepeat(std::size_t pos, int64_t& repeat) const;
    bool measure(std::size_t from);
    void draw(std::size_t from);
    void updatePaletteEntry(const std::vector<int64_t>& list);
    uint32_t resolveColor(int64_t reg) const;
    void paint(uint8_t bits, int64_t repeat, uint32_t color);

    std::vector<uint8_t> data_;
    bool dropped_ = false; // the string outgrew maxDataBytes
    Terminal* terminal_;
    std::map<int64_t, uint32_t> palette_;
    std::vector<uint8_t> pixels_;
    int64_t x_ = 0;
    int64_t y_ = 0;
    int64_t maxX_ = 0;
    int64_t maxY_ = 0;
};

} // namespace tarvik
