// Inputs the fuzzer found, reduced to the steps that mattered. Each must leave the
// engine in a state a view can draw: cursor on the screen, dirty rows on the screen.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "terminal/Terminal.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;

void expectDrawable(const Terminal& t, const std::string& name) {
    const Buffer& b = t.buffer();
    EXPECT_GE(b.x(), 0) << name;
    EXPECT_LE(b.x(), t.cols()) << name; // one past the edge while a wrap is pending
    EXPECT_GE(b.y(), 0) << name;
    EXPECT_LT(b.y(), t.rows()) << name;
    if (const auto range = t.getUpdateRange()) {
        EXPECT_GE(range->first, 0) << name;
        EXPECT_LE(range->first, range->second) << name;
        EXPECT_LE(range->second, t.rows()) << name; // a full refresh names rows as its end
    }
}

std::string lines(int count, int width) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += std::string(width, char('a' + i % 26)) + "\r\n";
    return out;
}

TEST(FuzzRegressions, EngineStaysDrawable) {
    struct Case {
        const char* name;
        int cols, rows;
        std::function<void(Terminal&)> steps;
    };
    const std::vector<Case> cases = {
        {"rows marked dirty before a shrink", 30, 47,
         [](Terminal& t) {
             t.feed(lines(47, 10));
             t.resize(13, 28);
         }},
        {"combining mark while the view shows old history", 20, 5,
         [](Terminal& t) {
             t.feed(lines(40, 5));
             t.clearUpdateRange();
             t.userScrolling = true;
             t.buffer().setYDisp(0);
             t.feed("e");
             t.clearUpdateRange();
             t.feed("\xcc\x81");
         }},
        {"cursor saved low on a taller screen, restored after a shrink", 40, 20,
         [](Terminal& t) {
             t.feed("\x1b[15;3H\x1b"
                    "7\x1b[H");
             t.resize(27, 6);
             t.feed("\x1b"
                    "8x");
         }},
        {"same on the alternate screen, whose saved cursor a resize leaves alone", 40, 20,
         [](Terminal& t) {
             t.feed("\x1b[?47h\x1b[18;30H\x1b"
                    "7");
             t.resize(20, 4);
             t.feed("\x1b"
                    "8y");
         }},
    };
    for (const Case& c : cases) {
        RecordingDelegate host;
        TerminalOptions options;
        options.cols = c.cols;
        options.rows = c.rows;
        options.scrollback = 64;
        Terminal t(host, options);
        c.steps(t);
        expectDrawable(t, c.name);
    }
}

TEST(FuzzRegressions, RestoredCursorWritesOnTheLastRowAfterShrink) {
    RecordingDelegate host;
    TerminalOptions options;
    options.cols = 20;
    options.rows = 10;
    Terminal t(host, options);
    t.feed("\x1b[9;5H\x1b"
           "7\x1b[H");
    t.resize(20, 3);
    t.feed("\x1b"
           "8Z");
    EXPECT_EQ(t.getCursorLocation().second, 2);
    EXPECT_NE(termtest::rowText(*t.getLine(2), t.tables()).find('Z'), std::string::npos);
}

} // namespace
} // namespace tarvik
