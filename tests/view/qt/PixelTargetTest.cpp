// Frames written straight into pixels against the same frames drawn through the painter.
#include <gtest/gtest.h>

#include <QPainter>

#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

#include "view/qt/FramePainter.h"
#include "view/qt/PixelTarget.h"
#include "WidgetHarness.h"

namespace tarvik::qttest {
namespace {

// The largest difference of any channel of any pixel, and where it is.
struct Difference {
    int amount = 0;
    QPoint at;
};

Difference compareImages(const QImage& a, const QImage& b) {
    Difference worst;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
            if (d > worst.amount) worst = {d, QPoint(x, y)};
        }
    return worst;
}

// The frame drawn into a fresh image, straight into its pixels or (with a clip that
// changes nothing but rules them out) through the painter alone.
QImage paintFrame(TerminalView& view, double scale, bool direct) {
    GlyphCache glyphs(view.terminalFont());
    FramePainter painter(glyphs);
    const CellMetrics cell = view.cellMetrics();
    const Terminal& term = view.terminal();
    QImage image(static_cast<int>(std::ceil(term.cols() * cell.width * scale)),
                 static_cast<int>(std::ceil(term.rows() * cell.height * scale)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    QPainter p(&image);
    if (!direct) p.setClipRect(QRectF(0, 0, image.width(), image.height()));
    EXPECT_EQ(PixelTarget::of(p).has_value(), direct);
    PaintStyle style;
    style.viewWidth = term.cols() * cell.width;
    style.viewHeight = term.rows() * cell.height;
    const Frame& frame = view.core().buildFrame(0, term.rows() - 1);
    painter.paintRows(p, frame, 0, term.rows() - 1, style);
    painter.paintCaret(p, frame, style);
    return image;
}

TEST(PixelTarget, DirectPixelsMatchThePainter) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string palette;
    for (int i = 0; i < 120; ++i)
        palette += "\x1b[38;5;" + std::to_string(i * 2) + ";48;5;" + std::to_string(255 - i) + "m" +
                   static_cast<char>('A' + i % 58);
    const std::vector<Case> cases = {
        {"palette", palette},
        {"styles", "plain \x1b[1mbold\x1b[0m \x1b[3mitalic\x1b[1m both\x1b[0m \x1b[4munder\x1b[0m \x1b[9mstrike\x1b[0m "
                   "\x1b]8;;http://a.b/\x07link\x1b]8;;\x07 \x1b[7minverse\x1b[0m\r\n"
                   "\x1b[38;2;200;100;50;48;2;10;20;30m true colour \x1b[0m gjpqy|"},
        {"wide and fallback", "\xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80\xf0\x9f\x9a\x80 e\xcc\x81 \xce\xa9\xd0\x96"},
        {"box drawing", "\xe2\x94\x8c\xe2\x94\x80\xe2\x94\x90\xe2\x96\x88\xe2\x96\x91\r\n\xe2\x94\x94\xe2\x94\x80"},
        {"doubled rows", "\x1b#6wide row\r\n\x1b#3tall\r\n\x1b#4tall\r\nsingle"},
    };
    for (const Case& c : cases)
        for (const double scale : {1.0, 2.0}) {
            Widget w(40, 6);
            w->feed(c.bytes);
            const QImage direct = paintFrame(*w, scale, true);
            const QImage painted = paintFrame(*w, scale, false);
            const Difference d = compareImages(direct, painted);
            // The blend may round one step away from the raster engine's; anything more
            // is a glyph or an edge in the wrong place.
            EXPECT_LE(d.amount, 1) << c.name << " at scale " << scale << ", pixel " << d.at.x() << "," << d.at.y();
        }
}

// Coverage blended at every width a line's pixels can be processed in pieces of, and
// cut by the image's edges: covered pixels get the colour over what was there, all
// others stay exactly as they were.
TEST(PixelTarget, BlendCoversEachPixelOfEveryLineWidth) {
    constexpr int imageWidth = 16, imageHeight = 3;
    const QRgb color = 0xff3c82f0, under = 0xff10a050;
    for (int width = 1; width <= 11; ++width)
        for (const int x : {0, 2, imageWidth - width, imageWidth - width / 2 - 1, -width / 2 - 1}) {
            // Coverage runs through empty, full and partial values, different per pixel.
            std::vector<uchar> bits(static_cast<std::size_t>(width));
            for (int i = 0; i < width; ++i)
                bits[static_cast<std::size_t>(i)] = static_cast<uchar>(std::array{0, 255, 37, 128, 201, 1}[i % 6]);
            const std::vector<std::uint16_t> spans{0, static_cast<std::uint16_t>(width)};
            const PixelTarget::Coverage coverage{bits.data(), width, width, 1, spans.data()};
            QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
            image.fill(under);
            {
                QPainter p(&image);
                std::optional<PixelTarget> target = PixelTarget::of(p);
                ASSERT_TRUE(target);
                target->blend(coverage, x, 1, color);
            }
            for (int py = 0; py < imageHeight; ++py)
                for (int px = 0; px < imageWidth; ++px) {
                    const int i = px - x;
                    const bool inside = py == 1 && i >= 0 && i < width;
                    const int a = inside ? bits[static_cast<std::size_t>(i)] : 0;
                    const QRgb got = image.pixel(px, py);
                    const auto expected = [&](int (*channel)(QRgb)) {
                        return (channel(color) * a + channel(under) * (255 - a)) / 255.0;
                    };
                    const double worst =
                        std::max({std::abs(qRed(got) - expected(qRed)), std::abs(qGreen(got) - expected(qGreen)),
                                  std::abs(qBlue(got) - expected(qBlue))});
                    EXPECT_LT(worst, a == 0 || a == 255 ? 0.01 : 1.0)
                        << "width " << width << " at " << x << ", pixel " << px << "," << py;
                }
        }
}

TEST(PixelTarget, OnlyPlainImagePaintersQualify) {
    QImage image(10, 10, QImage::Format_RGB32);
    {
        QPainter p(&image);
        EXPECT_TRUE(PixelTarget::of(p));
        p.setOpacity(0.5);
        EXPECT_FALSE(PixelTarget::of(p)) << "opacity";
        p.setOpacity(1);
        p.translate(1, 0);
        EXPECT_FALSE(PixelTarget::of(p)) << "world transform";
        p.resetTransform();
        p.setClipRect(0, 0, 5, 5);
        EXPECT_FALSE(PixelTarget::of(p)) << "clip";
    }
    QImage indexed(10, 10, QImage::Format_RGB16);
    QPainter p(&indexed);
    EXPECT_FALSE(PixelTarget::of(p)) << "16-bit image";
}

} // namespace
} // namespace tarvik::qttest
