#include "terminal/CharSets.h"

#include <gtest/gtest.h>

namespace CharSets = tarvik::CharSets;

namespace {

TEST(CharSets, DecLineDrawing) {
    const auto* t = CharSets::lookup('0');
    ASSERT_NE(t, nullptr);
    const std::u32string drawn = U"─│┌┐└┘┼◆·£π";
    const std::string from = "qxlkmjn`~}{";
    for (std::size_t i = 0; i < from.size(); ++i)
        EXPECT_EQ(CharSets::translate(t, from[i]), drawn[i]) << from[i];
    EXPECT_EQ(CharSets::translate(t, 'A'), 0u);
    EXPECT_EQ(CharSets::translate(t, '_'), 0u);
}

// Entry counts catch a dropped or doubled row; one mapping per set catches a shifted one.
TEST(CharSets, EntryCountsAndSpotChecks) {
    const struct {
        char final;
        int count;
        char from;
        char32_t to;
    } sets[] = {
        {'0', 31, 'a', U'▒'}, {'A', 1, '#', U'£'},  {'B', 0, '#', 0},     {'4', 9, '|', U'f'},
        {'5', 9, '^', U'Ü'},  {'R', 9, ']', U'§'},  {'Q', 10, '`', U'ô'}, {'K', 8, '~', U'ß'},
        {'Y', 10, '|', U'ò'}, {'6', 10, '[', U'Æ'}, {'Z', 8, '\\', U'Ñ'}, {'7', 10, '@', U'É'},
        {'=', 12, '_', U'è'},
    };
    for (const auto& s : sets) {
        const auto* t = CharSets::lookup(s.final);
        ASSERT_NE(t, nullptr) << s.final;
        EXPECT_EQ(std::count_if(t->map.begin(), t->map.end(), [](char32_t c) { return c != 0; }), s.count)
            << s.final;
        EXPECT_EQ(t->empty(), s.count == 0) << s.final;
        EXPECT_EQ(CharSets::translate(t, s.from), s.to) << s.final;
    }
}

TEST(CharSets, AliasesGiveIdenticalTables) {
    for (auto [a, b] : {std::pair{'0', '2'}, {'5', 'C'}, {'6', 'E'}, {'7', 'H'}}) {
        ASSERT_NE(CharSets::lookup(a), nullptr);
        EXPECT_EQ(CharSets::lookup(a)->map, CharSets::lookup(b)->map) << a << b;
    }
}

TEST(CharSets, UnknownOrAbsentTablesAndHighBytesTranslateNothing) {
    for (int f : {int('1'), int('X'), int('<'), 0, 0x7F, 0xFF})
        EXPECT_EQ(CharSets::lookup(uint8_t(f)), nullptr) << f;
    EXPECT_EQ(CharSets::translate(CharSets::defaultCharset, 'q'), 0u);
    for (int b = 0x7F; b <= 0xFF; ++b)
        EXPECT_EQ(CharSets::translate(CharSets::lookup('0'), uint8_t(b)), 0u);
}

} // namespace
