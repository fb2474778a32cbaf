#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "terminal/CircularBufferLineList.h"
#include "tests/terminal/screen_helpers.h"

using namespace tarvik;
using namespace tarvik::screentest;

namespace {

// Each line is named by the character in its first cell; blank lines read as '.'.
CircularBufferLineList ringOf(int maxLength, std::u32string_view names) {
    CircularBufferLineList ring(maxLength, [](int) { return BufferLine(4); });
    for (char32_t name : names)
        ring.push(lineOf(std::u32string(1, name), 4));
    return ring;
}

std::string namesOf(const CircularBufferLineList& ring) {
    std::string names;
    for (int i = 0; i < ring.count(); ++i)
        names += cellsOf(ring[i]).front();
    return names;
}

TEST(LineRingTest, PushPastCapacityDropsOldest) {
    CircularBufferLineList ring = ringOf(3, U"ABC");
    std::vector<int> trims;
    ring.onTrim = [&](int amount) { trims.push_back(amount); };
    ring.push(lineOf(U"D", 4));
    EXPECT_EQ(namesOf(ring), "BCD");
    EXPECT_EQ(ring.count(), 3);
    ring.push(lineOf(U"E", 4));
    EXPECT_EQ(namesOf(ring), "CDE");
    EXPECT_EQ(trims, (std::vector<int>{1, 1}));
}

TEST(LineRingTest, RecycleReusesTheOldestLineStorage) {
    CircularBufferLineList ring = ringOf(3, U"ABC");
    ring.push(lineOf(U"D", 4)); // rotate once so the start index is not 0
    const CharData* oldest = ring[0].getData().data();
    ring[0].isWrapped = true;
    ring[0].renderMode = BufferLine::RenderLineMode::doubleWidth;
    int trimmed = 0;
    ring.onTrim = [&](int amount) { trimmed += amount; };

    ring.recycle();
    EXPECT_EQ(namesOf(ring), "CD.");
    EXPECT_EQ(ring.count(), 3);
    EXPECT_EQ(ring[2].getData().data(), oldest); // same cells, no allocation
    EXPECT_EQ(cellsOf(ring[2]), "....");
    EXPECT_TRUE(ring[2].isWrapped); // left to the caller
    EXPECT_EQ(ring[2].renderMode, BufferLine::RenderLineMode::single);
    EXPECT_EQ(trimmed, 1);

    CircularBufferLineList partial = ringOf(5, U"AB");
    partial.recycle(); // appends rather than aborting
    EXPECT_EQ(namesOf(partial), "AB.");
}

TEST(LineRingTest, SpliceReportsEveryWrittenIndex) {
    CircularBufferLineList ring = ringOf(5, U"ABC");
    const BufferLine x = lineOf(U"X", 4);
    std::vector<int> changed;
    ring.splice(1, 1, std::span(&x, 1), [&](int index) { changed.push_back(index); });
    EXPECT_EQ(namesOf(ring), "AXC");
    EXPECT_EQ(changed, (std::vector<int>{1, 2, 1}));

    const BufferLine items[] = {lineOf(U"Y", 4), lineOf(U"Z", 4)};
    ring.splice(3, 0, items);
    EXPECT_EQ(namesOf(ring), "AXCYZ");
    ring.splice(0, 2, {});
    EXPECT_EQ(namesOf(ring), "CYZ");
    ring.splice(0, 0, std::span(&ring[2], 1)); // an item taken from the ring itself
    EXPECT_EQ(namesOf(ring), "ZCYZ");
    ring.splice(-5, 100, {}); // clamped to the list
    EXPECT_EQ(ring.count(), 0);
}

TEST(LineRingTest, SpliceIntoFullRingDropsTheOldestLines) {
    struct Case {
        int start;
        const char* expected;
    };
    // Inserting X into A B C gives four lines; the oldest of them goes.
    for (const Case& c : {Case{0, "ABC"}, Case{1, "XBC"}, Case{2, "BXC"}, Case{3, "BCX"}}) {
        CircularBufferLineList ring = ringOf(3, U"ABC");
        const BufferLine x = lineOf(U"X", 4);
        int changes = 0;
        ring.splice(c.start, 0, std::span(&x, 1), [&](int) { ++changes; });
        EXPECT_EQ(namesOf(ring), c.expected) << c.start;
        EXPECT_EQ(changes, 3) << "every line moved";
    }
}

TEST(LineRingTest, ShiftElementsRejectsBadArguments) {
    struct Case {
        int start, count, offset;
        const char* message;
    };
    const Case cases[] = {
        {0, 1, 0, "start+offset <= 0"}, {2, 1, -2, "start+offset <= 0"},  {-1, 1, 2, "start < 0"},
        {0, -1, 1, "count < 0"},        {3, 1, 1, "start >= self.count"},
    };
    for (const Case& c : cases) {
        CircularBufferLineList ring = ringOf(5, U"ABC");
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ring.shiftElements(c.start, c.count, c.offset));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

        ring.silentLog = false;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(ring.shiftElements(c.start, c.count, c.offset));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Assertion at start=" + std::to_string(c.start) + " count=" + std::to_string(c.count) +
                      " offset=" + std::to_string(c.offset) + ": " + c.message + "\n");
        EXPECT_EQ(namesOf(ring), "ABC");
    }
}

TEST(LineRingTest, ShiftElementsMovesBlocks) {
    struct Case {
        int maxLength;
        const char32_t* lines;
        int start, count, offset;
        const char* expected;
    };
    const Case cases[] = {
        {5, U"ABC", 1, 2, 1, "ABBC"},   // down, growing the list
        {5, U"ABCD", 2, 2, -1, "ACDD"}, // up; the vacated row keeps its old line
        {6, U"AB", 1, 1, 3, "AB..B"},   // rows opened below the old end are blank
        {5, U"ABC", 1, 9, 1, "ABBC"},   // the block ends at the list's end
        {3, U"ABC", 0, 3, 1, "ABC"},    // past the capacity the oldest rows go
        {3, U"ABC", 1, 2, 1, "BBC"},    {3, U"ABC", 1, 1, 4, "..B"},
    };
    for (const Case& c : cases) {
        CircularBufferLineList ring = ringOf(c.maxLength, c.lines);
        EXPECT_TRUE(ring.shiftElements(c.start, c.count, c.offset));
        EXPECT_EQ(namesOf(ring), c.expected) << c.start << "," << c.count << "," << c.offset;
    }
}

TEST(LineRingTest, CopiedRowsStayIndependent) {
    CircularBufferLineList ring = ringOf(5, U"AB");
    ring.shiftElements(1, 1, 1);
    ring[1][0] = cell('Q');
    EXPECT_EQ(namesOf(ring), "AQB");
}

TEST(LineRingTest, MaxLengthChangeKeepsNewestLines) {
    CircularBufferLineList ring = ringOf(5, U"ABCDEF"); // holds B..F, start index 1
    int trimmed = 0;
    ring.onTrim = [&](int amount) { trimmed += amount; };
    ring.setMaxLength(3);
    EXPECT_EQ(namesOf(ring), "DEF");
    EXPECT_EQ(trimmed, 2);
    ring.setMaxLength(6);
    EXPECT_EQ(namesOf(ring), "DEF");
    for (char32_t name : std::u32string_view(U"GHIJ"))
        ring.push(lineOf(std::u32string(1, name), 4));
    EXPECT_EQ(namesOf(ring), "EFGHIJ");
    EXPECT_EQ(ring.maxLength(), 6);
}

TEST(LineRingTest, RotateMovesRowsWithinARange) {
    CircularBufferLineList ring = ringOf(5, U"ABCDE");
    ring.rotate(1, 3, 1);
    EXPECT_EQ(namesOf(ring), "ACDBE");
    ring.rotate(1, 3, -1);
    EXPECT_EQ(namesOf(ring), "ABCDE");
    ring.rotate(0, 99, 7); // clipped to the list, amount taken modulo its length
    EXPECT_EQ(namesOf(ring), "CDEAB");
}

// Rotation must agree with std::rotate for every range and amount, also where the range
// runs across the end of the slot table (the ring's start index is not 0).
TEST(LineRingTest, RotateAgreesWithTheStandardRotateAcrossTheWrap) {
    for (int pushedBeyond = 0; pushedBeyond < 6; ++pushedBeyond) {
        for (int first = 0; first < 6; ++first) {
            for (int last = first + 1; last < 6; ++last) {
                for (int amount : {1, -1, 2, -2, 4}) {
                    CircularBufferLineList ring = ringOf(6, U"ABCDEF");
                    std::string model = "ABCDEF";
                    for (int i = 0; i < pushedBeyond; ++i) {
                        const char name = static_cast<char>('G' + i);
                        ring.push(lineOf(std::u32string(1, static_cast<char32_t>(name)), 4));
                        model = model.substr(1) + name;
                    }
                    const int length = last - first + 1;
                    const int left = ((amount % length) + length) % length;
                    std::rotate(model.begin() + first, model.begin() + first + left, model.begin() + last + 1);
                    ring.rotate(first, last, amount);
                    EXPECT_EQ(namesOf(ring), model)
                        << "beyond " << pushedBeyond << " rotate(" << first << ", " << last << ", " << amount << ")";
                }
            }
        }
    }
}

TEST(LineRingTest, HugeCapacityGrowsStorageOnDemand) {
    CircularBufferLineList ring(INT_MAX, [](int) { return BufferLine(2); });
    // Lines are numbered through their first cell's code.
    const auto numbered = [](int n) {
        BufferLine line(2);
        line[0] = CharData(CharData::defaultAttr, static_cast<char32_t>(0x1000 + n), 1);
        return line;
    };
    for (int i = 0; i < 1500; ++i)
        ring.push(numbered(i));
    ring.trimStart(700); // the start index moves before the storage has to grow again
    for (int i = 1500; i < 5000; ++i)
        ring.push(numbered(i));
    ASSERT_EQ(ring.count(), 4300);
    for (int i = 0; i < ring.count(); ++i)
        ASSERT_EQ(ring[i][0].code(), 0x1000 + 700 + i) << i;

    int stored = 0;
    ring.forEachStoredLine([&](BufferLine&) { ++stored; });
    EXPECT_GE(stored, 4300);
    EXPECT_LT(stored, 5000);
}

} // namespace
