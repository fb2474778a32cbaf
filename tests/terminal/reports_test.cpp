#include <cstdlib>

#include <gtest/gtest.h>

#include "reports_host.h"
#include "terminal/Base64.h"
#include "terminal/TerminalReports.h"

namespace tarvik {
namespace {

using termtest::ReportsHost;
using Kind = WindowManipulationCommand::Kind;
using Size = ImageSizeRequest::Kind;

struct ReportsTest : ::testing::Test {
    ReportsHost host;
    Terminal t{host, termtest::sized(80, 24)};

    std::string ask(const std::string& request) {
        host.take();
        t.feed(request);
        return host.take();
    }
    // Each request followed by the exact reply it must get.
    void expectReplies(std::initializer_list<std::pair<const char*, std::string>> exchanges) {
        for (const auto& [request, reply] : exchanges)
            EXPECT_EQ(ask(request), reply) << "request " << request + 1;
    }
    void moveTo(int col, int row) {
        t.buffer().setX(col);
        t.buffer().setY(row);
    }
    // Which cells of a row carry a hyperlink, as '#' and '.'.
    std::string linkMap(int row, int from, int to) {
        std::string out;
        for (int col = from; col < to; ++col)
            out += t.getCharData(col, row)->hasPayload() ? '#' : '.';
        return out;
    }
};

TEST_F(ReportsTest, DeviceAttributesByTerminalName) {
    const std::pair<const char*, std::string> cases[] = {
        {"xterm-256color", "\x1b[?65;1;2;6;21;22;17;28;4c"},
        {"screen", "\x1b[?1;2c"},
        {"rxvt-unicode-256color", "\x1b[?1;2c"},
        {"linux", "\x1b[?6c"},
        {"vt100", ""},
    };
    for (const auto& [name, reply] : cases) {
        ReportsHost h;
        Terminal term(h, termtest::sized(80, 24, name));
        term.feed("\x1b[c\x1b[0c\x1b[1c");
        EXPECT_EQ(h.take(), reply + reply) << name;
        term.feed("\x1b[>c\x1b[>0c\x1b[>1c");
        EXPECT_EQ(h.take(), "\x1b[>65;20;1c\x1b[>65;20;1c") << name;
    }
    TerminalOptions noSixel = termtest::sized(80, 24);
    noSixel.enableSixelReported = false;
    Terminal plain(host, noSixel);
    host.take();
    plain.feed("\x1b[c");
    EXPECT_EQ(host.take(), "\x1b[?65;1;2;6;21;22;17;28c");
}

TEST_F(ReportsTest, StatusReports) {
    moveTo(6, 2);
    expectReplies({
        {"\x1b[5n", "\x1b[0n"},
        {"\x1b[6n", "\x1b[3;7R"},
        {"\x1b[?6n", "\x1b[?3;7;1R"},
        {"\x1b[?15n", "\x1b[?10n"},
        {"\x1b[?25n", "\x1b[?21n"},
        {"\x1b[?26n", "\x1b[?27;1;0;0n"},
        {"\x1b[?55n", "\x1b[?53n"},
        {"\x1b[?56n", "\x1b[?57;1n"},
        {"\x1b[?62n", "\x1b[0*{"},
        {"\x1b[?63;7n", "\x1bP7!~0000\x1b\\"},
        {"\x1b[?75n", "\x1b[?70n"},
        {"\x1b[?85n", "\x1b[?83n"},
        {"\x1b[?5n", ""},
        {"\x1b[>6n", ""},
        {"\x1b G\x1b[6n", "\x9b"
                          "3;7R"},
        {"\x1b[?63;2n", "\x90"
                        "2!~0000\x9c"},
    });
}

TEST_F(ReportsTest, CursorReportInOriginModeAndWhileWaitingToWrap) {
    t.buffer().setScrollTop(1);
    t.buffer().marginLeft = 4;
    moveTo(6, 2);
    t.originMode = true;
    EXPECT_EQ(ask("\x1b[6n"), "\x1b[2;7R");
    t.marginMode = true;
    EXPECT_EQ(ask("\x1b[6n"), "\x1b[2;3R");
    moveTo(1, 2);
    EXPECT_EQ(ask("\x1b[6n"), "\x1b[2;1R"); // never below 1
    t.originMode = t.marginMode = false;
    moveTo(0, 5);
    t.feed(std::string(80, 'x')); // the cursor waits beyond the edge but stands on column 80
    EXPECT_EQ(ask("\x1b[6n"), "\x1b[6;80R");
}

TEST_F(ReportsTest, SettingRequests) {
    expectReplies({{"\x1bP$qr\x1b\\", "\x1bP1$r1;24r\x1b\\"}});
    t.buffer().setScrollTop(2);
    t.buffer().setScrollBottom(9);
    t.buffer().marginLeft = 3;
    t.buffer().marginRight = 40;
    expectReplies({
        {"\x1bP$qr\x1b\\", "\x1bP1$r3;10r\x1b\\"},
        {"\x1bP$qs\x1b\\", "\x1bP1$r4;41s\x1b\\"},
        {"\x1bP$q\"q\x1b\\", "\x1bP1$r\"q\x1b\\"},
        {"\x1bP$q\"p\x1b\\", "\x1bP1$r65;1\"p\x1b\\"},
        {"\x1bP$q q\x1b\\", "\x1bP1$r1 q\x1b\\"},
        {"\x1bP$qm\x1b\\", "\x1bP1$r0m\x1b\\"},
        {"\x1b[1;4m\x1bP$qm\x1b\\", "\x1bP1$r0;1;4m\x1b\\"},
        {"\x1bP$qx\x1b\\", "\x1bP0$r\x1b\\"},
        {"\x1bP$q\x1b\\", "\x1bP0$r\x1b\\"},
        {"\x1bP$qrr\x1b\\", "\x1bP0$r\x1b\\"},
    });
    // The answers describe what the program set, so it can send them back as they are.
    t.feed("\x1b[6 q\x1b[62;2\"p");
    expectReplies({{"\x1bP$q q\x1b\\", "\x90"
                                       "1$r6 q\x9c"},
                   {"\x1bP$q\"p\x1b\\", "\x90"
                                        "1$r62;0\"p\x9c"}});
    EXPECT_EQ(ask("\x1bP$q" + std::string(100000, 'm') + "\x1b\\"), "\x90"
                                                                    "0$r\x9c");
}

TEST_F(ReportsTest, RectangleChecksum) {
    t.feed("AB");
    host.trusted = false;
    EXPECT_EQ(ask("\x1b[1;1;1;1;1;2*y"), "\x1bP1!~0000\x1b\\");
    host.trusted = true;
    expectReplies({
        {"\x1b[*y", "\x1bP1!~0000\x1b\\"},
        {"\x1b[5;1*y", "\x1bP5!~0000\x1b\\"},
        {"\x1b[1;1;1;1;1;2*y", "\x1bP1!~0083\x1b\\"}, // 'A' + 'B'
        {"\x1b[2;1;1;1;1;3*y", "\x1bP2!~00a3\x1b\\"}, // an empty cell counts as a space
        {"\x1b[3;1;1;1;0;3*y", "\x1bP3!~0000\x1b\\"}, // bottom 0: no rectangle
        {"\x1b[4;1;2;1*y", "\x1bP4!~e600\x1b\\"},     // rows 2-24 of spaces
    });
}

TEST_F(ReportsTest, WindowOperations) {
    t.feed("\x1b[1t\x1b[2t\x1b[3;10;20t\x1b[4;100;200t\x1b[5t\x1b[6t\x1b[7t\x1b[8;24;80t\x1b[9;0t\x1b[9;"
           "1t\x1b[9;2t"
           "\x1b[9;3t\x1b[10;0t\x1b[10;1t\x1b[10;2t");
    // Near misses, and other functions on the same final byte, reach nobody.
    t.feed("\x1b[9;1;5t\x1b[3;1t\x1b[11t\x1b[14t\x1b[t\x1b[22t\x1b[2 t\x1b[>2t\x1b[1;1;2;2;1$t");
    const std::vector<WindowManipulationCommand> expected = {
        {Kind::deiconifyWindow},
        {Kind::iconifyWindow},
        {Kind::moveWindowTo, 10, 20},
        {Kind::resizeWindowTo, 200, 100},
        {Kind::bringToFront},
        {Kind::sendToBack},
        {Kind::refreshWindow},
        {Kind::resizeTo, 80, 24},
        {Kind::restoreMaximizedWindow},
        {Kind::maximizeWindow},
        {Kind::maximizeWindowVertically},
        {Kind::maximizeWindowHorizontally},
        {Kind::undoFullScreen},
        {Kind::switchToFullScreen},
        {Kind::toggleFullScreen},
    };
    EXPECT_EQ(host.windowCommands, expected);
    EXPECT_EQ(host.sent, "");
}

TEST_F(ReportsTest, SizeReportsDefaultUnlessTheHostAnswers) {
    t.resize(100, 30);
    t.feed("\x1b]2;win\x07\x1b]1;ico\x07");
    expectReplies({
        {"\x1b[15t", "\x1b[5;768;1024t"},
        {"\x1b[16t", "\x1b[6;16;10t"},
        {"\x1b[18t", "\x1b[8;30;100t"},
        {"\x1b[19t", "\x1b[9;30;100t"},
        {"\x1b[20t", "\x1b]Lico\x1b\\"},
        {"\x1b[21t", "\x1b]lwin\x1b\\"},
    });
    EXPECT_EQ(host.windowCommands.size(), 4u); // the title reports do not ask the host
    host.windowAnswer = std::vector<uint8_t>{'o', 'k'};
    EXPECT_EQ(ask("\x1b[18t"), "ok");
}

TEST_F(ReportsTest, Titles) {
    t.feed("\x1b]0;first\x07\x1b[22;0t\x1b]2;second\x07\x1b]1;icon2\x07");
    host.titles.clear();
    host.iconTitles.clear();
    t.feed("\x1b[23;0t");
    EXPECT_EQ(host.titles, std::vector<std::string>{"first"});
    EXPECT_EQ(host.iconTitles, std::vector<std::string>{"first"});
    // 1 keeps the icon title, 2 the window title; popping an empty stack does nothing.
    t.feed("\x1b]1;savedIcon\x07\x1b[22;1t\x1b]1;other\x07\x1b]2;keep\x07\x1b[23;2t\x1b[23;1t\x1b[23;1t");
    EXPECT_EQ(t.iconTitle(), "savedIcon");
    EXPECT_EQ(t.terminalTitle(), "keep");
    // Invalid UTF-8 is no title.
    t.feed("\x1b]2;bad\xc3\x07\x1b]1;bad\xff\x07");
    EXPECT_EQ(t.terminalTitle(), "keep");
    EXPECT_EQ(t.iconTitle(), "savedIcon");
}

TEST_F(ReportsTest, TitleStackIsBounded) {
    for (int i = 0; i < 25; ++i)
        t.feed("\x1b]2;t" + std::to_string(i) + "\x07\x1b[22;2t");
    EXPECT_EQ(t.terminalTitleStack.size(), titleStackLimit);
    for (int i = 0; i < 25; ++i)
        t.feed("\x1b[23;2t");
    EXPECT_EQ(t.terminalTitle(),
              "t" + std::to_string(25 - int(titleStackLimit))); // the oldest were pushed out
}

TEST_F(ReportsTest, WorkingDirectoryAndDocumentNeedTrust) {
    host.trusted = false;
    t.feed("\x1b]7;file://host/tmp\x07\x1b]6;file://host/doc\x07");
    EXPECT_FALSE(t.hostCurrentDirectory || t.hostCurrentDocument);
    host.trusted = true;
    t.feed("\x1b]7;file://host/tmp\x07\x1b]6;file://host/doc\x07");
    EXPECT_EQ(t.hostCurrentDirectory, "file://host/tmp");
    EXPECT_EQ(t.hostCurrentDocument, "file://host/doc");
    EXPECT_EQ(host.locationUpdates, 2);
}

TEST_F(ReportsTest, HyperlinksMarkExactlyThePrintedCells) {
    t.feed("\x1b]8;;\x07"
           "ab\x1b]8;;http://x\x07"
           "cde\x1b]8;;\x07"
           "fg");
    EXPECT_EQ(linkMap(0, 0, 8), "..###...");
    EXPECT_EQ(*t.getCharData(2, 0)->getPayload(t.tables()), ";http://x");
    // Across a wrap; parameters with an empty URI end the link too.
    moveTo(78, 1);
    t.feed("\x1b]8;id=7;http://y\x07"
           "wxyz\x1b]8;id=7;\x07"
           "!");
    EXPECT_EQ(linkMap(1, 76, 80) + linkMap(2, 0, 4), "..####..");
    // The same payload gets the same atom, so long sessions do not use the table up.
    t.feed("\x1b]8;id=7;http://y\x07"
           "q\x1b]8;;\x07");
    EXPECT_EQ(t.getCharData(3, 2)->payload, t.getCharData(78, 1)->payload);
    // Resets end an open link.
    t.feed("\x1b]8;;http://z\x07\x1b[!pb\x1b]8;;http://z\x07\x1b"
           "cc");
    EXPECT_EQ(linkMap(2, 4, 5) + linkMap(0, 0, 1), "..");
}

TEST_F(ReportsTest, ClipboardNotificationsAndInlineContent) {
    t.feed("\x1b]52;c;aGVsbG8=\x07\x1b]52;c;?\x07\x1b]52;p;aGVsbG8=\x07\x1b]52;c;aGV sbG8=\x07");
    EXPECT_EQ(host.clipboard, std::vector<std::string>{"hello"});

    t.feed(
        "\x1b]777;notify;Title;a;b\x07\x1b]777;notify;Only\x07\x1b]777;other;T;B\x07\x1b]777;notify;T;\x07");
    EXPECT_EQ(host.notifications, (std::vector<std::string>{"Title|a;b", "T|"}));

    t.feed("\x1b]1337;File=name=eA==;inline=0:aGk=\x07\x1b]1337;SetMark\x07\x1b]1337;File=inline=1\x07");
    t.feed("\x1b]1337;File=name=eA==;inline=1:aGk=\x07\x1b]1337;File=inline=1:not base64!\x07");
    t.feed("\x1b]1337;File=inline=1;width=10px;height=50%;preserveAspectRatio=0:aGk=\x07");
    EXPECT_EQ(host.iTerm,
              (std::vector<std::string>{"File=name=eA==;inline=0:aGk=", "SetMark", "File=inline=1"}));
    ASSERT_EQ(host.images.size(), 2u);
    EXPECT_EQ(host.images[0].first, "hi");
    EXPECT_EQ(host.images[0].second, std::make_pair(ImageSizeRequest{}, ImageSizeRequest{}));
    EXPECT_EQ(host.images[1].first, "hi stretched");
    EXPECT_EQ(host.images[1].second.first, (ImageSizeRequest{Size::pixels, 10}));
    EXPECT_EQ(host.images[1].second.second, (ImageSizeRequest{Size::percent, 50}));
}

TEST(ReportsParsing, KeyValuesAndDimensions) {
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(parseKeyValues("a=1;a=x=y;b=2"), (Map{{"a", "x=y"}, {"b", "2"}}));
    EXPECT_EQ(parseKeyValues("a=1;;b=2"), (Map{{"a", "1"}}));
    EXPECT_EQ(parseKeyValues("a=1;junk;b=2"), (Map{{"a", "1"}}));
    EXPECT_EQ(parseDimension("12"), (ImageSizeRequest{Size::cells, 12}));
    for (const char* notANumber : {"auto", "px", "-3", "4em", ""})
        EXPECT_EQ(parseDimension(notANumber), ImageSizeRequest{});
    EXPECT_EQ(parseDimension("99999999999999999999999px"), (ImageSizeRequest{Size::pixels, INT64_MAX}));
}

TEST(ReportsParsing, StrictBase64) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"", ""},
        {"aGk=", "hi"},
        {"aGk", "hi"},
        {"aA==", "h"},
        {"a", std::nullopt},
        {"aGk=\n", std::nullopt},
        {"a=Gk", std::nullopt},
        {"====", std::nullopt},
        {"aG-k", std::nullopt},
        {"+/+/", "\xfb\xff\xbf"},
    };
    for (const auto& [input, decoded] : cases) {
        const auto out = base64Decode(input);
        EXPECT_EQ(out ? std::optional<std::string>(termtest::text(*out)) : std::nullopt, decoded) << input;
    }
}

TEST(ReportsParsing, EnvironmentForTheChild) {
    ::setenv("USER", "tester", 1);
    ::unsetenv("DISPLAY");
    const auto env = getEnvironmentVariables(std::nullopt, true);
    EXPECT_EQ(std::vector<std::string>(env.begin(), env.begin() + 3),
              (std::vector<std::string>{"TERM=xterm-256color", "COLORTERM=truecolor", "LANG=en_US.UTF-8"}));
    EXPECT_NE(std::find(env.begin(), env.end(), "USER=tester"), env.end());
    EXPECT_EQ(
        std::count_if(env.begin(), env.end(), [](const std::string& e) { return e.starts_with("DISPLAY="); }),
        0);
    EXPECT_EQ(getEnvironmentVariables("vt100", false)[1], "LANG=en_US.UTF-8");
}

} // namespace
} // namespace tarvik
