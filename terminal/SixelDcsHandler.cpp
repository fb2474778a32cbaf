#include "terminal/SixelDcsHandler.h"

#include <algorithm>
#include <cmath>

#include "terminal/Terminal.h"

namespace tarvik {

namespace {

constexpr uint8_t firstSixel = 0x3F;
constexpr uint8_t lastSixel = 0x7E;

bool isDigit(uint8_t b) {
    return b >= '0' && b <= '9';
}

int64_t saturatingAdd(int64_t a, int64_t b, int64_t limit) {
    return b > limit - a ? limit : a + b;
}

// Decimal digits from pos; the value saturates. Returns the index after the digits.
std::size_t readNumber(std::span<const uint8_t> data, std::size_t pos, int64_t& value) {
    value = 0;
    for (; pos < data.size() && isDigit(data[pos]); ++pos)
        value = std::min<int64_t>(value * 10 + (data[pos] - '0'), SixelDcsHandler::numberLimit);
    return pos;
}

uint32_t percentToByte(int64_t percent) {
    return static_cast<uint32_t>(std::clamp<int64_t>(percent, 0, 100) * 255 / 100);
}

} // namespace

void SixelDcsHandler::hook(std::span<const uint8_t>, std::span<const int64_t>, uint8_t) {
    // Aspect ratio, background mode and grid size are not used: pixels are square.
    std::vector<uint8_t>().swap(data_);
    dropped_ = false;
}

void SixelDcsHandler::put(std::span<const uint8_t> bytes) {
    if (dropped_) return;
    if (bytes.size() > maxDataBytes - data_.size()) {
        // An image this large cannot be shown; drop it whole rather than decode a prefix.
        std::vector<uint8_t>().swap(data_);
        dropped_ = true;
        return;
    }
    data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void SixelDcsHandler::abandon() {
    std::vector<uint8_t>().swap(data_);
    dropped_ = false;
}

void SixelDcsHandler::unhook() {
    if (dropped_) return;
    palette_.clear();
    x_ = y_ = maxX_ = maxY_ = 0;
    std::vector<uint8_t>().swap(pixels_);

    const auto first = std::find(data_.begin(), data_.end(), poundChar);
    const auto from = static_cast<std::size_t>(first - data_.begin());
    if (from + 1 < data_.size()) {
        if (!measure(from)) {
            maxX_ = maxY_ = 0;
            return;
        }
        pixels_.assign(static_cast<std::size_t>(maxX_ * maxY_ * 4), 0);
        x_ = y_ = 0;
        draw(from);
    }
    terminal_->delegate().createImageFromBitmap(*terminal_, pixels_, maxX(), maxY());
}

// The numbers after a colour introducer at pos, separated by ';'. Returns where decoding
// goes on: the first byte that belongs to no number.
std::size_t SixelDcsHandler::readColorList(std::size_t pos, std::vector<int64_t>& list) const {
    list.clear();
    std::size_t i = pos + 1;
    while (i < data_.size()) {
        if (data_[i] == ';' && i + 1 < data_.size()) ++i;
        if (!isDigit(data_[i])) break;
        int64_t value = 0;
        i = readNumber(data_, i, value);
        list.push_back(value);
    }
    return i;
}

std::size_t SixelDcsHandler::readRepeat(std::size_t pos, int64_t& repeat) const {
    if (pos >= data_.size() || !isDigit(data_[pos])) return pos;
    return readNumber(data_, pos, repeat);
}

// Sizing pass: walks the data as the drawing pass will and records the extent. False
// when the image is beyond the bounds.
bool SixelDcsHandler::measure(std::size_t from) {
    std::vector<int64_t> list;
    int64_t repeat = 1;
    for (std::size_t i = from; i < data_.size();) {
        const uint8_t b = data_[i];
        if (b == poundChar) {
            i = readColorList(i, list);
            if (list.empty()) break;
            repeat = 1;
            continue;
        }
        if (b == '!') {
            i = readRepeat(i + 1, repeat);
            continue;
        }
        ++i;
        if (b == '-' || b == '$') {
            if (b == '-') y_ += 6;
            maxX_ = std::max(maxX_, x_);
            x_ = 0;
        } else if (b >= firstSixel && b <= lastSixel) {
            const int bits = repeat > 0 ? b - firstSixel : 0;
            for (int bit = 0; bit < 6; ++bit)
                if (bits & (1 << bit)) maxY_ = std::max(maxY_, y_ + bit + 1);
            x_ = saturatingAdd(x_, repeat, numberLimit);
            repeat = 1;
        }
    }
    // Also when a bare colour introducer ended the pass early: the drawing pass stops at
    // the same byte and must not draw past the width.
    maxX_ = std::max(maxX_, x_);
    if (maxX_ > maxSide || maxY_ > maxSide) return false;
    return static_cast<std::size_t>(maxX_ * maxY_) <= maxBitmapBytes / 4;
}

void SixelDcsHandler::draw(std::size_t from) {
    std::vector<int64_t> list;
    int64_t repeat = 1;
    uint32_t color = 0;
    for (std::size_t i = from; i < data_.size();) {
        const uint8_t b = data_[i];
        if (b == poundChar) {
            i = readColorList(i, list);
            if (list.empty()) return;
            if (list.size() > 1) updatePaletteEntry(list);
            color = resolveColor(list[0]);
            repeat = 1;
            continue;
        }
        if (b == '!') {
            i = readRepeat(i + 1, repeat);
            continue;
        }
        ++i;
        if (b == '-') {
            y_ += 6;
            x_ = 0;
        } else if (b == '$') {
            x_ = 0;
        } else if (b >= firstSixel && b <= lastSixel) {
            paint(static_cast<uint8_t>(b - firstSixel), repeat, color);
            repeat = 1;
        }
    }
}

// Bit 0 is the top pixel of the band.
void SixelDcsHandler::paint(uint8_t bits, int64_t repeat, uint32_t color) {
    const int64_t left = x_;
    const int64_t right = std::min(saturatingAdd(x_, repeat, numberLimit), maxX_);
    x_ = saturatingAdd(x_, repeat, numberLimit);
    if (bits == 0 || left >= right) return;
    const uint8_t rgba[4] = {static_cast<uint8_t>(color >> 24), static_cast<uint8_t>(color >> 16),
                             static_cast<uint8_t>(color >> 8), static_cast<uint8_t>(color)};
    for (int bit = 0; bit < 6; ++bit) {
        const int64_t row = y_ + bit;
        if (!(bits & (1 << bit)) || row >= maxY_) continue;
        uint8_t* p = pixels_.data() + (row * maxX_ + left) * 4;
        for (int64_t col = left; col < right; ++col, p += 4)
            std::copy(rgba, rgba + 4, p);
    }
}

// Pc; Pu; Px; Py; Pz with Pu 1 (HLS) or 2 (RGB, percent).
void SixelDcsHandler::updatePaletteEntry(const std::vector<int64_t>& list) {
    if (list.size() < 5) return;
    uint32_t packed = 0;
    if (list[1] == 2)
        packed = packColor(percentToByte(list[2]), percentToByte(list[3]), percentToByte(list[4]));
    else if (list[1] == 1)
        packed = hls_to_rgb(list[2], list[3], list[4]);
    else
        return;
    // A fixed capacity keeps a stream of fresh register numbers from growing the table.
    if (palette_.size() >= maxRegisters && !palette_.contains(list[0])) return;
    palette_[list[0]] = packed;
}

// Registers not defined by this image fall back to the palette the terminal was built
// with, not the one the program may have changed since.
uint32_t SixelDcsHandler::resolveColor(int64_t reg) const {
    if (const auto it = palette_.find(reg); it != palette_.end()) return it->second;
    const auto& colors = terminal_->defaultAnsiColors;
    if (reg < 0 || reg >= 256 || reg >= static_cast<int64_t>(colors.size())) return 0;
    const Color& c = colors[static_cast<std::size_t>(reg)];
    return packColor(c.red >> 8, c.green >> 8, c.blue >> 8);
}

uint32_t SixelDcsHandler::hls_to_rgb(int64_t hue, int64_t lightness, int64_t saturation) {
    hue = std::clamp<int64_t>(hue, 0, 360);
    lightness = std::clamp<int64_t>(lightness, 0, 100);
    saturation = std::clamp<int64_t>(saturation, 0, 100);
    if (saturation == 0) {
        const uint32_t v = percentToByte(lightness);
        return packColor(v, v, v);
    }
    const int64_t h = (hue + 240) % 360;
    const double L = static_cast<double>(lightness);
    const double c = (1.0 - std::abs(2.0 * L / 100.0 - 1.0)) * static_cast<double>(saturation) * 0.5;
    const double max = L + c;
    const double min = L - c;
    const double d = max - min;
    const double hd = static_cast<double>(h);
    double r = 0, g = 0, b = 0;
    switch (h / 60) {
    case 0:
        r = max, g = min + d * hd / 60, b = min;
        break;
    case 1:
        r = min + d * (120 - hd) / 60, g = max, b = min;
        break;
    case 2:
        r = min, g = max, b = min + d * (hd - 120) / 60;
        break;
    case 3:
        r = min, g = min + d * (240 - hd) / 60, b = max;
        break;
    case 4:
        r = min + d * (hd - 240) / 60, g = min, b = max;
        break;
    default:
        r = max, g = min, b = min + d * (360 - hd) / 60;
        break;
    }
    const auto channel = [](double v) { return percentToByte(static_cast<int64_t>(std::trunc(v))); };
    return packColor(channel(r), channel(g), channel(b));
}

} // namespace tarvik
