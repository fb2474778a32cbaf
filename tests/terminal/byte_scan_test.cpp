#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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
// blocks, an overlapping tail, or less than one block. A text run is said to be ASCII
// exactly when no byte of it (and none past its end) is anything else.
TEST(ByteScanTest, RunsEndWhereAByteByByteScanEnds) {
    const auto check = [](const std::vector<uint8_t>& bytes, const std::string& where) {
        const std::size_t text = naiveRun(bytes, false), ascii = naiveRun(bytes, true);
        ASSERT_EQ(textRunLength(bytes.data(), bytes.size()), text) << where;
        ASSERT_EQ(asciiRunLength(bytes.data(), bytes.size()), ascii) << where;
        const TextRun run = textRun(bytes.data(), bytes.size());
        ASSERT_EQ(run.length, text) << where;
        ASSERT_EQ(run.ascii, ascii == text) << where;
    };
    for (const std::size_t length : {1u, 7u, 15u, 16u, 19u, 33u}) {
        for (const uint8_t filler : {uint8_t('a'), uint8_t(0x20), uint8_t(0x7E), uint8_t(0xFF), uint8_t(0x80)}) {
            std::vector<uint8_t> bytes(length, filler);
            check(bytes, "filler only");
            for (int value = 0; value < 256; ++value) {
                for (std::size_t at = 0; at < length; ++at) {
                    bytes.assign(length, filler);
                    bytes[at] = static_cast<uint8_t>(value);
                    check(bytes, "length " + std::to_string(length) + " filler " + std::to_string(filler) +
                                     " value " + std::to_string(value) + " at " + std::to_string(at));
                }
            }
        }
    }
    EXPECT_EQ(textRunLength(nullptr, 0), 0u);
    EXPECT_EQ(textRun(nullptr, 0).length, 0u);
}

// A list read a word at a time must give what reading it byte by byte gives: every
// parameter count and length that fits, empty parameters, leading zeros, nines, and every
// byte as the one after the list (bytes next to '0' ... '9' and ';' included, where a
// nibble or borrow trick would go wrong). A list that does not end within the word is
// left alone.
TEST(ByteScanTest, ShortParameterListsReadAsTheByteLoopDoes) {
    const std::string lists[] = {"",        "0",        "7",       "42",      "007",      "9999999", ";",
                                 ";;",      "1;",       ";1",      "25;80",   "1;2;3;4", "0;0;0;0", ";;;;;;;",
                                 "99;9;99", "12;;345", "1234567", "9;87654", "00;0001"};
    for (const std::string& list : lists) {
        std::vector<int64_t> expected{0};
        for (char b : list) {
            if (b == ';')
                expected.push_back(0);
            else
                expected.back() = expected.back() * 10 + (b - '0');
        }
        for (int after = 0; after < 256; ++after) {
            if ((after >= '0' && after <= '9') || after == ';') continue;
            std::string bytes = list + static_cast<char>(after);
            bytes.resize(8, '5');
            int64_t values[8] = {};
            std::size_t count = 0;
            const unsigned length =
                bytescan::shortParameterList(reinterpret_cast<const uint8_t*>(bytes.data()), values, count);
            ASSERT_EQ(length, list.size()) << list << " then " << after;
            ASSERT_EQ(std::vector<int64_t>(values, values + count), expected) << list << " then " << after;
        }
    }
    for (const char* unended : {"12345678", "38;5;123", ";;;;;;;;", "1;2;3;45"}) {
        std::size_t count = 0;
        int64_t values[8] = {};
        EXPECT_EQ(bytescan::shortParameterList(reinterpret_cast<const uint8_t*>(unended), values, count), 8u);
        EXPECT_EQ(count, 0u);
    }
}

} // namespace
} // namespace tarvik
