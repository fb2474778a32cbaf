// What the parser reports for byte streams, as one catalogue and one runner.
// Inputs are lists of chunks, since output arrives cut at arbitrary bytes.

#include "tests/terminal/parser_recorder.h"

#include <gtest/gtest.h>

using tarvik::EscapeSequenceParser;
using tarvik::test::feed;
using tarvik::test::Recorder;
using Log = std::vector<std::string>;

namespace {

struct Case {
    const char* name;
    std::vector<std::string> chunks;
    Log expected;
};

const std::string nines20(20, '9');

// clang-format off
const Case cases[] = {
    // CSI parameters and markers
    {"emptyFirstParameter", {"\x1b[;5H"}, {"csi H [0,5] ;5"}},
    {"noParameters", {"\x1b[H"}, {"csi H [0] "}},
    {"colonSubParameters", {"\x1b[38:2:1:2:3m"}, {"csi m [38,2,1,2,3] 38:2:1:2:3"}},
    {"hugeParameterRestartsAtZero", {"\x1b[" + nines20 + "m"}, {"csi m [99] " + nines20}},
    {"privateMarker", {"\x1b[?25h"}, {"csi ?h [25] 25"}},
    {"intermediate", {"\x1b[2 q"}, {"csi  q [2] 2"}},
    {"markerAfterDigitsIgnoresSequence", {"\x1b[1?\xc3hX"}, {"print X"}},
    {"colonFirstIsAnError", {"\x1b[:m"}, {"error csiEntry :", "print m"}},
    {"controlsInsideParameters", {"\x1b[1\n\x7f" "2H"}, {"exec <0A>", "csi H [12] 12"}},
    {"canInsideParametersExecutes", {"\x1b[1\x18" "A"}, {"exec <18>", "csi A [1] 1"}},
    {"escRestarts", {"\x1b[1\x1b[2m"}, {"csi m [2] 2"}},
    {"c1CsiRestartsAfterEscBracket", {"\x1b[12\x9b" "3m"}, {"csi m [3] 3"}},
    {"parameterContinuesInNextChunk", {"\x1b[1", "2", "3m"}, {"csi m [123] 123"}},
    // With text after them, parameters are read eight bytes at a time.
    {"parametersOfEveryLength", {"\x1b[1;22;333;4444;55555;666666;7777777;88888888;999999999mabcdefgh"},
     {"csi m [1,22,333,4444,55555,666666,7777777,88888888,999999999] 1;22;333;4444;55555;666666;7777777;88888888;999999999",
      "print abcdefgh"}},
    {"leadingZerosAndEmptyParameters", {"\x1b[;000000000012;;007Habcdefgh"},
     {"csi H [0,12,0,7] ;000000000012;;007", "print abcdefgh"}},
    {"subParametersBeforeText", {"\x1b[38:5:196;1mabcdefgh"}, {"csi m [38,5,196,1] 38:5:196;1", "print abcdefgh"}},
    // Lists short enough to be read a word at a time when text follows them.
    {"shortListsBeforeText", {"\x1b[25;80Hab\x1b[;5Hcd\x1b[?25hef\x1b[1;2;3;4mgh\x1b[mabcdefgh"},
     {"csi H [25,80] 25;80", "print ab", "csi H [0,5] ;5", "print cd", "csi ?h [25] 25", "print ef",
      "csi m [1,2,3,4] 1;2;3;4", "print gh", "csi m [0] ", "print abcdefgh"}},
    {"subParametersAfterAShortStart", {"\x1b[4:3mabcdefgh"}, {"csi m [4,3] 4:3", "print abcdefgh"}},
    {"hugeParameterBeforeText", {"\x1b[" + nines20 + ";2mabcdefgh"}, {"csi m [99,2] " + nines20 + ";2", "print abcdefgh"}},
    // Text
    {"c1BytesInTextAreText", {"\xc2\x9b" "a\x7f"}, {"print <C2><9B>a<7F>"}},
    {"strayControlSplitsTheRun", {"ab\x19" "cd"}, {"print ab", "error ground <19>", "print cd"}},
    {"executablesEndTheRun", {"a\rb"}, {"print a", "exec <0D>", "print b"}},
    // ESC
    {"designations", {"\x1b(\n0\x1b#8\x1b" "7"}, {"exec <0A>", "esc (0", "esc #8", "esc 7"}},
    {"highByteAfterEsc", {"\x1b\xc3" "A"}, {"error escape <C3>", "print A"}},
    {"sosPmApcSwallowed", {"\x1bXhi\x1b\\A\x1b^x\x9c\x1b_y\x1b\\"}, {"print A"}},
    // OSC
    {"oscBel", {"\x1b]0;title\x07"}, {"osc 0 title"}},
    {"oscEscBackslash", {"\x1b]0;title\x1b\\"}, {"osc 0 title"}},
    {"emptyOsc", {"\x1b]\x07"}, {}},
    {"canDropsOsc", {"\x1b]2;abc\x18"}, {}},
    {"numberOnly", {"\x1b]52\x07"}, {"osc 52 "}},
    {"noNumber", {"\x1b]x;y\x07"}, {"osc 0 y"}},
    {"c1StInsidePayloadIsPayload", {"\x1b]0;a\x9c" "b\x07"}, {"osc 0 a<9C>b"}},
    {"c1StRightAfterIntroducerEnds", {"\x1b]\x9c" "A"}, {"print A"}},
    {"controlsInPayloadDropped", {"\x1b]0;a\x01\x1a" "b\x07"}, {"osc 0 ab"}},
    {"c1OscIntroducer", {"\x1b[\x9d" "0;t\x07"}, {"osc 0 t"}},
    {"escAfterOscStartsSequence", {"\x1b]0;t\x1b[1m"}, {"osc 0 t", "csi m [1] 1"}},
    // 0xD0 0x9C is a Cyrillic letter: the 0x9C at the cut is text, not a terminator.
    {"oscSplitInsideUtf8", {"\x1b]2;\xd0", "\x9c\xd0", "\xb8\x07"}, {"osc 2 <D0><9C><D0><B8>"}},
    // DCS
    {"decrqss", {"\x1bP$qm\x1b\\"}, {"hook $q [0] q", "put m", "unhook"}},
    {"dcsParameters", {"\x1bP1;2|da\x7fta\x9c"}, {"hook | [1,2] |", "put da", "put ta", "unhook"}},
    {"highBytesAreDcsData", {"\x1bPq\xc3\xa9\x1b\\"}, {"hook q [0] q", "put <C3><A9>", "unhook"}},
    {"cutShortDcsDeliversData", {"\x1bPqab\x1a" "Z"}, {"hook q [0] q", "put ab", "exec <1A>", "print Z"}},
    {"unknownOrMalformedDcsSwallowed", {"\x1bPzabc\x1b\\\x1bP:qabc\x1b\\X"}, {"print X"}},
    {"dcsPutOncePerChunk", {"\x1bPq#0;2", "!10~", "-\x1b", "\\Z"}, {"hook q [0] q", "put #0;2", "put !10~", "put -", "unhook", "print Z"}},
};
// clang-format on

class Sequences : public ::testing::TestWithParam<Case> {};

TEST_P(Sequences, ReportsExpectedCalls) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    for (const auto& chunk : GetParam().chunks)
        parser.parse(chunk);
    EXPECT_EQ(rec.log, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Parser, Sequences, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole catalogue as one stream, cut at every byte and fed byte by byte.
TEST(ParserChunking, EverySplitPointAndByteByByteGiveTheSameCalls) {
    std::string corpus;
    for (const auto& c : cases)
        for (const auto& chunk : c.chunks)
            corpus += chunk;
    const std::string_view all = corpus;
    const auto whole = feed({all});
    std::vector<std::string_view> bytes;
    for (std::size_t cut = 1; cut < all.size(); ++cut) {
        ASSERT_EQ(feed({all.substr(0, cut), all.substr(cut)}), whole) << "cut at " << cut;
        bytes.push_back(all.substr(cut - 1, 1));
    }
    bytes.push_back(all.substr(all.size() - 1));
    EXPECT_EQ(feed(bytes), whole);
    EXPECT_EQ(feed({"", all, ""}), whole);
}

TEST(Parser, RegisteredHandlersTakePrecedenceOverFallbacks) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.csiHandlers['m'] = [&](auto pars, auto collect) {
        rec.log.push_back("sgr " + tarvik::test::show(pars) + tarvik::test::show(collect));
    };
    parser.oscHandlers[8] = [&](auto payload) { rec.log.push_back("link " + tarvik::test::show(payload)); };
    parser.escHandlers["(0"] = [&](auto, uint8_t) { rec.log.push_back("G0 graphics"); };
    parser.parse("\x1b[1;2m\x1b[?1m\x1b]8;;http://x\x07\x1b(0\x1b(B");
    EXPECT_EQ(rec.log, (Log{"sgr [1,2]", "sgr [1]?", "link ;http://x", "G0 graphics", "esc (B"}));
}

TEST(Parser, PrintStateResetOnEveryAbandonedSequence) {
    // The print side relies on this to drop half a UTF-8 character.
    EscapeSequenceParser parser;
    Recorder rec(parser);
    rec.logPrintStateReset = true;
    parser.parse("a\x1b[1m\x1b]0;t\x07\x1bPqx\x1b\\");
    const std::string reset = "printStateReset";
    EXPECT_EQ(rec.log, (Log{"print a", reset, "csi m [1] 1", reset, "osc 0 t", reset, reset, reset,
                            "hook q [0] q", "put x", "unhook", reset}));
}

TEST(Parser, ResetAbandonsTheSequenceInProgress) {
    EscapeSequenceParser parser;
    Recorder rec(parser);
    parser.parse("\x1bPq12");
    parser.reset();
    EXPECT_EQ(parser.activeDcsHandler(), nullptr);
    parser.parse("\x1b[?12");
    parser.reset();
    parser.parse("3m");
    EXPECT_EQ(rec.log, (Log{"hook q [0] q", "put 12", "print 3m"}));
}

} // namespace
