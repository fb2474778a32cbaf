#include "engine/keys/Wire.h"

namespace tarvik {

bool WireReader::u32(uint32_t& value) {
    if (data_.size() - offset_ < 4) return false;
    const uint8_t* p = data_.data() + offset_;
    value = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    offset_ += 4;
    return true;
}

bool WireReader::string(ByteView& value) {
    uint32_t length;
    if (!u32(length)) return false;
    if (data_.size() - offset_ < length) return false;
    value = data_.subspan(offset_, length);
    offset_ += length;
    return true;
}

bool WireReader::mpint(ByteView& value) {
    if (!string(value)) return false;
    // Negative numbers never occur in keys; refusing them keeps later arithmetic simple.
    return value.empty() || (value[0] & 0x80) == 0;
}

void WireWriter::u32(uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    raw(bytes);
}

void WireWriter::string(ByteView value) {
    u32(static_cast<uint32_t>(value.size()));
    raw(value);
}

void WireWriter::mpintFromMagnitude(ByteView magnitude) {
    magnitude = mpintMagnitude(magnitude);
    const bool pad = !magnitude.empty() && (magnitude[0] & 0x80);
    u32(static_cast<uint32_t>(magnitude.size() + (pad ? 1 : 0)));
    if (pad) out_.push_back(0);
    raw(magnitude);
}

ByteView mpintMagnitude(ByteView mpint) {
    size_t skip = 0;
    while (skip < mpint.size() && mpint[skip] == 0)
        ++skip;
    return mpint.subspan(skip);
}

} // namespace tarvik
