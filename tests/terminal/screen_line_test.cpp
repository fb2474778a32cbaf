#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "terminal/BufferLine.h"
#include "tests/terminal/screen_helpers.h"

using namespace tarvik;
using namespace tarvik::screentest;

namespace {

TEST(BufferLineTest, OutOfRangeIndexesLandOnTheEdges) {
    BufferLine line = lineOf(U"abc", 80);
    line[79] = cell('z');
    EXPECT_EQ(line[200].code(), 'z');
    line[200] = cell('y');
    EXPECT_EQ(line[79].code(), 'y');
    line[-3] = cell('q');
    EXPECT_EQ(line[0].code(), 'q');
    EXPECT_EQ(line.count(), 80);

    BufferLine empty(0);
    empty[5] = cell('x'); // absorbed, not a crash
    EXPECT_EQ(std::as_const(empty)[5], CharData::Null);
    EXPECT_EQ(empty.count(), 0);
}

struct EditCase {
    const char* name;
    bool insert;
    int pos, n, rightMargin;
    const char* expected;
};

class CellEditTest : public testing::TestWithParam<EditCase> {};

TEST_P(CellEditTest, MovesOnlyInsideTheMargin) {
    const EditCase& c = GetParam();
    BufferLine line = lineOf(U"0123456789ab");
    const CharData fill = cell('_');
    if (c.insert)
        line.insertCells(c.pos, c.n, c.rightMargin, fill);
    else
        line.deleteCells(c.pos, c.n, c.rightMargin, fill);
    EXPECT_EQ(cellsOf(line), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CellEditTest,
                         testing::Values(EditCase{"insertAtStart", true, 0, 1, 11, "_0123456789a"},
                                         EditCase{"insertNearEdgeOnlyFills", true, 10, 5, 11, "0123456789__"},
                                         EditCase{"insertInsideMargin", true, 2, 2, 5, "01__236789ab"},
                                         EditCase{"insertMarginPastLine", true, 0, 1, 50, "_0123456789a"},
                                         EditCase{"insertNothing", true, 3, 0, 11, "0123456789ab"},
                                         EditCase{"deleteAtStart", false, 0, 1, 9, "123456789_ab"},
                                         EditCase{"deleteInsideMargin", false, 3, 2, 6, "01256__789ab"},
                                         EditCase{"deleteMoreThanLeft", false, 5, 10, 9, "01234_____ab"},
                                         EditCase{"deleteNegativePos", false, -4, 1, 11, "123456789ab_"}),
                         [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

TEST(BufferLineTest, TrimmedLengthCountsSpacesButNotNullCells) {
    EXPECT_EQ(lineOf(U"ab", 80).getTrimmedLength(), 2);
    BufferLine spaced(80, cell(' '));
    spaced[0] = cell('a');
    spaced[1] = cell('b');
    EXPECT_EQ(spaced.getTrimmedLength(), 80);
    EXPECT_EQ(BufferLine(80).getTrimmedLength(), 0);
}

TEST(BufferLineTest, TranslateToStringRanges) {
    const BufferLine line = lineOf(U"ab.d", 8);
    struct Case {
        bool trimRight;
        int start, end;
        std::string expected;
    };
    const Case cases[] = {
        {true, 0, -1, std::string("ab\0d", 4)},
        {false, 0, -1, std::string("ab\0d\0\0\0\0", 8)},
        {true, 1, 3, std::string("b\0", 2)},
        {true, 6, -1, ""}, // start past the text
        {false, 5, 2, ""},
        {false, 0, 100, std::string("ab\0d\0\0\0\0", 8)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(line.translateToString(screentest::testTables(), c.trimRight, c.start, c.end), c.expected)
            << c.start << ".." << c.end;
}

TEST(BufferLineTest, CopyFromClipsAndHandlesOverlap) {
    BufferLine line = lineOf(U"abcdef");
    line.copyFrom(line, 0, 2, 4); // overlapping, moving right
    EXPECT_EQ(cellsOf(line), "ababcd");
    BufferLine target = lineOf(U"......");
    target.copyFrom(lineOf(U"xyz"), 1, 4, 10); // clipped to both lines
    EXPECT_EQ(cellsOf(target), "....yz");

    BufferLine wrapped = lineOf(U"12", 4);
    wrapped.isWrapped = true;
    wrapped.renderMode = BufferLine::RenderLineMode::doubleWidth;
    BufferLine copy = BufferLine::from(wrapped);
    EXPECT_TRUE(copy.isWrapped);
    EXPECT_EQ(copy.renderMode, BufferLine::RenderLineMode::single);
    EXPECT_EQ(cellsOf(copy), "12..");
}

// Blank rows are filled two or four cells a store where the processor allows: every range
// length and start (a ragged end leaves one to three cells over) and a fill cell taken
// from the line itself must come out cell for cell.
TEST(BufferLineTest, FillWritesExactlyItsRangeAtEveryLengthAndStart) {
    for (int cols : {1, 2, 3, 7, 8, 15, 16, 19, 80, 81}) {
        for (int start = 0; start < std::min(cols, 4); ++start) {
            for (int length = 0; start + length <= cols; ++length) {
                BufferLine line = lineOf(std::u32string(static_cast<std::size_t>(cols), U'a'));
                const CharData fill = cell('_');
                line.fill(fill, start, length);
                for (int col = 0; col < cols; ++col) {
                    const bool inside = col >= start && col < start + length;
                    ASSERT_EQ(line[col], inside ? fill : cell('a'))
                        << cols << ":" << start << "+" << length << " @" << col;
                }
            }
        }
        BufferLine line = lineOf(U"xyz", cols);
        line.fill(line[0]); // the fill cell lies in the range it fills
        for (int col = 0; col < cols; ++col)
            ASSERT_EQ(line[col], cell('x')) << cols << " @" << col;
    }
}

} // namespace

namespace {

// A row packed for the history must give back every cell exactly (code, width,
// attribute, link, protection), and must stay unpacked when packing would not halve it.
TEST(BufferLineTest, PackedRowsGiveBackEveryCell) {
    CharData red = cell('r');
    red.attribute.fg = Attribute::Color::ansi256(1);
    CharData linked = cell('l');
    linked.payload = TinyAtom(7);
    CharData guarded = cell('g');
    guarded.setProtected(true);
    const CharData cluster(CharData::defaultAttr, std::u32string_view(U"e\u0301"), 1, testTables());
    struct Case {
        const char* name;
        int cols;
        std::function<void(BufferLine&)> fill;
        bool packs;
    };
    const Case cases[] = {
        {"plain", 80, [](BufferLine& l) { l = lineOf(U"hello, world", 80); }, true},
        {"blank", 200, [](BufferLine&) {}, true},
        {"oddWidth", 83, [](BufferLine& l) { l = lineOf(std::u32string(83, U'z')); }, true},
        {"oneColumnGainsNothing", 1, [](BufferLine& l) { l[0] = cell('q'); }, false},
        // Rows whose first eight cells look alike but not the rest: in the middle, in
        // the last cell of a width that is no multiple of eight, in a link only.
        {"lookChangesAfterTheFirstBlock", 80, [&](BufferLine& l) { l[40] = red; }, true},
        {"lastCellOfAnOddWidth", 83,
         [&](BufferLine& l) {
             l = lineOf(std::u32string(83, U'z'));
             l[82] = red;
         },
         true},
        // Where a row is read sixteen cells at a time, its last block overlaps the one
        // before: a change in the overlap, and one in a width just past a block.
        {"lastCellPastTheFirstSixteen", 20, [&](BufferLine& l) { l[19] = red; }, true},
        {"seventeenthCellOfSeventeen", 17, [&](BufferLine& l) { l[16] = linked; }, true},
        {"linkFromTheNinthCell", 16,
         [&](BufferLine& l) {
             for (int c = 8; c < 16; ++c)
                 l[c] = linked;
         },
         true},
        {"fourLooks", 80,
         [&](BufferLine& l) {
             l[5] = cluster;
             for (int c = 10; c < 80; ++c)
                 l[c] = c < 20 ? red : c < 30 ? linked : guarded;
         },
         true},
        {"fiveLooks", 80,
         [&](BufferLine& l) {
             for (int c = 10; c < 80; ++c)
                 l[c] = c < 20 ? red : c < 30 ? linked : c < 79 ? guarded : red;
         },
         false},
        {"wideEveryOther", 80,
         [](BufferLine& l) {
             for (int c = 0; c + 1 < 80; c += 2) {
                 l[c] = cell(U'\u4e00', 2);
                 l[c + 1] = cell(0, 0);
             }
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BufferLine line(c.cols);
        c.fill(line);
        const BufferLine before = line;
        std::vector<CharData> spare;
        PackedCells spareCodes;
        ASSERT_EQ(line.pack(spare, spareCodes), c.packs);
        EXPECT_EQ(line.isPacked(), c.packs);
        EXPECT_EQ(spare.size(), c.packs ? static_cast<std::size_t>(c.cols) : 0u);
        // A row left unpacked keeps no code storage: it waits for the next row to pack.
        EXPECT_EQ(spareCodes.storageBytes(), c.packs ? 0u : c.cols * sizeof(std::int32_t));
        EXPECT_EQ(line.count(), c.cols);

        std::vector<CharData> visited;
        line.forEachCell([&](const CharData& cell) { visited.push_back(cell); });
        EXPECT_EQ(line.isPacked(), c.packs) << "visiting keeps the row packed";
        const BufferLine copy = line;
        EXPECT_EQ(copy.isPacked(), c.packs);
        for (int col = 0; col < c.cols; ++col) {
            ASSERT_EQ(visited[static_cast<std::size_t>(col)], before[col]) << "visit @" << col;
            ASSERT_EQ(line[col], before[col]) << "@" << col;
            ASSERT_EQ(copy[col], before[col]) << "copy @" << col;
        }
        EXPECT_FALSE(line.isPacked());
    }
}

// Packing and recycling pass one cell array between rows: a packed row that is reset
// takes the spare storage and comes back blank at its width, and a packed row that is
// edited unpacks first, so the edit lands among its old cells.
TEST(BufferLineTest, PackedRowsResetAndEditAsAnyRow) {
    std::vector<CharData> spare;
    PackedCells spareCodes;
    BufferLine goingUp = lineOf(U"up", 20);
    BufferLine oldest = lineOf(U"old", 20);
    ASSERT_TRUE(oldest.pack(spare, spareCodes));
    ASSERT_TRUE(goingUp.pack(spare, spareCodes));
    const CharData* storage = spare.data();
    oldest.reset(20, CharData::Null, spare);
    EXPECT_FALSE(oldest.isPacked());
    EXPECT_EQ(oldest.getData().data(), storage);
    EXPECT_EQ(cellsOf(oldest), std::string(20, '.'));
    EXPECT_TRUE(spare.empty());

    goingUp[3] = cell('!');
    EXPECT_EQ(cellsOf(goingUp), "up.!................");
    goingUp.insertCells(0, 1, 19, cell('>'));
    EXPECT_EQ(cellsOf(goingUp), ">up.!...............");
    ASSERT_TRUE(goingUp.pack(spare, spareCodes));
    goingUp.resize(5, CharData::Null);
    EXPECT_EQ(cellsOf(goingUp), ">up.!");
}

// The code storage of a row that does not pack goes to the next row that has none, so
// history mixing both kinds of rows neither holds dead storage nor allocates per row.
TEST(BufferLineTest, CodeStoragePassesFromRowsThatDoNotPack) {
    PackedCells spareCodes;
    std::vector<CharData> spare;
    BufferLine colourful(16);
    for (int col = 0; col < 16; col += 2)
        colourful[col].attribute.fg = Attribute::Color::ansi256(col);
    ASSERT_FALSE(colourful.pack(spare, spareCodes));
    const void* storage = spareCodes.storage();
    ASSERT_NE(storage, nullptr);

    BufferLine plain = lineOf(U"plain", 16);
    ASSERT_TRUE(plain.pack(spare, spareCodes));
    EXPECT_EQ(spareCodes.storage(), nullptr);
    EXPECT_EQ(cellsOf(plain), "plain...........");
}

} // namespace
