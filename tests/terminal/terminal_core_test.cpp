#include <gtest/gtest.h>

#include "terminal/Terminal.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;
using termtest::rowText;
using termtest::screenText;

struct TerminalTest : ::testing::Test {
    RecordingDelegate host;
    TerminalOptions options(int cols, int rows, int scrollback = 100) {
        TerminalOptions o;
        o.cols = cols;
        o.rows = rows;
        o.scrollback = scrollback;
        return o;
    }
    std::u32string cellScalars(const Terminal& t, int col, int row) {
        const CharData* c = t.getCharData(col, row);
        std::u32string out;
        if (!c) return out;
        const std::string text = c->getCharacter(t.tables());
        // Enough for the tests: decode through the terminal's own width-free path.
        for (std::size_t i = 0; i < text.size();) {
            unsigned char b = text[i];
            int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            char32_t v = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
            for (int k = 1; k < n; ++k)
                v = (v << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            out.push_back(v);
            i += n;
        }
        return out;
    }
};

// ----- printable text -------------------------------------------------------------------

TEST_F(TerminalTest, Utf8SplitAcrossFeedsPrintsOneCharacter) {
    Terminal t(host, options(10, 3));
    t.feed(std::string_view("\xE2\x82"));
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(0, 0));
    t.feed(std::string_view("\xAC"));
    EXPECT_EQ(cellScalars(t, 0, 0), U"\u20AC");
    EXPECT_EQ(t.getCharData(0, 0)->width(), 1);
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(1, 0));
}

TEST_F(TerminalTest, EscapeBetweenPartsDiscardsThePartialCharacter) {
    Terminal t(host, options(10, 3));
    t.feed(std::string_view("\xE2\x82"));
    t.feed(std::string_view("\x1b"
                            "7\xAC"));
    // The held bytes are gone; the lone continuation byte prints as U+00AC.
    EXPECT_EQ(cellScalars(t, 0, 0), U"\u00AC");
    EXPECT_EQ(t.getCursorLocation().first, 1);
}

struct PrintCase {
    const char* bytes;
    std::u32string firstCell;
    int width;
    int cursorX;
};

TEST_F(TerminalTest, SingleAndMalformedBytes) {
    const PrintCase cases[] = {
        {"\xFF", U"\u00FF", 1, 1},                 // invalid lead byte: the code point of the same value
        {"\x9B", std::u32string(1, U'\0'), 1, 0}, // a lone continuation byte is a C1 control: ignored
        {"\xE2\x41\x42", U"\uFFFD", 1, 1},         // malformed: U+FFFD only, A and B are lost
        {"\xE4\xB8\x80", U"\u4E00", 2, 2},         // CJK is wide
        {"\xE2\x8C\xA9", U"\u2329", 2, 2},         // an East-Asian wide bracket
        {"\xF0\x9F\x98\x80", U"\U0001F600", 2, 2}, // emoji
    };
    for (const PrintCase& c : cases) {
        Terminal t(host, options(10, 3));
        t.feed(std::string_view(c.bytes));
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(cellScalars(t, 0, 0), c.firstCell);
        EXPECT_EQ(t.getCharData(0, 0)->width(), c.width);
        EXPECT_EQ(t.getCursorLocation().first, c.cursorX);
    }
}

TEST_F(TerminalTest, CombiningMarkInNextFeedJoinsThePreviousCell) {
    Terminal t(host, options(10, 3));
    t.feed(std::string_view("e"));
    t.feed(std::string_view("\xCC\x81"));
    EXPECT_EQ(cellScalars(t, 0, 0), U"e\u0301");
    EXPECT_EQ(t.getCharData(0, 0)->width(), 1);
    EXPECT_EQ(t.getCursorLocation().first, 1);
}

// After a resize the recorded cell is gone: a mark has nothing to join and takes no cell.
TEST_F(TerminalTest, CombiningMarkAfterResizeIsDropped) {
    Terminal t(host, options(10, 3));
    t.feed(std::string_view("e"));
    t.resize(12, 3);
    t.feed(std::string_view("\xCC\x81"));
    EXPECT_EQ(cellScalars(t, 0, 0), U"e");
    EXPECT_EQ(t.getCharData(1, 0)->code(), 0);
    EXPECT_EQ(t.getCursorLocation().first, 1);
}

TEST_F(TerminalTest, ZeroWidthJoinerAloneIsDropped) {
    Terminal t(host, options(10, 3));
    t.feed(std::string_view("\xE2\x80\x8D"));
    EXPECT_EQ(t.getCursorLocation().first, 0);
    EXPECT_EQ(t.getCharData(0, 0)->code(), 0);
}

TEST_F(TerminalTest, CharsetTranslationAndShiftOut) {
    Terminal t(host, options(20, 3));
    t.feed(std::string_view("\x1b(0qxlkmjA"));
    EXPECT_EQ(rowText(*t.getLine(0), t.tables()), "─│┌┐└┘A");
    for (int col = 0; col < 6; ++col)
        EXPECT_EQ(t.getCharData(col, 0)->width(), 1);
    t.feed(std::string_view("\x0eq")); // G1 not designated: no translation
    EXPECT_EQ(cellScalars(t, 7, 0), U"q");
    t.feed(std::string_view("\x0fq")); // back to G0
    EXPECT_EQ(cellScalars(t, 8, 0), U"─");
    t.feed(std::string_view("\x1b(Bq"));
    EXPECT_EQ(cellScalars(t, 9, 0), U"q");
}

TEST_F(TerminalTest, DesignationsBelongToEachTerminal) {
    RecordingDelegate otherHost;
    Terminal a(host, options(10, 2));
    Terminal b(otherHost, options(10, 2));
    a.feed(std::string_view("\x1b(0"));
    b.feed(std::string_view("\x0fq"));
    EXPECT_EQ(cellScalars(b, 0, 0), U"q");
    a.feed(std::string_view("q"));
    EXPECT_EQ(cellScalars(a, 0, 0), U"─");
}

TEST_F(TerminalTest, SaveAndRestoreCursorCarriesTheCharset) {
    Terminal t(host, options(10, 2));
    t.feed(std::string_view("\x1b(0\x1b"
                            "7\x1b(B\x1b"
                            "8q"));
    EXPECT_EQ(cellScalars(t, 0, 0), U"─");
}

// ----- control characters ----------------------------------------------------------------

TEST_F(TerminalTest, ControlCharacters) {
    Terminal t(host, options(20, 3));
    t.feed(std::string_view("ab\tc\x07"));
    EXPECT_EQ(rowText(*t.getLine(0), t.tables()), "ab      c");
    EXPECT_EQ(host.bells, 1);
    t.feed(std::string_view("\r\nxy\x08z"));
    EXPECT_EQ(rowText(*t.getLine(1), t.tables()), "xz");
    EXPECT_EQ(host.linefeeds, 1);
}

TEST_F(TerminalTest, LineFeedOnLastRowBelowTheRegionDoesNothing) {
    Terminal t(host, options(10, 5));
    t.buffer().setScrollTop(0);
    t.buffer().setScrollBottom(2);
    t.buffer().setY(4);
    t.feed(std::string_view("x\n"));
    EXPECT_EQ(t.getCursorLocation().second, 4);
    EXPECT_EQ(host.scrolls, 0);
}

TEST_F(TerminalTest, LineFeedLeftOfTheLeftMarginDoesNotScroll) {
    Terminal t(host, options(10, 3));
    t.buffer().marginLeft = 3;
    t.buffer().setY(2);
    t.buffer().setX(1);
    t.feed(std::string_view("\n"));
    EXPECT_EQ(host.scrolls, 0);
    EXPECT_EQ(t.getCursorLocation().second, 2);
}

TEST_F(TerminalTest, LineFeedWithPendingWrapOnTheBottomRowScrolls) {
    Terminal t(host, options(4, 2));
    t.feed(std::string_view("\n1234"));
    ASSERT_EQ(t.getCursorLocation(), std::make_pair(4, 1));
    t.feed(std::string_view("\n"));
    EXPECT_EQ(host.scrolls, 1);
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"1234", ""}));
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(3, 1));
}

TEST_F(TerminalTest, LineFeedModeReturnsTheCarriage) {
    TerminalOptions o = options(10, 3);
    o.convertEol = true;
    Terminal t(host, o);
    t.feed(std::string_view("abc\ndef"));
    EXPECT_EQ(screenText(t)[1], "def");
}

TEST_F(TerminalTest, BackspaceWithReverseWrapLeavesTheContinuation) {
    Terminal t(host, options(5, 3));
    t.feed(std::string_view("abcdefg"));
    ASSERT_TRUE(t.getLine(1)->isWrapped);
    t.reverseWraparound = true;
    t.buffer().setX(0);
    t.feed(std::string_view("\x08"));
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(4, 0));
    EXPECT_FALSE(t.getLine(1)->isWrapped);
}

TEST_F(TerminalTest, BackspaceWithoutReverseWrapStopsAtColumnZero) {
    Terminal t(host, options(5, 3));
    t.feed(std::string_view("abcdefg\r\x08\x08"));
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(0, 1));
}

TEST_F(TerminalTest, ReverseIndexAtTopInsertsABlankLine) {
    Terminal t(host, options(5, 3));
    t.feed(std::string_view("a\r\nb\r\nc\x1b[H"));
    t.buffer().setY(0);
    t.feed(std::string_view("\x1bM"));
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"", "a", "b"}));
}

TEST_F(TerminalTest, IndexAndNextLine) {
    Terminal t(host, options(5, 3));
    t.feed(std::string_view("ab\x1b"
                            "Dc\x1b"
                            "Ed"));
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"ab", "  c", "d"}));
}

TEST_F(TerminalTest, FullResetKeepsCursorVisibility) {
    Terminal t(host, options(10, 3));
    t.hideCursor();
    t.feed(std::string_view("abc\x1b"
                            "c"));
    EXPECT_TRUE(t.cursorHidden);
    EXPECT_EQ(rowText(*t.getLine(0), t.tables()), "");
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(0, 0));
}

TEST_F(TerminalTest, ShowAndHideNotifyOnlyOnChange) {
    Terminal t(host, options(10, 3));
    t.showCursor();
    t.hideCursor();
    t.hideCursor();
    t.showCursor();
    EXPECT_EQ(host.hides, 1);
    EXPECT_EQ(host.shows, 1);
}

TEST_F(TerminalTest, ResizeBelowMinimumGivesTwoByOne) {
    Terminal t(host, options(10, 3));
    t.resize(1, 0);
    EXPECT_EQ(t.getDims(), std::make_pair(2, 1));
    t.feed(std::string_view("abcdef\r\n\x1b"
                            "D\x1bM\x08"));
}

// ----- scrolling --------------------------------------------------------------------------

TEST_F(TerminalTest, FullRingRecyclesAndKeepsTheUsersView) {
    Terminal t(host, options(4, 2, 3));
    for (int i = 0; i < 4; ++i)
        t.feed(std::to_string(i) + "\r\n");
    Buffer& b = t.buffer();
    ASSERT_TRUE(b.lines().isFull());
    const int yBase = b.yBase();
    const int linesTop = b.linesTop;
    t.userScrolling = true;
    b.setYDisp(2);
    t.feed(std::string_view("x\r\n"));
    EXPECT_EQ(b.yBase(), yBase);
    EXPECT_EQ(b.linesTop, linesTop + 1);
    EXPECT_EQ(b.yDisp(), 1);
    EXPECT_EQ(b.lines().count(), 5);
}

TEST_F(TerminalTest, ScrollRegionScrollsOnlyItsRows) {
    Terminal t(host, options(4, 4));
    t.feed(std::string_view("a\r\nb\r\nc\r\nd"));
    t.buffer().setScrollTop(1);
    t.buffer().setScrollBottom(2);
    t.buffer().setY(2);
    t.feed(std::string_view("\n"));
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"a", "c", "", "d"}));
}

TEST_F(TerminalTest, DirtyRangeCoversWrappedRows) {
    Terminal t(host, options(4, 4));
    t.clearUpdateRange();
    t.feed(std::string_view("abcdef"));
    ASSERT_TRUE(t.getUpdateRange());
    EXPECT_EQ(*t.getUpdateRange(), std::make_pair(0, 1));
    t.clearUpdateRange();
    EXPECT_FALSE(t.getUpdateRange());
}

TEST_F(TerminalTest, UnknownSequencesAreIgnored) {
    Terminal t(host, options(10, 2));
    t.feed(std::string_view("\x1b[99;99X\x1b"
                            "Z\x1b]999;x\x07"
                            "ok"));
    EXPECT_EQ(rowText(*t.getLine(0), t.tables()), "ok");
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

TEST(TerminalReset, ResetAfterScrollingStartsAFreshScreen) {
    termtest::RecordingDelegate host;
    TerminalOptions o;
    o.cols = 5;
    o.rows = 3;
    Terminal t(host, o);
    for (int i = 0; i < 10; ++i) t.feed(std::to_string(i) + "\r\n");
    ASSERT_GT(t.normalBuffer().yBase(), 0);
    t.feed(std::string_view("\x1b" "cok"));
    Buffer& b = t.normalBuffer();
    EXPECT_EQ(b.yBase(), 0);
    EXPECT_EQ(b.lines().count(), 3);
    EXPECT_EQ(termtest::screenText(t), (std::vector<std::string>{"ok", "", ""}));
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

// Diagnostics stay behind silentLog, so a program cannot write into the output of a
// host that prints to standard output (the headless tools do).
TEST(TerminalDiagnostics, NothingReachesStandardOutputWhileSilent) {
    termtest::RecordingDelegate host;
    Terminal t(host);
    ::testing::internal::CaptureStdout();
    t.feed(std::string_view("\x1b[1'z\x1b[99;99@@\x1b[?1;2$y\x1b" "Z\x1b]999;x\x07\x1b[:m"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    t.setSilentLog(false);
    ::testing::internal::CaptureStdout();
    t.feed(std::string_view("\x1b]999;x\x07"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Info: Unknown OSC code: 999\n");
}

} // namespace
} // namespace tarvik
