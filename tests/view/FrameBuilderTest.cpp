#include <gtest/gtest.h>

#include "ViewHarness.h"
#include "view/CellContent.h"
#include "view/ColorMapper.h"

namespace tarvik {
namespace {

using viewtest::ViewFixture;
using AColor = Attribute::Color;

const std::vector<Color>& palette() {
    static const std::vector<Color> colors = Color::setupDefaultAnsiColors(Color::defaultInstalledColors);
    return colors;
}
constexpr Color nativeFg{40000, 40000, 40000};
constexpr Color nativeBg{1000, 2000, 3000};

Attribute attr(AColor fg, AColor bg, CharacterStyle style = CharacterStyle::none) {
    return Attribute{fg, bg, style};
}

struct ColorCase {
    const char* name;
    Attribute attribute;
    bool useBrightColors;
    Color foreground;
    Color background;
    FontVariant font;
};

const CharacterStyle bold = CharacterStyle::bold;
const CharacterStyle inverse = CharacterStyle::inverse;

const ColorCase colorCases[] = {
    {"BoldRedIsBright", attr(AColor::ansi256(1), AColor::defaultColor(), bold), true, palette()[9], nativeBg,
     FontVariant::bold},
    {"BoldWhiteStays", attr(AColor::ansi256(7), AColor::defaultColor(), bold), true, palette()[7], nativeBg,
     FontVariant::bold},
    {"BoldBrightRedStays", attr(AColor::ansi256(9), AColor::defaultColor(), bold), true, palette()[9],
     nativeBg, FontVariant::bold},
    {"PlainRed", attr(AColor::ansi256(1), AColor::ansi256(1)), true, palette()[1], palette()[1],
     FontVariant::normal},
    {"BoldBackgroundStaysDark", attr(AColor::defaultColor(), AColor::ansi256(1), bold), true, nativeFg,
     palette()[1], FontVariant::bold},
    {"WithoutBrightColorsBrightIsLowered", attr(AColor::ansi256(9), AColor::ansi256(12)), false, palette()[1],
     palette()[4], FontVariant::bold},
    {"WithoutBrightColorsBoldRedStaysRed", attr(AColor::ansi256(1), AColor::defaultColor(), bold), false,
     palette()[1], nativeBg, FontVariant::bold},
    {"WithoutBrightColorsCubeIsKept", attr(AColor::ansi256(200), AColor::ansi256(232)), false, palette()[200],
     palette()[232], FontVariant::normal},
    {"InverseWithDefaults", attr(AColor::defaultColor(), AColor::defaultColor(), inverse), true,
     ColorMapper::inverse(nativeFg), ColorMapper::inverse(nativeBg), FontVariant::normal},
    {"InverseOfInvertedDefaults", attr(AColor::defaultColor(), AColor::defaultInvertedColor(), inverse), true,
     ColorMapper::inverse(nativeFg), ColorMapper::inverse(nativeBg), FontVariant::normal},
    {"InverseSwapsPaletteColours", attr(AColor::ansi256(1), AColor::ansi256(4), inverse), true, palette()[4],
     palette()[1], FontVariant::normal},
    {"InverseBoldBrightensTheSwappedForeground", attr(AColor::ansi256(2), AColor::ansi256(4), bold | inverse),
     true, palette()[12], palette()[2], FontVariant::bold},
    {"InvertedDefaultBackground", attr(AColor::defaultColor(), AColor::defaultInvertedColor()), true,
     nativeFg, ColorMapper::inverse(nativeBg), FontVariant::normal},
    {"TrueColor", attr(AColor::trueColor(255, 128, 0), AColor::trueColor(0, 0, 1)), true,
     Color{65535, 32896, 0}, Color{0, 0, 257}, FontVariant::normal},
    {"Italic", attr(AColor::defaultColor(), AColor::defaultColor(), CharacterStyle::italic), true, nativeFg,
     nativeBg, FontVariant::italic},
    {"BoldItalic", attr(AColor::defaultColor(), AColor::defaultColor(), bold | CharacterStyle::italic), true,
     nativeFg, nativeBg, FontVariant::boldItalic},
};

class ColorTable : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorTable, ResolvesColoursAndFont) {
    const ColorCase& c = GetParam();
    const ColorMapper mapper(palette(), nativeFg, nativeBg, c.useBrightColors);
    const RunStyle style = mapper.getAttributes(c.attribute, false);
    EXPECT_EQ(style.foreground, c.foreground);
    EXPECT_EQ(style.background, c.background);
    EXPECT_EQ(style.font, c.font);
}

INSTANTIATE_TEST_SUITE_P(Frame, ColorTable, ::testing::ValuesIn(colorCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameBuilderTest, UnderlineStrikeAndTheDottedLinkUnderline) {
    const ColorMapper mapper(palette(), nativeFg, nativeBg, true);
    const Attribute underlined = attr(AColor::ansi256(3), AColor::defaultColor(),
                                      CharacterStyle::underline | CharacterStyle::crossedOut);
    EXPECT_EQ(mapper.getAttributes(underlined, false).underline, UnderlineStyle::single);
    EXPECT_TRUE(mapper.getAttributes(underlined, false).strikethrough);
    EXPECT_EQ(mapper.getAttributes(underlined, true).underline, UnderlineStyle::dotted);
    EXPECT_EQ(mapper.getAttributes(CharData::defaultAttr, true).underline, UnderlineStyle::dotted);
    EXPECT_EQ(mapper.getAttributes(CharData::defaultAttr, false).underline, UnderlineStyle::none);
}

std::u32string rowText(const FrameRow& row) {
    std::u32string text;
    for (const FrameRun& run : row.runs)
        text += row.runText(run);
    return text;
}

TEST(FrameBuilderTest, RunsSplitAtAttributeAndLinkChanges) {
    ViewFixture f(10, 3);
    f.feed("ab\x1b[1mcd\x1b[0m\x1b]8;id=1;http://x\x1b\\ef\x1b]8;;\x1b\\g");
    const Frame& frame = f.view->buildFrame(0, 0);
    const FrameRow& row = frame.rows[0];
    ASSERT_EQ(row.runs.size(), 4u);
    EXPECT_EQ((std::pair{row.runs[0].firstCol, row.runs[0].colCount}), (std::pair{0, 2}));
    EXPECT_EQ(row.runs[1].style.font, FontVariant::bold);
    EXPECT_EQ((std::pair{row.runs[1].firstCol, row.runs[1].colCount}), (std::pair{2, 2}));
    EXPECT_TRUE(row.runs[2].hyperlink);
    EXPECT_EQ(row.runs[2].style.underline, UnderlineStyle::dotted);
    EXPECT_EQ((std::pair{row.runs[2].firstCol, row.runs[2].colCount}), (std::pair{4, 2}));
    EXPECT_EQ((std::pair{row.runs[3].firstCol, row.runs[3].colCount}), (std::pair{6, 4}));
    EXPECT_EQ(rowText(row), U"abcdefg   ");
}

TEST(FrameBuilderTest, OneClusterPerCellWithWideCharactersAndCombiningMarks) {
    ViewFixture f(8, 2);
    f.feed("a\u4e2db e\u0301\U0001F600");
    const FrameRow& row = f.view->buildFrame(0, 1).rows[0];
    ASSERT_EQ(row.cells.size(), 8u);
    EXPECT_EQ(row.cellText(0), U"a");
    EXPECT_EQ(row.cellText(1), U"\u4e2d");
    EXPECT_EQ(row.cells[1].width, 2);
    EXPECT_TRUE(row.cells[2].filler);
    EXPECT_EQ(row.cellText(2), U"");
    EXPECT_EQ(row.cellText(3), U"b");
    EXPECT_EQ(row.cellText(4), U" ");
    EXPECT_EQ(row.cellText(5), U"e\u0301");
    EXPECT_EQ(row.cellText(6), U"\U0001F600");
    EXPECT_TRUE(row.cells[7].filler);
    EXPECT_EQ(rowText(row), U"a\u4e2db e\u0301\U0001F600");
    // An untouched row: every null cell is a space, none is a filler.
    const FrameRow& empty = f.view->frame().rows[1];
    EXPECT_EQ(rowText(empty), U"        ");
    EXPECT_FALSE(empty.cells[1].filler);
}

// The placeholder after a wide character is painted with it: never a block of
// some other colour beside the character, whatever the character's colours are.
TEST(FrameBuilderTest, TheSecondHalfOfAWideCharacterTakesItsColours) {
    ViewFixture f(8, 2);
    f.feed("\u4e2db\r\n\x1b[41;33m\U0001F600\x1b[0mc");
    const Frame& frame = f.view->buildFrame(0, 1);
    const auto runAt = [](const FrameRow& row, int col) {
        for (const FrameRun& run : row.runs)
            if (col >= run.firstCol && col < run.firstCol + run.colCount) return run;
        return FrameRun{};
    };
    for (const FrameRow& row : frame.rows) {
        ASSERT_TRUE(row.cells[1].filler);
        EXPECT_EQ(runAt(row, 1).style, runAt(row, 0).style) << "row " << row.row;
        EXPECT_EQ(runAt(row, 1).firstCol, runAt(row, 0).firstCol);
    }
    EXPECT_EQ(runAt(frame.rows[0], 1).style.background, runAt(frame.rows[0], 2).style.background);
    EXPECT_NE(runAt(frame.rows[1], 1).style.background, runAt(frame.rows[1], 2).style.background);
}

TEST(FrameBuilderTest, OnlyTheRequestedRowsAreRebuilt) {
    ViewFixture f(10, 3);
    f.view->buildFrame(0, 2);
    f.feed("x\r\ny\r\nz");
    const Frame& frame = f.view->buildFrame(1, 1);
    EXPECT_EQ(frame.firstRow, 1);
    EXPECT_EQ(frame.lastRow, 1);
    EXPECT_EQ(frame.rows[0].cellText(0), U" ");
    EXPECT_EQ(frame.rows[1].cellText(0), U"y");
    EXPECT_EQ(frame.rows[2].cellText(0), U" ");
}

TEST(FrameBuilderTest, LineRenderModeIsCarried) {
    ViewFixture f(10, 3);
    f.feed("\x1b#6wide\r\n\x1b#3top\r\n\x1b#4bottom");
    const Frame& frame = f.view->buildFrame(0, 2);
    EXPECT_EQ(frame.rows[0].renderMode, BufferLine::RenderLineMode::doubleWidth);
    EXPECT_EQ(frame.rows[1].renderMode, BufferLine::RenderLineMode::doubledTop);
    EXPECT_EQ(frame.rows[2].renderMode, BufferLine::RenderLineMode::doubledDown);
}

TEST(FrameBuilderTest, ScreenReverseTradesTheDefaultColours) {
    ViewFixture f(10, 2);
    f.view->setNativeForegroundColor(nativeFg);
    f.view->setNativeBackgroundColor(nativeBg);
    f.feed("a\x1b[31mb");
    FrameOptions options = f.view->frameOptions();
    Frame frame;
    FrameBuilder::buildAll(frame, f.terminal(), nullptr, options);
    EXPECT_EQ(frame.defaultBackground, nativeBg);
    EXPECT_EQ(frame.rows[0].runs[0].style.foreground, nativeFg);
    options.screenReverse = true;
    FrameBuilder::buildAll(frame, f.terminal(), nullptr, options);
    EXPECT_EQ(frame.defaultForeground, nativeBg);
    EXPECT_EQ(frame.defaultBackground, nativeFg);
    EXPECT_EQ(frame.rows[0].runs[0].style.foreground, nativeBg);
    EXPECT_EQ(frame.rows[0].runs[0].style.background, nativeFg);
    EXPECT_EQ(frame.rows[0].runs[1].style.foreground, palette()[1]);
    EXPECT_EQ(frame.rows[0].runs[1].style.background, nativeFg);
}

struct SpanCase {
    const char* name;
    Position start;
    Position end;
    std::vector<SelectionSpan> lines; // lines 0 ... 4
};

// A screen 10 columns wide; spans per buffer line.
const SpanCase spanCases[] = {
    {"SingleRow", {2, 1}, {5, 1}, {{}, {2, 5}, {}, {}, {}}},
    {"SingleRowToTheLastColumn", {2, 1}, {9, 1}, {{}, {2, 10}, {}, {}, {}}},
    {"MultiRow", {7, 1}, {3, 3}, {{}, {7, 10}, {0, 10}, {0, 3}, {}}},
    {"MultiRowEndingOnTheLastColumn", {7, 1}, {9, 3}, {{}, {7, 10}, {0, 10}, {0, 10}, {}}},
    {"Reversed", {3, 3}, {7, 1}, {{}, {7, 10}, {0, 10}, {0, 3}, {}}},
    {"NothingSelectedAtTheLastColumn", {9, 2}, {9, 2}, {{}, {}, {}, {}, {}}},
    {"EmptyEndRowPrefix", {4, 0}, {0, 2}, {{4, 10}, {0, 10}, {}, {}, {}}},
};

class SpanTable : public ::testing::TestWithParam<SpanCase> {};

TEST_P(SpanTable, HighlightsTheSelectedColumns) {
    ViewFixture f(10, 5);
    SelectionService& selection = f.view->selection();
    selection.start = GetParam().start;
    selection.end = GetParam().end;
    for (int line = 0; line < 5; ++line) {
        const SelectionSpan span = FrameBuilder::selectionSpan(selection, line, 10);
        const SelectionSpan expected = GetParam().lines[static_cast<std::size_t>(line)];
        EXPECT_EQ(span.empty(), expected.empty()) << "line " << line;
        if (!expected.empty()) {
            EXPECT_EQ(span, expected) << "line " << line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frame, SpanTable, ::testing::ValuesIn(spanCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameBuilderTest, SelectionSpansFollowTheViewport) {
    ViewFixture f(10, 3);
    for (int i = 0; i < 6; ++i)
        f.feed("row\r\n");
    SelectionService& selection = f.view->selection();
    selection.selectAll();
    selection.start = Position{1, 2};
    selection.end = Position{4, 2};
    f.view->scroller().scrollTo(1);
    const Frame& frame = f.view->buildFrame(0, 2);
    EXPECT_EQ(frame.rows[1].selection, (SelectionSpan{1, 4}));
    EXPECT_TRUE(frame.rows[0].selection.empty());
    f.view->selectNone();
    EXPECT_TRUE(f.view->buildFrame(0, 2).rows[1].selection.empty());
}

TEST(FrameBuilderTest, CaretSitsOnTheCursorCell) {
    ViewFixture f(10, 3);
    f.feed("ab\x1b[31mc\x1b[D");
    const CaretFrame& caret = f.view->buildFrame(0, 2).caret;
    EXPECT_TRUE(caret.visible);
    EXPECT_EQ((std::pair{caret.col, caret.row}), (std::pair{2, 0}));
    EXPECT_EQ((std::pair{caret.x, caret.y}), (std::pair{16.0, 0.0}));
    EXPECT_EQ(caret.cellText(), U"c");
    EXPECT_EQ(caret.cellStyle.foreground, palette()[1]);
    EXPECT_EQ(caret.style, CursorStyle::blinkBlock);
    EXPECT_TRUE(caret.blinking);
}

TEST(FrameBuilderTest, CaretRules) {
    ViewFixture f(10, 3);
    f.feed("\x1b[2 q");
    EXPECT_FALSE(f.view->buildFrame(0, 2).caret.blinking);
    f.feed("\x1b[5 q");
    EXPECT_EQ(f.view->buildFrame(0, 2).caret.style, CursorStyle::blinkBar);
    // A pending wrap keeps the caret on the last column.
    f.feed("0123456789");
    EXPECT_EQ(f.view->buildFrame(0, 2).caret.col, 9);
    // Double width doubles the caret's position and width.
    f.feed("\r\n\x1b#6ab");
    const CaretFrame& wide = f.view->buildFrame(0, 2).caret;
    EXPECT_EQ(wide.x, 2 * 2 * 8.0);
    EXPECT_EQ(wide.width, 16.0);
    EXPECT_EQ(wide.y, 16.0);
    f.feed("\x1b[?25l");
    EXPECT_FALSE(f.view->buildFrame(0, 2).caret.visible);
    f.feed("\x1b[?25h");
    EXPECT_TRUE(f.view->buildFrame(0, 2).caret.visible);
    // Scrolled back so far that the cursor's line is not shown.
    for (int i = 0; i < 10; ++i)
        f.feed("\r\n");
    f.view->scroller().scrollTo(0);
    EXPECT_FALSE(f.view->buildFrame(0, 2).caret.visible);
}

TEST(FrameBuilderTest, AttachedImagesAreListedWithTheirRow) {
    ViewFixture f(10, 4);
    f.view->createImage(f.terminal(),
                        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("16x32"), 5),
                        ImageSizeRequest{}, ImageSizeRequest{}, true);
    const Frame& frame = f.view->buildFrame(0, 3);
    EXPECT_EQ(frame.rows[0].images.size(), 1u);
    EXPECT_EQ(frame.rows[1].images.size(), 1u);
    EXPECT_TRUE(frame.rows[2].images.empty());
}

TEST(DirtyRegionTest, RectangleOfTheChangedRows) {
    ViewFixture f(10, 4);
    f.surface.height = 4 * 16 + 5; // a sliver below the grid
    f.feed("\x1b[2;1H");
    f.terminal().clearUpdateRange();
    f.feed("x");
    const auto rect = f.view->updateDisplay();
    ASSERT_TRUE(rect);
    EXPECT_EQ(*rect, (PixelRect{0, 16, 80, 16}));
    EXPECT_EQ(f.surface.lastRect, rect);
    EXPECT_FALSE(f.view->updateDisplay()) << "the range is reset";
    f.feed("\x1b[4;1H");
    f.terminal().clearUpdateRange();
    f.feed("y");
    EXPECT_EQ(f.view->updateDisplay(), (PixelRect{0, 48, 80, 4 * 16 + 5 - 48})) << "down to the bottom edge";
}

TEST(DirtyRegionTest, RowsOfAnExposedRectangle) {
    const CellMetrics cell{8, 16};
    EXPECT_EQ(rowsInRectangle(PixelRect{0, 0, 10, 16}, 5, cell), (DirtyRows{0, 0}));
    EXPECT_EQ(rowsInRectangle(PixelRect{0, 15, 10, 2}, 5, cell), (DirtyRows{0, 1}));
    EXPECT_EQ(rowsInRectangle(PixelRect{0, 70, 10, 500}, 5, cell), (DirtyRows{4, 4}));
    EXPECT_EQ(rowsInRectangle(PixelRect{0, -30, 10, 20}, 5, cell), (DirtyRows{0, 0}));
}

TEST(DisplaySchedulerTest, ChangesWithinOneDelayMakeOneUpdate) {
    ViewFixture f(10, 3);
    f.timer.tasks.clear();
    f.feed("a");
    f.feed("b");
    ASSERT_EQ(f.timer.tasks.size(), 1u);
    EXPECT_EQ(f.timer.tasks[0].first, std::chrono::nanoseconds(16'670'000));
    EXPECT_TRUE(f.view->scheduler().pendingDisplay());
    f.surface.lastRect.reset();
    f.timer.runAll();
    EXPECT_FALSE(f.view->scheduler().pendingDisplay());
    EXPECT_TRUE(f.surface.lastRect);
    f.feed("c");
    EXPECT_EQ(f.timer.tasks.size(), 1u);
}

TEST(DisplaySchedulerTest, ExpensiveFramesSpaceTheUpdates) {
    using std::chrono::milliseconds;
    using std::chrono::nanoseconds;
    struct Case {
        nanoseconds lastCost;
        nanoseconds delay;
    };
    const Case cases[] = {
        {nanoseconds(0), DisplayScheduler::delay},  // nothing painted yet
        {milliseconds(1), DisplayScheduler::delay}, // an echoed key
        {milliseconds(3), milliseconds(33)},        // painting keeps to 1/12 of the time
        {milliseconds(20), milliseconds(50)},       // but the screen still shows 20 times a second
        {milliseconds(1), DisplayScheduler::delay}, // cheap again: back to the usual delay
    };
    viewtest::FakeTimer timer;
    int updates = 0;
    DisplayScheduler scheduler(timer, [&] { ++updates; });
    for (const Case& c : cases) {
        scheduler.frameCost(c.lastCost);
        scheduler.queuePendingDisplay();
        scheduler.queuePendingDisplay(); // absorbed, whatever the delay
        ASSERT_EQ(timer.tasks.size(), 1u);
        EXPECT_EQ(timer.tasks[0].first, c.delay) << "after a frame of " << c.lastCost.count() << " ns";
        timer.runAll();
    }
    EXPECT_EQ(updates, 5);

    // The share counts from the end of the expensive frame: a request that comes later
    // waits only for what is left of it, and one long after waits the usual delay.
    scheduler.frameCost(milliseconds(4)); // 44 ms for everything else
    timer.clock += milliseconds(20);
    scheduler.queuePendingDisplay();
    EXPECT_EQ(timer.tasks.back().first, milliseconds(24));
    timer.runAll();
    scheduler.frameCost(milliseconds(20));
    timer.clock += std::chrono::seconds(1);
    scheduler.queuePendingDisplay();
    EXPECT_EQ(timer.tasks.back().first, DisplayScheduler::delay);
}

TEST(CellMetricsTest, FromFontNumbers) {
    EXPECT_EQ(computeFontDimensions({7.5, 10.2, 3.1, 0.5}), (CellMetrics{7.5, 14}));
    EXPECT_EQ(computeFontDimensions({0.2, 0, 0, 0}), (CellMetrics{1, 1}));
    EXPECT_EQ(computeFontDimensions({9, 9000, 1, 0}), (CellMetrics{9, 8192}));
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

TEST(DisplaySchedulerTest, AnUpdateAfterTheViewIsGoneDoesNothing) {
    viewtest::FakeTimer timer;
    int updates = 0;
    {
        DisplayScheduler scheduler(timer, [&] { ++updates; });
        scheduler.queuePendingDisplay();
    }
    timer.runAll();
    EXPECT_EQ(updates, 0);
}

} // namespace
} // namespace tarvik
