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

namespace {

// Handler calls, with whether a ':' came among the parameters, for a stream fed whole or
// one byte at a time.
std::vector<std::string> feedNoting(std::string_view stream, bool byteByByte) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.csiHandlerFallback = [&](auto pars, auto collect, uint8_t final) {
        rec.log.push_back("csi " + tarvik::test::show(collect) + char(final) + " " +
                          tarvik::test::show(pars) + " " + tarvik::test::show(parser.parsTxt()) +
                          (parser.hasSubParameters() ? " sub" : ""));
    };
    if (!byteByByte) parser.parse(stream);
    for (std::size_t at = 0; byteByByte && at < stream.size(); ++at)
        parser.parse(stream.substr(at, 1));
    return rec.merged();
}

} // namespace

// Colour lists are read whole from one block of the chunk where the chunk has room past
// them. Whatever their values' lengths (none, leading zeros, past seven digits), their
// number, their separators, and the byte that ends them, they must read as the byte loop
// reads them; so must lists that run past the block.
TEST(ParserChunking, LongParameterListsReadAsOneByteAtATime) {
    std::mt19937 rng(77);
    const std::string enders[] = {"m", "H", "$p", " q", "\x1b\\", "\x18", "<m", "\x80m", "\x9b", "\n"};
    std::uniform_int_distribution<int> digits(0, 9), length(0, 3), count(1, 20), separator(0, 9);
    for (int round = 0; round < 2000; ++round) {
        std::string list;
        const int parameters = count(rng);
        for (int k = 0; k < parameters; ++k) {
            if (k > 0) list += separator(rng) == 0 ? ':' : ';';
            // Mostly one to three digits; now and then none, or eight and more.
            int n = length(rng);
            if (round % 7 == 0 && k == parameters / 2) n = 7 + length(rng);
            for (int d = 0; d < n; ++d)
                list += static_cast<char>('0' + digits(rng));
        }
        const std::string marker = round % 5 == 0 ? "?" : "";
        const std::string stream = "\x1b[" + marker + list + enders[round % std::size(enders)] +
                                   "text that leaves the block room after the list" + "\x1b[" + list + "m";
        ASSERT_EQ(feedNoting(stream, false), feedNoting(stream, true))
            << tarvik::test::show(std::span(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()));
    }
}
