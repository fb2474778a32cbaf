#include <gtest/gtest.h>

#include "ViewHarness.h"
#include "view/PasteFraming.h"

namespace tarvik {
namespace {

using viewtest::ViewFixture;

constexpr KeyModifiers none{};
constexpr KeyModifiers shift{true, false, false, false};
constexpr KeyModifiers ctrl{false, true, false, false};
constexpr KeyModifiers alt{false, false, true, false};
constexpr KeyModifiers ctrlShift{true, true, false, false};
constexpr KeyModifiers altShift{true, false, true, false};
constexpr KeyModifiers ctrlAlt{false, true, true, false};
constexpr KeyModifiers command{true, true, false, false};
constexpr KeyModifiers commandAlt{true, true, true, false};
constexpr KeyModifiers super{false, false, false, true};

KeyEvent key(Key k, KeyModifiers m = none) {
    return KeyEvent{"", k, m, 0, false};
}
KeyEvent text(std::string t, KeyModifiers m = none, std::uint32_t scanCode = 0) {
    return KeyEvent{std::move(t), Key::none, m, scanCode, false};
}
KeyEvent keypad(std::string t, Key k = Key::none) {
    return KeyEvent{std::move(t), k, none, 0, true};
}

struct KeyCase {
    const char* name;
    KeyEvent event;
    std::string normal;      // bytes with application cursor mode off
    std::string application; // ... and on
};

// Every special key in both cursor modes, with the modifiers that change what it sends.
const KeyCase keyCases[] = {
    {"Up", key(Key::up), "\x1b[A", "\x1bOA"},
    {"Down", key(Key::down), "\x1b[B", "\x1bOB"},
    {"Left", key(Key::left), "\x1b[D", "\x1bOD"},
    {"Right", key(Key::right), "\x1b[C", "\x1bOC"},
    {"Home", key(Key::home), "\x1b[H", "\x1bOH"},
    {"End", key(Key::end), "\x1b[F", "\x1bOF"},
    {"ShiftUp", key(Key::up, shift), "\x1b[1;2A", "\x1b[1;2A"},
    {"AltUp", key(Key::up, alt), "\x1b[1;3A", "\x1b[1;3A"},
    {"AltShiftDown", key(Key::down, altShift), "\x1b[1;4B", "\x1b[1;4B"},
    {"CtrlUp", key(Key::up, ctrl), "\x1b[1;5A", "\x1b[1;5A"},
    {"CtrlShiftDown", key(Key::down, ctrlShift), "\x1b[1;6B", "\x1b[1;6B"},
    {"CtrlAltUp", key(Key::up, ctrlAlt), "\x1b[1;7A", "\x1b[1;7A"},
    {"CtrlShiftAltUp", key(Key::up, commandAlt), "\x1b[1;8A", "\x1b[1;8A"},
    {"ShiftLeft", key(Key::left, shift), "\x1b[1;2D", "\x1b[1;2D"},
    {"CtrlLeft", key(Key::left, ctrl), "\x1b[1;5D", "\x1b[1;5D"},
    {"CtrlRight", key(Key::right, ctrl), "\x1b[1;5C", "\x1b[1;5C"},
    {"CtrlShiftLeftKeepsControlLeft", key(Key::left, ctrlShift), "\x1b[1;5D", "\x1b[1;5D"},
    {"AltLeft", key(Key::left, alt), "\x1b" "b", "\x1b" "b"},
    {"AltRight", key(Key::right, alt), "\x1b" "f", "\x1b" "f"},
    {"CtrlAltLeftIsMeta", key(Key::left, ctrlAlt), "\x1b" "b", "\x1b" "b"},
    {"ShiftHome", key(Key::home, shift), "\x1b[1;2H", "\x1b[1;2H"},
    {"CtrlEnd", key(Key::end, ctrl), "\x1b[1;5F", "\x1b[1;5F"},
    {"F1", key(Key::f1), "\x1bOP", "\x1bOP"},
    {"F2", key(Key::f2), "\x1bOQ", "\x1bOQ"},
    {"F3", key(Key::f3), "\x1bOR", "\x1bOR"},
    {"F4", key(Key::f4), "\x1bOS", "\x1bOS"},
    {"F5", key(Key::f5), "\x1b[15~", "\x1b[15~"},
    {"F6", key(Key::f6), "\x1b[17~", "\x1b[17~"},
    {"F7", key(Key::f7), "\x1b[18~", "\x1b[18~"},
    {"F8", key(Key::f8), "\x1b[19~", "\x1b[19~"},
    {"F9", key(Key::f9), "\x1b[20~", "\x1b[20~"},
    {"F10", key(Key::f10), "\x1b[21~", "\x1b[21~"},
    {"F11", key(Key::f11), "\x1b[23~", "\x1b[23~"},
    {"F12", key(Key::f12), "\x1b[24~", "\x1b[24~"},
    {"ShiftF1", key(Key::f1, shift), "\x1b[1;2P", "\x1b[1;2P"},
    {"CtrlF4", key(Key::f4, ctrl), "\x1b[1;5S", "\x1b[1;5S"},
    {"CtrlF5", key(Key::f5, ctrl), "\x1b[15;5~", "\x1b[15;5~"},
    {"AltF12", key(Key::f12, alt), "\x1b[24;3~", "\x1b[24;3~"},
    {"ShiftF10", key(Key::f10, shift), "\x1b[21;2~", "\x1b[21;2~"},
    {"Delete", key(Key::deleteKey), "\x1b[3~", "\x1b[3~"},
    {"ShiftDelete", key(Key::deleteKey, shift), "\x1b[3;2~", "\x1b[3;2~"},
    {"CtrlDelete", key(Key::deleteKey, ctrl), "\x1b[3;5~", "\x1b[3;5~"},
    {"Insert", key(Key::insert), "\x1b[2~", "\x1b[2~"},
    {"CtrlInsert", key(Key::insert, ctrl), "\x1b[2;5~", "\x1b[2;5~"},
    {"AltInsert", key(Key::insert, alt), "\x1b[2;3~", "\x1b[2;3~"},
    {"PageUpScrollsTheView", key(Key::pageUp), "", ""},
    {"PageDownScrollsTheView", key(Key::pageDown), "", ""},
    {"ShiftPageUp", key(Key::pageUp, shift), "\x1b[5;2~", "\x1b[5;2~"},
    {"CtrlPageDown", key(Key::pageDown, ctrl), "\x1b[6;5~", "\x1b[6;5~"},
    {"ShiftPageDownModifiesSelection", key(Key::pageDown, shift), "\x1b[6~", ""},
    {"Return", key(Key::enter), "\r", "\r"},
    {"ShiftReturn", key(Key::enter, shift), "\r", "\r"},
    {"AltReturn", key(Key::enter, alt), "\x1b\r", "\x1b\r"},
    {"CtrlReturnHasNoControlCode", key(Key::enter, ctrl), "", ""},
    {"Tab", key(Key::tab), "\t", "\t"},
    {"Backtab", key(Key::backtab, shift), "\x1b[Z", "\x1b[Z"},
    {"CtrlBacktab", key(Key::backtab, ctrlShift), "\x1b[Z", "\x1b[Z"},
    {"AltTab", key(Key::tab, alt), "\x1b\t", "\x1b\t"},
    {"Escape", key(Key::escape), "\x1b", "\x1b"},
    {"AltEscape", key(Key::escape, alt), "\x1b\x1b", "\x1b\x1b"},
    {"Backspace", key(Key::backspace), "\x7f", "\x7f"},
    {"AltBackspace", key(Key::backspace, alt), "\x1b\x7f", "\x1b\x7f"},
    {"Letter", text("a"), "a", "a"},
    {"ShiftedLetter", text("A", shift), "A", "A"},
    {"NonAscii", text("é"), "\xc3\xa9", "\xc3\xa9"},
    {"SuperIsIgnored", text("a", super), "a", "a"},
    {"AltLetterIsMeta", text("x", alt), "\x1bx", "\x1bx"},
    {"CtrlAltLetterIsMeta", text("x", ctrlAlt), "\x1bx", "\x1bx"},
    {"CommandLetterTypesNothing", text("X", commandAlt), "", ""},
    {"KeypadDigitWithoutApplicationKeypad", keypad("5"), "5", "5"},
    {"KeypadEnterWithoutApplicationKeypad", keypad("\r", Key::enter), "\r", "\r"},
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, SendsTheBytesOfItsCursorMode) {
    const KeyCase& c = GetParam();
    for (const bool application : {false, true}) {
        ViewFixture f;
        if (application) f.feed("\x1b[?1h");
        f.view->keyboard().keyDown(c.event);
        EXPECT_EQ(f.host.take(), application ? c.application : c.normal) << (application ? "application" : "normal");
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyTable, ::testing::ValuesIn(keyCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ControlCase {
    const char* name;
    std::string chars;
    std::string expected;
};

const ControlCase controlCases[] = {
    {"LowerC", "c", "\x03"},       {"UpperZ", "Z", "\x1a"},       {"LowerA", "a", "\x01"},
    {"Space", " ", std::string(1, '\0')}, {"Bracket", "[", "\x1b"}, {"Backslash", "\\", "\x1c"},
    {"CloseBracket", "]", "\x1d"}, {"Caret", "^", "\x1e"},        {"Six", "6", "\x1e"},
    {"Underscore", "_", "\x1f"},   {"Digit", "1", ""},            {"Umlaut", "ä", ""},
    {"Question", "?", ""},
};

class ControlTable : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlTable, ControlMapsOneByteTexts) {
    ViewFixture f;
    f.view->keyboard().keyDown(text(GetParam().chars, ctrl));
    EXPECT_EQ(f.host.take(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, ControlTable, ::testing::ValuesIn(controlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeyEncoderTest, MetaSendsEscapeAndTheKeyAsTwoSends) {
    ViewFixture f;
    f.view->keyboard().keyDown(text("x", alt));
    EXPECT_EQ(f.host.sends, 2);
    f.view->options.optionAsMetaKey = false;
    f.view->keyboard().keyDown(text("x", alt));
    EXPECT_EQ(f.host.take(), "\x1bxx");
    f.view->keyboard().keyDown(key(Key::left, alt));
    EXPECT_EQ(f.host.take(), "\x1b[1;3D");
}

TEST(KeyEncoderTest, CommandAltOTogglesMetaAndSendsNothing) {
    ViewFixture f;
    f.view->keyboard().keyDown(text("O", commandAlt));
    EXPECT_FALSE(f.view->options.optionAsMetaKey);
    EXPECT_EQ(f.host.take(), "");
    f.view->keyboard().keyDown(text("x", alt));
    EXPECT_EQ(f.host.take(), "x");
    f.view->keyboard().keyDown(text("o", commandAlt));
    EXPECT_TRUE(f.view->options.optionAsMetaKey);
}

TEST(KeyEncoderTest, BackspaceCanSendControlH) {
    ViewFixture f;
    f.view->options.backspaceSendsControlH = true;
    f.view->keyboard().keyDown(key(Key::backspace));
    f.view->keyboard().keyDown(key(Key::backspace, alt));
    EXPECT_EQ(f.host.take(), "\b\x1b\b");
}

TEST(KeyEncoderTest, ApplicationKeypadSendsKeypadSequences) {
    ViewFixture f;
    f.feed("\x1b=");
    for (const char* digit : {"0", "5", "9", "+", "-", "*", "/", ".", ","})
        f.view->keyboard().keyDown(keypad(digit));
    f.view->keyboard().keyDown(keypad("\r", Key::enter));
    f.view->keyboard().keyDown(text("5")); // the main row's 5 is no keypad key
    EXPECT_EQ(f.host.take(), "\x1bOp\x1bOu\x1bOy\x1bOk\x1bOm\x1bOj\x1bOo\x1bOn\x1bOl\x1bOM5");
    f.feed("\x1b>");
    f.view->keyboard().keyDown(keypad("5"));
    EXPECT_EQ(f.host.take(), "5");
}

TEST(KeyEncoderTest, PageKeysGoToTheProgramInTheAlternateBuffer) {
    ViewFixture f;
    f.feed("\x1b[?1049h");
    f.view->keyboard().keyDown(key(Key::pageUp));
    f.view->keyboard().keyDown(key(Key::pageDown));
    EXPECT_EQ(f.host.take(), "\x1b[5~\x1b[6~");
}

TEST(KeyEncoderTest, PageUpScrollsAndTypingReturnsToTheLiveScreen) {
    ViewFixture f(20, 5);
    for (int i = 0; i < 30; ++i) f.feed("line\r\n");
    const int live = f.terminal().buffer().yBase();
    f.view->keyboard().keyDown(key(Key::pageUp));
    EXPECT_EQ(f.terminal().buffer().yDisp(), live - 5);
    f.view->keyboard().keyDown(key(Key::pageDown));
    EXPECT_EQ(f.terminal().buffer().yDisp(), live);
    f.view->keyboard().keyDown(key(Key::pageUp));
    f.view->keyboard().keyDown(key(Key::pageUp));
    EXPECT_EQ(f.host.take(), "");
    f.view->keyboard().keyDown(text("x"));
    EXPECT_EQ(f.terminal().buffer().yDisp(), live);
    EXPECT_EQ(f.host.take(), "x");
}

TEST(KeyEncoderTest, AnyKeyClearsTheSelection) {
    ViewFixture f;
    f.view->selectAll();
    ASSERT_TRUE(f.view->selectionActive());
    f.view->keyboard().keyDown(key(Key::up, shift));
    EXPECT_FALSE(f.view->selectionActive());
}

TEST(KeyEncoderTest, UnknownCommandsSendNothing) {
    ViewFixture f;
    f.view->keyboard().doCommand("moveWordLeft:");
    EXPECT_EQ(f.host.take(), "");
    f.view->keyboard().doCommand("moveToLeftEndOfLine:");
    EXPECT_EQ(f.host.take(), "\x1b" "b");
}

struct ShortcutCase {
    const char* name;
    KeyEvent event;
    const char* action; // "copy", "paste", "selectAll" or "" (a normal key)
    std::string sentOtherwise;
};

const ShortcutCase shortcutCases[] = {
    {"LatinCopy", text("C", command, ScanCode::c), "copy", ""},
    {"LatinCopyLowerCase", text("c", command, ScanCode::c), "copy", ""},
    {"LatinPaste", text("V", command, ScanCode::v), "paste", ""},
    {"LatinSelectAll", text("A", command, ScanCode::a), "selectAll", ""},
    {"CyrillicCopyOnTheCKey", text("С", command, ScanCode::c), "copy", ""},
    {"CyrillicPasteOnTheVKey", text("М", command, ScanCode::v), "paste", ""},
    {"CyrillicSelectAllOnTheAKey", text("ф", command, ScanCode::a), "selectAll", ""},
    {"CyrillicLetterOnAnotherKey", text("С", command, 40), "", ""},
    {"ShiftInsertPastes", key(Key::insert, shift), "paste", ""},
    {"CtrlCIsInterrupt", text("c", ctrl, ScanCode::c), "", "\x03"},
    {"CommandAltCIsNoShortcut", text("C", commandAlt, ScanCode::c), "", ""},
    {"SuperCommandCIsNoShortcut", text("C", KeyModifiers{true, true, false, true}, ScanCode::c), "", "\x03"},
};

class ShortcutTable : public ::testing::TestWithParam<ShortcutCase> {};

TEST_P(ShortcutTable, ClipboardShortcuts) {
    const ShortcutCase& c = GetParam();
    ViewFixture f;
    f.feed("hello");
    f.view->selection().select(0);
    f.surface.clipboard = "pasted";
    f.view->keyboard().keyDown(c.event);
    const std::string action = c.action;
    if (action == "copy") {
        EXPECT_EQ(f.surface.clipboard, "hello");
        EXPECT_EQ(f.host.take(), "");
    } else if (action == "paste") {
        EXPECT_EQ(f.host.take(), "pasted");
    } else if (action == "selectAll") {
        EXPECT_TRUE(f.view->selectionActive());
        EXPECT_EQ(f.view->selection().end.col, f.terminal().cols() - 1);
    } else {
        EXPECT_EQ(f.surface.clipboard, "pasted");
        EXPECT_FALSE(f.view->selectionActive());
        EXPECT_EQ(f.host.take(), c.sentOtherwise);
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ShortcutTable, ::testing::ValuesIn(shortcutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeyEncoderTest, PasteIsFramedWhileBracketedPasteIsOn) {
    ViewFixture f;
    f.surface.clipboard = "ls\n";
    f.view->paste();
    EXPECT_EQ(f.host.take(), "ls\n");
    f.feed("\x1b[?2004h");
    f.view->keyboard().keyDown(key(Key::insert, shift));
    EXPECT_EQ(f.host.take(), "\x1b[200~ls\n\x1b[201~");
}

} // namespace
} // namespace tarvik
