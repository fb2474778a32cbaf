#pragma once

#include "terminal/ParserTypes.h"

#include <array>
#include <cstdint>
#include <initializer_list>

namespace tarvik {

// The VT500 state machine as one flat byte array: a lookup is a single index
// computation, which is what keeps the per-byte cost of the parser low.
// Entry for (state, column) at state * 256 + column: next state in the low
// nibble, action in the high nibble. Bytes from 0xA0 up share column 0xA0.
struct TransitionTable {
    static constexpr std::size_t size = 4095;
    static constexpr uint8_t highColumn = 0xA0;

    std::array<uint8_t, size> table{};

    void add(uint8_t code, ParserState state, ParserAction action, ParserState next) {
        table[index(state, code)] = pack(action, next);
    }
    void add(std::initializer_list<uint8_t> codes, ParserState state, ParserAction action, ParserState next) {
        for (uint8_t code : codes)
            add(code, state, action, next);
    }
    // Inclusive range of bytes.
    void addRange(uint8_t first, uint8_t last, ParserState state, ParserAction action, ParserState next) {
        for (unsigned code = first; code <= last; ++code)
            add(static_cast<uint8_t>(code), state, action, next);
    }

    uint8_t entry(ParserState state, uint8_t byte) const {
        return table[index(state, byte < highColumn ? byte : highColumn)];
    }
    static ParserAction actionOf(uint8_t entry) { return static_cast<ParserAction>(entry >> 4); }
    static ParserState nextOf(uint8_t entry) { return static_cast<ParserState>(entry & 0x0F); }
    static constexpr uint8_t pack(ParserAction action, ParserState next) {
        return static_cast<uint8_t>(static_cast<uint8_t>(next) | static_cast<uint8_t>(action) << 4);
    }

  private:
    static std::size_t index(ParserState state, uint8_t column) {
        return static_cast<std::size_t>(state) * 256 + column;
    }
};

TransitionTable buildVt500TransitionTable();

} // namespace tarvik
