// The painter's parts on their own: box drawing at many sizes, image decoding and its
// bound, the glyph cache, the caret's blink curve.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>

#include <vector>

#include "view/qt/BoxDrawing.h"
#include "view/qt/CaretBlink.h"
#include "view/qt/GlyphCache.h"
#include "view/qt/ImageDecoding.h"
#include "view/qt/ShippedFonts.h"

namespace tarvik {
namespace {

struct CellSize {
    double width;
    double height;
    double ratio;
};

class BoxDrawingTest : public testing::TestWithParam<CellSize> {
  protected:
    // Draws the characters into a 2 x 2 block of cells (left to right, top to bottom).
    QImage draw(std::u32string_view chars) {
        const CellSize s = GetParam();
        QImage image(static_cast<int>(std::ceil(2 * s.width * s.ratio)) + 2,
                     static_cast<int>(std::ceil(2 * s.height * s.ratio)) + 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(s.ratio);
        image.fill(Qt::black);
        QPainter painter(&image);
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const double x0 = std::round((i % 2) * s.width), x1 = std::round((i % 2 + 1) * s.width);
            const double y = (i / 2) * s.height;
            BoxDrawing::draw(painter, chars[i], QRectF(x0, y, x1 - x0, s.height), Qt::white);
        }
        return image;
    }
    static bool lit(const QImage& image, int x, int y) { return qRed(image.pixel(x, y)) > 200; }
    int deviceWidth() const { return static_cast<int>(std::round(2 * GetParam().width) * GetParam().ratio); }
    int deviceHeight() const { return static_cast<int>(2 * GetParam().height * GetParam().ratio); }
};

TEST_P(BoxDrawingTest, HorizontalLinesJoinAcrossCells) {
    const QImage image = draw(U"──");
    int row = -1;
    for (int y = 0; y < deviceHeight() / 2 && row < 0; ++y)
        if (lit(image, 1, y)) row = y;
    ASSERT_GE(row, 0);
    // The line keeps its rows across cells whose widths differ by a rounded pixel.
    const auto litRows = [&](int x) {
        std::vector<int> rows;
        for (int y = 0; y < deviceHeight() / 2; ++y)
            if (lit(image, x, y)) rows.push_back(y);
        return rows;
    };
    const std::vector<int> first = litRows(0);
    for (int x = 0; x < deviceWidth(); ++x) {
        EXPECT_TRUE(lit(image, x, row)) << "gap at x " << x;
        EXPECT_EQ(litRows(x), first) << "the line steps at x " << x;
    }
}

TEST_P(BoxDrawingTest, VerticalLinesJoinAcrossRows) {
    const QImage image = draw(U"│ │");
    int col = -1;
    for (int x = 0; x < deviceWidth() / 2 && col < 0; ++x)
        if (lit(image, x, 1)) col = x;
    ASSERT_GE(col, 0);
    for (int y = 0; y < deviceHeight() - 1; ++y)
        EXPECT_TRUE(lit(image, col, y)) << "gap at y " << y;
}

TEST_P(BoxDrawingTest, FullBlocksLeaveNoSeams) {
    const QImage image = draw(U"████");
    for (int y = 0; y < deviceHeight() - 1; ++y)
        for (int x = 0; x < deviceWidth(); ++x)
            ASSERT_TRUE(lit(image, x, y)) << "seam at " << x << "," << y;
}

TEST_P(BoxDrawingTest, CornersMeetTheirLines) {
    // ┌┐ over └┘: a closed frame, so every edge of the drawn square is continuous.
    const QImage image = draw(U"┌┐└┘");
    int top = -1, left = -1;
    for (int y = 0; y < deviceHeight() && top < 0; ++y)
        if (lit(image, deviceWidth() / 2, y)) top = y;
    for (int x = 0; x < deviceWidth() && left < 0; ++x)
        if (lit(image, x, deviceHeight() / 2)) left = x;
    ASSERT_GE(top, 0);
    ASSERT_GE(left, 0);
    for (int x = left; x < deviceWidth() - left; ++x)
        EXPECT_TRUE(lit(image, x, top)) << "top edge gap at " << x;
    for (int y = top; y < deviceHeight() - top; ++y)
        EXPECT_TRUE(lit(image, left, y)) << "left edge gap at " << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, BoxDrawingTest,
                         testing::Values(CellSize{7.3, 15, 1}, CellSize{11.438, 23, 1},
                                         CellSize{11.438, 23, 2}, CellSize{23.1, 46, 1},
                                         CellSize{9.6, 19, 1.5}));

TEST(BoxDrawing, CoversExactlyTheBoxAndBlockRange) {
    EXPECT_FALSE(BoxDrawing::covers(0x24FF));
    EXPECT_TRUE(BoxDrawing::covers(0x2500));
    EXPECT_TRUE(BoxDrawing::covers(0x259F));
    EXPECT_FALSE(BoxDrawing::covers(0x25A0));
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    EXPECT_FALSE(BoxDrawing::draw(painter, U'A', QRectF(0, 0, 10, 10), Qt::white));
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())};
}

TEST(ImageDecoding, DecodesPngJpegAndGif) {
    QImage red(4, 3, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    for (const char* format : {"PNG", "JPEG"}) {
        const auto image = ImageDecoding::fromFileData(bytesOf(encoded(red, format)));
        ASSERT_TRUE(image) << format;
        EXPECT_EQ(image->size(), QSize(4, 3));
        EXPECT_GT(qRed(image->pixel(1, 1)), 240) << format;
    }
    // A 1 x 1 GIF whose only pixel is palette entry 0, red (Qt writes no GIFs).
    const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ff0000000000"
                                               "2c00000000010001000002024401003b");
    const auto image = ImageDecoding::fromFileData(bytesOf(gif));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(1, 1));
    EXPECT_EQ(image->pixel(0, 0) & 0xffffff, 0xff0000u);
}

TEST(ImageDecoding, DropsWhatDoesNotDecodeOrIsTooLarge) {
    EXPECT_FALSE(ImageDecoding::fromFileData(bytesOf(QByteArray("not a picture at all"))));
    EXPECT_FALSE(ImageDecoding::fromFileData({}));
    // A small file claiming a picture wider than the bound.
    QImage wide(10001, 1, QImage::Format_Mono);
    wide.fill(0);
    EXPECT_FALSE(ImageDecoding::fromFileData(bytesOf(encoded(wide, "PNG"))));
}

TEST(ImageDecoding, BitmapBound) {
    const std::vector<std::uint8_t> pixels(2 * 3 * 4, 0xff);
    const auto image = ImageDecoding::fromBitmap(pixels, 2, 3);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(1, 2), 0xffffffffu);
    EXPECT_FALSE(ImageDecoding::fromBitmap(pixels, 3, 3)); // too few bytes
    EXPECT_FALSE(ImageDecoding::fromBitmap(pixels, 0, 3));
    // Checked before the bytes are looked at: nothing that large is ever allocated.
    EXPECT_FALSE(ImageDecoding::fromBitmap(pixels, 10001, 1));
    EXPECT_FALSE(ImageDecoding::fromBitmap(pixels, 5000, 5000)); // 100 MB
    EXPECT_TRUE(ImageDecoding::withinBound(4096, 4096));         // exactly 64 MiB
    EXPECT_FALSE(ImageDecoding::withinBound(4097, 4096));
}

TEST(GlyphCache, ShapesOnceAndEmptiesOnFontChange) {
    GlyphCache cache(ShippedFonts::defaultFont());
    ASSERT_EQ(cache.lookup(U"a", FontVariant::normal, 1).size(), 1u);
    cache.lookup(U"a", FontVariant::normal, 1);
    cache.lookup(U"a", FontVariant::bold, 1);
    EXPECT_EQ(cache.shapedCount(), 2u);
    QFont other = ShippedFonts::defaultFont();
    other.setPointSize(20);
    cache.setFont(other);
    EXPECT_EQ(cache.shapedCount(), 0u);
}

TEST(GlyphCache, ClustersAndFallbacksStayInsideTheirCells) {
    const QFont font = ShippedFonts::defaultFont();
    GlyphCache cache(font);
    const double cellWidth = QFontMetricsF(font).horizontalAdvance(QLatin1Char('W'));
    // A combining mark, a character from a fallback font, an emoji across two cells.
    for (const auto& [cluster, cells] : {std::pair<std::u32string, int>{U"e\u0301", 1},
                                         {U"\u2603", 1},
                                         {U"\U0001F600", 2},
                                         {U"\u4E2D", 2}}) {
        const auto glyphs = cache.lookup(cluster, FontVariant::normal, cells);
        ASSERT_FALSE(glyphs.empty());
        for (const auto& glyph : glyphs) {
            const QRawFont& raw = cache.rawFont(glyph.font);
            const double advance = raw.advancesForGlyphIndexes(QList<quint32>{glyph.index}).value(0).x();
            EXPECT_GE(glyph.offset.x(), -0.01);
            EXPECT_LE(glyph.offset.x() + advance, cells * cellWidth + 0.5) << "cluster of " << cluster.size();
        }
    }
}

TEST(CaretBlink, FadesOutOverSevenTenthsOfASecondAndBack) {
    const std::pair<qint64, double> curve[] = {{0, 1},      {350, 0.5}, {700, 0},
                                               {1050, 0.5}, {1400, 1},  {2100, 0}};
    for (const auto& [ms, opacity] : curve)
        EXPECT_NEAR(CaretBlink::opacityAt(ms), opacity, 1e-9) << ms << " ms";
    CaretBlink blink;
    EXPECT_DOUBLE_EQ(blink.opacity(), 1.0);
    blink.start();
    EXPECT_TRUE(blink.running());
    blink.stop();
    EXPECT_DOUBLE_EQ(blink.opacity(), 1.0);
}

} // namespace
} // namespace tarvik
