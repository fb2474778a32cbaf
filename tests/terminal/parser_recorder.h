#pragma once

// Handler set that logs every parser callback as a short line, so a test
// states expected behaviour as one readable list.

#include "terminal/EscapeSequenceParser.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::test {

inline std::string show(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "<%02X>", b);
        out += b >= 0x20 && b < 0x7F ? std::string(1, static_cast<char>(b)) : hex;
    }
    return out;
}

inline std::string show(std::span<const int64_t> params) {
    std::string out = "[";
    for (std::size_t i = 0; i < params.size(); ++i)
        out += (i ? "," : "") + std::to_string(params[i]);
    return out + "]";
}

struct Recorder {
    std::vector<std::string> log;
    bool logPrintStateReset = false;

    struct Dcs : DcsHandler {
        std::vector<std::string>& log;
        explicit Dcs(std::vector<std::string>& l) : log(l) {}
        void hook(std::span<const uint8_t> collect, std::span<const int64_t> pars, uint8_t flag) override {
            log.push_back("hook " + show(collect) + " " + show(pars) + " " + static_cast<char>(flag));
        }
        void put(std::span<const uint8_t> data) override { log.push_back("put " + show(data)); }
        void unhook() override { log.push_back("unhook"); }
        void abandon() override { log.push_back("abandon"); }
    };

    // Everything goes to the fallbacks so any sequence is logged; DCS strings
    // are logged for the keys $q, q and |.
    explicit Recorder(EscapeSequenceParser& p) {
        p.printHandler = {[](void* self, EscapeSequenceParser::Bytes run, bool ascii) {
                              auto& log = static_cast<Recorder*>(self)->log;
                              log.push_back("print " + show(run));
                              // A run said to be printable ASCII that is not would be
                              // written as the wrong cells.
                              if (ascii && !std::all_of(run.begin(), run.end(),
                                                        [](uint8_t b) { return b >= 0x20 && b < 0x7F; }))
                                  log.push_back("run wrongly said to be ASCII");
                          },
                          this};
        p.printStateReset = {[](void* owner) {
                                 auto* self = static_cast<Recorder*>(owner);
                                 if (self->logPrintStateReset) self->log.push_back("printStateReset");
                             },
                             this};
        for (int b = 0; b < 256; ++b)
            p.executeHandlers[b] = [this, b] {
                log.push_back("exec " + show(std::vector<uint8_t>{uint8_t(b)}));
            };
        p.csiHandlerFallback = [this, &p](auto pars, auto collect, uint8_t final) {
            log.push_back("csi " + show(collect) + char(final) + " " + show(pars) + " " + show(p.parsTxt()));
        };
        p.escHandlerFallback = [this](auto collect, uint8_t final) {
            log.push_back("esc " + show(collect) + char(final));
        };
        p.oscHandlerFallback = [this](int64_t n, auto payload) {
            log.push_back("osc " + std::to_string(n) + " " + show(payload));
        };
        p.errorHandler = [this](ParsingState s) {
            log.push_back(std::string("error ") + toString(s.currentState) + " " +
                          show(std::vector<uint8_t>{s.code}));
            return s;
        };
        for (const char* key : {"$q", "q", "|"})
            p.dcsHandlers[key] = std::make_unique<Dcs>(log);
    }

    // Chunking may cut runs of text and of DCS data anywhere; join adjacent ones. A reset
    // of the print state does the same however often it comes, so repeats count once.
    std::vector<std::string> merged() const {
        auto kind = [](const std::string& line) -> std::string {
            return line.starts_with("print ") ? "print " : line.starts_with("put ") ? "put " : "";
        };
        std::vector<std::string> out;
        for (const auto& line : log) {
            if (line == "printStateReset" && !out.empty() && out.back() == line) continue;
            if (!kind(line).empty() && !out.empty() && kind(out.back()) == kind(line))
                out.back() += line.substr(kind(line).size());
            else
                out.push_back(line);
        }
        return out;
    }
};

// Handler calls with runs joined, for a stream fed in the given chunks.
inline std::vector<std::string> feed(const std::vector<std::string_view>& chunks) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    rec.logPrintStateReset = true;
    for (auto chunk : chunks)
        parser.parse(chunk);
    return rec.merged();
}

} // namespace tarvik::test
