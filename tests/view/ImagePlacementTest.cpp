#include <gtest/gtest.h>

#include "ViewHarness.h"

namespace tarvik {
namespace {

using viewtest::MemoryImage;
using viewtest::MemoryStrip;
using viewtest::ViewFixture;
using Kind = ImageSizeRequest::Kind;

constexpr ImageSizeRequest automatic{};
constexpr ImageSizeRequest cells(std::int64_t n) { return {Kind::cells, n}; }
constexpr ImageSizeRequest pixels(std::int64_t n) { return {Kind::pixels, n}; }
constexpr ImageSizeRequest percent(std::int64_t n) { return {Kind::percent, n}; }

struct TargetCase {
    const char* name;
    int imageWidth;
    int imageHeight;
    ImageSizeRequest width;
    ImageSizeRequest height;
    bool preserve;
    double scale;
    std::optional<ImageTarget> expected;
};

// A view of 160 x 80 points with cells of 8 x 16.
const TargetCase targetCases[] = {
    {"CellsWideAutoHigh", 40, 20, cells(4), automatic, true, 1, ImageTarget{32, 16, 0, 0, 32, 16}},
    {"PixelsWithoutAspect", 40, 20, pixels(100), pixels(30), false, 1, ImageTarget{100, 30, 0, 0, 100, 30}},
    {"PercentOfTheViewWidth", 40, 20, percent(50), automatic, true, 1, ImageTarget{80, 40, 0, 0, 80, 40}},
    {"PercentOfTheViewHeight", 40, 20, automatic, percent(50), true, 1, ImageTarget{80, 40, 0, 0, 80, 40}},
    {"AutoWidthFromCellsHigh", 40, 20, automatic, cells(2), true, 1, ImageTarget{64, 32, 0, 0, 64, 32}},
    {"AutoIsTheImageSize", 40, 20, automatic, automatic, true, 1, ImageTarget{40, 20, 0, 0, 40, 20}},
    {"AutoOnADenseScreen", 40, 20, automatic, automatic, true, 2, ImageTarget{20, 10, 0, 0, 20, 10}},
    {"AutoWithoutAspect", 40, 20, cells(1), automatic, false, 1, ImageTarget{8, 20, 0, 0, 8, 20}},
    {"FittedIntoAWideBox", 40, 20, pixels(80), pixels(80), true, 1, ImageTarget{80, 80, 0, 20, 80, 40}},
    {"FittedIntoATallBox", 20, 40, pixels(80), pixels(80), true, 1, ImageTarget{80, 80, 20, 0, 40, 80}},
    {"TooWide", 40, 20, pixels(20000), automatic, true, 1, std::nullopt},
    {"TooManyBytes", 40, 20, pixels(9000), pixels(9000), false, 1, std::nullopt},
    {"SourceTooLarge", 12000, 10, cells(1), cells(1), false, 1, std::nullopt},
    {"EmptyImage", 0, 0, automatic, automatic, true, 1, std::nullopt},
    {"ZeroCells", 40, 20, cells(0), automatic, true, 1, std::nullopt},
    {"NegativeCells", 40, 20, cells(-3), cells(2), false, 1, std::nullopt},
};

class TargetTable : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetTable, ResolvesTheRequests) {
    const TargetCase& c = GetParam();
    const ImagePlacement::ViewGeometry view{160, 80, c.scale, CellMetrics{8, 16}};
    const auto t = ImagePlacement::target(c.imageWidth, c.imageHeight, c.width, c.height, c.preserve, view);
    ASSERT_EQ(t.has_value(), c.expected.has_value());
    if (!t) return;
    EXPECT_DOUBLE_EQ(t->width, c.expected->width);
    EXPECT_DOUBLE_EQ(t->height, c.expected->height);
    EXPECT_DOUBLE_EQ(t->imageX, c.expected->imageX);
    EXPECT_DOUBLE_EQ(t->imageY, c.expected->imageY);
    EXPECT_DOUBLE_EQ(t->imageWidth, c.expected->imageWidth);
    EXPECT_DOUBLE_EQ(t->imageHeight, c.expected->imageHeight);
}

INSTANTIATE_TEST_SUITE_P(Images, TargetTable, ::testing::ValuesIn(targetCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<const MemoryStrip*> stripsOf(Terminal& terminal, int line) {
    std::vector<const MemoryStrip*> strips;
    const BufferLine& row = terminal.buffer().lines()[line];
    if (row.images)
        for (const auto& image : *row.images) strips.push_back(dynamic_cast<const MemoryStrip*>(image.get()));
    return strips;
}

ImagePlacement::ViewGeometry geometry() {
    return {160, 80, 1, CellMetrics{8, 16}};
}

TEST(ImagePlacementTest, StripsGoDownFromTheCursor) {
    ViewFixture f(20, 5);
    f.feed("abc");
    const MemoryImage image(8, 56); // three and a half cells high
    EXPECT_EQ(ImagePlacement::insertImage(f.terminal(), f.surface.images, image, automatic, automatic, true,
                                          geometry()),
              4);
    EXPECT_EQ(f.terminal().getCursorLocation(), (std::pair{3, 4}));
    for (int line = 0; line < 4; ++line) {
        const auto strips = stripsOf(f.terminal(), line);
        ASSERT_EQ(strips.size(), 1u) << line;
        EXPECT_EQ(strips[0]->col(), 3);
        EXPECT_EQ(strips[0]->pixelWidth(), 8);
        EXPECT_EQ(strips[0]->pixelHeight(), 16);
        EXPECT_DOUBLE_EQ(strips[0]->placement.imageY, -16.0 * line);
        EXPECT_DOUBLE_EQ(strips[0]->placement.imageHeight, 56);
    }
    EXPECT_TRUE(stripsOf(f.terminal(), 4).empty());
}

TEST(ImagePlacementTest, TheRegionScrollsAtTheBottomMargin) {
    ViewFixture f(20, 5);
    f.feed("\x1b[4;6H");
    const MemoryImage image(8, 48);
    ImagePlacement::insertImage(f.terminal(), f.surface.images, image, automatic, automatic, true, geometry());
    EXPECT_EQ(f.terminal().buffer().yBase(), 2);
    EXPECT_EQ(f.terminal().getCursorLocation(), (std::pair{5, 4}));
    for (int line : {3, 4, 5}) EXPECT_EQ(stripsOf(f.terminal(), line).size(), 1u) << line;
}

TEST(ImagePlacementTest, AStripThatCannotBeMadeIsSkipped) {
    ViewFixture f(20, 5);
    f.surface.images.failStrips = true;
    const MemoryImage image(8, 48);
    EXPECT_EQ(ImagePlacement::insertImage(f.terminal(), f.surface.images, image, automatic, automatic, true,
                                          geometry()),
              0);
    EXPECT_EQ(f.terminal().getCursorLocation(), (std::pair{0, 0}));
}

TEST(ImagePlacementTest, SixelImagesArePlacedFromTheEngine) {
    ViewFixture f(20, 5);
    f.feed("\x1bPq#0;2;100;0;0~-\x1b\\");
    ASSERT_EQ(stripsOf(f.terminal(), 0).size(), 1u);
    EXPECT_EQ(stripsOf(f.terminal(), 0)[0]->pixelWidth(), 1);
    EXPECT_EQ(f.terminal().getCursorLocation(), (std::pair{0, 1}));
}

TEST(ImagePlacementTest, BitmapsWiderThanTheViewAreShrunkToIt) {
    ViewFixture f(20, 5);
    const std::vector<std::uint8_t> bytes(400 * 16 * 4, 0xff);
    f.view->createImageFromBitmap(f.terminal(), bytes, 400, 16);
    const auto strips = stripsOf(f.terminal(), 0);
    ASSERT_EQ(strips.size(), 1u);
    EXPECT_EQ(strips[0]->pixelWidth(), 160);
    EXPECT_DOUBLE_EQ(strips[0]->placement.imageHeight, 6.4);
}

TEST(ImagePlacementTest, UndecodableFilesAreDropped) {
    ViewFixture f(20, 5);
    const std::string data = "not an image";
    f.view->createImage(f.terminal(), std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()),
                        cells(2), automatic, true);
    EXPECT_TRUE(stripsOf(f.terminal(), 0).empty());
    EXPECT_EQ(f.terminal().getCursorLocation(), (std::pair{0, 0}));
}

} // namespace
} // namespace tarvik
