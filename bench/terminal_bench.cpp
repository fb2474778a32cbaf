// Whole-engine throughput on kinds of program output, against libvterm and libtsm fed the
// same bytes in the same chunks in the same run. Names read WORKLOAD/ENGINE/COLSxROWS, so the
// JSON output pairs up by name.

#include <benchmark/benchmark.h>
#include <vterm.h>
extern "C" {
#include <libtsm.h>
}

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bench/TerminalWorkloads.h"
#include "terminal/CharData.h"
#include "terminal/Terminal.h"

namespace {

using namespace tarvik;
using workloads::Workload;

constexpr std::size_t streamSize = 2 << 20;
constexpr std::size_t chunkSize = 16384; // what the PTY reader hands over at a time
constexpr int benchScrollback = 10000;

struct Size {
    int cols;
    int rows;
};
constexpr Size sizes[] = {{80, 25}, {200, 60}};

const std::string& stream(Workload w, Size size) {
    static std::map<std::tuple<Workload, int, int>, std::string> cache;
    auto& s = cache[{w, size.cols, size.rows}];
    if (s.empty()) s = workloads::generate(w, size.cols, size.rows, streamSize);
    return s;
}

template <typename Feed> void feedChunks(const std::string& data, Feed&& feed) {
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    for (std::size_t at = 0; at < data.size(); at += chunkSize)
        feed(std::span<const uint8_t>(p + at, std::min(chunkSize, data.size() - at)));
}

struct SilentHost : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
};

void tarvikEngine(benchmark::State& state, Workload w, Size size) {
    const std::string& data = stream(w, size);
    SilentHost host;
    TerminalOptions options;
    options.cols = size.cols;
    options.rows = size.rows;
    options.scrollback = benchScrollback;
    Terminal terminal(host, options);
    for (auto _ : state) {
        feedChunks(data, [&](std::span<const uint8_t> chunk) { terminal.feed(chunk); });
        // A view reads and clears the dirty range after every read.
        benchmark::DoNotOptimize(terminal.getUpdateRange());
        terminal.clearUpdateRange();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

void libvtermEngine(benchmark::State& state, Workload w, Size size) {
    const std::string& data = stream(w, size);
    std::unique_ptr<VTerm, void (*)(VTerm*)> vt(vterm_new(size.rows, size.cols), vterm_free);
    vterm_set_utf8(vt.get(), 1);
    // Replies would otherwise pile up in its output buffer.
    vterm_output_set_callback(
        vt.get(), [](const char*, size_t, void*) {}, nullptr);
    VTermScreen* screen = vterm_obtain_screen(vt.get());
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_reset(screen, 1);
    for (auto _ : state) {
        feedChunks(data, [&](std::span<const uint8_t> chunk) {
            vterm_input_write(vt.get(), reinterpret_cast<const char*>(chunk.data()), chunk.size());
        });
        vterm_screen_flush_damage(screen);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

void libtsmEngine(benchmark::State& state, Workload w, Size size) {
    const std::string& data = stream(w, size);
    tsm_screen* screen = nullptr;
    tsm_vte* vte = nullptr;
    if (tsm_screen_new(&screen, nullptr, nullptr) < 0) {
        state.SkipWithError("libtsm screen");
        return;
    }
    tsm_screen_resize(screen, static_cast<unsigned>(size.cols), static_cast<unsigned>(size.rows));
    tsm_screen_set_max_sb(screen, benchScrollback);
    // Replies are dropped, as for the other engines.
    if (tsm_vte_new(&vte, screen, [](tsm_vte*, const char*, size_t, void*) {}, nullptr, nullptr, nullptr) < 0) {
        tsm_screen_unref(screen);
        state.SkipWithError("libtsm vte");
        return;
    }
    for (auto _ : state)
        feedChunks(data, [&](std::span<const uint8_t> chunk) {
            tsm_vte_input(vte, reinterpret_cast<const char*>(chunk.data()), chunk.size());
        });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
    tsm_vte_unref(vte);
    tsm_screen_unref(screen);
}

long residentBytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Memory of a 200-column terminal whose 10000-line history is full: heap bytes in use
// (exact) and the growth of the resident set (what the system sees).
void fullScrollbackMemory(benchmark::State& state) {
    // Full lines of text that differ from line to line.
    std::vector<std::string> lines;
    for (int shift = 0; shift < 95; ++shift) {
        std::string line;
        for (int col = 0; col < 200; ++col)
            line += static_cast<char>(0x20 + (col + shift) % 95);
        lines.push_back(line + "\r\n");
    }
    for (auto _ : state) {
        const auto heapBefore = mallinfo2().uordblks;
        const long residentBefore = residentBytes();
        SilentHost host;
        TerminalOptions options;
        options.cols = 200;
        options.rows = 60;
        options.scrollback = benchScrollback;
        auto terminal = std::make_unique<Terminal>(host, options);
        for (int i = 0; i < benchScrollback + 100; ++i)
            terminal->feed(lines[static_cast<std::size_t>(i) % lines.size()]);
        state.counters["heap_MB"] = double(mallinfo2().uordblks - heapBefore) / (1 << 20);
        state.counters["rss_growth_MB"] = double(residentBytes() - residentBefore) / (1 << 20);
        state.counters["lines"] = terminal->buffer().lines().count();
        benchmark::DoNotOptimize(terminal.get());
    }
    state.counters["sizeof_CharData"] = sizeof(CharData);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("memory/tarvik/200x60_scrollback10000", fullScrollbackMemory)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    for (Workload w : workloads::allWorkloads) {
        for (Size size : sizes) {
            const std::string suffix = "/" + std::to_string(size.cols) + "x" + std::to_string(size.rows);
            const std::string base(workloads::name(w));
            benchmark::RegisterBenchmark((base + "/tarvik" + suffix).c_str(), tarvikEngine, w, size)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "/libvterm" + suffix).c_str(), libvtermEngine, w, size)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((base + "/libtsm" + suffix).c_str(), libtsmEngine, w, size)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
