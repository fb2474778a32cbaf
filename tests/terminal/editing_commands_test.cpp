#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "terminal/Terminal.h"
#include "terminal/TerminalEditing.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;
using termtest::screenText;
using Rows = std::vector<std::string>;
using Prepare = std::function<void(Terminal&)>;

const std::string huge = "922337203685477570";
const std::string backIndex = std::string("\x1b") + '6';
const std::string forwardIndex = std::string("\x1b") + '9';
const Rows untouched = {"abcdef", "ghijkl", "mnopqr", "stuvwx"};

TerminalOptions size(int cols, int rows, int scrollback = 0) {
    TerminalOptions o;
    o.cols = cols;
    o.rows = rows;
    o.scrollback = scrollback;
    return o;
}

void margins(Terminal& t, int left, int right) {
    t.marginMode = true;
    t.buffer().marginLeft = left;
    t.buffer().marginRight = right;
}

const Prepare lr = [](Terminal& t) { margins(t, 1, 4); };
const Prepare origin = [](Terminal& t) { t.originMode = true; };

struct Case {
    const char* name;
    std::string input;
    Rows screen;                  // checked when not empty
    std::pair<int, int> cursor{}; // checked when the screen is not
    Prepare setup = {};
};

// Cursor cases run on an empty 10 x 6 screen (tab stops at 0 and 8); screen cases on a
// 6 x 4 screen holding `untouched`, the cursor waiting to wrap after the x.
void run(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDelegate host;
        const bool screenCase = !c.screen.empty();
        Terminal t(host, screenCase ? size(6, 4) : size(10, 6));
        if (screenCase) t.feed("abcdef\r\nghijkl\r\nmnopqr\r\nstuvwx");
        if (c.setup) c.setup(t);
        t.feed(c.input);
        if (screenCase)
            EXPECT_EQ(screenText(t), c.screen);
        else
            EXPECT_EQ(t.getCursorLocation(), c.cursor);
    }
}

TEST(EditingCommands, CursorMoves) {
    const Prepare originAndMargins = [](Terminal& t) {
        t.originMode = true;
        margins(t, 2, 7);
    };
    run({
        {"CUU 0 counts as 1", "\x1b[4;3H\x1b[0A", {}, {2, 2}},
        {"CUU stops at the region top from inside", "\x1b[2;5r\x1b[4;3H\x1b[99A", {}, {2, 1}},
        {"CUU above the region stops at row 0", "\x1b[3;5r\x1b[2;3H\x1b[99A", {}, {2, 0}},
        {"CUD below the region stops at the last row", "\x1b[2;4r\x1b[5;1H\x1b[5B", {}, {0, 5}},
        {"CUD inside the region stops at its bottom", "\x1b[2;4r\x1b[2;1H\x1b[9B", {}, {0, 3}},
        {"CUD leaves the pending-wrap column", "\x1b[1;10HX\x1b[B", {}, {9, 1}},
        {"CUB", "\x1b[1;3H\x1b[" + huge + "D", {}, {0, 0}},
        {"CNL", "\x1b[1;5H\x1b[2E", {}, {0, 2}},
        {"CUP beyond the screen", "\x1b[" + huge + ";999H", {}, {9, 5}},
        {"CUP with one parameter", "\x1b[1;5H\x1b[3H", {}, {0, 2}},
        {"CHA", "\x1b[2;5H\x1b[99G", {}, {9, 1}},
        {"VPA", "\x1b[2;4H\x1b[99d", {}, {3, 5}},
        {"HPR", "\x1b[2;3H\x1b[" + huge + "a", {}, {9, 1}},
        {"CUP in origin mode homes to the region", "\x1b[3;5r\x1b[4;4H\x1b[H", {}, {0, 2}, origin},
        {"and to the left margin", "\x1b[3;5r\x1b[H", {}, {2, 2}, originAndMargins},
        {"CUP in origin mode stays in the region", "\x1b[2;4r\x1b[99;1H", {}, {0, 3}, origin},
        {"VPA counts from the region in origin mode", "\x1b[3;5r\x1b[1d", {}, {0, 2}, origin},
        {"and stays inside it", "\x1b[3;5r\x1b[9d", {}, {0, 4}, origin},
        {"HPA counts from the left margin", "\x1b[3`", {}, {4, 0}, originAndMargins},
        {"HVP is not confined to the region", "\x1b[2;4r\x1b[5;2f", {}, {1, 5}, origin},
        {"CHA counts from the left margin", "\x1b[3G", {}, {4, 0}, originAndMargins},
        {"CUF stops at the right margin", "\x1b[1;3H\x1b[9C", {}, {4, 0}, lr},
        {"CUF right of the margin runs on", "\x1b[1;8H\x1b[9C", {}, {9, 0}, lr},
        {"CUB stops at the left margin", "\x1b[1;5H\x1b[9D", {}, {1, 0}, lr},
        {"CUB left of the margin runs on", "\x1b[1;1H\x1b[9D", {}, {0, 0}, lr},
        {"CNL returns to the left margin", "\x1b[3;5H\x1b[E", {}, {1, 3}, lr},
        {"forward index inside the margins", "\x1b[1;3H" + forwardIndex, {}, {3, 0}, lr},
        {"back index inside the margins", "\x1b[1;5H" + backIndex, {}, {3, 0}, lr},
        {"CHT", "\x1b[1;2H\x1b[I", {}, {8, 0}},
        {"CHT past the last stop", "\x1b[" + huge + "I", {}, {9, 0}},
        {"CHT stops at the right margin", "\x1b[1;2H\x1b[9I", {}, {4, 0}, lr},
        {"CBT", "\x1b[1;10H\x1b[Z", {}, {8, 0}},
        {"CBT runs out at column 0", "\x1b[1;10H\x1b[" + huge + "Z", {}, {0, 0}},
        {"TBC", "\x1b[1;9H\x1b[g\x1b[H\x1b[I", {}, {9, 0}},
        {"HTS", "\x1b[1;4H\x1bH\x1b[H\x1b[I", {}, {3, 0}},
        {"CSI s saves without margin mode", "\x1b[3;4H\x1b[2;10s\x1b[H\x1b[u", {}, {3, 2}},
        {"private CSI s and u are not cursor saves",
         "\x1b[2;2H\x1b[s\x1b[5;5H\x1b[?1s\x1b[H\x1b[?1u",
         {},
         {0, 0}},
    });
}

TEST(EditingCommands, ScrollRegionAndMargins) {
    RecordingDelegate host;
    Terminal t(host, size(10, 6));
    t.feed("\x1b[2;4r");
    // Too small, upside down or past the screen: the region stays, the cursor still goes home.
    for (const char* rejected : {"\x1b[4;2r", "\x1b[3;3r", "\x1b[7;9r"}) {
        t.feed(std::string("\x1b[3;3H") + rejected);
        EXPECT_EQ(std::make_pair(t.buffer().scrollTop(), t.buffer().scrollBottom()), std::make_pair(1, 3));
        EXPECT_EQ(t.getCursorLocation(), std::make_pair(0, 0));
    }
    t.feed("\x1b[2;0r");
    EXPECT_EQ(t.buffer().scrollBottom(), 5);

    t.marginMode = true;
    const std::pair<const char*, std::pair<int, int>> cases[] = {
        {"\x1b[3;6s", {2, 5}}, {"\x1b[4s", {3, 9}},    {"\x1b[s", {0, 9}},
        {"\x1b[8;3s", {2, 2}}, {"\x1b[2;99s", {1, 9}}, {"\x1b[2;0s", {1, 9}}, // empty right: default
    };
    t.feed("\x1b[3;4H");
    for (const auto& [input, expected] : cases) {
        t.feed(input);
        EXPECT_EQ(std::make_pair(t.buffer().marginLeft, t.buffer().marginRight), expected) << input;
        EXPECT_EQ(t.getCursorLocation(), std::make_pair(3, 2));
    }
}

TEST(EditingCommands, EraseInsertDelete) {
    run({
        {"EL 0", "\x1b[2;3H\x1b[K", {"abcdef", "gh", "mnopqr", "stuvwx"}},
        {"EL 1", "\x1b[2;3H\x1b[1K", {"abcdef", "   jkl", "mnopqr", "stuvwx"}},
        {"DECSEL 2 erases like EL 2", "\x1b[2;3H\x1b[?2K", {"abcdef", "", "mnopqr", "stuvwx"}},
        {"ED 0", "\x1b[2;3H\x1b[J", {"abcdef", "gh", "", ""}},
        {"ED 1", "\x1b[2;3H\x1b[1J", {"", "   jkl", "mnopqr", "stuvwx"}},
        {"DECSED 2 erases like ED 2", "\x1b[?2J", {"", "", "", ""}},
        {"ED 4 does nothing", "\x1b[4J", untouched},
        {"ECH", "\x1b[2;2H\x1b[3X", {"abcdef", "g   kl", "mnopqr", "stuvwx"}},
        {"ECH is clipped", "\x1b[2;2H\x1b[" + huge + "X", {"abcdef", "g", "mnopqr", "stuvwx"}},
        {"ICH", "\x1b[1;2H\x1b[2@", {"a  bcd", "ghijkl", "mnopqr", "stuvwx"}},
        {"ICH in the pending-wrap column does nothing", "\x1b[@", untouched},
        {"ICH at the right margin pushes the last cell out",
         "\x1b[1;5H\x1b[@",
         {"abcd f", "ghijkl", "mnopqr", "stuvwx"},
         {},
         lr},
        {"ICH outside the margins does nothing", "\x1b[1;6H\x1b[@", untouched, {}, lr},
        {"DCH", "\x1b[1;2H\x1b[" + huge + "P", {"a", "ghijkl", "mnopqr", "stuvwx"}},
        {"DCH in the pending-wrap column does nothing", "\x1b[P", untouched},
        {"DCH stops at the right margin",
         "\x1b[1;3H\x1b[9P",
         {"ab   f", "ghijkl", "mnopqr", "stuvwx"},
         {},
         lr},
        {"REP", "\x1b[2;1HZ\x1b[3b", {"abcdef", "ZZZZkl", "mnopqr", "stuvwx"}},
        {"REP at column 0 prints blanks", "\x1b[1;1H\x1b[3b", {"   def", "ghijkl", "mnopqr", "stuvwx"}},
        {"DECALN", "\x1b[2;3H\x1b#8", {"EEEEEE", "EEEEEE", "EEEEEE", "EEEEEE"}},
    });
}

TEST(EditingCommands, LinesAndColumns) {
    const Prepare regionAndMargins = [](Terminal& t) {
        t.feed("\x1b[2;3r");
        margins(t, 1, 4);
    };
    run({
        {"IL", "\x1b[2;1H\x1b[L", {"abcdef", "", "ghijkl", "mnopqr"}},
        {"IL inside a region", "\x1b[1;3r\x1b[H\x1b[" + huge + "L", {"", "", "", "stuvwx"}},
        {"IL below the region does nothing", "\x1b[1;2r\x1b[4;1H\x1b[L", untouched},
        {"IL between margins", "\x1b[1;2H\x1b[L", {"a    f", "gbcdel", "mhijkr", "snopqx"}, {}, lr},
        {"DL", "\x1b[2;1H\x1b[M", {"abcdef", "mnopqr", "stuvwx", ""}},
        {"DL outside the margins does nothing", "\x1b[2;1H\x1b[M", untouched, {}, lr},
        {"DL inside a region", "\x1b[1;3r\x1b[H\x1b[2M", {"mnopqr", "", "", "stuvwx"}},
        {"IL outside the margins does nothing", "\x1b[H\x1b[L", untouched, {}, lr},
        {"DL between margins", "\x1b[2;2H\x1b[M", {"abcdef", "gnopql", "mtuvwr", "s    x"}, {}, lr},
        {"SU inside a region", "\x1b[2;3r\x1b[S", {"abcdef", "mnopqr", "", "stuvwx"}},
        {"SU with a private marker is no scroll", "\x1b[?1;1;0S", untouched},
        {"SD", "\x1b[T", {"", "abcdef", "ghijkl", "mnopqr"}},
        {"SD between margins", "\x1b[2T", {"a    f", "g    l", "mbcder", "shijkx"}, {}, lr},
        {"title-mode reset is no scroll", "\x1b[>0;1T", untouched},
        {"DECIC", "\x1b[1;2H\x1b[2'}", {"a  bcd", "g  hij", "m  nop", "s  tuv"}},
        {"DECIC in the region and margins",
         "\x1b[2;3H\x1b['}",
         {"abcdef", "gh ijl", "mn opr", "stuvwx"},
         {},
         regionAndMargins},
        {"DECIC outside the region does nothing", "\x1b[2;3r\x1b[1;2H\x1b['}", untouched},
        {"DECDC", "\x1b[1;2H\x1b[2'~", {"adef", "gjkl", "mpqr", "svwx"}},
        {"DECDC 0 deletes nothing", "\x1b[1;2H\x1b[0'~", untouched},
        {"DECDC without a count deletes one", "\x1b[1;2H\x1b['~", {"acdef", "gijkl", "mopqr", "suvwx"}},
        {"back index at the left edge", "\x1b[H" + backIndex, {" abcde", " ghijk", " mnopq", " stuvw"}},
        {"forward index at the right edge", "\x1b[1;6H" + forwardIndex, {"bcdef", "hijkl", "nopqr", "tuvwx"}},
        {"back index at the left margin",
         "\x1b[2;2H" + backIndex,
         {"abcdef", "g hijl", "m nopr", "stuvwx"},
         {},
         regionAndMargins},
        {"forward index waiting to wrap does nothing", forwardIndex, untouched},
    });
}

TEST(EditingCommands, Rectangles) {
    run({
        {"DECFRA", "\x1b[88;2;2;3;4$x", {"abcdef", "gXXXkl", "mXXXqr", "stuvwx"}},
        {"DECFRA with no scalar fills spaces",
         "\x1b[1114112;2;2;2;4$x",
         {"abcdef", "g   kl", "mnopqr", "stuvwx"}},
        {"DECFRA with a control fills spaces", "\x1b[27;2;2;2;4$x", {"abcdef", "g   kl", "mnopqr", "stuvwx"}},
        {"DECFRA is clamped",
         "\x1b[88;3;5;" + huge + ";" + huge + "$x",
         {"abcdef", "ghijkl", "mnopXX", "stuvXX"}},
        {"DECERA", "\x1b[2;2;3;4$z", {"abcdef", "g   kl", "m   qr", "stuvwx"}},
        {"DECERA without parameters", "\x1b[$z", {"", "", "", ""}},
        {"DECERA with a bottom of 0 does nothing", "\x1b[2;2;0;4$z", untouched},
        {"DECCRA", "\x1b[1;1;2;2;1;3;5$v", {"abcdef", "ghijkl", "mnopab", "stuvgh"}},
        {"DECCRA from page 2 does nothing", "\x1b[1;1;2;2;2;3;5$v", untouched},
        {"DECCRA of the screen onto itself", "\x1b[1;1;0;0;1;1;1;1$v", untouched},
        {"DECCRA overlapping downwards", "\x1b[1;1;3;6;1;2;1$v", {"abcdef", "abcdef", "ghijkl", "mnopqr"}},
        {"DECCRA overlapping upwards", "\x1b[2;1;4;6;1;1;1$v", {"ghijkl", "mnopqr", "stuvwx", "stuvwx"}},
        {"DECCRA past the edge is cut", "\x1b[1;1;2;6;1;4;3$v", {"abcdef", "ghijkl", "mnopqr", "stabcd"}},
    });
    RecordingDelegate host;
    Terminal t(host, size(10, 6));
    const std::vector<int64_t> corner = {1, 1, 2, 2};
    EXPECT_EQ(getRectangleFromRequest(t, {}, 0), (CellRectangle{0, 0, 5, 9}));
    t.feed("\x1b[3;5r");
    origin(t);
    margins(t, 2, 7);
    EXPECT_EQ(getRectangleFromRequest(t, corner, 0), (CellRectangle{2, 2, 3, 3}));
}

TEST(EditingCommands, ErasedCellsKeepOnlyTheBackground) {
    RecordingDelegate host;
    Terminal t(host, size(6, 3));
    t.feed("\x1b[41mabc\x1b[1;4;42m\x1b[1;1;1;3${\x1b[2;1H\x1b[L\x1b[3;1;3;3$z");
    Attribute green = CharData::defaultAttr;
    green.bg = Attribute::Color::ansi256(2);
    // Selective erase keeps colours; every other erase takes the current background only.
    EXPECT_EQ(t.getCharData(2, 0)->code(), ' ');
    EXPECT_EQ(t.getCharData(2, 0)->attribute.bg, Attribute::Color::ansi256(1));
    EXPECT_EQ(t.getCharData(5, 1)->attribute, green);
    EXPECT_EQ(*t.getCharData(1, 2), CharData(green, U'\0', 1));
}

TEST(EditingCommands, LineFlagsFollowTheirText) {
    RecordingDelegate host;
    Terminal t(host, size(4, 3));
    t.feed("abcdefgh\x1b#6");
    ASSERT_TRUE(t.getLine(1)->isWrapped);
    EXPECT_EQ(t.getLine(1)->renderMode, BufferLine::RenderLineMode::doubleWidth);
    t.feed("\x1b[H\x1b[J");
    EXPECT_FALSE(t.getLine(1)->isWrapped);
    EXPECT_EQ(t.getLine(1)->renderMode, BufferLine::RenderLineMode::single);
    // ED 1 through the last column cuts the next line loose; so does DECDC, even of 0 columns.
    for (const char* input : {"\x1b[1;4H\x1b[1J", "\x1b[1;2H\x1b[0'~"}) {
        t.feed(std::string("\x1b[Habcdefgh") + input);
        EXPECT_FALSE(t.getLine(1)->isWrapped) << input;
    }
}

TEST(EditingCommands, EraseScrollbackDropsHistoryOnly) {
    RecordingDelegate host;
    Terminal t(host, size(6, 3, 100));
    for (int i = 0; i < 8; ++i)
        t.feed("line" + std::to_string(i) + "\r\n");
    ASSERT_EQ(t.buffer().lines().count(), 9);
    for (int twice = 0; twice < 2; ++twice) {
        t.feed("\x1b[3J");
        EXPECT_EQ(t.buffer().lines().count(), 3);
        EXPECT_EQ(t.buffer().yBase(), 0);
        EXPECT_EQ(screenText(t), (Rows{"line6", "line7", ""}));
    }
}

TEST(EditingCommands, EditsMarkTheRowsTheyChange) {
    const std::tuple<const char*, const char*, std::pair<int, int>> cases[] = {
        {"\x1b[2;1H", "\x1b[5;3H", {1, 4}},        {"\x1b[5;3H", "\x1b[2;1H", {1, 4}},
        {"\x1b[5;1H", "\x1b[2A", {2, 4}},
        {"\x1b[4;4H", "\x1b[2;5r", {0, 3}},        {"\x1b[5;5H\x1b[s\x1b[2;2H", "\x1b[u", {1, 4}},
        {"\x1b[3;2H", "\x1b[K", {2, 2}},           {"\x1b[2;2H", "\x1b[J", {1, 5}},
        {"\x1b[2;2H", "\x1b[L", {1, 5}},           {"\x1b[2;3r", "\x1b[S", {1, 2}},
        {"\x1b[H", "\x1b[88;2;1;3;1$x", {1, 2}},   {"\x1b[H", "\x1b[1;1;1;1;1;3;3$v", {2, 2}},
        {"\x1b[2;4r\x1b[2;2H", "\x1b['}", {1, 3}}, {"\x1b[2;3r\x1b[2;1H", backIndex.c_str(), {1, 2}},
        {"\x1b[4;1H", "\x1b#6", {3, 3}},
    };
    for (const auto& [before, command, dirty] : cases) {
        RecordingDelegate host;
        Terminal t(host, size(10, 6));
        t.feed(before);
        t.clearUpdateRange();
        t.feed(command);
        EXPECT_EQ(t.getUpdateRange(), dirty) << command;
        EXPECT_EQ(t.getScrollInvariantUpdateRange(), dirty) << command;
    }
}

// Every editing final with the largest parameters the parser keeps, with and without origin
// mode and margins: each returns at once and leaves the cursor and region on the screen.
TEST(EditingCommands, HostileParametersStayOnTheScreen) {
    std::string p = "\x1b[" + huge;
    for (int i = 0; i < 7; ++i)
        p += ";" + huge;
    for (int variant = 0; variant < 4; ++variant) {
        RecordingDelegate host;
        Terminal t(host, size(7, 5, 20));
        t.originMode = variant & 1;
        if (variant & 2) margins(t, 2, 5);
        t.feed("abcdef\r\nghijkl\r\nmnopqr\r\nstuvwx");
        for (char final : std::string("@ABCDEFGHIJKLMPSTXZ`abdefgrsuvxz{}~")) {
            for (const char* collect : {"", "$", "'"})
                t.feed(p + collect + final);
            const auto [x, y] = t.getCursorLocation();
            ASSERT_TRUE(x >= 0 && x <= 7 && y >= 0 && y < 5) << final << " variant " << variant;
            ASSERT_LE(t.buffer().scrollBottom(), 4);
        }
    }
}

} // namespace
} // namespace tarvik
