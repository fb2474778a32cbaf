#include <gtest/gtest.h>

#include <string>

#include "terminal/CharData.h"
#include "terminal/GraphemeTable.h"
#include "terminal/TinyAtom.h"

using namespace tarvik;

namespace {

TEST(CharDataTest, StoresScalarsDirectlyAndClustersInTheTable) {
    struct Case {
        std::u32string cluster;
        std::int32_t code;
    };
    const Case cases[] = {
        {U"\r\n", 10},            // one cluster, but a line feed
        {U"a", 'a'},              // ASCII
        {U"\u00E9", 0xE9},        // precomposed e acute
        {U"\u4E2D", 0x4E2D},      // BMP ideograph
        {U"\U0001F600", 0x1F600}, // a single astral scalar needs no table entry either
    };
    for (const Case& c : cases) {
        const CharData cell(CharData::defaultAttr, c.cluster, 1);
        EXPECT_EQ(cell.code(), c.code);
        EXPECT_TRUE(cell.isSimpleRune());
    }
}

TEST(CharDataTest, SameClusterGetsSameTableCodeAndRoundTrips) {
    const std::u32string decomposed = U"e\u0301";
    const CharData first(CharData::defaultAttr, decomposed, 1);
    const CharData second(CharData::defaultAttr, decomposed, 1);
    EXPECT_GE(first.code(), GraphemeTable::firstCode);
    EXPECT_FALSE(first.isSimpleRune());
    EXPECT_EQ(first.code(), second.code());
    EXPECT_EQ(first.getCharacter(), "e\xCC\x81");

    const CharData family(CharData::defaultAttr, U"\U0001F468\u200D\U0001F469\u200D\U0001F467", 2);
    EXPECT_NE(family.code(), first.code());
    EXPECT_EQ(family.getCharacter(),
              "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    EXPECT_EQ(family.width(), 2);
}

TEST(CharDataTest, GetCharacterOfOddCodes) {
    CharData cell;
    EXPECT_EQ(cell.getCharacter(), std::string(1, '\0')); // null cell
    cell.setValue(static_cast<char32_t>(0xD800), 1);      // a lone surrogate is no scalar
    EXPECT_EQ(cell.getCharacter(), " ");
    cell.setValue(static_cast<char32_t>(0x110000), 1); // beyond Unicode: must not alias a table code
    EXPECT_TRUE(cell.isSimpleRune());
    EXPECT_EQ(cell.getCharacter(), "\xEF\xBF\xBD");
    cell.setValue(U"x", 300); // the width is narrowed, not wrapped around
    EXPECT_EQ(cell.width(), 127);
}

TEST(CharDataTest, EndlessCombiningMarksShareOneBoundedCluster) {
    // Each added mark would otherwise enter a new, longer cluster in a table that is never
    // pruned: quadratic memory from one line of input.
    std::u32string zalgo = U"e";
    zalgo.append(100, U'\u0301');
    const CharData longer(CharData::defaultAttr, zalgo, 1);
    const CharData shorter(CharData::defaultAttr, std::u32string_view(zalgo).substr(0, 40), 1);
    EXPECT_EQ(longer.code(), shorter.code());
    EXPECT_EQ(longer.getCharacter().size(), 1 + 2 * (GraphemeTable::maxClusterLength - 1));
}

TEST(GraphemeTableTest, StopsHandingOutCodesWhenFull) {
    GraphemeTable table(2);
    const auto a = table.codeFor(U"a\u0301");
    const auto b = table.codeFor(U"b\u0301");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*b, *a + 1);
    EXPECT_FALSE(table.codeFor(U"c\u0301"));
    EXPECT_EQ(table.codeFor(U"a\u0301"), a);
    EXPECT_EQ(table.clusterFor(*b), std::u32string(U"b\u0301"));
    EXPECT_FALSE(table.clusterFor(*b + 1));
}

TEST(TinyAtomTest, IdenticalPayloadsShareAnAtom) {
    TinyAtomRegistry registry;
    const auto first = registry.lookup("https://example.org/a");
    const auto second = registry.lookup("https://example.org/b");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->value(), 1);
    EXPECT_EQ(second->value(), 2);
    EXPECT_EQ(registry.lookup("https://example.org/a"), first);
    EXPECT_EQ(*registry.target(*second), "https://example.org/b");
    EXPECT_EQ(registry.target(TinyAtom()), nullptr);
    EXPECT_EQ(registry.target(TinyAtom(3)), nullptr);
}

TEST(TinyAtomTest, BoundOfDistinctPayloads) {
    TinyAtomRegistry registry;
    for (int i = 1; i <= TinyAtom::maxAtom; ++i)
        ASSERT_EQ(registry.lookup(std::to_string(i))->value(), i);
    EXPECT_FALSE(registry.lookup("one more"));
    EXPECT_EQ(registry.lastAtom(), TinyAtom::maxAtom);
    // Links seen before keep working after the registry is full.
    EXPECT_EQ(registry.lookup("17")->value(), 17);

    CharData cell(CharData::defaultAttr, U'a', 1);
    cell.payload = *TinyAtom::lookup("id=1;https://example.org");
    EXPECT_EQ(*cell.getPayload(), "id=1;https://example.org");
}

} // namespace
