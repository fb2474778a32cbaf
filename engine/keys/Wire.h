#pragma once

#include "engine/keys/Bytes.h"

namespace tarvik {

// Reads the SSH wire types (uint32, string, mpint) without copying; every
// length is checked against what is left before it is used.
class WireReader {
  public:
    explicit WireReader(ByteView data) : data_(data) {}
    bool u32(uint32_t& value);
    bool string(ByteView& value);
    // A non-negative mpint in its wire form (a leading zero byte where needed).
    bool mpint(ByteView& value);
    bool atEnd() const { return offset_ == data_.size(); }
    size_t offset() const { return offset_; }

  private:
    ByteView data_;
    size_t offset_ = 0;
};

class WireWriter {
  public:
    void u32(uint32_t value);
    void string(ByteView value);
    void string(std::string_view value) { string(view(value)); }
    // From an unsigned big-endian magnitude.
    void mpintFromMagnitude(ByteView magnitude);
    void raw(ByteView bytes) { append(out_, bytes); }
    Bytes& bytes() { return out_; }

  private:
    Bytes out_;
};

// The unsigned magnitude of a non-negative mpint (leading zero bytes dropped).
ByteView mpintMagnitude(ByteView mpint);

} // namespace tarvik
