#pragma once

#include <string>
#include <vector>

#include "terminal/Terminal.h"
#include "terminal/TextExtraction.h"

namespace tarvik::termtest {

// A host that records what the terminal tells it.
struct RecordingDelegate : TerminalDelegate {
    std::string sent;
    int bells = 0;
    int linefeeds = 0;
    int scrolls = 0;
    int shows = 0;
    int hides = 0;
    void send(Terminal&, std::span<const uint8_t> data) override { sent.append(data.begin(), data.end()); }
    void bell(Terminal&) override { ++bells; }
    void linefeed(Terminal&) override { ++linefeeds; }
    void scrolled(Terminal&, int) override { ++scrolls; }
    void showCursor(Terminal&) override { ++shows; }
    void hideCursor(Terminal&) override { ++hides; }
};

using tarvik::rowText;

inline std::vector<std::string> screenText(const Terminal& t) {
    std::vector<std::string> rows;
    for (int r = 0; r < t.rows(); ++r) rows.push_back(t.getLine(r) ? rowText(*t.getLine(r), t.tables()) : "<none>");
    return rows;
}

inline std::string screenString(const Terminal& t) {
    std::string out;
    for (const std::string& row : screenText(t)) out += row + "|";
    return out;
}

} // namespace tarvik::termtest
