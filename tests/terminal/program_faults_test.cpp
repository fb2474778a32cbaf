// Behaviours that real full-screen programs and a conformance run depend on: each case
// here once went wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "reports_host.h"
#include "terminal/Terminal.h"
#include "terminal/TextExtraction.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::ReportsHost;
using termtest::screenRow;
using Rows = std::vector<std::string>;

TerminalOptions size(int cols, int rows) {
    TerminalOptions o;
    o.cols = cols;
    o.rows = rows;
    o.scrollback = 10;
    return o;
}

Rows screen(const Terminal& t) {
    Rows rows;
    for (int r = 0; r < t.rows(); ++r)
        rows.push_back(screenRow(t, r));
    return rows;
}

std::string cellText(const Terminal& t, int col, int row) {
    std::string out;
    t.getCharData(col, row)->appendCharacter(out, t.tables());
    return out;
}

struct Case {
    const char* name;
    std::string input;
    Rows rows;                         // the screen, checked when not empty
    std::pair<int, int> cursor{-1, 0}; // checked when x >= 0
    std::string replies = "";          // what the terminal answered
};

// Each case runs on a 10 x 4 screen, optionally holding "abcdefghij" on every row.
void run(const std::vector<Case>& cases, bool filled = false) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReportsHost host;
        Terminal t(host, size(10, 4));
        if (filled) t.feed("abcdefghij\r\nabcdefghij\r\nabcdefghij\r\nabcdefghij\x1b[H");
        t.feed(c.input);
        if (!c.rows.empty()) {
            EXPECT_EQ(screen(t), c.rows);
        }
        if (c.cursor.first >= 0) {
            EXPECT_EQ(t.getCursorLocation(), c.cursor);
        }
        EXPECT_EQ(host.take(), c.replies);
    }
}

TEST(ProgramFaults, ZeroWidthCharactersNeverTakeACell) {
    run({
        {"variation selector", "\u2764\uFE0FX", {"\u2764\uFE0FX", "", "", ""}, {2, 0}},
        {"keycap", "1\uFE0F\u20E3X", {"1\uFE0F\u20E3X", "", "", ""}, {2, 0}},
        {"Devanagari virama and vowel sign", "\u0928\u092E\u0938\u094D\u0924\u0947|",
         {"\u0928\u092E\u0938\u094D\u0924\u0947|", "", "", ""}, {5, 0}},
        {"Hangul medial jamo", "\u1100\u1161X", {"\u1100\u1161 X", "", "", ""}, {3, 0}},
        {"zero width space", "a\u200Bb", {"a\u200Bb", "", "", ""}, {2, 0}},
        {"joined emoji keep the joiner and their own columns", "\U0001F468\u200D\U0001F469",
         {"\U0001F468\u200D \U0001F469", "", "", ""}, {4, 0}},
        {"nothing before it on the line", "a\r\n\uFE0F\u0301", {"a", "", "", ""}, {0, 1}},
        {"DEL is no text", "a\x7f" "b", {"ab", "", "", ""}, {2, 0}},
        {"nor is a C1 control", "a\xC2\x85" "b", {"ab", "", "", ""}, {2, 0}},
    });
}

TEST(ProgramFaults, JoinedEmojiCopyBackAsSent) {
    ReportsHost host;
    Terminal t(host, size(10, 4));
    t.feed("\U0001F468\u200D\U0001F469");
    EXPECT_EQ(cellText(t, 0, 0), "\U0001F468\u200D");
    EXPECT_EQ(t.getText({0, 0}, {10, 0}), "\U0001F468\u200D\U0001F469");
}

TEST(ProgramFaults, TabsAndTheRightEdge) {
    run({
        {"a tab keeps the pending wrap", "0123456789\tY", {"0123456789", "Y", "", ""}, {1, 1}},
        {"so does CHT", "0123456789\x1b[2IY", {"0123456789", "Y", "", ""}, {1, 1}},
        {"a tab right of the right margin runs to the edge", "\x1b[?69h\x1b[1;5s\x1b[1;7H\t\t", {}, {9, 0}},
        {"a tab inside the margins stops at the margin", "\x1b[?69h\x1b[1;5s\x1b[1;2H\t", {}, {4, 0}},
    });
}

TEST(ProgramFaults, BackspaceAndTheLeftMargin) {
    run({
        {"stops at the left margin", "\x1b[?69h\x1b[5;10s\x1b[1;5H\b", {}, {4, 0}},
        {"left of it still steps left", "\x1b[?69h\x1b[5;10s\x1b[1;3H\b", {}, {1, 0}},
        {"reverse wrap needs wraparound too", "\x1b[?45h\x1b[?7l\x1b[2;1H\b", {}, {0, 1}},
        {"with both it wraps back", "\x1b[?45h\x1b[2;1H\b", {}, {9, 0}},
    });
}

TEST(ProgramFaults, IndexNextLineAndReverseIndexOutsideTheRegion) {
    run(
        {
            {"IND below the region moves without scrolling", "\x1b[1;2r\x1b[3;1H\x1b" "D\x1b" "D\x1b" "D",
             {"abcdefghij", "abcdefghij", "abcdefghij", "abcdefghij"}, {0, 3}},
            {"NEL below the region too", "\x1b[1;2r\x1b[3;4H\x1b" "E\x1b" "E",
             {"abcdefghij", "abcdefghij", "abcdefghij", "abcdefghij"}, {0, 3}},
            {"IND outside the margins does not scroll", "\x1b[?69h\x1b[3;6s\x1b[4;8H\x1b" "D",
             {"abcdefghij", "abcdefghij", "abcdefghij", "abcdefghij"}, {7, 3}},
            {"RI outside the margins does not scroll", "\x1b[?69h\x1b[3;6s\x1b[1;8H\x1bM",
             {"abcdefghij", "abcdefghij", "abcdefghij", "abcdefghij"}, {7, 0}},
            {"RI inside the margins scrolls only them", "\x1b[?69h\x1b[3;6s\x1b[1;4H\x1bM",
             {"ab    ghij", "abcdefghij", "abcdefghij", "abcdefghij"}, {3, 0}},
            {"IND inside the margins scrolls only them", "\x1b[?69h\x1b[3;6s\x1b[4;4H\x1b" "D",
             {"abcdefghij", "abcdefghij", "abcdefghij", "ab    ghij"}, {3, 3}},
            {"NEL goes to the left margin", "\x1b[?69h\x1b[3;6s\x1b[1;5H\x1b" "E", {}, {2, 1}},
        },
        true);
}

TEST(ProgramFaults, OriginModeAddressing) {
    run(
        {
            {"VPA counts from the region", "\x1b[2;4r\x1b[?6h\x1b[2dX", {"abcdefghij", "abcdefghij", "Xbcdefghij", "abcdefghij"}},
            {"HPA counts from the left margin", "\x1b[?69h\x1b[3;6s\x1b[?6h\x1b[2`X",
             {"abcXefghij", "abcdefghij", "abcdefghij", "abcdefghij"}},
            {"DECCRA shifts its destination like its source",
             "\x1b[2;1HAB\x1b[2;4r\x1b[?6h\x1b[1;1;1;2;1;2;3;1$v",
             {"abcdefghij", "ABcdefghij", "abABefghij", "abcdefghij"}},
        },
        true);
}

TEST(ProgramFaults, SelectiveEraseSkipsProtectedCells) {
    const std::string protect = "\x1b[1\"qAB\x1b[0\"qCD\x1b[2\"qEF\x1b[1;1H";
    run({
        {"DECSEL", protect + "\x1b[?K", {"AB", "", "", ""}},
        {"DECSED", protect + "\x1b[?2J", {"AB", "", "", ""}},
        {"DECSERA", protect + "\x1b[1;1;1;10${", {"AB", "", "", ""}},
        {"EL erases them", protect + "\x1b[K", {"", "", "", ""}},
        {"ED erases them", protect + "\x1b[2J", {"", "", "", ""}},
        {"ECH erases them", protect + "\x1b[2X", {"  CDEF", "", "", ""}},
        {"DECERA erases them", protect + "\x1b[1;1;1;10$z", {"", "", "", ""}},
        {"DECRQSS reports the protection", "\x1b[1\"q\x1bP$q\"q\x1b\\", {}, {-1, 0}, "\x1bP1$r1\"q\x1b\\"},
        {"a soft reset ends it", "\x1b[1\"q\x1b[!pAB\x1b[H\x1b[?K", {"", "", "", ""}},
    });
}

TEST(ProgramFaults, HorizontalScrolling) {
    run(
        {
            {"SL", "\x1b[3 @", {"defghij", "defghij", "defghij", "defghij"}, {0, 0}},
            {"SR", "\x1b[2 A", {"  abcdefgh", "  abcdefgh", "  abcdefgh", "  abcdefgh"}, {0, 0}},
            {"SL within the region and margins", "\x1b[2;3r\x1b[?69h\x1b[2;5s\x1b[ @",
             {"abcdefghij", "acde fghij", "acde fghij", "abcdefghij"}},
            {"SR within the region and margins", "\x1b[2;3r\x1b[?69h\x1b[2;5s\x1b[9 A",
             {"abcdefghij", "a    fghij", "a    fghij", "abcdefghij"}},
        },
        true);
}

TEST(ProgramFaults, AdvertisedReports) {
    run({
        {"DA1 claims selective erase and horizontal scrolling", "\x1b[c", {}, {-1, 0},
         "\x1b[?65;1;2;6;21;22;17;28;4c"},
        {"DA3", "\x1b[=c", {}, {-1, 0}, "\x1bP!|00000000\x1b\\"},
        {"DECREQTPARM unsolicited allowed", "\x1b[x", {}, {-1, 0}, "\x1b[2;1;1;128;128;1;0x"},
        {"DECREQTPARM on request only", "\x1b[1x", {}, {-1, 0}, "\x1b[3;1;1;128;128;1;0x"},
        {"other DECREQTPARM values", "\x1b[2x", {}, {-1, 0}, ""},
    });
}

TEST(ProgramFaults, FullResetLeavesNoOldScreenBehind) {
    ReportsHost host;
    Terminal t(host, size(10, 4));
    t.feed("\x1b[?1049h\x1b[Hstale");
    const int before = host.bufferActivations;
    t.feed("\x1b" "c");
    EXPECT_EQ(host.bufferActivations, before + 1);
    EXPECT_FALSE(t.isCurrentBufferAlternate());
    t.feed("\x1b[?1049h");
    EXPECT_EQ(screen(t), (Rows{"", "", "", ""}));
}

TEST(ProgramFaults, ReverseVideoIsAScreenModeNotAPen) {
    ReportsHost host;
    Terminal t(host, size(10, 4));
    t.feed("\x1b[31m\x1b[?5h");
    EXPECT_TRUE(t.reverseVideo());
    t.clearUpdateRange();
    t.feed("A\x1b[?5$p");
    EXPECT_EQ(host.take(), "\x1b[?5;1$y");
    t.clearUpdateRange();
    t.feed("\x1b[?5l");
    EXPECT_FALSE(t.reverseVideo());
    // The whole screen changes colour, so every row is to be drawn again.
    EXPECT_EQ(t.getUpdateRange(), std::make_optional(std::make_pair(0, 4)));
    t.feed("X\x1b[?5$p");
    EXPECT_EQ(host.take(), "\x1b[?5;2$y");
    EXPECT_EQ(t.getCharData(0, 0)->attribute.fg, Attribute::Color::ansi256(1));
    EXPECT_EQ(t.getCharData(1, 0)->attribute.fg, Attribute::Color::ansi256(1));
    t.feed("\x1b[?5h\x1b" "c");
    EXPECT_FALSE(t.reverseVideo());
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

// Rows scrolled out of a region at the top of the screen enter the history, past a
// status line below the region; a region further down keeps its rows to itself.
TEST(RegionScrolling, HistoryAndStatusLinesAroundTheRegion) {
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full ring" : "growing ring");
        termtest::ReportsHost host;
        Terminal t(host, size(10, 4));
        t.feed("\x1b[4;1HS\x1b[1;3r\x1b[H");
        const int lines = full ? 30 : 8;
        for (int i = 0; i < lines; ++i)
            t.feed("L" + std::to_string(i) + (i + 1 < lines ? "\r\n" : ""));
        EXPECT_EQ(screen(t), (Rows{"L" + std::to_string(lines - 3), "L" + std::to_string(lines - 2),
                                   "L" + std::to_string(lines - 1), "S"}));
        const Buffer& b = t.buffer();
        EXPECT_EQ(b.yBase(), std::min(lines - 3, 10)); // ten rows of history at most
        EXPECT_EQ(rowText(b.lines()[b.yBase() - 1], t.tables()), "L" + std::to_string(lines - 4));
    }
    termtest::ReportsHost host;
    Terminal t(host, size(10, 4));
    t.feed("T\x1b[2;3r\x1b[2;1H1\r\n2\r\n3\r\n4\x1b[4;1HS");
    EXPECT_EQ(screen(t), (Rows{"T", "3", "4", "S"}));
    EXPECT_EQ(t.buffer().yBase(), 0);
    t.feed("\x1b[2;1H\x1bM\x1bM");
    EXPECT_EQ(screen(t), (Rows{"T", "", "", "S"}));
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

// A cluster of its own for every number: a base letter and three combining marks.
std::u32string clusterFor(int n) {
    std::u32string cluster = U"e";
    for (int i = 0; i < 3; ++i, n /= 112)
        cluster += static_cast<char32_t>(0x300 + n % 112);
    return cluster;
}

std::string utf8(std::u32string_view scalars) {
    std::string out;
    for (char32_t c : scalars)
        appendUtf8(out, c);
    return out;
}

// Far more distinct links and clusters than either table holds pass through a terminal
// with a long history; every cell that still shows one must still resolve to its own.
TEST(CellTablesOfATerminal, ReclaimEntriesNoCellHolds) {
    constexpr int total = 150000; // more than twice the link table, fifteen times the live clusters
    termtest::ReportsHost host;
    TerminalOptions options = size(20, 5);
    options.scrollback = 10000;
    Terminal t(host, options);
    std::string chunk;
    for (int n = 0; n < total; ++n) {
        chunk += "\x1b]8;;http://x/" + std::to_string(n) + "\x07" + std::to_string(n) + ' ' + utf8(clusterFor(n)) +
                 "\x1b]8;;\x07\r\n";
        if (chunk.size() > 1 << 16) {
            t.feed(chunk);
            chunk.clear();
        }
    }
    t.feed(chunk);

    const auto& lines = t.buffer().lines();
    // The sweeps above read packed history rows; reading them now unpacks them.
    EXPECT_TRUE(lines[0].isPacked());
    int checked = 0;
    for (int i = 0; i < lines.count(); ++i) {
        const BufferLine& line = lines[i];
        const std::string text = rowText(line, t.tables());
        if (text.empty()) continue;
        const int n = std::stoi(text);
        ASSERT_EQ(text, std::to_string(n) + ' ' + utf8(clusterFor(n))) << "line " << i;
        const std::string* link = line[0].getPayload(t.tables());
        ASSERT_NE(link, nullptr) << "line " << i;
        ASSERT_EQ(*link, ";http://x/" + std::to_string(n));
        ++checked;
    }
    EXPECT_EQ(checked, 10000 + 4); // the history and the screen above the cursor
    EXPECT_LE(t.tables().links().size(), TinyAtom::maxAtom);
}

} // namespace
} // namespace tarvik
