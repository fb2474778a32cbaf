#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace tarvik {

// Payload of the OSC string being received.
//
// A program that never ends its string must not be able to exhaust memory, so
// the payload is bounded; past the bound the whole string is dropped and the
// rest of it is swallowed until its terminator.
//
// The parser may have to roll a chunk back (an error handler can abort), so the
// buffer can return to a checkpoint without copying the payload at every chunk:
// the first clear after a checkpoint parks the old bytes instead of dropping them.
class OscBuffer {
  public:
    static constexpr std::size_t defaultLimit = std::size_t{64} << 20;

    std::span<const uint8_t> bytes() const { return bytes_; }
    bool empty() const { return bytes_.empty(); }
    bool overflowed() const { return overflowed_; }
    std::size_t limit() const { return limit_; }
    void setLimit(std::size_t limit) { limit_ = limit; }

    void append(const uint8_t* first, const uint8_t* last) {
        if (overflowed_ || first == last) return;
        if (bytes_.size() + static_cast<std::size_t>(last - first) > limit_) {
            drop();
            overflowed_ = true;
            return;
        }
        bytes_.insert(bytes_.end(), first, last);
    }

    void clear() {
        if (checkpointed_ && !parked_) {
            park();
        } else {
            bytes_.clear();
            // While a chunk is parsed a handler may still view the old payload.
            if (!checkpointed_ && bytes_.capacity() > keptCapacity) release(bytes_);
        }
        overflowed_ = false;
    }

    void checkpoint() {
        checkpointed_ = true;
        parked_ = false;
        savedSize_ = bytes_.size();
        savedOverflowed_ = overflowed_;
    }
    void rollback() {
        if (parked_) std::swap(bytes_, parkedBytes_);
        bytes_.resize(savedSize_);
        overflowed_ = savedOverflowed_;
        commit();
    }
    void commit() {
        checkpointed_ = false;
        parked_ = false;
        parkedBytes_.clear();
        if (parkedBytes_.capacity() > keptCapacity) release(parkedBytes_);
        if (bytes_.empty() && bytes_.capacity() > keptCapacity) release(bytes_);
    }

  private:
    // Large payloads are rare; keeping their memory for the life of the terminal is not worth it.
    static constexpr std::size_t keptCapacity = std::size_t{1} << 20;

    static void release(std::vector<uint8_t>& v) { std::vector<uint8_t>().swap(v); }

    void park() {
        std::swap(bytes_, parkedBytes_);
        bytes_.clear();
        parked_ = true;
    }
    void drop() {
        if (checkpointed_ && !parked_) {
            park();
        } else {
            bytes_.clear();
        }
    }

    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> parkedBytes_;
    std::size_t limit_ = defaultLimit;
    std::size_t savedSize_ = 0;
    bool overflowed_ = false;
    bool savedOverflowed_ = false;
    bool checkpointed_ = false;
    bool parked_ = false;
};

} // namespace tarvik
