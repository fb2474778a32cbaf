#include <gtest/gtest.h>

#include "ViewHarness.h"

namespace tarvik {
namespace {

using viewtest::ViewFixture;

PointerEvent at(double x, double y, PointerButton button = PointerButton::left, int clicks = 1,
                KeyModifiers modifiers = {}) {
    return PointerEvent{x, y, button, clicks, modifiers};
}
// The point in the middle of a cell.
PointerEvent cell(int col, int row, PointerButton button = PointerButton::left, int clicks = 1,
                  KeyModifiers modifiers = {}) {
    return at(col * 8 + 4, row * 16 + 8, button, clicks, modifiers);
}

struct HitCase {
    const char* name;
    double x;
    double y;
    MouseHit expected;
};

// A view of 20 x 5 cells of 8 x 16 points: 160 x 80.
const HitCase hitCases[] = {
    {"TopLeft", 0, 0, {{0, 0}, 0, 0}},
    {"InsideACell", 17, 33, {{2, 2}, 17, 33}},
    {"CellEdgeBelongsToTheNextCell", 8, 16, {{1, 1}, 8, 16}},
    {"LeftOfTheView", -5, 20, {{0, 1}, 0, 20}},
    {"RightOfTheView", 500, 20, {{19, 1}, 160, 20}},
    {"LastColumn", 159.9, 79.9, {{19, 4}, 159.9, 79.9}},
    {"AboveTheTop", 50, -1, {{0, 0}, 50, 0}},
    {"BelowTheBottomIsNotClamped", 50, 200, {{6, 12}, 50, 80}},
};

class HitTable : public ::testing::TestWithParam<HitCase> {};

TEST_P(HitTable, CalculatesTheCell) {
    ViewFixture f(20, 5);
    EXPECT_EQ(f.view->pointer().calculateMouseHit(GetParam().x, GetParam().y), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Pointer, HitTable, ::testing::ValuesIn(hitCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ModeCase {
    const char* name;
    const char* mode;  // bytes enabling the tracking mode (SGR reports)
    bool allowReporting;
    std::string press; // bytes sent for press, drag, release of the left button at cell (2, 0) -> (4, 0)
    std::string drag;
    std::string release;
    bool selects;      // the drag made a selection
};

const ModeCase modeCases[] = {
    {"Off", "", true, "", "", "", true},
    {"X10ReportsPressesOnly", "\x1b[?9h", true, "\x1b[<0;3;1M", "", "", false},
    {"Vt200ReportsAndDoesNotSelect", "\x1b[?1000h", true, "\x1b[<0;3;1M", "", "\x1b[<0;5;1m", false},
    {"Vt200WithoutReportingSelects", "\x1b[?1000h", false, "", "", "", true},
    {"ButtonEventDragNeitherSelectsNorReports", "\x1b[?1002h", true, "\x1b[<0;3;1M", "", "\x1b[<0;5;1m", false},
    {"AnyEventReportsMotion", "\x1b[?1003h", true, "\x1b[<0;3;1M", "\x1b[<32;5;1M", "\x1b[<0;5;1m", false},
    {"AnyEventWithoutReportingSelects", "\x1b[?1003h", false, "", "", "", true},
};

class ModeTable : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeTable, ReportOrSelect) {
    const ModeCase& c = GetParam();
    ViewFixture f(20, 5);
    f.feed("hello world, and more");
    f.feed(c.mode);
    f.feed("\x1b[?1006h");
    f.view->options.allowMouseReporting = c.allowReporting;
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(2, 0));
    EXPECT_EQ(f.host.take(), c.press);
    pointer.mouseDragged(cell(4, 0));
    EXPECT_EQ(f.host.take(), c.drag);
    pointer.mouseUp(cell(4, 0));
    EXPECT_EQ(f.host.take(), c.release);
    EXPECT_EQ(f.view->selectionActive(), c.selects);
    if (c.selects) {
        EXPECT_EQ(f.view->getSelection(), "ll");
    }
}

INSTANTIATE_TEST_SUITE_P(Pointer, ModeTable, ::testing::ValuesIn(modeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PointerTest, ButtonsAndModifiersInReports) {
    ViewFixture f(20, 5);
    f.feed("\x1b[?1000h\x1b[?1006h");
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(0, 0, PointerButton::middle));
    pointer.mouseDown(cell(0, 0, PointerButton::right));
    pointer.mouseDown(cell(0, 0, PointerButton::left, 1, KeyModifiers{true, true, true, false}));
    EXPECT_EQ(f.host.take(), "\x1b[<1;1;1M\x1b[<2;1;1M\x1b[<28;1;1M");
}

TEST(PointerTest, MotionWithoutButtonsInAnyEventMode) {
    ViewFixture f(20, 5);
    EXPECT_FALSE(f.view->pointer().mouseMoved(cell(3, 2)));
    f.feed("\x1b[?1003h");
    EXPECT_TRUE(f.surface.tracking);
    EXPECT_TRUE(f.view->pointer().mouseMoved(cell(3, 2, PointerButton::left, 1, KeyModifiers{true, false, false, false})));
    // Code 3 + Shift 4 + motion 32, each value offset by 32 in the original protocol.
    EXPECT_EQ(f.host.take(), "\x1b[M\x47\x24\x23");
    // In the SGR form the pointer moving over the screen is motion ("M"), never a release ("m").
    f.feed("\x1b[?1006h");
    f.view->pointer().mouseMoved(cell(4, 1));
    EXPECT_EQ(f.host.take(), "\x1b[<35;5;2M");
    f.feed("\x1b[?1003l");
    EXPECT_FALSE(f.surface.tracking);
}

TEST(PointerTest, ClickCountsSelectWordsAndRows) {
    ViewFixture f(20, 5);
    f.feed("hello world\r\nsecond row");
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(7, 0, PointerButton::left, 2));
    EXPECT_EQ(f.view->getSelection(), "world");
    pointer.mouseDown(cell(2, 1, PointerButton::left, 3));
    EXPECT_EQ(f.view->getSelection(), "second row");
    // A plain click clears; Shift-click without a selection only sets a new anchor.
    pointer.mouseDown(cell(1, 0));
    EXPECT_FALSE(f.view->selectionActive());
    pointer.mouseDown(cell(4, 0, PointerButton::left, 1, KeyModifiers{true, false, false, false}));
    EXPECT_FALSE(f.view->selectionActive());
}

TEST(PointerTest, ShiftClickExtendsAnActiveSelection) {
    ViewFixture f(20, 5);
    f.feed("hello world");
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(0, 0));
    pointer.mouseDragged(cell(2, 0));
    pointer.mouseUp(cell(2, 0));
    ASSERT_EQ(f.view->getSelection(), "he");
    pointer.mouseDown(cell(7, 0, PointerButton::left, 1, KeyModifiers{true, false, false, false}));
    EXPECT_TRUE(f.view->selectionActive());
    EXPECT_EQ(f.view->getSelection().substr(0, 6), "hello ");
}

TEST(PointerTest, DraggingAboveTheTopSelectsToTheFirstRow) {
    ViewFixture f(20, 5);
    f.feed("first\r\nsecond\r\nthird");
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(3, 2));
    pointer.mouseDragged(at(40, -30));
    EXPECT_TRUE(pointer.didSelectionDrag());
    EXPECT_EQ(f.view->selection().end, (Position{0, 0}));
    EXPECT_EQ(f.view->getSelection(), "first\nsecond\nthi");
    pointer.mouseUp(at(40, -30));
    EXPECT_FALSE(pointer.didSelectionDrag());
}

TEST(PointerTest, CtrlClickOpensTheLinkUnderThePointer) {
    ViewFixture f(30, 5);
    f.feed("\x1b]8;id=7:x=y;https://example.org/a;b\x1b\\link\x1b]8;;\x1b\\ plain");
    const KeyModifiers ctrl{false, true, false, false};
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseDown(cell(1, 0, PointerButton::left, 1, ctrl));
    pointer.mouseUp(cell(1, 0, PointerButton::left, 1, ctrl));
    ASSERT_EQ(f.host.links.size(), 1u);
    EXPECT_EQ(f.host.links[0].first, "https://example.org/a;b");
    EXPECT_EQ(f.host.links[0].second, (std::vector<std::pair<std::string, std::string>>{{"id", "7"}, {"x", "y"}}));
    pointer.mouseUp(cell(6, 0, PointerButton::left, 1, ctrl));
    pointer.mouseUp(cell(1, 0));
    EXPECT_EQ(f.host.links.size(), 1u);
}

TEST(PointerTest, HoldingCtrlPreviewsTheLink) {
    ViewFixture f(30, 5);
    f.feed("\x1b]8;;https://example.org\x1b\\link\x1b]8;;\x1b\\");
    PointerHandler& pointer = f.view->pointer();
    pointer.mouseMoved(cell(2, 0));
    EXPECT_FALSE(f.surface.preview);
    pointer.setCommandActive(true);
    EXPECT_TRUE(f.surface.tracking);
    EXPECT_EQ(f.surface.preview, "https://example.org");
    pointer.mouseMoved(cell(8, 0));
    EXPECT_FALSE(f.surface.preview);
    pointer.mouseMoved(cell(0, 0));
    pointer.setCommandActive(false);
    EXPECT_FALSE(f.surface.preview);
    EXPECT_FALSE(f.surface.tracking);
}

struct LinkCase {
    const char* name;
    const char* payload;
    std::optional<Hyperlink> expected;
};

const LinkCase linkCases[] = {
    {"UrlOnly", ";http://a", Hyperlink{"http://a", {}}},
    {"Parameters", "id=1:lang=de;http://a", Hyperlink{"http://a", {{"id", "1"}, {"lang", "de"}}}},
    {"ItemsThatAreNoPairsAreSkipped", "id=1:bad:a=b=c;http://a", Hyperlink{"http://a", {{"id", "1"}}}},
    {"UrlKeepsItsSemicolons", ";http://a/x;y", Hyperlink{"http://a/x;y", {}}},
    {"NoSeparator", "http://a", std::nullopt},
};

class LinkTable : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkTable, ParsesPayloads) {
    EXPECT_EQ(parseHyperlink(GetParam().payload), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Pointer, LinkTable, ::testing::ValuesIn(linkCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct WheelCase {
    double delta;
    int lines; // with 5 rows
};

class WheelTable : public ::testing::TestWithParam<WheelCase> {};

TEST_P(WheelTable, StepsByDelta) {
    ViewFixture f(20, 5, 200);
    for (int i = 0; i < 100; ++i) f.feed("line\r\n");
    const int live = f.terminal().buffer().yDisp();
    f.view->pointer().scrollWheel(GetParam().delta);
    EXPECT_EQ(f.terminal().buffer().yDisp(), live - GetParam().lines);
    f.view->pointer().scrollWheel(-GetParam().delta);
    EXPECT_EQ(f.terminal().buffer().yDisp(), live);
    EXPECT_EQ(f.host.take(), "") << "wheel events are never reported";
}

INSTANTIATE_TEST_SUITE_P(Pointer, WheelTable,
                         ::testing::Values(WheelCase{0.5, 1}, WheelCase{1.9, 1}, WheelCase{3, 3}, WheelCase{7, 10},
                                           WheelCase{30, 20}));

TEST(PointerTest, LargeWheelStepIsAScreenOnTallViews) {
    EXPECT_EQ(PointerHandler::wheelStep(30, 50), 50);
    EXPECT_EQ(PointerHandler::wheelStep(-12, 5), 20);
}

TEST(ScrollTest, PositionThumbAndCanScroll) {
    ViewFixture f(20, 5, 100);
    ViewScroller& scroller = f.view->scroller();
    EXPECT_FALSE(scroller.canScroll());
    EXPECT_EQ(scroller.scrollPosition(), 0);
    for (int i = 0; i < 19; ++i) f.feed("line\r\n");
    // 20 lines in the ring: 15 above the screen.
    ASSERT_EQ(f.terminal().buffer().lines().count(), 20);
    EXPECT_TRUE(scroller.canScroll());
    EXPECT_DOUBLE_EQ(scroller.scrollThumbsize(), 0.25);
    EXPECT_DOUBLE_EQ(scroller.scrollPosition(), 1);
    scroller.scrollUp(3);
    EXPECT_EQ(f.terminal().buffer().yDisp(), 12);
    EXPECT_DOUBLE_EQ(scroller.scrollPosition(), 12.0 / 15);
    ASSERT_FALSE(f.host.scrolls.empty());
    EXPECT_DOUBLE_EQ(f.host.scrolls.back(), 12.0 / 15);
    scroller.scrollUp(100);
    EXPECT_EQ(f.terminal().buffer().yDisp(), 0);
    EXPECT_EQ(scroller.scrollPosition(), 0);
    scroller.scrollDown(100);
    EXPECT_EQ(f.terminal().buffer().yDisp(), 15);
    scroller.scrollToPosition(0.5);
    EXPECT_EQ(f.terminal().buffer().yDisp(), 7);
    EXPECT_TRUE(f.terminal().userScrolling);
    const std::size_t notices = f.host.scrolls.size();
    scroller.scrollTo(7);
    EXPECT_EQ(f.host.scrolls.size(), notices) << "no move, no notice";
}

TEST(ScrollTest, TheAlternateBufferDoesNotScroll) {
    ViewFixture f(20, 5, 100);
    for (int i = 0; i < 19; ++i) f.feed("line\r\n");
    f.feed("\x1b[?1049h");
    ViewScroller& scroller = f.view->scroller();
    EXPECT_FALSE(scroller.canScroll());
    EXPECT_EQ(scroller.scrollPosition(), 0);
    EXPECT_EQ(scroller.scrollThumbsize(), 0);
    f.view->pointer().scrollWheel(3);
    EXPECT_EQ(f.terminal().buffer().yDisp(), 0);
}

TEST(ScrollTest, SizeChangesResizeOnlyForANewGrid) {
    ViewFixture f(20, 5);
    EXPECT_FALSE(f.view->processSizeChange(20 * 8 + 7, 5 * 16 + 15));
    EXPECT_TRUE(f.host.sizes.empty());
    f.view->selectAll();
    EXPECT_TRUE(f.view->processSizeChange(30 * 8, 10 * 16));
    EXPECT_EQ(f.host.sizes, (std::vector<std::pair<int, int>>{{30, 10}}));
    EXPECT_EQ(f.terminal().cols(), 30);
    EXPECT_EQ(f.terminal().rows(), 10);
    EXPECT_FALSE(f.view->selectionActive());
    // Tiny views still give the terminal its smallest size.
    EXPECT_TRUE(f.view->processSizeChange(3, 3));
    EXPECT_EQ(f.host.sizes.back(), (std::pair{2, 1}));
    EXPECT_FALSE(f.view->processSizeChange(1, 1)) << "still the smallest size";
    EXPECT_EQ(f.host.sizes.size(), 2u);
}

TEST(ViewCoreTest, AnswersTheTerminal) {
    ViewFixture f(20, 5);
    f.feed("\x1b]2;my title\x07\x07");
    EXPECT_EQ(f.host.title, "my title");
    EXPECT_EQ(f.host.bells, 1);
    f.feed("\x1b[c");
    EXPECT_FALSE(f.host.take().empty()) << "replies reach the host";
    f.feed("\x1b]10;rgb:ffff/0000/0000\x07");
    EXPECT_EQ(f.view->nativeForegroundColor(), (Color{65535, 0, 0}));
    f.feed("\x1b]12;rgb:0000/ffff/0000\x07");
    EXPECT_EQ(f.view->caretColor(), (Color{0, 65535, 0}));
    f.feed("\x1b]10;?\x07");
    EXPECT_NE(f.host.take().find("rgb:ffff/0000/0000"), std::string::npos);
    f.view->selectAll();
    f.feed("\n");
    EXPECT_FALSE(f.view->selectionActive()) << "a line feed clears the selection";
}

TEST(ViewCoreTest, SelectedRangeForInputMethods) {
    ViewFixture f(20, 5);
    EXPECT_FALSE(f.view->selectedRange());
    f.view->selection().select(1);
    const auto range = f.view->selectedRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 20);
}

} // namespace
} // namespace tarvik

namespace tarvik {
namespace {

TEST(PointerTest, OnlyThePrimaryButtonSelects) {
    viewtest::ViewFixture f(20, 5);
    f.feed("hello world");
    f.view->selectAll();
    PointerHandler& pointer = f.view->pointer();
    EXPECT_FALSE(pointer.mouseDown(PointerEvent{20, 8, PointerButton::middle, 1, {}}));
    pointer.mouseDragged(PointerEvent{60, 8, PointerButton::right, 1, {}});
    EXPECT_TRUE(f.view->selectionActive());
    EXPECT_EQ(f.view->selection().end.col, 19);
    EXPECT_EQ(f.host.take(), "");
}

} // namespace
} // namespace tarvik
