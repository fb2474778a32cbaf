#include <gtest/gtest.h>

#include <random>

#include "terminal/Terminal.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;
using termtest::rowText;
using termtest::screenText;

TerminalOptions sized(int cols, int rows, int scrollback = 100) {
    TerminalOptions o;
    o.cols = cols;
    o.rows = rows;
    o.scrollback = scrollback;
    return o;
}

// Every line of the normal buffer as text, wrapped rows joined; null cells dropped so
// that a wide character moved across an edge compares equal. cursorGroup receives the
// index of the logical line that holds the cursor. Rows are read without unpacking them,
// so history rows reach the next resize packed.
std::vector<std::string> logicalLines(Terminal& t, int* cursorGroup = nullptr) {
    Buffer& b = t.normalBuffer();
    std::vector<std::string> out;
    const int cursorLine = b.yBase() + b.y();
    for (int i = 0; i < b.lines().count(); ++i) {
        const BufferLine& line = b.lines()[i];
        if (i == 0 || !line.isWrapped) out.emplace_back();
        line.forEachCell([&](const CharData& c) {
            if (c.code() != 0) c.appendCharacter(out.back(), t.tables());
        });
        if (i == cursorLine && cursorGroup) *cursorGroup = static_cast<int>(out.size()) - 1;
    }
    return out;
}

std::vector<std::string> allRows(Terminal& t) {
    std::vector<std::string> rows;
    Buffer& b = t.normalBuffer();
    for (int i = 0; i < b.lines().count(); ++i)
        rows.push_back(rowText(b.lines()[i], t.tables()));
    return rows;
}

TEST(Reflow, LongLineJoinsWhenWiderAndSplitsWhenNarrower) {
    RecordingDelegate host;
    Terminal t(host, sized(10, 5));
    t.feed(std::string_view("abcdefghijklmnopqrstuvwxy\r\n\r\n"));
    ASSERT_EQ(screenText(t), (std::vector<std::string>{"abcdefghij", "klmnopqrst", "uvwxy", "", ""}));

    t.resize(30, 5);
    EXPECT_EQ(screenText(t)[0], "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(t.getCursorLocation().second, 2);
    EXPECT_FALSE(t.getLine(1)->isWrapped);

    t.resize(10, 5);
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"abcdefghij", "klmnopqrst", "uvwxy", "", ""}));
    EXPECT_TRUE(t.getLine(1)->isWrapped);
    EXPECT_TRUE(t.getLine(2)->isWrapped);
    EXPECT_EQ(t.getCursorLocation().second, 4);
}

TEST(Reflow, TheCursorsGroupIsLeftAlone) {
    RecordingDelegate host;
    Terminal t(host, sized(10, 5));
    t.feed(std::string_view("abcdefghijklmno"));
    t.resize(30, 5);
    EXPECT_EQ(screenText(t)[0], "abcdefghij");
    EXPECT_EQ(screenText(t)[1], "klmno");
}

TEST(Reflow, WideCharacterAtTheNewEdgeMovesWhole) {
    RecordingDelegate host;
    Terminal t(host, sized(10, 4));
    // "abcd" then a wide character at columns 4-5.
    t.feed(std::string_view("abcd\xE4\xB8\x80xyz\r\n\r\n"));
    t.resize(5, 4);
    const std::vector<std::string> rows = allRows(t);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], "abcd");
    EXPECT_EQ(rows[1], "\u4E00xyz");
    EXPECT_EQ(t.normalBuffer().lines()[0][4].code(), 0);
    EXPECT_TRUE(t.normalBuffer().lines()[1].isWrapped);
}

TEST(Reflow, ShrinkingRowsWithCursorOnLastRowKeepsText) {
    RecordingDelegate host;
    Terminal t(host, sized(5, 4));
    t.feed(std::string_view("1\r\n2\r\n3\r\n4"));
    t.resize(5, 2);
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"3", "4"}));
    EXPECT_EQ(t.normalBuffer().yBase(), 2);
    EXPECT_EQ(t.getCursorLocation().second, 1);
}

TEST(Reflow, ShrinkingRowsRemovesRowsBelowTheCursorFirst) {
    RecordingDelegate host;
    Terminal t(host, sized(5, 4));
    t.feed(std::string_view("1\r\n2"));
    t.resize(5, 2);
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(t.normalBuffer().yBase(), 0);
}

TEST(Reflow, GrowingRowsPullsHistoryBack) {
    RecordingDelegate host;
    Terminal t(host, sized(8, 2));
    t.feed(std::string_view("1\r\n2\r\n3\r\n4"));
    ASSERT_EQ(t.normalBuffer().yBase(), 2);
    // The rows that went into the history are packed; they come back whole.
    EXPECT_TRUE(t.normalBuffer().lines()[0].isPacked());
    EXPECT_TRUE(t.normalBuffer().lines()[1].isPacked());
    t.resize(8, 4);
    EXPECT_EQ(screenText(t), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(t.getCursorLocation().second, 3);
    EXPECT_EQ(t.normalBuffer().yBase(), 0);
}

TEST(Reflow, AlternateBufferIsNotReflowed) {
    RecordingDelegate host;
    Terminal t(host, sized(10, 3));
    Buffer& alt = t.altBuffer();
    alt.lines()[0][9] = CharData(CharData::defaultAttr, U'z', 1);
    t.resize(5, 3);
    EXPECT_EQ(alt.lines()[0].count(), 10);
    EXPECT_EQ(alt.lines()[0][9].code(), 'z');
    t.resize(12, 3);
    EXPECT_GE(alt.lines()[0].count(), 12);
}

TEST(Reflow, SavedCursorKeepsItsDistanceFromTheCursor) {
    RecordingDelegate host;
    Terminal t(host, sized(5, 4));
    t.feed(std::string_view("1\r\n2\x1b"
                            "7\r\n3\r\n4"));
    ASSERT_EQ(t.normalBuffer().savedY, 1);
    t.resize(5, 2);
    EXPECT_EQ(t.normalBuffer().savedY, 0);
    EXPECT_EQ(t.getCursorLocation().second, 1);
}

// Random text and random sizes: logical lines above the cursor's group survive every
// resize unchanged, and the screen stays consistent.
TEST(Reflow, RandomResizesKeepLogicalLines) {
    std::mt19937 rng(20261206);
    const char* pieces[] = {"a",   "bc", "def", " ", "xyz0123456789", "\xE4\xB8\x80", "\xF0\x9F\x98\x80",
                            "\r\n"};
    int packedBeforeResize = 0;
    for (int round = 0; round < 40; ++round) {
        RecordingDelegate host;
        Terminal t(host, sized(4 + static_cast<int>(rng() % 30), 2 + static_cast<int>(rng() % 10), 2000));
        for (int step = 0; step < 12; ++step) {
            std::string text;
            const int n = static_cast<int>(rng() % 40);
            for (int k = 0; k < n; ++k)
                text += pieces[rng() % std::size(pieces)];
            t.feed(text);

            int groupBefore = 0;
            const std::vector<std::string> before = logicalLines(t, &groupBefore);
            for (int i = 0; i < t.normalBuffer().lines().count(); ++i)
                packedBeforeResize += t.normalBuffer().lines()[i].isPacked();
            t.resize(2 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 12));
            int groupAfter = 0;
            const std::vector<std::string> after = logicalLines(t, &groupAfter);
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step));
            ASSERT_EQ(groupBefore, groupAfter);
            for (int i = 0; i < groupBefore; ++i)
                ASSERT_EQ(before[i], after[i]) << "logical line " << i;
            Buffer& b = t.normalBuffer();
            ASSERT_LE(b.yDisp(), b.yBase());
            ASSERT_LE(b.yBase() + t.rows(), b.lines().count());
            ASSERT_LT(b.y(), t.rows());
            for (int i = 0; i < b.lines().count(); ++i)
                ASSERT_GE(b.lines()[i].count(), t.cols());
        }
    }
    EXPECT_GT(packedBeforeResize, 0) << "resizing must also meet packed history rows";
}

} // namespace
} // namespace tarvik
