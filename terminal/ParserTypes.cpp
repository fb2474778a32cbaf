#include "terminal/ParserTypes.h"

#include <cstdio>

namespace tarvik {

const char* toString(ParserState state) {
    static constexpr const char* names[] = {
        "ground",          "escape",    "escapeIntermediate", "csiEntry",       "csiParam",
        "csiIntermediate", "csiIgnore", "sosPmApcString",     "oscString",      "dcsEntry",
        "dcsParam",        "dcsIgnore", "dcsIntermediate",    "dcsPassthrough",
    };
    const auto index = static_cast<std::size_t>(state);
    return index < std::size(names) ? names[index] : "unknown";
}

namespace {

// Bytes as text, with anything outside printable ASCII escaped so the log stays one line.
void appendBytes(std::string& out, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        }
    }
}

} // namespace

std::string toString(const ParsingState& state) {
    std::string out = "ParsingState(position: " + std::to_string(state.position);
    out += ", code: " + std::to_string(state.code);
    out += ", currentState: ";
    out += toString(state.currentState);
    out += ", print: " + std::to_string(state.print);
    out += ", dcs: " + std::to_string(state.dcs);
    out += ", osc: \"";
    appendBytes(out, state.osc);
    out += "\", collect: \"";
    appendBytes(out, state.collect);
    out += "\", parameters: [";
    for (std::size_t i = 0; i < state.parameters.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(state.parameters[i]);
    }
    out += "], abort: ";
    out += state.abort ? "true" : "false";
    out += ")";
    return out;
}

} // namespace tarvik
