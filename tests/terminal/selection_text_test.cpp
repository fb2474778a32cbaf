#include <gtest/gtest.h>

#include "terminal/Terminal.h"
#include "terminal/TextExtraction.h"

namespace tarvik {
namespace {

// Not the shared test host: its rowText would clash with the engine's own.
struct RecordingDelegate : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
};

TerminalOptions options(int cols, int rows, int scrollback = 50) {
    return TerminalOptions{.cols = cols, .rows = rows, .scrollback = scrollback};
}

struct ExtractionCase {
    const char* name;
    const char* input;
    Position start;
    Position end;
    const char* expected;
};

// Screen 10 x 5. Positions are (col, row); the end column is exclusive.
const ExtractionCase extractionCases[] = {
    {"PartOfOneRow", "hello world", {0, 0}, {5, 0}, "hello"},
    {"ReversedPositions", "hello world", {5, 0}, {0, 0}, "hello"},
    {"EqualPositions", "hello", {2, 0}, {2, 0}, ""},
    {"BlankRowBetween", "ab\r\n\r\ncd", {0, 0}, {2, 2}, "ab\n\ncd"},
    {"TrailingBlankRowsDropped", "ab\r\ncd", {0, 0}, {9, 4}, "ab\ncd"},
    {"WrapAfterWideCharacter", "abcdefgh\xe6\xbc\xa2xyz", {0, 0}, {3, 1}, "abcdefgh\xe6\xbc\xa2xyz"},
    {"WideCharacterPushedToNextRow", "abcdefghi\xe6\xbc\xa2", {0, 0}, {2, 1}, "abcdefghi\xe6\xbc\xa2"},
    {"SoftWrapJoinsWithoutBreak", "0123456789abc\r\nz", {0, 0}, {1, 2}, "0123456789abc\nz"},
    {"NullCellsInsideBecomeSpaces", "a\x1b[5Cb", {0, 0}, {10, 0}, "a     b"},
    {"TrailingNullsDroppedTypedSpacesKept", "ab   \r\ncd", {0, 0}, {9, 1}, "ab   \ncd"},
    {"WideCharactersHaveNoFillerSpace",
     "\xe6\xbc\xa2\xe5\xad\x97x",
     {0, 0},
     {10, 0},
     "\xe6\xbc\xa2\xe5\xad\x97x"},
    {"StartOnFillerHalfOfWideCharacter", "\xe6\xbc\xa2\xe5\xad\x97", {1, 0}, {10, 0}, "\xe5\xad\x97"},
    {"EmojiClusterAndSpaceAfter",
     "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd ok",
     {0, 0},
     {10, 0},
     "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd ok"},
    {"StartsOnBlankRow", "\r\ncd", {0, 0}, {2, 1}, "\ncd"},
    {"EndColumnZeroOnNextRowKeepsBreak", "ab\r\ncd", {0, 0}, {0, 1}, "ab\n"},
    {"StartRowBeyondBuffer", "ab", {0, 40}, {0, 41}, ""},
    {"EndRowClampedToLastLine", "ab\r\ncd", {0, 1}, {3, 1000}, "cd"},
};

class ExtractionTest : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(ExtractionTest, GivesTheCopiedText) {
    RecordingDelegate host;
    Terminal t(host, options(10, 5));
    t.feed(std::string_view(GetParam().input));
    EXPECT_EQ(t.getText(GetParam().start, GetParam().end), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Selection, ExtractionTest, ::testing::ValuesIn(extractionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SelectionLines, BlankRowsBecomeTheirOwnLines) {
    RecordingDelegate host;
    Terminal t(host, options(10, 5));
    t.feed(std::string_view("ab\r\n\r\ncd"));
    const std::vector<Line> lines = t.getSelectedLines({0, 0}, {2, 2});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].fragments, (std::vector<LineFragment>{{"ab", 0, 0, 2}, {"\n", 0, -1, 1}}));
    EXPECT_EQ(lines[1].fragments, (std::vector<LineFragment>{{"", 1, 0, 0}, {"\n", 1, -1, 1}}));
    EXPECT_EQ(lines[2].fragments, (std::vector<LineFragment>{{"cd", 2, 0, 2}}));
    EXPECT_EQ(lines[0].length, 3);
}

TEST(RowText, CopiesOneRowLikeASelection) {
    RecordingDelegate host;
    Terminal t(host, options(12, 3, 10));
    t.feed(std::string_view("a\x1b[2Cb\xe6\xbc\xa2 \r\n  \r\n"));
    EXPECT_EQ(rowText(*t.getLine(0), t.tables()), "a  b\xe6\xbc\xa2 ");
    EXPECT_EQ(rowText(*t.getLine(1), t.tables()), "  ");
    EXPECT_EQ(rowText(*t.getLine(2), t.tables()), "");

    // The whole-buffer dump uses the same rows; the alternate screen has no history.
    const std::string dump = "a  b\xe6\xbc\xa2 \n  \n\n";
    EXPECT_EQ(t.getBufferAsData(), std::vector<uint8_t>(dump.begin(), dump.end()));
    EXPECT_EQ(t.getBufferAsData(BufferKind::alt), std::vector<uint8_t>(3, '\n'));
}

TEST(RowText, BufferDumpEncodesUtf16WithSurrogatePairs) {
    RecordingDelegate host;
    Terminal t(host, options(6, 1, 0));
    t.feed(std::string_view("\xe6\xbc\xa2\xf0\x9f\x98\x80"));
    EXPECT_EQ(t.getBufferAsData(BufferKind::active, TextEncoding::utf16LittleEndian),
              (std::vector<uint8_t>{0x22, 0x6F, 0x3D, 0xD8, 0x00, 0xDE, '\n', 0}));
    EXPECT_EQ(t.getBufferAsData(BufferKind::normal, TextEncoding::utf16BigEndian),
              (std::vector<uint8_t>{0x6F, 0x22, 0xD8, 0x3D, 0xDE, 0x00, 0, '\n'}));
}

} // namespace
} // namespace tarvik
