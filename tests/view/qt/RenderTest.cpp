// Pixels of rendered screens at known cells: through tarvik-replay --png (the tool's
// whole path) and through the widget's own offscreen rendering.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFontDatabase>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

#include "WidgetHarness.h"
#include "terminal/Color.h"

namespace tarvik::qttest {
namespace {

bool near(QRgb a, QRgb b, int tolerance = 2) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

std::string hex(QRgb c) {
    return QString::asprintf("#%06x", c & 0xffffff).toStdString();
}

#define EXPECT_COLOR(actual, expected)                                                                       \
    EXPECT_TRUE(near(actual, expected)) << hex(actual) << " vs " << hex(expected)

const Color& palette(int index) {
    return Color::defaultInstalledColors[static_cast<std::size_t>(index)];
}

QRgb inverseOf(const Color& c) {
    return qRgb(255 - (c.red >> 8), 255 - (c.green >> 8), 255 - (c.blue >> 8));
}

// Renders bytes with tarvik-replay --png; the cell size comes from a widget with the
// same font.
struct Replay {
    QImage image;
    CellMetrics cell;

    explicit Replay(const std::string& bytes, int scale = 1) {
        QTemporaryDir dir;
        const QString input = dir.filePath("input.bin"), output = dir.filePath("screen.png");
        std::ofstream(input.toStdString(), std::ios::binary) << bytes;
        QProcess tool;
        tool.start(TARVIK_REPLAY_PATH, {"--cols", "20", "--rows", "5", "--scale", QString::number(scale),
                                        "--png", output, input});
        EXPECT_TRUE(tool.waitForFinished(30000));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        image.load(output);
        Widget probe(20, 5);
        cell = probe.cell();
    }
    QRgb at(int col, int row, double fx = 0.5, double fy = 0.5) const {
        return pixelAt(image, (col + fx) * cell.width, (row + fy) * cell.height) & 0xffffff;
    }
};

TEST(ReplayPng, DrawsTheScreenAtItsCells) {
    // Full blocks show a cell's foreground; spaces its background.
    const Replay r(
        "\xe2\x96\x88 \x1b[41m \x1b[0m\x1b[1;31m\xe2\x96\x88\x1b[0m\x1b[38;2;10;200;30m\xe2\x96\x88"
        "\x1b[0m\x1b[7m\xe2\x96\x88 \x1b[0m\x1b[31m\xe2\x96\x88\x1b[0m\r\n");
    ASSERT_FALSE(r.image.isNull());
    EXPECT_EQ(r.image.width(), static_cast<int>(std::ceil(20 * r.cell.width)));
    EXPECT_EQ(r.image.height(), static_cast<int>(std::ceil(5 * r.cell.height)));
    EXPECT_COLOR(r.at(0, 0), rgbOf(Color::defaultForeground));
    EXPECT_COLOR(r.at(1, 0), rgbOf(Color::defaultBackground));
    EXPECT_COLOR(r.at(2, 0), rgbOf(palette(1)));                   // SGR 41
    EXPECT_COLOR(r.at(3, 0), rgbOf(palette(9)));                   // bold red is drawn bright
    EXPECT_COLOR(r.at(4, 0), qRgb(10, 200, 30));                   // true colour
    EXPECT_COLOR(r.at(5, 0), inverseOf(Color::defaultForeground)); // inverse, default colours
    EXPECT_COLOR(r.at(6, 0), inverseOf(Color::defaultBackground));
    EXPECT_COLOR(r.at(7, 0), rgbOf(palette(1))); // plain red stays 1
    EXPECT_COLOR(r.at(10, 3), rgbOf(Color::defaultBackground));
}

TEST(ReplayPng, ScaleDoublesThePixels) {
    const Replay r("\xe2\x96\x88", 2);
    EXPECT_EQ(r.image.width(), static_cast<int>(std::ceil(20 * r.cell.width * 2)));
    EXPECT_DOUBLE_EQ(r.image.devicePixelRatio(), 1.0); // a saved file carries no ratio
    EXPECT_COLOR(r.image.pixel(static_cast<int>(r.cell.width), static_cast<int>(r.cell.height)),
                 rgbOf(Color::defaultForeground));
}

TEST(ReplayPng, BadOptionsAreUsageErrors) {
    for (const QStringList& args : {QStringList{"--png"}, QStringList{"--scale", "0", "--png", "x.png"},
                                    QStringList{"--font-size", "1000", "--png", "x.png"}}) {
        QProcess tool;
        tool.start(TARVIK_REPLAY_PATH, args);
        ASSERT_TRUE(tool.waitForFinished(30000));
        EXPECT_EQ(tool.exitCode(), 2) << args.join(' ').toStdString();
    }
}

TEST(WidgetRender, SelectionCaretAndBoxDrawing) {
    Widget w(20, 5);
    w->setSelectionColor(QColor(255, 0, 255));
    w->setCaretColor(QColor(0, 255, 0));
    // Row 0 is selected as a whole (spaces show the highlight); row 1 has a box line.
    w->feed("ab    cd\r\n\xe2\x94\x80\xe2\x94\x80\r\nxy");
    w->core().selection().select(0);
    const QImage image = w->renderImage();
    const CellMetrics cell = w.cell();
    EXPECT_COLOR(pixelAt(image, 3.5 * cell.width, 0.5 * cell.height), qRgb(255, 0, 255));
    // The block caret after "xy", on an empty cell.
    EXPECT_COLOR(pixelAt(image, 2.5 * cell.width, 2.5 * cell.height), qRgb(0, 255, 0));

    // The horizontal line runs unbroken across both cells.
    const int x = static_cast<int>(cell.width / 2);
    int lineY = -1;
    for (int y = static_cast<int>(cell.height); y < static_cast<int>(2 * cell.height); ++y)
        if (near(image.pixel(x, y), rgbOf(Color::defaultForeground), 8)) lineY = y;
    ASSERT_GE(lineY, 0);
    for (int px = 0; px < static_cast<int>(2 * cell.width); ++px)
        EXPECT_COLOR(image.pixel(px, lineY), rgbOf(Color::defaultForeground)) << "at x " << px;
}

TEST(WidgetRender, BlockCaretDrawsItsCharacterInTheTextColour) {
    Widget w(20, 5);
    w->setCaretColor(QColor(0, 0, 255));
    // A left half block under the caret; the program sets the caret colour.
    w->feed("\xe2\x96\x8c\x1b[D\x1b]12;#00ff00\x07");
    const CellMetrics cell = w.cell();
    QImage image = w->renderImage();
    EXPECT_COLOR(pixelAt(image, 0.2 * cell.width, 0.5 * cell.height), rgbOf(Color::defaultForeground));
    EXPECT_COLOR(pixelAt(image, 0.8 * cell.width, 0.5 * cell.height), qRgb(0, 255, 0));
    w->feed("\x1b[?25l"); // hidden by the program
    image = w->renderImage();
    EXPECT_COLOR(pixelAt(image, 0.8 * cell.width, 0.5 * cell.height), rgbOf(Color::defaultBackground));
}

// A wide character is one picture across both its cells: an emoji comes from the colour
// emoji font, and the second cell carries the character's own background.
TEST(WidgetRender, WideCharactersAndColourEmoji) {
    Widget w(20, 5);
    w->feed("\x1b[44m\xe4\xb8\xad\x1b[0m \xf0\x9f\x98\x80");
    const CellMetrics cell = w.cell();
    const QImage image = w->renderImage();
    EXPECT_COLOR(pixelAt(image, 1.9 * cell.width, 0.05 * cell.height), rgbOf(palette(4)));
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji")))
        GTEST_SKIP() << "no colour emoji font installed";
    int coloured = 0; // the pictograph's yellow: red and green high, blue low
    for (double fx = 0; fx < 2 * cell.width; fx += 1)
        for (double fy = 0; fy < cell.height; fy += 1) {
            const QRgb c = pixelAt(image, 3 * cell.width + fx, fy);
            coloured += qRed(c) > 180 && qGreen(c) > 120 && qBlue(c) < 90;
        }
    EXPECT_GT(coloured, 10);
}

TEST(WidgetRender, SixelPictureLandsInItsCells) {
    Widget w(20, 5);
    w->feed("\r\n  \x1bPq#1;2;100;0;0#1!20~-!20~\x1b\\");
    const QImage image = w->renderImage();
    const CellMetrics cell = w.cell();
    // 20 x 12 red pixels from column 2 of row 1.
    EXPECT_COLOR(pixelAt(image, 2 * cell.width + 1, cell.height + 1), qRgb(255, 0, 0));
    EXPECT_COLOR(pixelAt(image, 2 * cell.width + 19, cell.height + 11), qRgb(255, 0, 0));
    EXPECT_COLOR(pixelAt(image, 2 * cell.width + 21, cell.height + 5), rgbOf(Color::defaultBackground));
    EXPECT_COLOR(pixelAt(image, 2 * cell.width - 1, cell.height + 5), rgbOf(Color::defaultBackground));
    // The cursor went down one line per strip, back to the picture's column.
    EXPECT_EQ(w->terminal().getCursorLocation(), std::make_pair(2, 2));
}

TEST(WidgetRender, InlinePngIsDecodedAndPlaced) {
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    Widget w(20, 5);
    w->feed("\x1b]1337;File=inline=1:" + png.toBase64().toStdString() + "\x07");
    const QImage image = w->renderImage();
    EXPECT_COLOR(pixelAt(image, 4, 4), qRgb(0, 0, 255));
    EXPECT_EQ(w->terminal().getCursorLocation().second, 1);
}

TEST(WidgetRender, HighDensityRenderIsSharp) {
    Widget w(20, 5);
    w->feed("\x1b[41m \x1b[0m ");
    const QImage image = w->renderImage(2);
    EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 2.0);
    EXPECT_EQ(image.width(), static_cast<int>(std::ceil(20 * w.cell().width * 2)));
    // The edge between the red cell and the next one is one device pixel, not a blur.
    const int edge = static_cast<int>(w.cell().width * 2);
    const int y = static_cast<int>(w.cell().height);
    EXPECT_COLOR(image.pixel(edge - 2, y), rgbOf(palette(1)));
    EXPECT_COLOR(image.pixel(edge + 1, y), rgbOf(Color::defaultBackground));
}

} // namespace
} // namespace tarvik::qttest
