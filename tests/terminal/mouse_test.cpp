#include <gtest/gtest.h>

#include "reports_host.h"
#include "terminal/TerminalMouse.h"

namespace tarvik {
namespace {

using P = MouseProtocolEncoding;

struct MouseTest : ::testing::Test {
    termtest::ReportsHost host;
    Terminal t{host, termtest::sized(80, 24)};
};

TEST_F(MouseTest, ButtonCodesAndModifiersByTrackingMode) {
    t.mouseMode = MouseMode::vt200;
    EXPECT_EQ(encodeButton(t, 1, false, true, true, false), 13);
    EXPECT_EQ(encodeButton(t, 2, false, false, false, true), 18);
    EXPECT_EQ(encodeButton(t, 4, false, false, false, false), 64);
    EXPECT_EQ(encodeButton(t, 5, true, true, false, false), 7); // any release is code 3
    for (int unknown : {3, 6, -1})
        EXPECT_EQ(encodeButton(t, unknown, false, false, false, false), 0);
    t.mouseMode = MouseMode::x10; // the original protocol has no modifier bits
    EXPECT_EQ(encodeButton(t, 1, false, true, true, true), 1);
}

TEST_F(MouseTest, ReportBytesOfEveryProtocol) {
    struct Case {
        P protocol;
        int flags, x, y, pixelX, pixelY;
        std::string bytes;
    };
    const Case cases[] = {
        {P::x10, 0, 0, 0, 0, 0, "\x1b[M\x20\x21\x21"},
        {P::x10, 3, 10, 4, 0, 0, "\x1b[M\x23\x2b\x25"},
        // Past column 222 a byte can no longer name the position: the farthest one is sent.
        {P::x10, 0, 300, 230, 0, 0, "\x1b[M\x20\xff\xff"},
        {P::x10, 0, -5, -1, 0, 0, "\x1b[M\x20\x21\x21"},
        {P::utf8, 0, 95, 0, 0, 0, "\x1b[M\x20\xc2\x80\x21"},
        {P::sgr, 3, 4, 9, 0, 0, "\x1b[<0;5;10m"},
        {P::sgr, 18, 4, 9, 0, 0, "\x1b[<18;5;10M"},
        {P::sgr, 7, 4, 9, 0, 0, "\x1b[<4;5;10m"},
        // Motion with no button is a motion report, not a release.
        {P::sgr, 35, 0, 0, 0, 0, "\x1b[<35;1;1M"},
        {P::sgr, 35 | 4, 2, 0, 0, 0, "\x1b[<39;3;1M"},
        {P::sgrPixel, 35, 0, 0, 8, 9, "\x1b[<35;8;9M"},
        {P::sgr, 64, 999, 500, 0, 0, "\x1b[<64;1000;501M"},
        {P::urxvt, 3, 4, 9, 0, 0, "\x1b[35;5;10M"},
        {P::sgrPixel, 0, 3, 7, 37, 120, "\x1b[<0;37;120M"},
        {P::sgrPixel, 3, 3, 7, 37, 120, "\x1b[<0;37;120m"},
    };
    for (const Case& c : cases) {
        t.mouseProtocol = c.protocol;
        sendEvent(t, c.flags, c.x, c.y, c.pixelX, c.pixelY);
        EXPECT_EQ(host.take(), c.bytes) << "protocol " << int(c.protocol) << " flags " << c.flags;
    }
    sendMotion(t, 0, 1, 1, 5, 6);
    EXPECT_EQ(host.take(), "\x1b[<32;5;6M");
    sendEvent(t, 0, 6, 2); // the cell stands in for the pixel position
    EXPECT_EQ(host.take(), "\x1b[<0;6;2M");
    t.feed("\x1b G");
    t.mouseProtocol = P::x10;
    sendEvent(t, 0, 0, 0);
    EXPECT_EQ(host.take(), "\x9bM\x20\x21\x21");
}

TEST_F(MouseTest, Utf8ValueBoundaries) {
    const std::pair<int, std::string> cases[] = {
        {126, "\x7e"},      {127, "\x7f"},      {128, "\xc2\x80"},
        {233, "\xc3\xa9"},  {2046, "\xdf\xbe"}, {2047, std::string(1, '\0')},
        {2048, "\xdf\xbf"}, {3000, "\xdf\xbf"},
    };
    for (const auto& [value, bytes] : cases) {
        std::vector<uint8_t> out;
        encodeMouseUtf(out, value);
        EXPECT_EQ(termtest::text(out), bytes) << value;
    }
}

} // namespace
} // namespace tarvik
