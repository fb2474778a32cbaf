#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "terminal/ByteScan.h"

namespace tarvik {
namespace {

std::size_t naiveRun(const std::vector<uint8_t>& bytes, bool asciiOnly) {
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] >= 0x20 && (!asciiOnly || bytes[i] < 0x7F))
        ++i;
    return i;
}

// The word-at-a-time scans must stop exactly where a byte-by-byte scan stops, whatever
// byte breaks the run, wherever it lies in a word, and whatever surrounds it (a borrow
// or carry from a neighbour must not hide or invent a stop).
TEST(ByteScanTest, RunsEndWhereAByteByByteScanEnds) {
    for (const uint8_t filler : {uint8_t('a'), uint8_t(0x20), uint8_t(0x7E), uint8_t(0xFF), uint8_t(0x80)}) {
        for (int value = 0; value < 256; ++value) {
            for (std::size_t at = 0; at < 19; ++at) {
                std::vector<uint8_t> bytes(19, filler);
                bytes[at] = static_cast<uint8_t>(value);
                SCOPED_TRACE(testing::Message() << "filler " << int(filler) << " value " << value << " at " << at);
                EXPECT_EQ(textRunLength(bytes.data(), bytes.size()), naiveRun(bytes, false));
                EXPECT_EQ(asciiRunLength(bytes.data(), bytes.size()), naiveRun(bytes, true));
            }
        }
    }
    EXPECT_EQ(textRunLength(nullptr, 0), 0u);
}

} // namespace
} // namespace tarvik
