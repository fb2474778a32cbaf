#include <gtest/gtest.h>

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

// Whatever a mode stores must read back through DECRQM as what was set.
TEST_F(ModesTest, ModesRoundTripThroughTheReport) {
    for (int mode :
         {1, 4, 6, 45, 7, 9, 12, 25, 40, 47, 66, 69, 1000, 1002, 1003, 1004, 1005, 1006, 1015, 1016, 2004}) {
        const std::string m = std::to_string(mode);
        t.feed("\x1b[?" + m + "h");
        EXPECT_EQ(decStatus(mode), "\x1b[?" + m + ";1$y");
        t.feed("\x1b[?" + m + "l");
        EXPECT_EQ(decStatus(mode), "\x1b[?" + m + ";2$y");
    }
    for (int mode : {4, 20}) {
        const std::string m = std::to_string(mode);
        EXPECT_EQ(query("\x1b[" + m + "h\x1b[" + m + "$p"), "\x1b[" + m + ";1$y");
        EXPECT_EQ(query("\x1b[" + m + "l\x1b[" + m + "$p"), "\x1b[" + m + ";2$y");
    }
    // The switch modes with save and clear have no state of their own to report.
    EXPECT_EQ(query("\x1b[?1049h\x1b[?1049$p"), "\x1b[?1049;0$y");
}

TEST_F(ModesTest, FlagsReachBothScreens) {
    t.feed("\x1b[4h\x1b[?69h\x1b[?7l");
    for (Buffer* b : {&t.normalBuffer(), &t.altBuffer()})
        EXPECT_TRUE(b->insertMode && b->marginMode && !b->wraparound);
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
    EXPECT_TRUE(t.wraparound && t.normalBuffer().wraparound && t.altBuffer().wraparound);
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
