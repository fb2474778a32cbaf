// Qt events on a real widget become the right bytes and view actions.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "view/PasteFraming.h"
#include "view/qt/SystemClipboard.h"
#include "WidgetHarness.h"

namespace tarvik::qttest {
namespace {

struct KeyCase {
    const char* name;
    const char* setup; // fed to the terminal first
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* text; // the key event's text, as the platform gives it
    std::string expected;
};

class TypingTest : public testing::TestWithParam<KeyCase> {};

TEST_P(TypingTest, SendsTheKeysBytes) {
    const KeyCase& c = GetParam();
    Widget w;
    w->feed(std::string_view(c.setup));
    w.host.take();
    QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, QString::fromUtf8(c.text));
    QApplication::sendEvent(w.view.get(), &event);
    EXPECT_EQ(w.host.take(), c.expected) << c.name;
}

const KeyCase keyCases[] = {
    {"letter", "", Qt::Key_A, Qt::NoModifier, "a", "a"},
    {"shifted letter", "", Qt::Key_A, Qt::ShiftModifier, "A", "A"},
    {"non-Latin text", "", Qt::Key_unknown, Qt::NoModifier, "ж", "ж"},
    {"Return", "", Qt::Key_Return, Qt::NoModifier, "\r", "\r"},
    {"Backspace", "", Qt::Key_Backspace, Qt::NoModifier, "\x08", "\x7f"},
    {"Tab stays in the terminal", "", Qt::Key_Tab, Qt::NoModifier, "\t", "\t"},
    {"Escape", "", Qt::Key_Escape, Qt::NoModifier, "\x1b", "\x1b"},
    // Qt puts the control character in the text; the letter comes from the key code.
    {"Ctrl+C", "", Qt::Key_C, Qt::ControlModifier, "\x03", "\x03"},
    {"Ctrl+Space", "", Qt::Key_Space, Qt::ControlModifier, " ", std::string(1, '\0')},
    {"Ctrl+[", "", Qt::Key_BracketLeft, Qt::ControlModifier, "\x1b", "\x1b"},
    {"Alt as Meta", "", Qt::Key_X, Qt::AltModifier, "x", "\x1bx"},
    {"Alt+Left", "", Qt::Key_Left, Qt::AltModifier, "", "\x1b" "b"},
    {"Up", "", Qt::Key_Up, Qt::NoModifier, "", "\x1b[A"},
    {"Up, application cursor", "\x1b[?1h", Qt::Key_Up, Qt::NoModifier, "", "\x1bOA"},
    {"Shift+Up", "", Qt::Key_Up, Qt::ShiftModifier, "", "\x1b[1;2A"},
    {"Ctrl+Right", "", Qt::Key_Right, Qt::ControlModifier, "", "\x1b[1;5C"},
    {"F5", "", Qt::Key_F5, Qt::NoModifier, "", "\x1b[15~"},
    {"Delete", "", Qt::Key_Delete, Qt::NoModifier, "", "\x1b[3~"},
    {"Page Up in the alternate screen", "\x1b[?1049h", Qt::Key_PageUp, Qt::NoModifier, "", "\x1b[5~"},
    {"Page Up in the normal screen scrolls", "", Qt::Key_PageUp, Qt::NoModifier, "", ""},
    {"Shift alone", "", Qt::Key_Shift, Qt::ShiftModifier, "", ""},
};

INSTANTIATE_TEST_SUITE_P(Keys, TypingTest, testing::ValuesIn(keyCases));

TEST(WidgetInput, InputMethodCommitIsSentAndPreeditIsOnlyShown) {
    Widget w;
    w->feed("ab");
    QInputMethodEvent preedit(QStringLiteral("ka"), {});
    QApplication::sendEvent(w.view.get(), &preedit);
    EXPECT_EQ(w.host.take(), "");
    EXPECT_EQ(w->preeditText(), QStringLiteral("ka"));

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("か"));
    QApplication::sendEvent(w.view.get(), &commit);
    EXPECT_EQ(w.host.take(), "か");
    EXPECT_TRUE(w->preeditText().isEmpty());

    // Candidate windows open at the caret: the cell after "ab".
    const QRect caret = w->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_NEAR(caret.x(), 2 * w.cell().width, 2);
    EXPECT_NEAR(caret.y(), 0, 2);
    EXPECT_GE(caret.height(), static_cast<int>(w.cell().height));
}

TEST(WidgetInput, CtrlShiftCCopiesTheSelection) {
    Widget w;
    w->feed("hello world");
    QTest::mouseDClick(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(1, 0));
    ASSERT_TRUE(w->core().selectionActive());
    QTest::keyClick(w.view.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("hello"));
    EXPECT_EQ(w.host.take(), ""); // a clipboard shortcut sends nothing
}

struct PasteCase {
    const char* name;
    bool bracketed;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

class PasteTest : public testing::TestWithParam<PasteCase> {};

TEST_P(PasteTest, PastesTheClipboardFramedWhenAsked) {
    const PasteCase& c = GetParam();
    Widget w;
    if (c.bracketed) w->feed("\x1b[?2004h");
    const std::string text = "ls\nrm -rf x\x1b[201~\n";
    SystemClipboard::setClipboardText(QString::fromStdString(text));
    QTest::keyClick(w.view.get(), c.key, c.modifiers);
    EXPECT_EQ(w.host.take(), framePaste(text, c.bracketed)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Keys, PasteTest,
                         testing::Values(PasteCase{"Shift+Insert", false, Qt::Key_Insert, Qt::ShiftModifier},
                                         PasteCase{"Shift+Insert, mode 2004", true, Qt::Key_Insert,
                                                   Qt::ShiftModifier},
                                         PasteCase{"Ctrl+Shift+V, mode 2004", true, Qt::Key_V,
                                                   Qt::ControlModifier | Qt::ShiftModifier}));

// A press with a chosen timestamp, so that clicks count as double or triple clicks.
void press(TerminalView& view, QPoint at, ulong timestamp, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent down(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, modifiers);
    down.setTimestamp(timestamp);
    QApplication::sendEvent(&view, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, view.mapToGlobal(at), Qt::LeftButton, Qt::NoButton, modifiers);
    up.setTimestamp(timestamp + 1);
    QApplication::sendEvent(&view, &up);
}

TEST(WidgetPointer, DoubleClickSelectsAWordAndTripleClickTheRow) {
    Widget w;
    w->feed("one two three\r\nnext");
    press(*w, w.centre(5, 0), 1000);
    press(*w, w.centre(5, 0), 1100);
    EXPECT_EQ(w->core().getSelection(), "two");
    press(*w, w.centre(5, 0), 1200);
    EXPECT_EQ(w->core().getSelection(), "one two three");
    // Long after, a click starts over: it clears the selection.
    press(*w, w.centre(5, 0), 100000);
    EXPECT_FALSE(w->core().selectionActive());
}

TEST(WidgetPointer, DragSelects) {
    Widget w;
    w->feed("drag across here");
    QTest::mousePress(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(0, 0));
    QMouseEvent move(QEvent::MouseMove, w.centre(3, 0), w->mapToGlobal(w.centre(3, 0)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w.view.get(), &move);
    QTest::mouseRelease(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(3, 0));
    EXPECT_EQ(w->core().getSelection().substr(0, 3), "dra");
}

TEST(WidgetPointer, ClickIsReportedInMode1000AndNotSelected) {
    Widget w;
    w->feed("text\x1b[?1000h");
    w.host.take();
    QTest::mouseClick(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(2, 1));
    // Press at column 3, row 2 (1-based, +32), then the release (button 3).
    EXPECT_EQ(w.host.take(), "\x1b[M #\"\x1b[M##\"");
    EXPECT_FALSE(w->core().selectionActive());

    w->viewOptions().allowMouseReporting = false;
    QTest::mouseDClick(w.view.get(), Qt::LeftButton, Qt::NoModifier, w.centre(1, 0));
    EXPECT_EQ(w.host.take(), "");
    EXPECT_EQ(w->core().getSelection(), "text");
}

std::string lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

void wheel(TerminalView& view, int angleY) {
    const QPointF at(10, 10);
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, angleY), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

TEST(WidgetScrolling, WheelMovesTheViewport) {
    Widget w(40, 10);
    w->feed(lines(100));
    const int live = w->terminal().buffer().yDisp();
    ASSERT_GT(live, 50);
    wheel(*w, 120); // one notch up: three lines
    EXPECT_EQ(w->terminal().buffer().yDisp(), live - 3);
    wheel(*w, -120);
    EXPECT_EQ(w->terminal().buffer().yDisp(), live);
    EXPECT_EQ(w.host.take(), ""); // never reported to the program
}

TEST(WidgetScrolling, ScrollBarFollowsNewOutput) {
    Widget w(40, 10);
    EXPECT_FALSE(w->scrollBar()->isEnabled());
    w->feed(lines(100));
    QScrollBar& bar = *w->scrollBar();
    EXPECT_TRUE(bar.isEnabled());
    EXPECT_EQ(bar.value(), bar.maximum());
    // The knob shows the screen's share of all lines.
    const double proportion = static_cast<double>(bar.pageStep()) / (bar.maximum() - bar.minimum() + bar.pageStep());
    EXPECT_NEAR(proportion, 10.0 / w->terminal().buffer().lines().count(), 0.01);

    // A page click above the knob scrolls one screen up.
    const int live = w->terminal().buffer().yDisp();
    bar.triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(w->terminal().buffer().yDisp(), live - 10);
    EXPECT_LT(bar.value(), bar.maximum());
    // Dragging the knob to the top shows the oldest line.
    bar.setSliderPosition(0);
    bar.triggerAction(QAbstractSlider::SliderMove);
    EXPECT_EQ(w->terminal().buffer().yDisp(), 0);
}

TEST(WidgetHost, TitleBellAndSizeReachTheHost) {
    Widget w(40, 10);
    w->feed("\x1b]2;my title\x07\x07");
    EXPECT_EQ(w.host.title, "my title");
    EXPECT_EQ(w.host.bells, 1);
    w->resize(w->sizeForGrid(50, 12));
    QResizeEvent resize(w->size(), QSize());
    QApplication::sendEvent(w.view.get(), &resize);
    ASSERT_FALSE(w.host.sizes.empty());
    EXPECT_EQ(w.host.sizes.back(), std::make_pair(50, 12));
    EXPECT_EQ(w->terminal().cols(), 50);
}

TEST(WidgetHost, FontChangeRefitsTheTerminal) {
    Widget w(40, 10);
    const QSize size = w->size();
    QFont big = w->terminalFont();
    big.setPointSize(28);
    w->setTerminalFont(big);
    EXPECT_GT(w.cell().width, 20);
    EXPECT_LE(w->terminal().cols() * w.cell().width, size.width());
    EXPECT_LT(w->terminal().cols(), 40);
}

} // namespace
} // namespace tarvik::qttest
