#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "terminal/Attribute.h"
#include "terminal/TinyAtom.h"

namespace tarvik {
class CellTables;
}

namespace tarvik {

// One screen cell, stored by value in a line's contiguous array. The hot path copies
// and compares cells constantly, so the layout is fixed at 16 bytes: the code, the
// hyperlink atom, the width and the attribute's nine bytes, with no padding left over.
class CharData {
  public:
    // Codes below this are Unicode scalars; codes from GraphemeTable::firstCode on name
    // a cluster in the grapheme table of the terminal that holds the cell.
    static constexpr std::int32_t maxSimpleCode = 4194304; // 2^22

    static const Attribute defaultAttr;
    static const Attribute invertedAttr;
    static const CharData Null;

    constexpr CharData() = default;
    // A cell for one scalar. The printing path uses this: no table lookup, no allocation.
    constexpr CharData(const Attribute& attribute, char32_t scalar, int size = 1)
        : code_(simpleCode(scalar)), width_(narrowWidth(size)), attribute(attribute) {}
    // A cell for a whole grapheme cluster given as scalars, entered in `tables`.
    CharData(const Attribute& attribute, std::u32string_view cluster, int size, CellTables& tables);

    constexpr void setValue(char32_t scalar, int size) {
        code_ = simpleCode(scalar);
        width_ = static_cast<std::uint8_t>((width_ & protectedBit) | narrowWidth(size));
    }
    // A byte below 0x80 is its own scalar: the ASCII print path swaps codes in a template cell.
    constexpr void setAscii(std::uint8_t byte) { code_ = byte; }
    // Puts back a code read with code(): for storage that keeps codes apart from the rest
    // of the cells.
    constexpr void restoreCode(std::int32_t code) { code_ = code; }
    void setValue(std::u32string_view cluster, int size, CellTables& tables);

    constexpr std::int32_t code() const { return code_; }
    constexpr int width() const { return width_ & widthMask; }
    // Protected against selective erase (DECSCA). The attribute's style byte is full, so
    // the flag shares the width's byte: a width never needs more than a few bits.
    constexpr bool isProtected() const { return (width_ & protectedBit) != 0; }
    constexpr void setProtected(bool value) {
        width_ = static_cast<std::uint8_t>(value ? width_ | protectedBit : width_ & widthMask);
    }
    constexpr bool isSimpleRune() const { return code_ < maxSimpleCode; }
    constexpr bool hasPayload() const { return !payload.isNone(); }

    // Reading a cell needs the tables of the terminal that holds it (Terminal::tables()).
    //
    // The hyperlink payload text, or nullptr without a link.
    const std::string* getPayload(const CellTables& tables) const;
    // The cell's grapheme in UTF-8. A null cell yields U+0000; a code that is no valid
    // scalar or no known cluster yields a space.
    std::string getCharacter(const CellTables& tables) const;
    void appendCharacter(std::string& out, const CellTables& tables) const;
    // The same grapheme as scalars, copied into `out` (as many as fit) without
    // allocating; returns how many were copied.
    std::size_t copyScalars(std::span<char32_t> out, const CellTables& tables) const;
    // The first scalar of the grapheme (a space for what is no scalar).
    char32_t baseScalar(const CellTables& tables) const;

    friend constexpr bool operator==(const CharData&, const CharData&) = default;

  private:
    // A scalar beyond Unicode's range could collide with cluster codes.
    static constexpr std::int32_t simpleCode(char32_t scalar) {
        return scalar <= 0x10FFFF ? static_cast<std::int32_t>(scalar) : 0xFFFD;
    }
    static constexpr std::uint8_t widthMask = 0x7F;
    static constexpr std::uint8_t protectedBit = 0x80;
    static constexpr std::uint8_t narrowWidth(int size) {
        return static_cast<std::uint8_t>(size < 0 ? 0 : (size > widthMask ? widthMask : size));
    }

    std::int32_t code_ = 0;

  public:
    TinyAtom payload;

  private:
    std::uint8_t width_ = 1;

  public:
    Attribute attribute =
        Attribute{Attribute::Color::defaultColor(), Attribute::Color::defaultColor(), CharacterStyle::none};
};

inline constexpr Attribute CharData::defaultAttr{Attribute::Color::defaultColor(),
                                                 Attribute::Color::defaultColor(), CharacterStyle::none};
inline constexpr Attribute CharData::invertedAttr{
    Attribute::Color::defaultInvertedColor(), Attribute::Color::defaultInvertedColor(), CharacterStyle::none};
inline constexpr CharData CharData::Null{};

static_assert(sizeof(CharData) == 16, "a cell must stay 16 bytes");

// Appends a scalar to a UTF-8 string; values that are no scalar become a space.
void appendUtf8(std::string& out, char32_t scalar);

} // namespace tarvik
