#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tarvik {

// Style bits of a cell. Kept to one byte so that a cell stays 16 bytes.
class CharacterStyle {
  public:
    constexpr CharacterStyle() = default;
    constexpr explicit CharacterStyle(std::uint8_t bits) : bits_(bits) {}

    static const CharacterStyle none;
    static const CharacterStyle bold;
    static const CharacterStyle underline;
    static const CharacterStyle blink;
    static const CharacterStyle inverse;
    static const CharacterStyle invisible;
    static const CharacterStyle dim;
    static const CharacterStyle italic;
    static const CharacterStyle crossedOut;

    constexpr std::uint8_t rawValue() const { return bits_; }
    constexpr bool isEmpty() const { return bits_ == 0; }
    constexpr bool contains(CharacterStyle other) const { return (bits_ & other.bits_) == other.bits_; }
    constexpr void insert(CharacterStyle other) { bits_ |= other.bits_; }
    constexpr void remove(CharacterStyle other) { bits_ &= static_cast<std::uint8_t>(~other.bits_); }

    constexpr CharacterStyle operator|(CharacterStyle other) const {
        return CharacterStyle(static_cast<std::uint8_t>(bits_ | other.bits_));
    }
    constexpr CharacterStyle operator&(CharacterStyle other) const {
        return CharacterStyle(static_cast<std::uint8_t>(bits_ & other.bits_));
    }
    friend constexpr bool operator==(CharacterStyle, CharacterStyle) = default;

  private:
    std::uint8_t bits_ = 0;
};

inline constexpr CharacterStyle CharacterStyle::none{0};
inline constexpr CharacterStyle CharacterStyle::bold{1};
inline constexpr CharacterStyle CharacterStyle::underline{2};
inline constexpr CharacterStyle CharacterStyle::blink{4};
inline constexpr CharacterStyle CharacterStyle::inverse{8};
inline constexpr CharacterStyle CharacterStyle::invisible{16};
inline constexpr CharacterStyle CharacterStyle::dim{32};
inline constexpr CharacterStyle CharacterStyle::italic{64};
inline constexpr CharacterStyle CharacterStyle::crossedOut{128};

// Colours and style of one cell. Every member is made of bytes (alignment 1), so the
// attribute packs into the tail of a cell without padding.
struct Attribute {
    // One side of a cell: a palette index, a direct colour or one of the two defaults.
    // Stored as a tag and three bytes; unused bytes are always zero so that plain
    // member-wise equality is the equality of the colour.
    class Color {
      public:
        enum class Kind : std::uint8_t {
            ansi256 = 0,
            trueColor = 1,
            defaultColor = 2,
            defaultInvertedColor = 3
        };

        constexpr Color() = default;

        static constexpr Color ansi256(std::uint8_t code) { return Color(Kind::ansi256, code, 0, 0); }
        static constexpr Color trueColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
            return Color(Kind::trueColor, red, green, blue);
        }
        static constexpr Color defaultColor() { return Color(Kind::defaultColor, 0, 0, 0); }
        static constexpr Color defaultInvertedColor() { return Color(Kind::defaultInvertedColor, 0, 0, 0); }

        constexpr Kind kind() const { return kind_; }
        // Palette index of an ansi256 colour.
        constexpr std::uint8_t code() const { return first_; }
        // Components of a trueColor colour.
        constexpr std::uint8_t red() const { return first_; }
        constexpr std::uint8_t green() const { return second_; }
        constexpr std::uint8_t blue() const { return third_; }

        friend constexpr bool operator==(const Color&, const Color&) = default;

      private:
        constexpr Color(Kind kind, std::uint8_t first, std::uint8_t second, std::uint8_t third)
            : kind_(kind), first_(first), second_(second), third_(third) {}

        Kind kind_ = Kind::defaultColor;
        std::uint8_t first_ = 0;
        std::uint8_t second_ = 0;
        std::uint8_t third_ = 0;
    };

    Color fg;
    Color bg;
    CharacterStyle style;

    // Initial pen of a buffer and the default of an erase cell.
    static const Attribute empty;

    // The SGR parameters that recreate this attribute from a reset, ending in "m"
    // ("0;1;38;5;200m"). Direct colours use the colon form (38:2::r:g:b).
    std::string toSgr() const;

    friend constexpr bool operator==(const Attribute&, const Attribute&) = default;
};

inline constexpr Attribute Attribute::empty{Attribute::Color::defaultColor(),
                                            Attribute::Color::defaultInvertedColor(), CharacterStyle::none};

static_assert(sizeof(Attribute::Color) == 4);
static_assert(sizeof(Attribute) == 9 && alignof(Attribute) == 1);

std::size_t hashValue(const Attribute::Color& color);
std::size_t hashValue(const Attribute& attribute);

} // namespace tarvik

template <> struct std::hash<tarvik::Attribute::Color> {
    std::size_t operator()(const tarvik::Attribute::Color& color) const { return tarvik::hashValue(color); }
};

template <> struct std::hash<tarvik::Attribute> {
    std::size_t operator()(const tarvik::Attribute& attribute) const { return tarvik::hashValue(attribute); }
};
