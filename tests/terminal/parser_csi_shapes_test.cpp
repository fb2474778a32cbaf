// CSI sequences read whole inside one chunk take a shortcut past the state table; every
// shape must give the calls the table gives when the same bytes arrive one at a time.

#include "tests/terminal/parser_recorder.h"

#include <gtest/gtest.h>

using tarvik::test::feed;

namespace {

std::vector<std::string_view> byteByByte(std::string_view all) {
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < all.size(); ++i)
        bytes.push_back(all.substr(i, 1));
    return bytes;
}

TEST(ParserCsiShapes, WholeChunkAgreesWithByteByByte) {
    std::string manyParameters, longNumber;
    for (int i = 0; i < 300; ++i)
        manyParameters += std::to_string(i) + (i % 3 ? ";" : ":");
    longNumber = std::string(5000, '7');
    const std::string shapes[] = {
        "a\x1b[mb",                        // no parameters, text on both sides
        "\x1b[38;5;196m\x1b[48:2::1:2:3m", // both separators
        "\x1b[:1m",                        // a colon cannot open the list
        "\x1b[?25h\x1b[>4;2m\x1b[<0;1;2M", // private markers
        "\x1b[?;m\x1b[??1h",               // marker then separator; a second marker
        "\x1b[1;2$p\x1b[ q",               // intermediates
        "\x1b[1\x08;2H\x1b[3\x18;4H",      // a control inside, and a cancel
        "\x1b[1\x1b[2m\x1b[\x1b[m",        // a sequence cut short by the next
        "\x1b[" + manyParameters + "m",    // past the parameter bound
        "\x1b[" + longNumber + ";5H",      // past the text bound, restarting value
        "\x1b[12;34",                      // ends with the chunk
    };
    for (const std::string& shape : shapes) {
        const auto whole = feed({shape});
        EXPECT_EQ(feed(byteByByte(shape)), whole) << tarvik::test::show(std::span(
            reinterpret_cast<const uint8_t*>(shape.data()), std::min<std::size_t>(shape.size(), 40)));
        for (std::size_t cut = 1; cut < std::min<std::size_t>(shape.size(), 64); ++cut)
            ASSERT_EQ(feed({std::string_view(shape).substr(0, cut), std::string_view(shape).substr(cut)}),
                      whole)
                << "cut at " << cut;
    }
}

// A plain function takes its shape only: the same final with a marker or intermediate
// goes to the handler tables, and registering a handler for the shape replaces it.
TEST(ParserCsiShapes, PlainFunctionsTakeTheirShapeUntilAHandlerReplacesIt) {
    tarvik::EscapeSequenceParser parser;
    tarvik::test::Recorder rec(parser);
    parser.setCsiFunction(
        'H',
        [](void* log, tarvik::EscapeSequenceParser::Params p, tarvik::EscapeSequenceParser::Bytes) {
            static_cast<std::vector<std::string>*>(log)->push_back("function H " + tarvik::test::show(p));
        },
        &rec.log);
    parser.parse("\x1b[3;4H\x1b[?5H\x1b[ H");
    parser.setCsiHandler("H", [&](auto, auto) { rec.log.push_back("handler H"); });
    parser.parse("\x1b[H");
    EXPECT_EQ(rec.log,
              (std::vector<std::string>{"function H [3,4]", "csi ?H [5] 5", "csi  H [0] ", "handler H"}));
}

} // namespace
