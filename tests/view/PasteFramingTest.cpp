#include <gtest/gtest.h>

#include "view/PasteFraming.h"

namespace tarvik {
namespace {

struct PasteCase {
    const char* name;
    std::string text;
    bool bracketed;
    std::string expected;
};

const PasteCase pasteCases[] = {
    {"PlainTextAsTyped", "ls\n\x1b[201~", false, "ls\n\x1b[201~"},
    {"Framed", "ls\n", true, "\x1b[200~ls\n\x1b[201~"},
    {"EndMarkerInsideIsRemoved", "a\x1b[201~\nrm -rf x\n", true, "\x1b[200~a\nrm -rf x\n\x1b[201~"},
    {"EveryEndMarkerIsRemoved", "\x1b[201~a\x1b[201~b\x1b[201~", true, "\x1b[200~ab\x1b[201~"},
    {"MarkerRebuiltByARemovalIsRemovedToo", "x\x1b[20\x1b[201~1~y", true, "\x1b[200~xy\x1b[201~"},
    {"StartMarkerInsideStays", "\x1b[200~", true, "\x1b[200~\x1b[200~\x1b[201~"},
    {"PartialMarkerStays", "\x1b[201", true, "\x1b[200~\x1b[201\x1b[201~"},
};

class PasteTable : public ::testing::TestWithParam<PasteCase> {};

TEST_P(PasteTable, Frames) {
    EXPECT_EQ(framePaste(GetParam().text, GetParam().bracketed), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paste, PasteTable, ::testing::ValuesIn(pasteCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tarvik
