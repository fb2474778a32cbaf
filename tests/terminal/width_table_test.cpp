#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace tarvik::UnicodeUtil;

namespace {

// The printing path answers from a table built once; any disagreement with the range
// search or the Unicode database would shift columns for that one character, so every
// value is compared rather than a sample.
TEST(PropertyTable, AgreesWithSearchAndDatabaseForEveryScalar) {
    int widthMismatches = 0, combiningMismatches = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const PrintProperties fast = printProperties(c);
        const int searched = columnWidthBySearch(c);
        if (fast.width != searched || columnWidth(c) != searched) {
            if (++widthMismatches <= 5) ADD_FAILURE() << "width of U+" << std::hex << uint32_t(c);
        }
        if (fast.combines != (combiningClass(c) != 0)) {
            if (++combiningMismatches <= 5)
                ADD_FAILURE() << "combining class of U+" << std::hex << uint32_t(c);
        }
    }
    EXPECT_EQ(widthMismatches, 0);
    EXPECT_EQ(combiningMismatches, 0);
}

TEST(PropertyTable, ValuesBeyondUnicode) {
    for (char32_t c : {char32_t(0x110000), char32_t(0x7FFFFFFF), char32_t(0xFFFFFFFF)}) {
        const PrintProperties p = printProperties(c);
        EXPECT_EQ(p.width, columnWidthBySearch(c)) << std::hex << uint32_t(c);
        EXPECT_FALSE(p.combines) << std::hex << uint32_t(c);
    }
}

} // namespace
