#include "terminal/UnicodeUtil.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <vector>

namespace tarvik::UnicodeUtil {
void PrintTo(const Interval& i, std::ostream* os) {
    *os << std::hex << uint32_t(i.first) << "-" << uint32_t(i.last);
}
} // namespace tarvik::UnicodeUtil

using namespace tarvik::UnicodeUtil;

namespace {

uint32_t hex(char32_t c) {
    return c;
}
std::vector<Interval> rows(std::span<const Interval> t, std::size_t from, std::size_t n) {
    return {t.begin() + from, t.begin() + from + n};
}

TEST(WidthTables, SizesAndStatedRows) {
    const auto comb = combiningTable(), emo = emojiTable();
    EXPECT_EQ(comb.size(), 142u);
    EXPECT_EQ(rows(comb, 0, 4),
              (std::vector<Interval>{{0x300, 0x36F}, {0x483, 0x486}, {0x488, 0x489}, {0x591, 0x5BD}}));
    EXPECT_EQ(rows(comb, 139, 3),
              (std::vector<Interval>{{0xE0001, 0xE0001}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF}}));
    EXPECT_EQ(rows(emo, 0, 6), (std::vector<Interval>{{0x231A, 0x231B},
                                                      {0x23E9, 0x23F0},
                                                      {0x23F3, 0x23F3},
                                                      {0x24C2, 0x24C2},
                                                      {0x25FD, 0x25FE},
                                                      {0x2614, 0x2615}}));
    EXPECT_EQ(rows(emo, emo.size() - 4, 4),
              (std::vector<Interval>{
                  {0x1FABF, 0x1FAC5}, {0x1FACE, 0x1FADB}, {0x1FAE0, 0x1FAE8}, {0x1FAF0, 0x1FAF8}}));
}

// Bisection needs sorted, disjoint, non-adjacent ranges; look up every edge.
TEST(WidthTables, SortedAndFoundAtEveryEdge) {
    for (auto table : {combiningTable(), emojiTable()}) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            const auto [first, last] = table[i];
            ASSERT_LE(first, last);
            ASSERT_TRUE(i == 0 || first > table[i - 1].last + 1) << std::hex << hex(first);
            EXPECT_TRUE(inTable(table, first) && inTable(table, last)) << std::hex << hex(first);
            EXPECT_FALSE(inTable(table, first - 1) || inTable(table, last + 1)) << std::hex << hex(first);
        }
    }
}

// The tables are our own constants; utf8proc's Unicode data catches transcription errors.
TEST(WidthTables, AgreeWithTheUnicodeDatabase) {
    for (auto [first, last] : combiningTable()) {
        for (char32_t c = first; c <= last; ++c) {
            const auto cat = utf8proc_category(utf8proc_int32_t(c));
            const bool mark =
                cat == UTF8PROC_CATEGORY_MN || cat == UTF8PROC_CATEGORY_ME || cat == UTF8PROC_CATEGORY_CF;
            // Recategorised after Unicode 5.0 (a symbol and spacing marks since).
            const bool recategorised = c == 0x06DE || c == 0x1734 || c == 0x302E || c == 0x302F;
            EXPECT_TRUE(mark || (c >= 0x1160 && c <= 0x11FF) || recategorised || c == 0x200B)
                << std::hex << hex(c);
        }
    }
    for (auto [first, last] : emojiTable()) {
        for (char32_t c = first; c <= last; ++c) {
            if ((c < 0x23ED || c > 0x23EF) && c != 0x24C2) {
                EXPECT_EQ(utf8proc_charwidth(utf8proc_int32_t(c)), 2) << std::hex << hex(c);
            }
        }
    }
    // Every wide pictograph in range is wide here too, except those shown as text by default.
    const auto textDefault = [](char32_t c) {
        return c == 0x1F202 || c == 0x1F237 || (c >= 0x1F260 && c <= 0x1F265);
    };
    for (char32_t c = 0x231A; c <= 0x1FAF8; ++c) {
        const auto* p = utf8proc_get_property(utf8proc_int32_t(c));
        if (p->boundclass == UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC &&
            p->category != UTF8PROC_CATEGORY_CN && utf8proc_charwidth(utf8proc_int32_t(c)) == 2 &&
            !textDefault(c)) {
            EXPECT_EQ(columnWidth(c), 2) << std::hex << hex(c);
        }
    }
}

TEST(ColumnWidth, Boundaries) {
    const std::pair<char32_t, int> cases[] = {
        {0x00, 0},    {0x1F, 0},     {0x20, 1},     {0x7E, 1},       {0x7F, 0},    {0xA0, 0},    {0xA1, 1},
        {0xAD, 1},    {0x0300, 0},   {0x0370, 1},   {0x1100, 2},     {0x115F, 2},  {0x1160, 0},  {0x11FF, 0},
        {0x1200, 1},  {0x200B, 0},   {0x200D, 0},   {0x2329, 2},     {0x232A, 2},  {0x2E80, 2},  {0x303F, 1},
        {0x4E00, 2},  {0xA4CF, 2},   {0xA4D0, 1},   {0xAC00, 2},     {0xD7A3, 2},  {0xD7A4, 1},  {0xFE19, 2},
        {0xFE1A, 1},  {0xFF60, 2},   {0xFF61, 1},   {0xFFE6, 2},     {0xFFE7, 1},  {0x2FFFD, 2}, {0x2FFFE, 1},
        {0x3FFFD, 2}, {0x2319, 1},   {0x231A, 2},   {0x24C2, 2},     {0x1F600, 2}, {0x1F1E6, 1}, {0x1FAF9, 1},
        {0xE01EF, 0}, {0x10FFFF, 1}, {0x110000, 1}, {0xFFFFFFFF, 1},
    };
    for (auto [c, w] : cases)
        EXPECT_EQ(columnWidth(c), w) << std::hex << hex(c);
}

TEST(UnicodeProperties, CombiningClassAndGraphemeBreaks) {
    EXPECT_EQ(combiningClass(U'a'), 0);
    EXPECT_EQ(combiningClass(0x0301), 230);
    EXPECT_EQ(combiningClass(0x110000), 0);

    const std::pair<std::u32string, std::vector<bool>> cases[] = {
        {U"e\u0301a", {false, true}},
        {U"\U0001F468\u200D\U0001F469", {false, false}},
        {U"\U0001F1E9\U0001F1EA\U0001F1EB", {false, true}}, // flags pair up: needs the state
    };
    for (const auto& [text, breaks] : cases) {
        int32_t state = 0;
        std::vector<bool> got;
        for (std::size_t i = 1; i < text.size(); ++i)
            got.push_back(isGraphemeBreak(text[i - 1], text[i], state));
        EXPECT_EQ(got, breaks);
    }
    int32_t state = 0;
    EXPECT_TRUE(isGraphemeBreak(U'a', 0x110000, state));
}

} // namespace
