// Throughput of the escape-sequence parser alone, with handlers that do no work.

#include "terminal/EscapeSequenceParser.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using tarvik::EscapeSequenceParser;

constexpr std::size_t streamSize = 4 << 20;
constexpr std::size_t chunkSize = 16384; // what the PTY reader hands over at a time

std::string repeatTo(const std::string& unit) {
    std::string s;
    s.reserve(streamSize + unit.size());
    while (s.size() < streamSize)
        s += unit;
    return s;
}

void run(benchmark::State& state, const std::string& stream) {
    EscapeSequenceParser parser;
    std::size_t printed = 0, sequences = 0;
    parser.printHandler = {[](void* count, EscapeSequenceParser::Bytes run, bool) {
                               *static_cast<std::size_t*>(count) += run.size();
                           },
                           &printed};
    parser.csiHandlerFallback = [&](auto pars, auto, uint8_t) { sequences += pars.size(); };
    parser.executeHandlers['\r'] = [&] { ++sequences; };
    parser.executeHandlers['\n'] = [&] { ++sequences; };
    parser.oscHandlerFallback = [&](int64_t, auto payload) { sequences += payload.size(); };
    const auto* data = reinterpret_cast<const uint8_t*>(stream.data());
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunkSize)
            parser.parse(std::span<const uint8_t>(data + at, std::min(chunkSize, stream.size() - at)));
        benchmark::DoNotOptimize(printed);
        benchmark::DoNotOptimize(sequences);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

void BM_ParserPlainAscii(benchmark::State& state) {
    std::string line;
    for (int i = 0; i < 79; ++i)
        line += static_cast<char>('!' + i % 90);
    run(state, repeatTo(line + "\r\n"));
}
BENCHMARK(BM_ParserPlainAscii);

// Coloured output of ls, compilers and full-screen programs: short runs of text
// between attribute changes and cursor moves.
void BM_ParserSgrHeavy(benchmark::State& state) {
    run(state, repeatTo("\x1b[0m\x1b[38;5;208mwarn\x1b[1;4;38;2;255;128;0;48;2;0;0;64m text \x1b[12;40H"
                        "\x1b[39;49m\x1b[2Kab\x1b[?25l\x1b[m\r\n"));
}
BENCHMARK(BM_ParserSgrHeavy);

void BM_ParserOscTitles(benchmark::State& state) {
    run(state, repeatTo("\x1b]0;user@host: ~/src/tarvik/terminal — make -j2\x07$ "));
}
BENCHMARK(BM_ParserOscTitles);

} // namespace
