#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace tarvik {

// A list with fixed, inline room. The parser keeps its sequence state in these so
// that no byte of a sequence meets a capacity check or the allocator; callers keep
// within N. Assignment copies only the elements in use.
template <typename T, std::size_t N> class FixedVector {
  public:
    FixedVector() = default;
    FixedVector(const FixedVector& other) { *this = other; }
    FixedVector& operator=(const FixedVector& other) {
        size_ = other.size_;
        std::copy(other.items_.begin(), other.items_.begin() + size_, items_.begin());
        return *this;
    }

    static constexpr std::size_t capacity() { return N; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return items_.data(); }
    const T* data() const { return items_.data(); }
    T& operator[](std::size_t i) { return items_[i]; }
    T& back() { return items_[size_ - 1]; }
    operator std::span<const T>() const { return {items_.data(), size_}; }

    void clear() { size_ = 0; }
    // Only to a size whose items have been written through data().
    void resize(std::size_t size) { size_ = size; }
    void push_back(T value) { items_[size_++] = value; }
    void append(const T* first, const T* last) {
        // Mostly a few dozen bytes (the parameters of one sequence): eight bytes a move
        // and the rest one by one beat a call.
        T* to = items_.data() + size_;
        size_ += static_cast<std::size_t>(last - first);
        for (; last - first >= 8; first += 8, to += 8)
            std::memcpy(to, first, 8 * sizeof(T));
        while (first != last)
            *to++ = *first++;
    }

  private:
    std::array<T, N> items_;
    std::size_t size_ = 0;
};

// Raw values index the transition table, so they must stay below 16 (one nibble).
enum class ParserState : uint8_t {
    ground = 0,
    escape = 1,
    escapeIntermediate = 2,
    csiEntry = 3,
    csiParam = 4,
    csiIntermediate = 5,
    csiIgnore = 6,
    sosPmApcString = 7,
    oscString = 8,
    dcsEntry = 9,
    dcsParam = 10,
    dcsIgnore = 11,
    dcsIntermediate = 12,
    dcsPassthrough = 13,
};

// Stored in the high nibble of a table entry.
enum class ParserAction : uint8_t {
    ignore = 0,
    error = 1,
    print = 2,
    execute = 3,
    oscStart = 4,
    oscPut = 5,
    oscEnd = 6,
    csiDispatch = 7,
    param = 8,
    collect = 9,
    escDispatch = 10,
    clear = 11,
    dcsHook = 12,
    dcsPut = 13,
    dcsUnhook = 14,
};

const char* toString(ParserState state);

// What the error handler sees about an offending byte. The spans view the
// parser's own buffers and are only valid during the handler call.
struct ParsingState {
    int64_t position = 0; // index of the byte in the current chunk
    uint8_t code = 0;
    ParserState currentState = ParserState::ground;
    int64_t print = -1; // start of the pending print run, -1 when none
    int64_t dcs = -1;   // start of the pending DCS data run, -1 when none
    std::span<const uint8_t> osc;
    std::span<const uint8_t> collect;
    std::span<const int64_t> parameters;
    bool abort = false; // set by the handler to stop parsing the chunk
};

// One line for the diagnostic log.
std::string toString(const ParsingState& state);

// Consumer of one DCS string. put() receives slices of the caller's chunk, so a
// handler that needs the bytes later must copy them.
class DcsHandler {
  public:
    virtual ~DcsHandler() = default;
    // collect holds the intermediates and private markers followed by the final byte.
    virtual void hook(std::span<const uint8_t> collect, std::span<const int64_t> parameters,
                      uint8_t flag) = 0;
    virtual void put(std::span<const uint8_t> data) = 0;
    virtual void unhook() = 0;
    // The string grew past the parser's bound: everything received since hook()
    // must be discarded. No unhook() follows.
    virtual void abandon() = 0;
};

} // namespace tarvik
