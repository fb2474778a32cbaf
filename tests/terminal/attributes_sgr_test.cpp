#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/Terminal.h"
#include "terminal_helpers.h"

namespace tarvik {
namespace {

using termtest::RecordingDelegate;
using C = Attribute::Color;
using S = CharacterStyle;

Attribute attr(C fg, C bg = C::defaultColor(), S style = S::none) {
    return Attribute{fg, bg, style};
}
Attribute styled(S style) {
    return attr(C::defaultColor(), C::defaultColor(), style);
}
const Attribute plain = CharData::defaultAttr;

TEST(AttributesSgr, SelectGraphicRendition) {
    const std::pair<const char*, Attribute> cases[] = {
        {"\x1b[1;31m\x1b[m", plain},
        {"\x1b[1;0m", plain},
        {"\x1b[1;31;0;4m", styled(S::underline)},
        {"\x1b[2;22m", plain},
        {"\x1b[1;2;22m", plain},
        {"\x1b[1;2;3;4;5;7;8;9m\x1b[23;24;25;27;28;29m", styled(S::bold | S::dim)},
        {"\x1b[1;21;99;4m", styled(S::bold | S::underline)}, // 21 and unknown codes do nothing
        {"\x1b[4:3m", styled(S::underline)},                 // a sub-parameter is not italic
        {"\x1b[4m\x1b[4:0m", plain},
        {"\x1b[>4;2m", plain}, // key modifier setting, not rendition
        {"\x1b[31;42m\x1b[97;107m", attr(C::ansi256(15), C::ansi256(15))},
        {"\x1b[90;100m\x1b[39m", attr(C::defaultColor(), C::ansi256(8))},
        {"\x1b[38;5;300m", attr(C::ansi256(255))},
        {"\x1b[31m\x1b[38;5m", attr(C::ansi256(1))}, // no index: unchanged, and no blink
        {"\x1b[38;2;10;20;30m", attr(C::trueColor(10, 20, 30))},
        {"\x1b[48;2;300;20;30;1m", attr(C::defaultColor(), C::trueColor(255, 20, 30), S::bold)},
        {"\x1b[38;2;10;20m", plain}, // too few: nothing, and 20 is not read as a code
        {"\x1b[38;7m", styled(S::inverse)},
        {"\x1b[38:2::10:20:30m", attr(C::trueColor(10, 20, 30))},
        {"\x1b[38:2:0:10:20:30m", attr(C::trueColor(10, 20, 30))},
        {"\x1b[38:2:10:20:30m", attr(C::trueColor(10, 20, 30))},
        {"\x1b[31m\x1b[38:2:10:20m", attr(C::ansi256(1))}, // nothing, and 2 is not dim
        {"\x1b[1;38:5:196;48:2::1:2:3;4m",
         attr(C::ansi256(196), C::trueColor(1, 2, 3), S::bold | S::underline)},
        {"\x1b[58;2;1;2;3;4m", styled(S::underline)}, // the underline colour is skipped whole
        {"\x1b[58;5;4m", plain},
        {"\x1b[58:2::1:2:3;1m", styled(S::bold)},
    };
    // Whole, and a byte at a time: sub-parameters cut across reads are still sub-parameters.
    for (const auto& [input, expected] : cases) {
        RecordingDelegate host, byteHost;
        Terminal t(host), byByte(byteHost);
        t.feed(input);
        for (const char* c = input; *c; ++c)
            byByte.feed(std::string(1, *c));
        EXPECT_EQ(t.curAttr, expected) << input;
        EXPECT_EQ(byByte.curAttr, expected) << input;
    }
}

TEST(AttributesSgr, ToSgrAndBack) {
    const std::pair<Attribute, const char*> cases[] = {
        {plain, "0m"},
        {CharData::invertedAttr, "0m"},
        {attr(C::ansi256(12), C::ansi256(200), S::bold | S::underline), "0;1;4;94;48;5;200m"},
        {attr(C::ansi256(16), C::ansi256(9)), "0;38;5;16;101m"},
        {attr(C::ansi256(3), C::ansi256(5)), "0;33;45m"},
        {attr(C::trueColor(1, 2, 3), C::trueColor(250, 0, 7)), "0;38:2::1:2:3;48:2::250:0:7m"},
        {styled(S(0xFF)), "0;1;2;3;4;5;7;8;9m"},
    };
    for (const auto& [attribute, text] : cases) {
        EXPECT_EQ(attribute.toSgr(), text);
        // What the report says must recreate the pen when a program sends it back.
        if (attribute == CharData::invertedAttr) continue;
        RecordingDelegate host;
        Terminal t(host);
        t.feed(std::string("\x1b[1;31;44m\x1b[") + text);
        EXPECT_EQ(t.curAttr, attribute) << text;
    }
}

struct ColorHost : RecordingDelegate {
    std::vector<std::optional<int>> changed;
    int cursorSets = 0;
    void colorChanged(Terminal&, std::optional<int> idx) override { changed.push_back(idx); }
    void setCursorColor(Terminal& t, const std::optional<Color>& c) override {
        ++cursorSets;
        TerminalDelegate::setCursorColor(t, c);
    }
};

Color parsed(const char* text) {
    return *Color::parseColor(text);
}

TEST(AttributesColours, Queries) {
    ColorHost host;
    Terminal t(host);
    const std::string fg = t.foregroundColor.formatAsXcolor();
    const std::string bg = t.backgroundColor.formatAsXcolor();
    const std::string e0 = t.ansiColors[0].formatAsXcolor();
    const std::string e1 = t.ansiColors[1].formatAsXcolor();
    const std::pair<const char*, std::string> cases[] = {
        {"\x1b]4;1;?\x07", "\x1b]4;1;" + e1 + "\x1b\\"},
        {"\x1b]4;x;?\x07", "\x1b]4;0;" + e0 + "\x1b\\"}, // a non-numeric index counts as 0
        {"\x1b]4;256;?;1;?\x07", ""},                    // an index past the palette ends the list
        {"\x1b]11;?\x07", "\x1b]11;" + bg + "\x1b\\"},
        {"\x1b]10;?;?\x07", "\x1b]10;" + fg + "\x1b\\\x1b]11;" + bg + "\x1b\\"},
        {"\x1b]12;?;?\x07", "\x1b]12;" + fg + "\x1b\\"}, // no cursor colour: the foreground
        {"\x1b G\x1b]4;1;?\x07", "\x9d" + std::string("4;1;") + e1 + "\x9c"},
    };
    for (const auto& [input, reply] : cases) {
        host.sent.clear();
        t.feed(input);
        EXPECT_EQ(host.sent, reply) << input;
    }
}

TEST(AttributesColours, SettingsAndResets) {
    ColorHost host;
    Terminal t(host);
    const std::vector<Color> defaults = t.ansiColors;
    t.feed("\x1b]4;1;#ff0000;2;#020202;3;nonsense;99999999999999999999;#00ff00\x07");
    EXPECT_EQ(t.ansiColors[1], parsed("#ff0000"));
    EXPECT_EQ(t.ansiColors[3], defaults[3]);
    EXPECT_EQ(host.changed, (std::vector<std::optional<int>>{1, 2}));

    // Empty items are dropped and later items fill the following slots; an invalid item
    // still takes its slot.
    t.feed("\x1b]10;;#111;bogus;#333;#444\x07");
    EXPECT_EQ(t.foregroundColor, parsed("#111"));
    EXPECT_EQ(t.backgroundColor, Color::defaultBackground);
    EXPECT_EQ(t.cursorColor, parsed("#333"));
    t.feed("\x1b]112\x07");
    EXPECT_EQ(t.cursorColor, std::nullopt);
    EXPECT_EQ(host.cursorSets, 2);

    host.changed.clear();
    t.clearUpdateRange();
    t.feed("\x1b]104;1;300;x\x07");
    EXPECT_EQ(t.ansiColors[1], defaults[1]);
    EXPECT_EQ(t.ansiColors[2], parsed("#020202"));
    EXPECT_EQ(t.getUpdateRange(), std::make_pair(0, t.rows())); // every cell may have changed
    t.feed("\x1b]104\x07");
    EXPECT_EQ(t.ansiColors, defaults);
    EXPECT_EQ(host.changed, (std::vector<std::optional<int>>{1, std::nullopt}));
}

} // namespace
} // namespace tarvik
