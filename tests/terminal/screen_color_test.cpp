#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "terminal/Color.h"

using tarvik::Color;

namespace {

struct ParseCase {
    const char* text;
    std::optional<Color> expected;
};

class ParseColorTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseColorTest, ParsesOrRejects) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(Color::parseColor(c.text), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Forms, ParseColorTest,
                         testing::Values(
                             // "#" with one to four digits per channel, each width scaled its own way.
                             ParseCase{"#fff", Color{0xF0F0, 0xF0F0, 0xF0F0}},
                             ParseCase{"#ffffff", Color{0xFFFF, 0xFFFF, 0xFFFF}},
                             ParseCase{"#FF8000", Color{0xFFFF, 0x8080, 0}},
                             ParseCase{"#fffababab", Color{0xFFFF, 0xABAB, 0xBABA}},
                             ParseCase{"#123456789abc", Color{0x1234, 0x5678, 0x9ABC}},
                             // A group stops at its first non-hex character and keeps what it read.
                             ParseCase{"#fg0", Color{0xF0F0, 0, 0}}, ParseCase{"#12345", std::nullopt},
                             ParseCase{"#", std::nullopt}, ParseCase{"#1234567890abc", std::nullopt},
                             // "rgb:" scales all three fields by the longest one.
                             ParseCase{"rgb:ff/00/80", Color{0xFFFF, 0, 0x8080}},
                             ParseCase{"rgb:ffff/f/0", Color{0xFFFF, 0x000F, 0}},
                             ParseCase{"rgb:f/ff/fff", Color{0x00F0, 0x0FFF, 0xFFFF}},
                             ParseCase{"rgb:8/8/8", Color{0x8080, 0x8080, 0x8080}},
                             ParseCase{"rgb:", std::nullopt}, ParseCase{"rgb:/x/", std::nullopt},
                             ParseCase{"RGB:ff/ff/ff", std::nullopt}, ParseCase{"", std::nullopt},
                             ParseCase{"red", std::nullopt}));

TEST(ColorTest, FormatsAsXcolorAndParsesBack) {
    EXPECT_EQ((Color{0xFFFF, 0xFFFF, 0xFFFF}).formatAsXcolor(), "rgb:ffff/ffff/ffff");
    EXPECT_EQ((Color{0x0001, 0xABCD, 0}).formatAsXcolor(), "rgb:0001/abcd/0000");
    for (const Color& color : Color::defaultInstalledColors)
        EXPECT_EQ(Color::parseColor(color.formatAsXcolor()), color) << color.formatAsXcolor();
    for (const Color& color : {Color::defaultForeground, Color::defaultBackground, Color{1, 2, 3}})
        EXPECT_EQ(Color::parseColor(color.formatAsXcolor()), color);
}

TEST(ColorTest, PaletteHasBaseColoursCubeAndGreyRamp) {
    const auto palette = Color::setupDefaultAnsiColors(Color::defaultInstalledColors);
    ASSERT_EQ(palette.size(), 256u);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(palette[i], Color::defaultInstalledColors[i]) << i;
    EXPECT_EQ(palette[1], (Color{39321, 0, 257}));
    EXPECT_EQ(palette[12], (Color{1799, 0, 65278}));
    const std::pair<int, Color> entries[] = {
        {16, {0, 0, 0}},
        {21, {0, 0, 65535}},
        {196, {65535, 0, 0}},
        {67, {95 * 257, 135 * 257, 175 * 257}},
        {231, {65535, 65535, 65535}},
        {232, {2056, 2056, 2056}},
        {255, {61166, 61166, 61166}},
    };
    for (const auto& [index, color] : entries)
        EXPECT_EQ(palette[static_cast<std::size_t>(index)], color) << index;
}

} // namespace
