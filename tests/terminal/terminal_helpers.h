#pragma once

#include <string>
#include <vector>

#include "terminal/Terminal.h"

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

// A line as a selection would copy it: nulls as spaces, nothing for the filler after a
// wide character, trailing blanks dropped.
inline std::string rowText(const BufferLine& line) {
    std::string text;
    bool afterWide = false;
    for (const CharData& c : line.getData()) {
        if (afterWide && c.code() == 0) {
            afterWide = false;
            continue;
        }
        afterWide = c.width() == 2;
        if (c.code() == 0)
            text += ' ';
        else
            c.appendCharacter(text);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

inline std::vector<std::string> screenText(const Terminal& t) {
    std::vector<std::string> rows;
    for (int r = 0; r < t.rows(); ++r) rows.push_back(t.getLine(r) ? rowText(*t.getLine(r)) : "<none>");
    return rows;
}

inline std::string screenString(const Terminal& t) {
    std::string out;
    for (const std::string& row : screenText(t)) out += row + "|";
    return out;
}

} // namespace tarvik::termtest
