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

// The block scans must stop exactly where a byte-by-byte scan stops, whatever byte
// breaks the run, wherever it lies in a block, whatever surrounds it (a borrow or carry
// from a neighbour must not hide or invent a stop), and however long the input is: whole
// blocks, an overlapping tail, or less than one block.
TEST(ByteScanTest, RunsEndWhereAByteByByteScanEnds) {
    for (const std::size_t length : {1u, 7u, 15u, 16u, 19u, 33u}) {
        for (const uint8_t filler : {uint8_t('a'), uint8_t(0x20), uint8_t(0x7E), uint8_t(0xFF), uint8_t(0x80)}) {
            std::vector<uint8_t> bytes(length, filler);
            EXPECT_EQ(textRunLength(bytes.data(), length), naiveRun(bytes, false));
            EXPECT_EQ(asciiRunLength(bytes.data(), length), naiveRun(bytes, true));
            for (int value = 0; value < 256; ++value) {
                for (std::size_t at = 0; at < length; ++at) {
                    bytes.assign(length, filler);
                    bytes[at] = static_cast<uint8_t>(value);
                    EXPECT_EQ(textRunLength(bytes.data(), length), naiveRun(bytes, false))
                        << "length " << length << " filler " << int(filler) << " value " << value << " at " << at;
                    EXPECT_EQ(asciiRunLength(bytes.data(), length), naiveRun(bytes, true))
                        << "length " << length << " filler " << int(filler) << " value " << value << " at " << at;
                }
            }
        }
    }
    EXPECT_EQ(textRunLength(nullptr, 0), 0u);
}

} // namespace
} // namespace tarvik
