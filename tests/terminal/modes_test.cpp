#include <gtest/gtest.h>

#include <set>

#include "terminal/ModeTable.h"

#include "reports_host.h"

namespace tarvik {
namespace {

using termtest::ReportsHost;
using termtest::screenRow;

struct ModesTest : ::testing::Test {
    ReportsHost host;
    Terminal t{host, termtest::sized(20, 6)};

    std::string query(const std::string& request) {
        host.take();
        t.feed(request);
        return host.take();
    }
    // Placement without the cursor commands, so these tests exercise modes alone.
    void moveTo(int col, int row) {
        t.buffer().setX(col);
        t.buffer().setY(row);
    }
    std::string decStatus(int mode) { return query("\x1b[?" + std::to_string(mode) + "$p"); }
};

std::string modeSequence(const ModeDeclaration& mode, char final) {
    return std::string("\x1b[") + (mode.kind == ModeKind::dec ? "?" : "") + std::to_string(mode.number) + final;
}

std::string modeReport(const ModeDeclaration& mode, int status) {
    return std::string("\x1b[") + (mode.kind == ModeKind::dec ? "?" : "") + std::to_string(mode.number) + ";" +
           std::to_string(status) + "$y";
}

std::string modeName(const ModeDeclaration& mode) {
    return (mode.kind == ModeKind::dec ? "DEC " : "ANSI ") + std::to_string(mode.number);
}

// Whatever a mode stores reads back through DECRQM as what was set; a mode without state
// answers the same whatever is done to it.
TEST(ModeTableTest, EveryDeclaredModeReadsBackThroughTheReport) {
    for (const ModeDeclaration& mode : modeTable()) {
        SCOPED_TRACE(modeName(mode));
        ReportsHost host;
        Terminal t{host, termtest::sized(20, 6)};
        const bool stateful = mode.flag || mode.isSet;
        t.feed(modeSequence(mode, 'h'));
        host.take();
        t.feed(modeSequence(mode, '$') + "p");
        EXPECT_EQ(host.take(), modeReport(mode, stateful ? ModeStatus::set : mode.fixedStatus));
        t.feed(modeSequence(mode, 'l'));
        host.take();
        t.feed(modeSequence(mode, '$') + "p");
        EXPECT_EQ(host.take(), modeReport(mode, stateful ? ModeStatus::reset : mode.fixedStatus));
    }
}

TEST(ModeTableTest, EachModeIsDeclaredOnceAndUnknownOnesReportZero) {
    std::set<std::pair<ModeKind, int>> seen;
    for (const ModeDeclaration& mode : modeTable())
        EXPECT_TRUE(seen.insert({mode.kind, mode.number}).second) << modeName(mode);
    ReportsHost host;
    Terminal t{host, termtest::sized(20, 6)};
    t.feed("\x1b[?9999$p\x1b[21$p\x1b[0$p");
    EXPECT_EQ(host.take(), "\x1b[?9999;0$y\x1b[21;0$y\x1b[0;0$y");
}

// Full reset (ESC c) and soft reset (DECSTR) leave every flag as its declaration says and
// keep the ones they do not touch.
TEST(ModeTableTest, ResetsLeaveEveryFlagAsDeclared) {
    struct Reset {
        const char* sequence;
        ModeAfter ModeDeclaration::*after;
    };
    for (const Reset reset : {Reset{"\x1b" "c", &ModeDeclaration::afterReset},
                              Reset{"\x1b[!p", &ModeDeclaration::afterSoftReset}}) {
        for (const ModeDeclaration& mode : modeTable()) {
            if (!mode.flag) continue;
            for (const bool before : {false, true}) {
                SCOPED_TRACE(modeName(mode) + " after " + (reset.sequence + 1) + (before ? " set" : " reset"));
                ReportsHost host;
                Terminal t{host, termtest::sized(20, 6)};
                t.feed(modeSequence(mode, before ? 'h' : 'l'));
                t.feed(reset.sequence);
                host.take();
                t.feed(modeSequence(mode, '$') + "p");
                const ModeAfter after = mode.*reset.after;
                const bool expected = after == ModeAfter::kept ? before : after == ModeAfter::on;
                EXPECT_EQ(host.take(), modeReport(mode, expected ? ModeStatus::set : ModeStatus::reset));
            }
        }
    }
}

// The editing modes are the terminal's; both screens print by them, however they change.
TEST_F(ModesTest, FlagsReachBothScreens) {
    t.feed("\x1b[4h\x1b[?69h\x1b[?7l");
    for (Buffer* b : {&t.normalBuffer(), &t.altBuffer()})
        EXPECT_TRUE(b->modes().insertMode && b->modes().marginMode && !b->modes().wraparound);
    t.feed("\x1b[4l\x1b[?69l\x1b[?7h\x1b[?1049h");
    t.insertMode = true; // written directly, as a host may
    t.feed("bc\x1b[Ha");
    EXPECT_EQ(screenRow(t, 0), "abc");
    t.insertMode = false;
    t.feed("\x1b[?7l\x1b" "7\x1b[?7h\x1b" "8\x1b[H0123456789012345678901"); // restored off: no wrap
    EXPECT_EQ(screenRow(t, 0), "01234567890123456781");
    EXPECT_EQ(screenRow(t, 1), "");
    // A private marker other than '?' names no mode.
    t.feed("\x1b[>1h");
    EXPECT_FALSE(t.applicationCursor);
}

TEST_F(ModesTest, SeveralModesApplyInOrderAndReportsFollowTheControlWidth) {
    t.feed("\x1b[?25l\x1b[?1;25h");
    EXPECT_TRUE(t.applicationCursor && !t.cursorHidden);
    EXPECT_EQ(decStatus(25), "\x1b[?25;1$y");
    t.feed("\x1b G");
    EXPECT_EQ(decStatus(25), "\x9b?25;1$y");
    t.feed("\x1b[61\"p"); // level 1 forces 7-bit replies
    EXPECT_EQ(decStatus(25), "\x1b[?25;1$y");
    t.feed("\x1b[62;2\"p");
    EXPECT_EQ(t.conformance, Conformance::vt200);
    EXPECT_EQ(decStatus(25), "\x9b?25;1$y");
}

TEST_F(ModesTest, Mode1049SavesSwitchesClearsAndRestores) {
    t.feed("normal");
    moveTo(4, 2);
    t.feed("\x1b[?25l\x1b[?1049h");
    EXPECT_TRUE(t.isCurrentBufferAlternate());
    EXPECT_FALSE(t.cursorHidden); // a hidden cursor reappears on the new screen
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(4, 2));
    EXPECT_EQ(screenRow(t, 0), "");
    moveTo(0, 0);
    t.feed("alt\x1b[?1049l");
    EXPECT_EQ(screenRow(t, 0), "normal");
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(4, 2));
    EXPECT_EQ(host.bufferActivations, 2);
    t.feed("\x1b[?1049h"); // cleared on the way out
    EXPECT_EQ(screenRow(t, 0), "");
}

TEST_F(ModesTest, Mode47KeepsTheAlternateContentsAnd1047ClearsThem) {
    t.feed("\x1b[?47hkept\x1b[?47l");
    EXPECT_EQ(screenRow(t, 0), "");
    t.feed("\x1b[?47h");
    EXPECT_EQ(screenRow(t, 0), "kept");
    t.feed("\x1b[?1047l\x1b[?1047h");
    EXPECT_EQ(screenRow(t, 0), "");
    const int before = host.bufferActivations;
    t.feed("\x1b[?47h"); // already there: no switch
    EXPECT_EQ(host.bufferActivations, before);
}

TEST_F(ModesTest, DroppingTheMouseEncodingStopsTracking) {
    t.feed("\x1b[?1003h\x1b[?1006h");
    const int before = host.mouseModeChanges;
    t.feed("\x1b[?1006l");
    EXPECT_EQ(t.mouseMode, MouseMode::off);
    EXPECT_EQ(t.mouseProtocol, MouseProtocolEncoding::x10);
    EXPECT_EQ(host.mouseModeChanges, before + 1);
    t.feed("\x1b[?1015h\x1b[?1000h\x1b"
           "c"); // a full reset keeps the encoding
    EXPECT_EQ(t.mouseMode, MouseMode::off);
    EXPECT_EQ(t.mouseProtocol, MouseProtocolEncoding::urxvt);
}

TEST_F(ModesTest, ReverseWraparoundNeedsWraparound) {
    t.feed("\x1b[?7l\x1b[?45h");
    EXPECT_FALSE(t.reverseWraparound);
}

// A column switch clears the screen, resets the margins and homes the cursor, but keeps
// the pen and the modes the program chose.
TEST_F(ModesTest, ColumnModeClearsAndResetsMarginsOnlyWhenAllowed) {
    t.feed("text\x1b[2;5r\x1b[?69h\x1b[3;9s\x1b[1;31m\x1b[?6h\x1b[4;4H\x1b[?3h");
    EXPECT_EQ(t.cols(), 132);
    EXPECT_TRUE(t.originMode && t.marginMode);
    EXPECT_EQ(t.buffer().scrollTop(), 0);
    EXPECT_EQ(t.buffer().scrollBottom(), t.rows() - 1);
    EXPECT_EQ(t.buffer().marginLeft, 0);
    EXPECT_EQ(t.buffer().marginRight, 131);
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(0, 0));
    EXPECT_EQ(screenRow(t, 0), "");
    EXPECT_TRUE(t.curAttr.style.contains(CharacterStyle::bold));
    EXPECT_EQ(t.curAttr.fg, Attribute::Color::ansi256(1));
    EXPECT_EQ(decStatus(3), "\x1b[?3;1$y");
    t.feed("\x1b[?3l");
    EXPECT_EQ(t.cols(), 80);
    t.feed("\x1b[?40l\x1b[?3h");
    EXPECT_EQ(t.cols(), 80);
    EXPECT_EQ(host.sizeChanges, 2);
}

TEST_F(ModesTest, CursorStyleIsAnnouncedOnlyWhenItChanges) {
    t.feed("\x1b[5 q\x1b[5 q\x1b[7 q\x1b[6q\x1b[ q");
    EXPECT_EQ(host.cursorStyles, (std::vector<CursorStyle>{CursorStyle::blinkBar, CursorStyle::blinkBlock}));
}

TEST_F(ModesTest, SoftResetKeepsScreenAndCursorButResetsModes) {
    t.feed("hello");
    t.buffer().setScrollBottom(4);
    moveTo(6, 2);
    t.feed("\x1b[?6;69h\x1b[4h\x1b[?1h\x1b=\x1b[?7l\x1b[?25l\x1b[?5h\x1b[!p");
    EXPECT_EQ(screenRow(t, 0), "hello");
    EXPECT_EQ(t.getCursorLocation(), std::make_pair(6, 2));
    EXPECT_FALSE(t.originMode || t.insertMode || t.applicationCursor || t.applicationKeypad ||
                 t.cursorHidden);
    EXPECT_TRUE(t.wraparound && t.normalBuffer().modes().wraparound && t.altBuffer().modes().wraparound);
    EXPECT_EQ(t.buffer().scrollBottom(), 5);
    EXPECT_EQ(t.curAttr, CharData::defaultAttr);
    EXPECT_EQ(host.paletteResets, 1);
}

TEST_F(ModesTest, UnknownModesAreLoggedOnlyWhenAsked) {
    testing::internal::CaptureStdout();
    t.feed("\x1b[?9999h\x1b[77h");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    t.setSilentLog(false);
    testing::internal::CaptureStdout();
    t.feed("\x1b[?9999h\x1b[?9999l\x1b[77h\x1b[>5h");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Info: Unhandled DEC Private Mode Set (DECSET) with 9999\n"
              "Info: Unhandled DEC Private Mode Reset (DECRST) with 9999\n"
              "Info: Unhandled setMode (SM) with 77 and \n"
              "Info: Unknown CSI Code (collect=[62] code=h pars=[5])\n");
}

} // namespace
} // namespace tarvik
