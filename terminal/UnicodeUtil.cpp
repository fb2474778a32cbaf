#include "terminal/UnicodeUtil.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik::UnicodeUtil {

namespace {

// Characters that take no column of their own, as defined for Unicode 5.0.
// Programs size their output with wcwidth tables of this vintage, so the screen
// stays in step with them even where newer Unicode data would differ.
constexpr Interval combining[] = {
    {0x0300, 0x036F},   {0x0483, 0x0486},   {0x0488, 0x0489},   {0x0591, 0x05BD},   {0x05BF, 0x05BF},
    {0x05C1, 0x05C2},   {0x05C4, 0x05C5},   {0x05C7, 0x05C7},   {0x0600, 0x0603},   {0x0610, 0x0615},
    {0x064B, 0x065E},   {0x0670, 0x0670},   {0x06D6, 0x06E4},   {0x06E7, 0x06E8},   {0x06EA, 0x06ED},
    {0x070F, 0x070F},   {0x0711, 0x0711},   {0x0730, 0x074A},   {0x07A6, 0x07B0},   {0x07EB, 0x07F3},
    {0x0901, 0x0902},   {0x093C, 0x093C},   {0x0941, 0x0948},   {0x094D, 0x094D},   {0x0951, 0x0954},
    {0x0962, 0x0963},   {0x0981, 0x0981},   {0x09BC, 0x09BC},   {0x09C1, 0x09C4},   {0x09CD, 0x09CD},
    {0x09E2, 0x09E3},   {0x0A01, 0x0A02},   {0x0A3C, 0x0A3C},   {0x0A41, 0x0A42},   {0x0A47, 0x0A48},
    {0x0A4B, 0x0A4D},   {0x0A70, 0x0A71},   {0x0A81, 0x0A82},   {0x0ABC, 0x0ABC},   {0x0AC1, 0x0AC5},
    {0x0AC7, 0x0AC8},   {0x0ACD, 0x0ACD},   {0x0AE2, 0x0AE3},   {0x0B01, 0x0B01},   {0x0B3C, 0x0B3C},
    {0x0B3F, 0x0B3F},   {0x0B41, 0x0B43},   {0x0B4D, 0x0B4D},   {0x0B56, 0x0B56},   {0x0B82, 0x0B82},
    {0x0BC0, 0x0BC0},   {0x0BCD, 0x0BCD},   {0x0C3E, 0x0C40},   {0x0C46, 0x0C48},   {0x0C4A, 0x0C4D},
    {0x0C55, 0x0C56},   {0x0CBC, 0x0CBC},   {0x0CBF, 0x0CBF},   {0x0CC6, 0x0CC6},   {0x0CCC, 0x0CCD},
    {0x0CE2, 0x0CE3},   {0x0D41, 0x0D43},   {0x0D4D, 0x0D4D},   {0x0DCA, 0x0DCA},   {0x0DD2, 0x0DD4},
    {0x0DD6, 0x0DD6},   {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},   {0x0E47, 0x0E4E},   {0x0EB1, 0x0EB1},
    {0x0EB4, 0x0EB9},   {0x0EBB, 0x0EBC},   {0x0EC8, 0x0ECD},   {0x0F18, 0x0F19},   {0x0F35, 0x0F35},
    {0x0F37, 0x0F37},   {0x0F39, 0x0F39},   {0x0F71, 0x0F7E},   {0x0F80, 0x0F84},   {0x0F86, 0x0F87},
    {0x0F90, 0x0F97},   {0x0F99, 0x0FBC},   {0x0FC6, 0x0FC6},   {0x102D, 0x1030},   {0x1032, 0x1032},
    {0x1036, 0x1037},   {0x1039, 0x1039},   {0x1058, 0x1059},   {0x1160, 0x11FF},   {0x135F, 0x135F},
    {0x1712, 0x1714},   {0x1732, 0x1734},   {0x1752, 0x1753},   {0x1772, 0x1773},   {0x17B4, 0x17B5},
    {0x17B7, 0x17BD},   {0x17C6, 0x17C6},   {0x17C9, 0x17D3},   {0x17DD, 0x17DD},   {0x180B, 0x180D},
    {0x18A9, 0x18A9},   {0x1920, 0x1922},   {0x1927, 0x1928},   {0x1932, 0x1932},   {0x1939, 0x193B},
    {0x1A17, 0x1A18},   {0x1B00, 0x1B03},   {0x1B34, 0x1B34},   {0x1B36, 0x1B3A},   {0x1B3C, 0x1B3C},
    {0x1B42, 0x1B42},   {0x1B6B, 0x1B73},   {0x1DC0, 0x1DCA},   {0x1DFE, 0x1DFF},   {0x200B, 0x200F},
    {0x202A, 0x202E},   {0x2060, 0x2063},   {0x206A, 0x206F},   {0x20D0, 0x20EF},   {0x302A, 0x302F},
    {0x3099, 0x309A},   {0xA806, 0xA806},   {0xA80B, 0xA80B},   {0xA825, 0xA826},   {0xFB1E, 0xFB1E},
    {0xFE00, 0xFE0F},   {0xFE20, 0xFE23},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x10A01, 0x10A03},
    {0x10A05, 0x10A06}, {0x10A0C, 0x10A0F}, {0x10A38, 0x10A3A}, {0x10A3F, 0x10A3F}, {0x1D167, 0x1D169},
    {0x1D173, 0x1D182}, {0x1D185, 0x1D18B}, {0x1D1AA, 0x1D1AD}, {0x1D242, 0x1D244}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};

// Emoji drawn as two-column pictures. U+23ED-U+23EF and U+24C2 are kept wide
// too, as this engine has always drawn them: a width change would shift every
// column after such a character in output that programs have already laid out.
constexpr Interval emoji[] = {
    {0x231A, 0x231B},   {0x23E9, 0x23F0},   {0x23F3, 0x23F3},   {0x24C2, 0x24C2},   {0x25FD, 0x25FE},
    {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},   {0x26D4, 0x26D4},
    {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},   {0x26FA, 0x26FA},   {0x26FD, 0x26FD},
    {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},
    {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F201, 0x1F201}, {0x1F21A, 0x1F21A}, {0x1F22F, 0x1F22F},
    {0x1F232, 0x1F236}, {0x1F238, 0x1F23A}, {0x1F250, 0x1F251}, {0x1F300, 0x1F320}, {0x1F32D, 0x1F335},
    {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0},
    {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D},
    {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7},
    {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FA7C}, {0x1FA80, 0x1FA88},
    {0x1FA90, 0x1FABD}, {0x1FABF, 0x1FAC5}, {0x1FACE, 0x1FADB}, {0x1FAE0, 0x1FAE8}, {0x1FAF0, 0x1FAF8},
};

// East-Asian wide and fullwidth ranges; the ideographic half fill space U+303F
// stays narrow.
constexpr Interval eastAsianWide[] = {
    {0x1100, 0x115F}, {0x2329, 0x232A}, {0x2E80, 0x303E},   {0x3040, 0xA4CF},
    {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

constexpr char32_t maxScalar = 0x10FFFF;

// Every printed non-ASCII scalar needs its width and whether it combines, and
// searching the ranges and the Unicode database for each one would be the slowest
// part of printing such text. This table answers both in one look-up: one byte per
// scalar, in blocks of 256 shared where identical (whole ideograph blocks are alike),
// small enough to stay in cache.
class PropertyTable {
  public:
    static constexpr std::uint8_t combinesBit = detail::PropertyBlocks::combinesBit;

    PropertyTable() {
        const std::vector<std::uint8_t> flat = flatTable();
        std::unordered_map<std::string_view, std::uint16_t> seen;
        for (std::size_t block = 0; block < index_.size(); ++block) {
            const std::string_view bytes(reinterpret_cast<const char*>(flat.data()) + block * blockSize,
                                         blockSize);
            const auto [it, added] = seen.try_emplace(bytes, static_cast<std::uint16_t>(seen.size()));
            if (added)
                blocks_.insert(blocks_.end(), flat.begin() + block * blockSize,
                               flat.begin() + (block + 1) * blockSize);
            index_[block] = it->second;
        }
    }

    detail::PropertyBlocks view() const { return {index_.data(), blocks_.data()}; }

  private:
    static constexpr std::size_t blockSize = std::size_t{1} << detail::PropertyBlocks::blockShift;

    // Filled range by range in the order columnWidthBySearch decides, later ranges
    // overriding earlier ones.
    static std::vector<std::uint8_t> flatTable() {
        std::vector<std::uint8_t> flat(maxScalar + 1, 1);
        const auto fill = [&flat](std::span<const Interval> table, std::uint8_t width) {
            for (auto [first, last] : table)
                std::fill(flat.begin() + first, flat.begin() + last + 1, width);
        };
        fill(emoji, 2);
        fill(eastAsianWide, 2);
        fill(combining, 0);
        fill(std::array<Interval, 2>{{{0x00, 0x1F}, {0x7F, 0xA0}}}, 0);
        for (char32_t c = 0; c <= maxScalar; ++c)
            if (utf8proc_get_property(static_cast<utf8proc_int32_t>(c))->combining_class != 0)
                flat[c] |= combinesBit;
        return flat;
    }

    std::array<std::uint16_t, (maxScalar + 1) / blockSize> index_{};
    std::vector<std::uint8_t> blocks_;
};

const PropertyTable& propertyTable() {
    static const PropertyTable table;
    return table;
}

bool isEastAsianWide(char32_t c) {
    return inTable(eastAsianWide, c);
}

} // namespace

std::span<const Interval> combiningTable() {
    return combining;
}
std::span<const Interval> emojiTable() {
    return emoji;
}

bool inTable(std::span<const Interval> table, char32_t scalar) {
    if (table.empty() || scalar < table.front().first || scalar > table.back().last) return false;
    std::size_t low = 0, high = table.size() - 1;
    while (low <= high) {
        const std::size_t mid = low + (high - low) / 2;
        if (scalar > table[mid].last) {
            low = mid + 1;
        } else if (scalar < table[mid].first) {
            if (mid == 0) return false;
            high = mid - 1;
        } else {
            return true;
        }
    }
    return false;
}

int columnWidth(char32_t scalar) {
    return printProperties(scalar).width;
}

const detail::PropertyBlocks& detail::propertyBlocks() {
    static const PropertyBlocks view = propertyTable().view();
    return view;
}

int columnWidthBySearch(char32_t scalar) {
    if (scalar < 0x20) return 0;
    if (scalar < 0x7F) return 1;
    if (scalar <= 0xA0) return 0;
    if (inTable(combining, scalar)) return 0;
    if (scalar >= 0x1100 && isEastAsianWide(scalar)) return 2;
    if (inTable(emoji, scalar)) return 2;
    return 1;
}

int combiningClass(char32_t scalar) {
    if (scalar > maxScalar) return 0;
    return utf8proc_get_property(static_cast<utf8proc_int32_t>(scalar))->combining_class;
}

bool isGraphemeBreak(char32_t previous, char32_t next, int32_t& state) {
    // Values beyond Unicode are treated as unrelated characters: always a boundary.
    if (previous > maxScalar || next > maxScalar) {
        state = 0;
        return true;
    }
    utf8proc_int32_t s = state;
    const bool result = utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                                         static_cast<utf8proc_int32_t>(next), &s);
    state = s;
    return result;
}

} // namespace tarvik::UnicodeUtil
