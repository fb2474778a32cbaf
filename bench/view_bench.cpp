// Building the frame of a full screen: what every redraw of a busy 200 x 60 view costs.

#include <benchmark/benchmark.h>

#include "view/ViewWorkload.h"
#include "view/TerminalViewCore.h"

namespace {

using namespace tarvik;

struct NullHost : TerminalViewDelegate {
    void send(TerminalViewCore&, std::span<const std::uint8_t>) override {}
};

struct NullTimer : DisplayTimer {
    void runAfter(std::chrono::nanoseconds, std::function<void()>) override {}
};

void BM_ViewFrameBuild(benchmark::State& state) {
    const int cols = static_cast<int>(state.range(0));
    const int rows = static_cast<int>(state.range(1));
    NullHost host;
    ViewSurface surface;
    NullTimer timer;
    TerminalOptions options;
    options.cols = cols;
    options.rows = rows;
    TerminalViewCore view(host, surface, timer, options);
    view.feed(viewWorkloadScreen(cols, rows));
    view.selection().selectAll();
    view.buildFrame(0, rows - 1);
    for (auto _ : state) {
        const Frame& frame = view.buildFrame(0, rows - 1);
        benchmark::DoNotOptimize(&frame);
    }
    state.SetItemsProcessed(state.iterations() * cols * rows);
}
BENCHMARK(BM_ViewFrameBuild)->Args({80, 25})->Args({200, 60})->Unit(benchmark::kMicrosecond);

} // namespace
