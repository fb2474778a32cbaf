#include <gtest/gtest.h>

#include <array>
#include <string>

#include "terminal/CharData.h"
#include "terminal/GraphemeTable.h"
#include "terminal/Terminal.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;

TerminalOptions smallScreen() {
    TerminalOptions o;
    o.cols = 10;
    o.rows = 3;
    return o;
}

std::u32string scalarsOf(const CharData& cell, const CellTables& tables) {
    std::array<char32_t, GraphemeTable::maxClusterLength> out{};
    return std::u32string(out.data(), cell.copyScalars(out, tables));
}

// Well-formed sequences take a direct decoder; these sit on the edges of its byte
// ranges, where an off-by-one would print a wrong character or accept a forbidden one.
TEST(PrintPath, DecodesAtTheEdgesOfEveryByteRange) {
    struct Case {
        const char* bytes;
        char32_t shown;
        int width;
    };
    const Case cases[] = {
        {"\xC2\x80", 0, 1},                // smallest two-byte value, a C1 control: no text
        {"\xDF\xBF", 0x7FF, 1},            // largest two-byte value
        {"\xC2\xC0", 0xFFFD, 1},           // second byte is no continuation
        {"\xE0\xA0\x80", 0x800, 1},        // smallest three-byte value
        {"\xE0\x9F\xBF", 0xFFFD, 1},       // overlong
        {"\xED\x9F\xBF", 0xD7FF, 1},       // last scalar before the surrogates
        {"\xED\xA0\x80", 0xFFFD, 1},       // a surrogate
        {"\xEF\xBF\xBD", 0xFFFD, 1},       // the replacement character itself
        {"\xE4\xB8\x41", 0xFFFD, 1},       // third byte is no continuation
        {"\xF0\x90\x80\x80", 0x10000, 1},  // smallest four-byte value
        {"\xF0\x8F\xBF\xBF", 0xFFFD, 1},   // overlong
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 1}, // largest scalar
        {"\xF4\x90\x80\x80", 0xFFFD, 1},   // beyond Unicode
        {"\xF0\x9F\x98\x80", 0x1F600, 2},  // emoji, two columns
        {"\xF0\x9F\x98\xC0", 0xFFFD, 1},   // fourth byte is no continuation
    };
    for (const Case& c : cases) {
        RecordingDelegate host;
        Terminal t(host, smallScreen());
        t.feed(std::string_view(c.bytes));
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(scalarsOf(*t.getCharData(0, 0), t.tables()), std::u32string(1, c.shown));
        EXPECT_EQ(t.getCharData(0, 0)->width(), c.width);
    }
}

// Marks join the previous cell through a fixed buffer sized for the longest cluster
// the table keeps; these runs join onto stored clusters, fill the buffer and overflow it.
TEST(PrintPath, CombiningMarksJoinTheCellWrittenLast) {
    struct Case {
        char32_t base;
        int marks;
        std::size_t expectedLength;
        int width;
    };
    const Case cases[] = {
        {U'e', 1, 2, 1},
        {U'e', 2, 3, 1},                                // onto a cluster already in the table
        {U'e', 31, GraphemeTable::maxClusterLength, 1}, // exactly fills a cluster
        {U'e', 60, GraphemeTable::maxClusterLength, 1}, // further marks are dropped
        {U'\u4E2D', 1, 2, 2},                           // a wide cell stays wide
    };
    for (const Case& c : cases) {
        RecordingDelegate host;
        Terminal t(host, smallScreen());
        std::string text;
        appendUtf8(text, c.base);
        for (int i = 0; i < c.marks; ++i)
            text += "\xCC\x81";
        t.feed(std::string_view(text));
        SCOPED_TRACE(text);
        const std::u32string cell = scalarsOf(*t.getCharData(0, 0), t.tables());
        EXPECT_EQ(cell.size(), c.expectedLength);
        EXPECT_EQ(cell.front(), c.base);
        EXPECT_EQ(cell.back(), U'\u0301');
        EXPECT_EQ(t.getCharData(0, 0)->width(), c.width);
    }
}

// copyScalars must spell a cell exactly as getCharacter does, odd codes included.
TEST(PrintPath, CopyScalarsMatchesGetCharacter) {
    CellTables tables;
    CharData cells[6];
    cells[1].setValue(U'a', 1);
    cells[2].setValue(static_cast<char32_t>(0xD800), 1);
    cells[3].setValue(static_cast<char32_t>(0x110000), 1);
    cells[4].setValue(U"a\u0301\u0302", 1, tables);
    cells[5].setValue(U"\U0001F1E9\U0001F1EA", 2, tables);
    for (const CharData& cell : cells) {
        std::string spelled;
        for (char32_t s : scalarsOf(cell, tables))
            appendUtf8(spelled, s);
        EXPECT_EQ(spelled, cell.getCharacter(tables));
    }
    std::array<char32_t, 2> small{};
    EXPECT_EQ(cells[4].copyScalars(small, tables), 2u); // truncated to the room given
    EXPECT_EQ(cells[4].copyScalars(std::span<char32_t>(), tables), 0u);
}

TEST(PrintPath, GraphemeTableCopiesWithoutAllocating) {
    GraphemeTable table(4);
    const auto code = table.codeFor(U"o\u0308\u0304");
    ASSERT_TRUE(code);
    std::array<char32_t, 2> two{};
    EXPECT_EQ(table.copyCluster(*code, two), 2u);
    EXPECT_EQ(std::u32string(two.data(), 2), U"o\u0308");
    EXPECT_FALSE(table.copyCluster(*code + 1, two));
    EXPECT_FALSE(table.copyCluster(5, two));
    // A lookup by a view of an existing cluster returns its code and adds nothing.
    const std::u32string again = U"o\u0308\u0304";
    EXPECT_EQ(table.codeFor(std::u32string_view(again)), code);
    EXPECT_EQ(table.size(), 1u);
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

// A character printed on its own takes a short cut; wherever the cut does not apply
// (pending wrap, margins, insert mode, another character set) it must land exactly as it
// does inside a longer run. Fed byte by byte, every character arrives alone.
const char* const printSetups[] = {
    "",
    "\x1b[4h\x1b[1;3H",                        // insert mode pushes cells right
    "\x1b[?69h\x1b[3;6s\x1b[1;5H",             // right margin: wraps at column 6
    "\x1b[?7l",                                // no wraparound: the last column is overwritten
    "\x1b(0",                                  // DEC special graphics
    "\x1b[1\"q\x1b]8;;http://x\x1b\\\x1b[31m", // protected, linked, coloured
    "\x1b[2;3r\x1b[3;9H",                      // wraps inside a region, scrolling it
};

// Under every set-up, `text` fed in one chunk lands as it does fed a byte at a time.
void expectWholeAndByteByByteAgree(const std::string& text) {
    for (const char* setup : printSetups) {
        RecordingDelegate wholeHost, byteHost;
        Terminal whole(wholeHost, smallScreen()), byByte(byteHost, smallScreen());
        whole.feed(std::string(setup) + text);
        byByte.feed(setup);
        for (char c : text)
            byByte.feed(std::string(1, c));
        SCOPED_TRACE(testing::PrintToString(std::string(setup)));
        EXPECT_EQ(byByte.getCursorLocation(), whole.getCursorLocation());
        for (int row = 0; row < whole.rows(); ++row)
            for (int col = 0; col < whole.cols(); ++col) {
                const CharData& a = *byByte.getCharData(col, row);
                const CharData& b = *whole.getCharData(col, row);
                // Cluster codes name entries of each terminal's own table: compare the text.
                EXPECT_EQ(a.getCharacter(byByte.tables()), b.getCharacter(whole.tables()))
                    << col << "," << row;
                EXPECT_EQ(a.width(), b.width()) << col << "," << row;
                EXPECT_EQ(a.attribute, b.attribute) << col << "," << row;
                EXPECT_EQ(a.isProtected(), b.isProtected()) << col << "," << row;
                EXPECT_EQ(a.hasPayload(), b.hasPayload()) << col << "," << row;
            }
    }
}

// Text written straight into the row in one chunk lands as the general path puts it one
// byte at a time (a multi-byte character cut across chunks always takes that path): wide
// characters at the edge, marks joining letters, marks after wide characters and after
// a mark, variation selectors, C1 controls in UTF-8, malformed and cut sequences.
TEST(PrintPath, TextInTheRowLandsAsTheGeneralPathPutsIt) {
    expectWholeAndByteByByteAgree(
        "ab\u4e00c\U0001F600\u2500e\u0301\u0302\u4e8c\u0300d\u2764\uFE0F"
        "\xc2\x85x\x7f\xe4\xb8\xff\u00e9\u0327\u1100\u1161\u4e09\u4e09\u4e09\u4e09\u4e09"
        "fghij\u0915\u094d\u0937\U0001F1E9\U0001F1EA");
}

TEST(PrintPath, ALoneCharacterLandsAsInARun) {
    expectWholeAndByteByByteAgree("abcdefghijklmnopq");
}

// Rows that come back from the history when the screen grows, and rows a fresh screen has
// not used yet: a character addressed onto either lands as on any row, and the rest of
// the row stays as it was.
TEST(PrintPath, ALoneCharacterOnARowBackFromTheHistoryOrNotYetMade) {
    TerminalOptions o = smallScreen();
    o.scrollback = 100;
    RecordingDelegate host;
    Terminal t(host, o);
    t.feed("\x1b[31mline1\r\nline2\r\nline3\r\nline4\r\nline5");
    t.resize(10, 6);
    t.feed("\x1b[mX\x1b[1;3HY\x1b[2;5HZ\x1b[6;10HW");
    EXPECT_EQ(termtest::screenText(t),
              (std::vector<std::string>{"liYe1", "lineZ", "line3", "line4", "line5X", "         W"}));
    EXPECT_EQ(t.getCharData(0, 0)->attribute.fg, Attribute::Color::ansi256(1));
    EXPECT_EQ(t.getCharData(2, 0)->attribute.fg, Attribute{}.fg);
}

// A mark that comes after a sequence joins the last character of the ASCII run before it,
// however long the run and wherever it ended (mid-row, on the last column, wrapped).
TEST(PrintPath, AMarkAfterASequenceJoinsTheLastCharacterOfARun) {
    expectWholeAndByteByByteAgree("a\x1b[1m\u0301\x1b[mbc\x1b[m\u0302\x1b[4mdefghij\x1b[m\u0303\x1b[1m"
                                  "klmnopqrstu\x1b[m\u0304");
}

// Runs of ASCII of every length up to most of a wide row, from columns on and off any
// block boundary, fill exactly their own cells: the pen, each byte in order, and the
// cells on either side as they were.
TEST(PrintPath, AsciiRunsOfEveryLengthFillExactlyTheirCells) {
    TerminalOptions wide;
    wide.cols = 100;
    wide.rows = 2;
    for (int start : {0, 1, 3, 15, 16, 17, 37}) {
        for (int length = 1; start + length < wide.cols && length <= 60; ++length) {
            RecordingDelegate host;
            Terminal t(host, wide);
            std::string text;
            for (int k = 0; k < length; ++k)
                text += static_cast<char>('!' + (k * 7 + start) % 94);
            // The screen filled with E first, so that a cell written by mistake shows.
            t.feed("\x1b#8\x1b[1;" + std::to_string(start + 1) + "H\x1b[32m" + text);
            SCOPED_TRACE(testing::Message() << "start " << start << " length " << length);
            for (int col = 0; col < wide.cols; ++col) {
                const CharData& cell = *t.getCharData(col, 0);
                const bool inRun = col >= start && col < start + length;
                ASSERT_EQ(cell.getCharacter(t.tables()),
                          inRun ? std::string(1, text[static_cast<std::size_t>(col - start)]) : "E")
                    << col;
                ASSERT_EQ(cell.attribute.fg == Attribute::Color::ansi256(2), inRun) << col;
                ASSERT_EQ(cell.width(), 1) << col;
            }
            EXPECT_EQ(t.getCursorLocation().first, start + length);
        }
    }
}

} // namespace
} // namespace tarvik
