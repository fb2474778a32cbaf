// The terminal widget's costs: painting a full screen of dense colour offscreen, and
// a large cat through a pseudo-terminal into a visible widget against the headless
// runner on the same file. Run under xvfb-run with QT_QPA_PLATFORM=xcb for a real X
// server; elsewhere the offscreen platform stands in.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <string>

#include "core/PTYProcess.h"
#include "view/qt/FramePainter.h"
#include "view/qt/ShippedFonts.h"
#include "view/qt/TerminalView.h"

namespace {

using namespace tarvik;

constexpr int cols = 200;
constexpr int rows = 60;

struct NullHost : TerminalViewDelegate {
    void send(TerminalViewCore&, std::span<const std::uint8_t>) override {}
};

// Every cell its own foreground and background from the 256-colour palette.
std::string denseScreen() {
    std::string text = "\x1b[H";
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int i = r * cols + c;
            text += "\x1b[38;5;" + std::to_string(i % 256) + ";48;5;" + std::to_string((i * 7 + 3) % 256) + "m";
            text += static_cast<char>('!' + i % 94);
        }
        if (r + 1 < rows) text += "\r\n";
    }
    return text + "\x1b[0m";
}

// What a flood of output leaves on screen: lines of mostly plain text.
std::string textScreen() {
    std::string text = "\x1b[H";
    for (int r = 0; r < rows; ++r) {
        text += "line " + std::to_string(r) + ": the quick brown fox jumps over the lazy dog \x1b[32mok\x1b[0m " +
                std::string(static_cast<std::size_t>(20 + r % 60), static_cast<char>('a' + r % 26));
        if (r + 1 < rows) text += "\r\n";
    }
    return text;
}

void paintScreen(benchmark::State& state, const std::string& screen) {
    NullHost host;
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    TerminalView view(host, options);
    view.resizeToGrid(cols, rows);
    view.feed(screen);
    GlyphCache glyphs(view.terminalFont());
    FramePainter painter(glyphs);
    const CellMetrics cell = view.cellMetrics();
    QImage image(static_cast<int>(std::ceil(cols * cell.width)), static_cast<int>(std::ceil(rows * cell.height)),
                 QImage::Format_ARGB32_Premultiplied);
    PaintStyle style;
    style.viewWidth = cols * cell.width;
    style.viewHeight = rows * cell.height;
    const Frame& frame = view.core().buildFrame(0, rows - 1);
    const bool build = state.range(0) != 0;
    for (auto _ : state) {
        if (build) view.core().buildFrame(0, rows - 1);
        QPainter p(&image);
        painter.paintRows(p, frame, 0, rows - 1, style);
        painter.paintCaret(p, frame, style);
    }
    state.SetItemsProcessed(state.iterations() * cols * rows);
    state.SetLabel(build ? "frame build + paint" : "paint");
}

void BM_PaintDenseScreen(benchmark::State& state) { paintScreen(state, denseScreen()); }
BENCHMARK(BM_PaintDenseScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

void BM_PaintTextScreen(benchmark::State& state) { paintScreen(state, textScreen()); }
BENCHMARK(BM_PaintTextScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();

constexpr std::int64_t catBytes = 100LL * 1000 * 1000;

// Lines of plain and coloured words, as a build log or a listing would be.
const QString& catFile() {
    static QTemporaryDir dir;
    static const QString path = dir.filePath("cat.txt");
    static const bool made = [] {
        std::ofstream out(path.toStdString(), std::ios::binary);
        std::string line;
        std::int64_t written = 0;
        for (int i = 0; written < catBytes; ++i) {
            line = "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog \x1b[32mok\x1b[0m " +
                   std::string(static_cast<std::size_t>(20 + i % 60), static_cast<char>('a' + i % 26)) + "\n";
            out << line;
            written += static_cast<std::int64_t>(line.size());
        }
        return true;
    }();
    (void)made;
    return path;
}

// One cat of the file through PTYProcess into a shown 200 x 60 view; seconds taken.
double catIntoVisibleWidget(const QString& file) {
    NullHost host;
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    options.scrollback = 10000;
    TerminalView view(host, options);
    view.resizeToGrid(cols, rows);
    view.show();
    PTYProcess process;
    bool ended = false;
    process.onData = [&](PTYProcess::Bytes chunk) { view.feed(chunk); };
    process.onExit = [&](int32_t) { ended = true; };
    QElapsedTimer clock;
    clock.start();
    process.start("/bin/cat", {file.toStdString()}, cols, rows, "xterm-256color");
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(); // the last coalesced repaint
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// The same file through the headless runner; seconds taken, negative when it failed.
double catHeadless(const QString& file) {
    QProcess headless;
    headless.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    headless.start(TARVIK_HEADLESS_PATH,
                   {"--cols", QString::number(cols), "--rows", QString::number(rows), "--", "cat", file});
    if (!headless.waitForFinished(600000) || headless.exitCode() != 0) return -1;
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

void BM_CatIntoVisibleWidget(benchmark::State& state) {
    const QString file = catFile();
    for (auto _ : state)
        catIntoVisibleWidget(file);
    state.SetBytesProcessed(state.iterations() * catBytes);
}
BENCHMARK(BM_CatIntoVisibleWidget)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CatHeadless(benchmark::State& state) {
    const QString file = catFile();
    for (auto _ : state)
        if (catHeadless(file) < 0) state.SkipWithError("headless run failed");
    state.SetBytesProcessed(state.iterations() * catBytes);
}
BENCHMARK(BM_CatHeadless)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Both, taking turns, so that the load of a shared machine weighs on both alike: the
// widget's and the headless runner's MB/s and their ratio.
void BM_CatWidgetAgainstHeadless(benchmark::State& state) {
    const QString file = catFile();
    double widget = 0, headless = 0;
    for (auto _ : state) {
        widget += catIntoVisibleWidget(file);
        const double seconds = catHeadless(file);
        if (seconds < 0) state.SkipWithError("headless run failed");
        headless += seconds;
    }
    const double megabytes = static_cast<double>(state.iterations() * catBytes) / 1e6;
    state.counters["widget_MBps"] = megabytes / widget;
    state.counters["headless_MBps"] = megabytes / headless;
    state.counters["ratio"] = headless / widget;
}
BENCHMARK(BM_CatWidgetAgainstHeadless)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ShippedFonts::registerFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
