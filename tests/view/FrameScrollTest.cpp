// Rows that only moved between what the screen shows and what it must show: found by
// comparing frames, moved as pixels, and only the rest invalidated.
#include <gtest/gtest.h>

#include "view/FrameScroll.h"
#include "ViewHarness.h"

namespace tarvik {
namespace {

using viewtest::ViewFixture;

constexpr int rows = 6;

// Six rows of distinct text, the cursor at the end of the last.
void fillRows(ViewFixture& f) {
    f.feed("r0\r\nr1\r\nr2\r\nr3\r\nr4\r\nr5");
}

std::string rowText(const FrameRow& row) {
    std::string text;
    for (const char32_t c : row.text)
        if (c != U' ') text += static_cast<char>(c);
    return text;
}

TEST(FrameScrollTest, ShiftBetweenFrames) {
    struct Case {
        const char* name;
        std::string bytes;
        int shift;
    };
    const std::vector<Case> cases = {
        {"one line of output", "\r\nnew", 1},
        {"three lines", "\r\na\r\nb\r\nc", 3},
        {"the last row grew before it scrolled", "xyz\r\nnew", 1},
        {"reverse index at the top", "\x1b[H\x1bM", -1},
        {"a scroll region inside the screen", "\x1b[2;5r\x1b[5;1H\r\nin", 1},
        {"the screen redrawn", "\x1b[2J\x1b[Ha\r\nb\r\nc", 0},
        {"more rows left than stayed", "\r\n\r\n\r\n\r\nz", 0},
        {"nothing moved", "\x1b[Hq", 0},
    };
    for (const Case& c : cases) {
        ViewFixture f(10, rows);
        fillRows(f);
        const Frame shown = f.view->buildFrame(0, rows - 1);
        f.feed(c.bytes);
        const Frame& next = f.view->buildFrame(0, rows - 1);
        EXPECT_EQ(detectRowShift(shown, next, 0, rows - 1), c.shift) << c.name;
    }
}

TEST(FrameScrollTest, RowsDifferInStyleSelectionAndMode) {
    ViewFixture f(10, rows);
    f.feed("ab\r\nab");
    const Frame& frame = f.view->buildFrame(0, 1);
    FrameRow a = frame.rows[0], b = frame.rows[1];
    EXPECT_TRUE(sameRowContent(a, b));
    b.runs[0].style.foreground = Color{1, 2, 3};
    EXPECT_FALSE(sameRowContent(a, b)) << "colour";
    b = a;
    b.selection = SelectionSpan{0, 1};
    EXPECT_FALSE(sameRowContent(a, b)) << "selection";
    b = a;
    b.renderMode = BufferLine::RenderLineMode::doubleWidth;
    EXPECT_FALSE(sameRowContent(a, b)) << "double width";
    b = a;
    b.text[1] = U'c';
    EXPECT_FALSE(sameRowContent(a, b)) << "text";
}

TEST(FrameScrollTest, ScrolledOutputMovesPixelsAndRepaintsOnlyTheNewRow) {
    ViewFixture f(10, rows);
    f.surface.pixelsMovable = true;
    fillRows(f);
    f.view->updateDisplay();
    f.view->buildFrame(0, rows - 1); // what painting the screen does
    f.surface.rects.clear();
    f.surface.moves.clear();

    f.feed("\r\nnew");
    ASSERT_TRUE(f.view->updateDisplay());
    ASSERT_EQ(f.surface.moves.size(), 1u);
    EXPECT_EQ(f.surface.moves[0].first, (PixelRect{0, 0, 80, rows * 16}));
    EXPECT_EQ(f.surface.moves[0].second, -16);
    ASSERT_EQ(f.surface.rects.size(), 1u);
    EXPECT_EQ(f.surface.rects[0], (PixelRect{0, 5 * 16, 80, 16}));
    // The view's frame now tells what the screen shows.
    EXPECT_EQ(rowText(f.view->frame().rows[0]), "r1");
    EXPECT_EQ(rowText(f.view->frame().rows[5]), "new");

    // Output that scrolled most of the screen away is painted again, not compared.
    f.view->buildFrame(0, rows - 1);
    f.surface.rects.clear();
    f.feed("\r\n1\r\n2\r\n3\r\n4");
    f.view->updateDisplay();
    EXPECT_EQ(f.surface.moves.size(), 1u);
    ASSERT_EQ(f.surface.rects.size(), 1u);

    // A surface that cannot move its pixels repaints every changed row.
    f.surface.pixelsMovable = false;
    f.surface.rects.clear();
    f.feed("\r\nnext");
    f.view->updateDisplay();
    EXPECT_EQ(f.surface.moves.size(), 1u);
    ASSERT_EQ(f.surface.rects.size(), 1u);
    EXPECT_EQ(f.surface.rects[0], (PixelRect{0, 0, 80, rows * 16}));
}

} // namespace
} // namespace tarvik
