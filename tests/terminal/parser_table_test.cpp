// The transition table, the arithmetic of parameters, and the bounds that keep
// a hostile stream from growing memory.

#include "terminal/TransitionTable.h"
#include "tests/terminal/parser_recorder.h"

#include <gtest/gtest.h>

#include <tuple>

using tarvik::EscapeSequenceParser;
using tarvik::TransitionTable;
using tarvik::test::Recorder;
using S = tarvik::ParserState;
using A = tarvik::ParserAction;

namespace {

TEST(TransitionTable, SizePackingAndStatedEntries) {
    const auto t = tarvik::buildVt500TransitionTable();
    EXPECT_EQ(t.table.size(), 4095u);
    // Next state in the low nibble, action in the high one, at state * 256 + byte.
    EXPECT_EQ(t.table[0 * 256 + 'a'], 0x20);          // print, ground
    EXPECT_EQ(t.table[1 * 256 + '['], (11 << 4) | 3); // clear, csiEntry
    for (int s = 0; s <= 13; ++s)
        EXPECT_EQ(t.entry(S(s), 0xFF), t.table[s * 256 + 0xA0]);

    // Later steps overwrite earlier ones: each row checks such an overlap.
    // clang-format off
    const std::tuple<S, uint8_t, A, S> entries[] = {
        {S::ground, 0x19, A::error, S::ground},                 {S::escape, 'P', A::clear, S::dcsEntry},
        {S::escape, 'X', A::ignore, S::sosPmApcString},         {S::escape, '\\', A::escDispatch, S::ground},
        {S::csiEntry, ':', A::error, S::ground},                {S::csiEntry, '?', A::collect, S::csiParam},
        {S::csiParam, 0x18, A::execute, S::csiParam},           {S::csiParam, '>', A::ignore, S::csiIgnore},
        {S::csiIntermediate, '0', A::ignore, S::csiIgnore},     {S::oscString, 0x18, A::oscEnd, S::ground},
        {S::oscString, 0x1D, A::ignore, S::oscString},          {S::oscString, 0xA0, A::oscPut, S::oscString},
        {S::sosPmApcString, 0x9C, A::ignore, S::ground},        {S::dcsEntry, ':', A::ignore, S::dcsIgnore},
        {S::dcsParam, '=', A::ignore, S::dcsIgnore},            {S::dcsPassthrough, 0x18, A::dcsPut, S::dcsPassthrough},
        {S::dcsPassthrough, 0x1A, A::execute, S::ground},       {S::dcsPassthrough, 0x1B, A::dcsUnhook, S::ground},
    };
    // clang-format on
    for (const auto& [state, byte, action, next] : entries) {
        EXPECT_EQ(TransitionTable::actionOf(t.entry(state, byte)), action) << toString(state) << int(byte);
        EXPECT_EQ(TransitionTable::nextOf(t.entry(state, byte)), next) << toString(state) << int(byte);
    }
    for (int s = 0; s <= 13; ++s) { // rules that hold in every state
        EXPECT_EQ(t.entry(S(s), 0x9B), (11 << 4) | 3);
        EXPECT_EQ(t.entry(S(s), 0x85), (3 << 4) | 0);
        if (S(s) != S::oscString && S(s) != S::dcsPassthrough) {
            EXPECT_EQ(t.entry(S(s), 0x1B), (11 << 4) | 1);
        }
    }
}

TEST(ParserParameters, LargeValuesRestartAtZeroInsteadOfOverflowing) {
    const std::pair<std::string, std::string> cases[] = {
        {"922337203685477570", "[922337203685477570]"},
        {"922337203685477571", "[0]"},
        {"9223372036854775807", "[7]"},
        {"1;999999999999999999999;2", "[1,999,2]"}, // 0 at the 18th nine
    };
    for (const auto& [digits, pars] : cases) {
        EscapeSequenceParser parser;
        Recorder rec(parser);
        parser.parse("\x1b[" + digits + "m");
        EXPECT_EQ(rec.log.back(), "csi m " + pars + " " + digits);
    }
}

TEST(ParserBounds, SequenceStateStopsGrowing) {
    EscapeSequenceParser parser;
    std::size_t parsSeen = 0, collectSeen = 0;
    int64_t lastPar = -1;
    parser.csiHandlerFallback = [&](auto pars, auto collect, uint8_t) {
        parsSeen = pars.size();
        lastPar = pars.back();
        collectSeen = collect.size();
    };
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "1;";
    parser.parse("\x1b[" + many + "7m");
    EXPECT_EQ(parsSeen, EscapeSequenceParser::maxParameters);
    EXPECT_EQ(lastPar, 1); // values past the bound are not merged into the last kept one
    EXPECT_EQ(parser.parsTxt().size(), EscapeSequenceParser::maxParameterText);
    parser.parse("\x1b[" + std::string(1000, '!') + "p");
    EXPECT_EQ(collectSeen, EscapeSequenceParser::maxCollect);
}

TEST(ParserBounds, OscPayloadPastTheLimitIsDroppedWhole) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.setStringLimit(16); // the whole buffer, "0;" included
    parser.parse("\x1b]0;" + std::string(14, 'a') + "\x07");
    parser.parse("\x1b]0;" + std::string(15, 'b') +
                 "\x07"
                 "after");
    for (char ch : "\x1b]0;" + std::string(20, 'c') + "\x1b\\")
        parser.parse(std::string_view(&ch, 1));
    parser.parse("\x1b]0;ok\x07");
    EXPECT_EQ(rec.log,
              (std::vector<std::string>{"osc 0 " + std::string(14, 'a'), "print after", "osc 0 ok"}));
}

TEST(ParserBounds, DefaultStringLimitIs64MiB) {
    EscapeSequenceParser parser;
    std::vector<std::size_t> sizes;
    parser.oscHandlerFallback = [&](int64_t, auto payload) { sizes.push_back(payload.size()); };
    const std::string block(1 << 20, 'x');
    parser.parse("\x1b]0;");
    for (int i = 0; i < 64; ++i)
        parser.parse(block);
    parser.parse("\x07\x1b]0;" + block + "\x07");
    EXPECT_EQ(sizes, std::vector<std::size_t>{block.size()}); // "0;" took the first over the bound
}

TEST(ParserBounds, DcsDataPastTheLimitIsAbandoned) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.setStringLimit(8);
    parser.parse("\x1bPqabcde");
    parser.parse("fghi\x1b\\Z\x1bPq12345678\x1b\\");
    EXPECT_EQ(rec.log, (std::vector<std::string>{"hook q [0] q", "put abcde", "abandon", "print Z",
                                                 "hook q [0] q", "put 12345678", "unhook"}));
}

} // namespace
