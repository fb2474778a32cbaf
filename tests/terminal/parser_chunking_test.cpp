// Output arrives in chunks cut at arbitrary bytes; the cut must never change
// what the handlers see beyond how runs of text and DCS data are divided.

#include "tests/terminal/parser_recorder.h"

#include <gtest/gtest.h>

#include <random>

using tarvik::EscapeSequenceParser;
using tarvik::test::feed;
using tarvik::test::Recorder;

namespace {

// Byte soup weighted towards the bytes that start, end and cancel sequences.
TEST(ParserChunking, RandomStreamsCutAnywhereGiveTheSameCalls) {
    const std::string alphabet =
        std::string("\x1b\x1b\x1b[[]]P;;:0123456789?>$ qmHh\\\x07\x18\x1a\x19\x7f\n") +
        "\x90\x9b\x9c\x9d\x98\xc3\xa9\xd0\x9c"
        "ab";
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), cut(1, 7);
    for (int round = 0; round < 300; ++round) {
        std::string stream;
        for (int i = 0; i < 200; ++i)
            stream += alphabet[pick(rng)];
        std::vector<std::string_view> chunks;
        for (std::size_t at = 0; at < stream.size(); at += chunks.back().size())
            chunks.push_back(std::string_view(stream).substr(at, cut(rng)));
        ASSERT_EQ(feed(chunks), feed({stream})) << "round " << round;
    }
}

TEST(ParserChunking, AbortingErrorHandlerLeavesTheParserAsBeforeTheChunk) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.errorHandler = [&](tarvik::ParsingState s) {
        rec.log.push_back("abort at " + std::to_string(s.position));
        s.abort = true;
        return s;
    };
    // An OSC string in progress; the next chunk ends it, prints, and hits 0x19 after ESC.
    parser.parse("\x1b]0;ab");
    parser.parse("cd\x07X\x1b\x19");
    EXPECT_EQ(parser.currentState(), tarvik::ParserState::oscString);
    EXPECT_EQ(tarvik::test::show(parser.osc()), "0;ab");
    parser.parse("e\x07");
    // The same for the parameters of a CSI sequence.
    parser.parse("\x1b[1");
    parser.parse("2;3\x1b\x19");
    parser.parse("m");
    EXPECT_EQ(rec.log, (std::vector<std::string>{"osc 0 abcd", "print X", "abort at 5", "osc 0 abe",
                                                 "abort at 4", "csi m [1] 1"}));
}

} // namespace
