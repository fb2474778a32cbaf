// Output throughput of a child on a pseudo-terminal: everything it writes
// delivered through onData, against the same child writing to /dev/null.

#include "core/PTYProcess.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int64_t outputBytes = 256LL * 1024 * 1024;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tarvik-bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Runs the child to its end; returns the bytes delivered through onData.
int64_t runChild(const std::string& executable, const std::vector<std::string>& arguments) {
    tarvik::PTYProcess process;
    int64_t received = 0;
    bool ended = false;
    process.onData = [&](tarvik::PTYProcess::Bytes chunk) { received += static_cast<int64_t>(chunk.size()); };
    process.onExit = [&](int32_t) { ended = true; };
    process.start(executable, arguments, 80, 24, "xterm-256color");
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return received;
}

void BM_PTYOutputDelivered(benchmark::State& state) {
    ensureApplication();
    for (auto _ : state) {
        const int64_t received = runChild("/usr/bin/head", {"-c", std::to_string(outputBytes), "/dev/zero"});
        if (received != outputBytes) state.SkipWithError("output incomplete");
    }
    state.SetBytesProcessed(state.iterations() * outputBytes);
}
BENCHMARK(BM_PTYOutputDelivered)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PTYChildWritingToDevNull(benchmark::State& state) {
    ensureApplication();
    const std::string script = "head -c " + std::to_string(outputBytes) + " /dev/zero > /dev/null";
    for (auto _ : state)
        runChild("/bin/sh", {"-c", script});
    state.SetBytesProcessed(state.iterations() * outputBytes);
}
BENCHMARK(BM_PTYChildWritingToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
