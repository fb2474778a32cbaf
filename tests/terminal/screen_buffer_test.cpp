#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "terminal/Buffer.h"
#include "tests/terminal/screen_helpers.h"

using namespace tarvik;
using namespace tarvik::screentest;

namespace {

std::vector<int> stopsOf(const Buffer& buffer) {
    std::vector<int> stops;
    for (std::size_t i = 0; i < buffer.tabStops.size(); ++i)
        if (buffer.tabStops[i]) stops.push_back(static_cast<int>(i));
    return stops;
}

// A filled screen with wraparound on, as the terminal sets it up.
struct Screen {
    explicit Screen(int cols, int rows = 3) : buffer(cols, rows, 8, 100) {
        buffer.fillViewportRows();
        buffer.useModes(modes);
    }
    void type(std::u32string_view text) {
        for (char32_t c : text)
            buffer.insertCharacter(cell(c));
    }
    std::string row(int y) { return cellsOf(buffer.lines()[buffer.yBase() + y]); }
    EditingModes modes; // wraparound on
    Buffer buffer;
};

TEST(BufferTest, RingCapacityFollowsScrollback) {
    EXPECT_EQ(Buffer(80, 25, 8, 500).lines().maxLength(), 525);
    EXPECT_EQ(Buffer(80, 25).lines().maxLength(), 25);
    EXPECT_EQ(Buffer(80, 25, 8, INT_MAX - 3).lines().maxLength(), INT_MAX);
    const Buffer buffer(80, 25, 8, 500);
    EXPECT_EQ(buffer.getCorrectBufferLength(30), 530);
    EXPECT_TRUE(buffer.isReflowEnabled());
    EXPECT_EQ(buffer.lines().count(), 0);
    EXPECT_EQ(buffer.scrollBottom(), 24);
    EXPECT_EQ(buffer.marginRight, 79);
}

TEST(BufferTest, TabStopsFreshSetup) {
    Buffer buffer(80, 25);
    struct Case {
        bool next;
        int from;
        int expected;
    };
    const Case cases[] = {{true, 0, 8},  {true, 72, 79}, {true, 79, 79}, {true, 200, 79}, {true, -7, 0},
                          {false, 9, 8}, {false, 3, 0},  {false, 8, 0},  {false, 0, 0},   {false, 200, 72}};
    for (const Case& c : cases) {
        const int result = c.next ? buffer.nextTabStop(false, c.from) : buffer.previousTabStop(c.from);
        EXPECT_EQ(result, c.expected) << (c.next ? "next from " : "previous from ") << c.from;
    }
    buffer.setX(17);
    EXPECT_EQ(buffer.nextTabStop(false), 24);
    EXPECT_EQ(buffer.previousTabStop(), 16);
    buffer.marginRight = 20;
    EXPECT_EQ(buffer.nextTabStop(true, 16), 20);
    buffer.marginRight = 500; // margins take any value; a tab still ends on the screen
    EXPECT_EQ(buffer.nextTabStop(true, 75), 79);
}

TEST(BufferTest, TabStopsAfterWidthChange) {
    // Widening: the old 80-column table continues at 80, 88 and 96.
    Buffer wide(100, 5);
    wide.tabStops.assign(80, false);
    wide.tabStops[0] = wide.tabStops[8] = wide.tabStops[72] = true;
    wide.setupTabStops(80, 8);
    EXPECT_EQ(stopsOf(wide), (std::vector<int>{0, 8, 72, 80, 88, 96}));

    // Narrowing keeps the stops below the new width.
    Buffer narrow(40, 5);
    narrow.tabStops.assign(80, false);
    for (int i = 0; i < 80; i += 8)
        narrow.tabStops[static_cast<std::size_t>(i)] = true;
    narrow.setupTabStops(80, 8);
    EXPECT_EQ(stopsOf(narrow), (std::vector<int>{0, 8, 16, 24, 32}));

    Buffer zero(20, 5, 0); // no endless loop, only the first column
    EXPECT_EQ(stopsOf(zero), (std::vector<int>{0}));
}

TEST(BufferTest, WrapIsPendingUntilTheNextCharacter) {
    Screen screen(10);
    EXPECT_FALSE(screen.buffer.lastBufferStorage());
    screen.type(U"0123456789");
    EXPECT_EQ(screen.buffer.x(), 10);
    EXPECT_EQ(screen.buffer.y(), 0);
    EXPECT_EQ(screen.buffer.lastBufferStorage(), (Buffer::InsertionPoint{0, 9, 10, 3}));
    screen.type(U"k");
    EXPECT_EQ(screen.buffer.lastBufferStorage(), (Buffer::InsertionPoint{1, 0, 10, 3}));
    EXPECT_EQ(screen.row(0), "0123456789");
    EXPECT_EQ(screen.row(1), "k.........");
    EXPECT_TRUE(screen.buffer.lines()[1].isWrapped);
    EXPECT_EQ(screen.buffer.x(), 1);
    EXPECT_EQ(screen.buffer.y(), 1);
}

TEST(BufferTest, WithoutWraparoundTheLastColumnIsOverwritten) {
    Screen screen(10);
    screen.modes.wraparound = false;
    screen.type(U"0123456789abc");
    EXPECT_EQ(screen.row(0), "012345678c");
    EXPECT_EQ(screen.row(1), "..........");
    EXPECT_EQ(screen.buffer.y(), 0);
}

TEST(BufferTest, WideCharacterAtTheLastColumn) {
    Screen dropped(10);
    dropped.modes.wraparound = false;
    dropped.type(U"012345678");
    dropped.buffer.insertCharacter(cell(U'\u4E2D', 2));
    EXPECT_EQ(dropped.row(0), "012345678.");
    EXPECT_EQ(dropped.buffer.x(), 9);

    Screen wrapped(10);
    wrapped.buffer.curAttr.bg = Attribute::Color::ansi256(3);
    wrapped.type(U"012345678");
    wrapped.buffer.insertCharacter(cell(U'\u4E2D', 2));
    EXPECT_EQ(wrapped.row(0), "012345678.");
    EXPECT_EQ(wrapped.row(1), "\u4E2D.........");
    EXPECT_EQ(wrapped.buffer.lines()[1][1].attribute, wrapped.buffer.curAttr); // the filler takes the pen
    EXPECT_EQ(wrapped.buffer.x(), 2);
}

// putNarrowCell is insertCharacter's short cut for a cell that fits where the cursor is. Where
// it takes a cell, the screen, cursor and last-written point must be exactly what
// insertCharacter leaves; where it declines, it must have changed nothing.
TEST(BufferTest, PutNarrowCellAgreesWithInsertCharacter) {
    struct Case {
        const char* name;
        int x;
        bool insert = false;
        bool wrap = true;
        int marginRight = -1; // margin mode with this right margin
        bool isProtected = false;
    };
    const Case cases[] = {
        {"at the start", 0},
        {"in the last column", 9},
        {"pending wrap", 10},
        {"pending wrap, no wrap", 10, false, false},
        {"insert mode", 3, true},
        {"at the right margin", 5, false, true, 5},
        {"beyond the right margin", 7, false, true, 5},
        {"protected", 2, false, true, -1, true},
    };
    int taken = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Screen fast(10), slow(10);
        for (Screen* s : {&fast, &slow}) {
            s->type(U"abcdefghij");
            s->buffer.setX(c.x);
            s->buffer.curAttr.bg = Attribute::Color::ansi256(5);
            s->modes.insertMode = c.insert;
            s->modes.wraparound = c.wrap;
            if (c.marginRight >= 0) {
                s->modes.marginMode = true;
                s->buffer.marginRight = c.marginRight;
            }
        }
        CharData printed = cell(U'x');
        printed.setProtected(c.isProtected);
        const std::string before = fast.row(0);
        if (!fast.buffer.putNarrowAscii('x', printed)) {
            EXPECT_EQ(fast.row(0), before);
            EXPECT_EQ(fast.buffer.x(), c.x);
            continue;
        }
        ++taken;
        slow.buffer.insertCharacter(printed);
        EXPECT_EQ(fast.buffer.x(), slow.buffer.x());
        EXPECT_EQ(fast.buffer.y(), slow.buffer.y());
        EXPECT_EQ(fast.buffer.lastBufferStorage(), slow.buffer.lastBufferStorage());
        for (int col = 0; col < 10; ++col)
            EXPECT_EQ(fast.buffer.lines()[0][col], slow.buffer.lines()[0][col]) << col;
    }
    EXPECT_EQ(taken, 4); // every case that fits as it is
}

TEST(BufferTest, InsertModeShiftsCellsRight) {
    Screen screen(10);
    screen.type(U"abcdef");
    screen.buffer.setX(1);
    screen.modes.insertMode = true;
    screen.type(U"X");
    EXPECT_EQ(screen.row(0), "aXbcdef...");

    // A wide character pushed into the last column would be cut in half; it is erased.
    Screen edge(10);
    edge.type(U"abcdefgh");
    edge.buffer.insertCharacter(cell(U'\u4E2D', 2));
    edge.buffer.setX(0);
    edge.modes.insertMode = true;
    edge.type(U"X");
    EXPECT_EQ(edge.row(0), "Xabcdefgh.");
    EXPECT_EQ(edge.buffer.lines()[0][9].width(), 1);
}

TEST(BufferTest, WrapOnTheBottomRowScrollsThroughTheCallback) {
    Screen screen(4, 2);
    std::vector<bool> scrolls;
    screen.buffer.setScroll([&](bool isWrapped) { scrolls.push_back(isWrapped); });
    screen.type(U"abcdefghi");
    EXPECT_EQ(scrolls, (std::vector<bool>{true}));
    EXPECT_EQ(screen.buffer.y(), 1);
}

TEST(BufferTest, ScrollBeforeInstallIsSurvivable) {
    Screen screen(4, 1);
    testing::internal::CaptureStdout();
    screen.type(U"abcdef");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(screen.row(0), "efcd");

    screen.buffer.setSilentLog(false);
    testing::internal::CaptureStdout();
    screen.type(U"ghi");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "This should be set after creating a buffer\n");
}

TEST(BufferTest, ClearEmptiesTheRingAndHomesTheCursor) {
    Screen screen(10, 3);
    screen.type(U"hello");
    screen.buffer.setY(2);
    screen.buffer.setYBase(1);
    screen.buffer.setYDisp(1);
    screen.buffer.setScrollTop(1);
    screen.buffer.clear();
    EXPECT_EQ(screen.buffer.lines().count(), 0);
    EXPECT_EQ(screen.buffer.lines().maxLength(), 103);
    EXPECT_EQ(
        (std::vector{screen.buffer.x(), screen.buffer.y(), screen.buffer.yDisp(), screen.buffer.yBase()}),
        (std::vector{0, 0, 0, 1}));
    EXPECT_EQ(screen.buffer.scrollTop(), 0);
    EXPECT_EQ(screen.buffer.getChar({0, 0}), CharData::Null);
    screen.buffer.fillViewportRows();
    EXPECT_EQ(screen.buffer.lines().count(), 3);
    screen.buffer.fillViewportRows(); // only an empty ring is filled
    EXPECT_EQ(screen.buffer.lines().count(), 3);
}

TEST(BufferTest, SoftResetLeavesTheScrollRegionToTheTerminal) {
    Buffer buffer(10, 5);
    buffer.savedX = 4;
    buffer.savedWraparound = true;
    buffer.marginRight = 5;
    buffer.setScrollTop(1);
    buffer.softReset();
    EXPECT_EQ(buffer.savedX, 0);
    EXPECT_FALSE(buffer.savedWraparound);
    EXPECT_EQ(buffer.marginRight, 9);
    EXPECT_EQ(buffer.scrollTop(), 1);
}

} // namespace
