#include <gtest/gtest.h>

#include "terminal/SelectionService.h"
#include "terminal/Terminal.h"

namespace tarvik {
namespace {

struct SelectionHost : TerminalDelegate {
    void send(Terminal&, std::span<const uint8_t>) override {}
    int selectionChanges = 0;
    void selectionChanged(Terminal&) override { ++selectionChanges; }
};

struct SelectionTest : ::testing::Test {
    SelectionHost host;
    Terminal t{host, TerminalOptions{.cols = 20, .rows = 4, .scrollback = 10}};
    SelectionService selection{t};

    std::string doubleClick(int col, int row) {
        selection.selectWordOrExpression(Position{col, row}, t.buffer());
        return selection.hasSelectionRange ? selection.getSelectedText() : "<none>";
    }
};

TEST_F(SelectionTest, DoubleClickSelectsRunsAndBracketExpressions) {
    struct ClickCase {
        const char* input;
        Position at;
        const char* expected;
    };
    const ClickCase cases[] = {
        {"ls foo-bar_baz.txt", {6, 0}, "foo-bar_baz.txt"},
        {"one   two", {4, 0}, "   "},
        {"caf\xc3\xa9 42x", {1, 0}, "caf\xc3\xa9"},
        {"caf\xc3\xa9 42x", {5, 0}, "42x"},
        // Either half of a wide character belongs to the word.
        {"\xe6\xbc\xa2\xe5\xad\x97 x", {3, 0}, "\xe6\xbc\xa2\xe5\xad\x97"},
        {"a!b", {1, 0}, "<none>"},
        {"f(a(b)c) (x", {1, 0}, "(a(b)c)"},
        {"f(a(b)c) (x", {7, 0}, "(a(b)c)"},
        {"f(a(b)c) (x", {3, 0}, "(b)"},
        {"f(a(b)c) (x", {9, 0}, "<none>"},
        {"[a{b}]c", {0, 0}, "[a{b}]"},
        // A closer of another kind does not close the open bracket.
        {"[{]", {0, 0}, "<none>"},
        {"(one\r\ntwo) z", {0, 0}, "(one\ntwo)"},
        {"(one\r\ntwo) z", {3, 1}, "(one\ntwo)"},
        // Past the text: the run of empty cells up to the right edge, clamped.
        {"abc", {100, 0}, ""},
    };
    for (const ClickCase& c : cases) {
        t.resetToInitialState();
        t.feed(std::string_view(c.input));
        EXPECT_EQ(doubleClick(c.at.col, c.at.row), c.expected) << c.input << " at " << c.at.col;
        EXPECT_EQ(selection.selectionMode, SelectionService::Mode::word);
    }
}

TEST_F(SelectionTest, ShiftClickBeforeAForwardSelectionFlipsTheAnchor) {
    t.feed(std::string_view("0123456789"));
    selection.setSoftStart(Position{5, 0});
    selection.dragExtend(Position{8, 0});
    EXPECT_EQ(selection.getSelectedText(), "567");

    selection.shiftExtend(Position{2, 0});
    EXPECT_EQ(selection.start, (Position{8, 0}));
    EXPECT_EQ(selection.end, (Position{2, 0}));
    EXPECT_EQ(selection.getSelectedText(), "234567");

    // Past the anchor the other way flips it back.
    selection.shiftExtend(Position{9, 0});
    EXPECT_EQ(selection.start, (Position{2, 0}));
    EXPECT_EQ(selection.getSelectedText(), "2345678");
}

TEST_F(SelectionTest, WordModeExtensionSnapsToWordEdges) {
    t.feed(std::string_view("alpha beta gamma"));
    selection.selectWordOrExpression(Position{7, 0}, t.buffer());
    ASSERT_EQ(selection.getSelectedText(), "beta");
    selection.dragExtend(Position{12, 0});
    EXPECT_EQ(selection.getSelectedText(), "beta gamma");
    // Before the anchor: snaps to the word's start, and the old far end anchors.
    selection.shiftExtend(Position{1, 0});
    EXPECT_EQ(selection.end, (Position{0, 0}));
    EXPECT_EQ(selection.getSelectedText(), "alpha beta gamma");
}

TEST_F(SelectionTest, RowSelectionExtendsByWholeRows) {
    t.feed(std::string_view("first\r\nsecond\r\nthird"));
    selection.select(1);
    EXPECT_EQ(selection.selectionMode, SelectionService::Mode::line);
    EXPECT_EQ(selection.getSelectedText(), "second");
    selection.shiftExtend(2, 3);
    EXPECT_EQ(selection.end, (Position{19, 2}));
    EXPECT_EQ(selection.getSelectedText(), "second\nthird");
    selection.shiftExtend(0, 3);
    EXPECT_EQ(selection.end, (Position{0, 0}));

    // Viewport rows count from the top row shown.
    for (int i = 0; i < 6; ++i)
        t.feed(std::string_view("\r\n"));
    const int yDisp = t.buffer().yDisp();
    ASSERT_GT(yDisp, 0);
    selection.setSoftStart(Position{0, yDisp});
    selection.shiftExtend(1, 2);
    EXPECT_EQ(selection.end, (Position{19, yDisp + 1}));
}

TEST_F(SelectionTest, SelectAllCopiesScrollbackButNotTheLastColumn) {
    t.feed(std::string_view("one\r\ntwo\r\nthree\r\nfour\r\nfive\r\n0123456789abcdefghij"));
    selection.selectAll();
    EXPECT_EQ(selection.start, (Position{0, 0}));
    EXPECT_EQ(selection.end.row, t.buffer().lines().maxLength() - 1);
    EXPECT_EQ(selection.getSelectedText(), "one\ntwo\nthree\nfour\nfive\n0123456789abcdefghi");
}

TEST_F(SelectionTest, TellsTheDelegateAndForgetsThePivotWhenEnded) {
    selection.startSelection();
    EXPECT_TRUE(selection.active());
    EXPECT_FALSE(selection.hasSelectionRange);
    EXPECT_EQ(host.selectionChanges, 1);

    selection.pivot = Position{1, 1};
    selection.setActive(false);
    EXPECT_FALSE(selection.pivot.has_value());
    EXPECT_EQ(host.selectionChanges, 2);
    selection.setActive(false);
    EXPECT_EQ(host.selectionChanges, 2);
}

} // namespace
} // namespace tarvik
