// The widget's own painting on a real backing store: in its place in the window, within
// its updates, and with scrolled rows moved as pixels yet showing what a full render shows.
#include <gtest/gtest.h>

#include <QScreen>
#include <QTest>

#include <cmath>
#include <cstdlib>

#include "WidgetHarness.h"

namespace tarvik::qttest {
namespace {

bool near(QRgb a, QRgb b, int tolerance = 2) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

#define EXPECT_COLOR(actual, expected) \
    EXPECT_TRUE(near(actual, expected)) << QString::asprintf("#%06x vs #%06x", actual, expected).toStdString()

// A view inside a window, away from its corner: what it paints lands at its own cells,
// and a repaint of one row writes nothing outside that row.
TEST(PixelTarget, WidgetPaintsInPlaceAndWithinItsUpdate) {
    QWidget window;
    window.setAutoFillBackground(true);
    QPalette marker = window.palette();
    marker.setColor(QPalette::Window, QColor(255, 0, 255));
    window.setPalette(marker);
    RecordingHost host;
    TerminalOptions options;
    options.cols = 20;
    options.rows = 5;
    TerminalView view(host, options, &window);
    view.resizeToGrid(20, 5);
    const QPoint origin(37, 23);
    view.move(origin);
    window.resize(view.width() + 80, view.height() + 60);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const CellMetrics cell = view.cellMetrics();
    const auto shot = [&] { return window.screen()->grabWindow(window.winId()).toImage(); };
    const auto at = [&](const QImage& image, double col, double row) {
        return image.pixel(origin.x() + static_cast<int>(col * cell.width),
                           origin.y() + static_cast<int>(row * cell.height)) & 0xffffff;
    };

    view.feed("\x1b[2;3H\x1b[41m  \x1b[0m\x1b[4;1H\x1b[42m \x1b[0m");
    view.repaint();
    QImage image = shot();
    ASSERT_FALSE(image.isNull());
    EXPECT_COLOR(at(image, 3.5, 1.5), rgbOf(Color::defaultInstalledColors[1]));
    EXPECT_COLOR(at(image, 0.5, 3.5), rgbOf(Color::defaultInstalledColors[2]));
    EXPECT_COLOR(at(image, 0.5, 0.5), rgbOf(Color::defaultBackground));
    EXPECT_COLOR(image.pixel(origin.x() - 3, origin.y() + 5) & 0xffffff, qRgb(255, 0, 255));
    EXPECT_COLOR(image.pixel(origin.x() + 5, origin.y() - 3) & 0xffffff, qRgb(255, 0, 255));

    // Both rows change, only row 1 is repainted: row 3 keeps what it showed.
    view.feed("\x1b[2;3H\x1b[44m  \x1b[4;1H\x1b[44m \x1b[0m");
    view.repaint(QRectF(0, cell.height, 20 * cell.width, cell.height).toAlignedRect());
    image = shot();
    EXPECT_COLOR(at(image, 3.5, 1.5), rgbOf(Color::defaultInstalledColors[4]));
    EXPECT_COLOR(at(image, 0.5, 3.5), rgbOf(Color::defaultInstalledColors[2]));
}

// Output scrolling in a shown view: the rows move as pixels and only new rows are
// painted, and after every update the screen equals the view painted whole.
TEST(WidgetPaint, ScrolledRowsShowWhatAFullRenderShows) {
    RecordingHost host;
    TerminalOptions options;
    options.cols = 30;
    options.rows = 8;
    TerminalView view(host, options);
    view.resizeToGrid(30, 8);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const CellMetrics cell = view.cellMetrics();
    const QSize grid(static_cast<int>(30 * cell.width), static_cast<int>(8 * cell.height));
    const auto settle = [&] {
        view.core().updateDisplay();
        QCoreApplication::sendPostedEvents(); // the update requests: paints of what changed only
    };
    std::string text = "\x1b[2 q"; // a steady caret: the same in every shot
    for (int i = 0; i < 8; ++i)
        text += "\x1b[3" + std::to_string(i % 7 + 1) + "mline " + std::to_string(i) + "\x1b[0m\r\n";
    view.feed(text);
    settle();
    const std::vector<std::string> steps = {"one\r\n", "\x1b[44mtwo\x1b[0m\r\nthree\r\n", "four", " and more\r\n",
                                            "\x1b[2;6r\x1b[6;1H\r\nregion\x1b[r\x1b[8;1H", "\x1b[H\x1bM"};
    for (const std::string& step : steps) {
        view.feed(step);
        settle();
        const auto shot = [&] { return view.screen()->grabWindow(view.winId()).toImage().copy(QRect(QPoint(0, 0), grid)); };
        const QImage screen = shot();
        view.repaint();
        const QImage full = shot();
        ASSERT_EQ(screen.size(), full.size());
        int worst = 0;
        QPoint at;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) {
                const QRgb p = screen.pixel(x, y), q = full.pixel(x, y);
                const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                        std::abs(qBlue(p) - qBlue(q))});
                if (d > worst) {
                    worst = d;
                    at = QPoint(x, y);
                }
            }
        // A paint of several separate areas goes through the painter alone, whose blend
        // may round one step away from the direct one.
        EXPECT_LE(worst, 1) << "after " << step << " at " << at.x() << "," << at.y();
    }
}

} // namespace
} // namespace tarvik::qttest
