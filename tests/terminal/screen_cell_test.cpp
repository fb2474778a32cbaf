#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/CellTables.h"
#include "terminal/CharData.h"
#include "terminal/GraphemeTable.h"
#include "terminal/TinyAtom.h"

using namespace tarvik;

namespace {

TEST(CharDataTest, StoresScalarsDirectlyAndClustersInTheTable) {
    CellTables tables;
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
        const CharData cell(CharData::defaultAttr, c.cluster, 1, tables);
        EXPECT_EQ(cell.code(), c.code);
        EXPECT_TRUE(cell.isSimpleRune());
    }
}

TEST(CharDataTest, SameClusterGetsSameTableCodeAndRoundTrips) {
    CellTables tables;
    const std::u32string decomposed = U"e\u0301";
    const CharData first(CharData::defaultAttr, decomposed, 1, tables);
    const CharData second(CharData::defaultAttr, decomposed, 1, tables);
    EXPECT_GE(first.code(), GraphemeTable::firstCode);
    EXPECT_FALSE(first.isSimpleRune());
    EXPECT_EQ(first.code(), second.code());
    EXPECT_EQ(first.getCharacter(tables), "e\xCC\x81");

    const CharData family(CharData::defaultAttr, U"\U0001F468\u200D\U0001F469\u200D\U0001F467", 2, tables);
    EXPECT_NE(family.code(), first.code());
    EXPECT_EQ(family.getCharacter(tables),
              "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    EXPECT_EQ(family.width(), 2);
}

TEST(CharDataTest, GetCharacterOfOddCodes) {
    CellTables tables;
    CharData cell;
    EXPECT_EQ(cell.getCharacter(tables), std::string(1, '\0')); // null cell
    cell.setValue(static_cast<char32_t>(0xD800), 1);      // a lone surrogate is no scalar
    EXPECT_EQ(cell.getCharacter(tables), " ");
    cell.setValue(static_cast<char32_t>(0x110000), 1); // beyond Unicode: must not alias a table code
    EXPECT_TRUE(cell.isSimpleRune());
    EXPECT_EQ(cell.getCharacter(tables), "\xEF\xBF\xBD");
    cell.setValue(U"x", 300, tables); // the width is narrowed, not wrapped around
    EXPECT_EQ(cell.width(), 127);
}

TEST(CharDataTest, EndlessCombiningMarksShareOneBoundedCluster) {
    CellTables tables;
    // Each added mark would otherwise enter a new, longer cluster in a table that is never
    // pruned: quadratic memory from one line of input.
    std::u32string zalgo = U"e";
    zalgo.append(100, U'\u0301');
    const CharData longer(CharData::defaultAttr, zalgo, 1, tables);
    const CharData shorter(CharData::defaultAttr, std::u32string_view(zalgo).substr(0, 40), 1, tables);
    EXPECT_EQ(longer.code(), shorter.code());
    EXPECT_EQ(longer.getCharacter(tables).size(), 1 + 2 * (GraphemeTable::maxClusterLength - 1));
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

// Base-and-mark pairs are answered from a cache in front of the map. Whatever path
// answers, a code must name the cluster asked for, also after a sweep has freed codes
// and handed them to other clusters.
TEST(GraphemeTableTest, EveryCodeNamesItsClusterAcrossSweeps) {
    GraphemeTable table(64);
    std::vector<std::u32string> clusters;
    for (char32_t base = U'a'; base <= U'z'; ++base)
        for (char32_t mark = 0x300; mark < 0x340; ++mark) clusters.push_back({base, mark});
    clusters.push_back(U"e\u0301\u0302"); // longer clusters take the map alone
    clusters.push_back(U"\U0001F468\u200D\U0001F469");
    const auto check = [&](const std::u32string& cluster) {
        const auto code = table.codeFor(cluster);
        if (!code) return false;
        EXPECT_EQ(table.clusterFor(*code), cluster);
        EXPECT_EQ(table.codeFor(cluster), code) << "a second look-up agrees";
        return true;
    };
    std::size_t entered = 0;
    for (int round = 0; round < 8; ++round) {
        for (std::size_t i = round; i < clusters.size(); i += 7)
            if (check(clusters[i])) ++entered;
        // Keep only the codes of every third cluster alive, so freed codes are reused
        // for other pairs in the next round.
        table.beginSweep();
        for (std::size_t i = 0; i < clusters.size(); i += 3)
            if (const auto code = table.codeFor(clusters[i])) table.mark(*code);
        table.endSweep();
    }
    EXPECT_GT(entered, 64u);
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
    EXPECT_EQ(registry.size(), TinyAtom::maxAtom);
    // Links seen before keep working after the registry is full.
    EXPECT_EQ(registry.lookup("17")->value(), 17);
}

// A sweep frees what nobody marked; freed atoms and codes are handed out again, and what
// was marked keeps its number and its text.
TEST(CellTablesTest, SweepsFreeWhatNoCellHolds) {
    TinyAtomRegistry links(3);
    const auto a = links.lookup("a"), b = links.lookup("b"), c = links.lookup("c");
    ASSERT_TRUE(a && b && c);
    EXPECT_FALSE(links.lookup("d"));
    links.beginSweep();
    links.mark(*b);
    EXPECT_EQ(links.endSweep(), 2u);
    EXPECT_EQ(links.target(*a), nullptr);
    EXPECT_EQ(*links.target(*b), "b");
    const auto d = links.lookup("d");
    ASSERT_TRUE(d);
    EXPECT_NE(*d, *b);
    EXPECT_EQ(*links.target(*d), "d");
    EXPECT_EQ(links.lookup("b"), b);

    GraphemeTable clusters(2);
    const auto x = clusters.codeFor(U"x\u0301"), y = clusters.codeFor(U"y\u0301");
    ASSERT_TRUE(x && y);
    EXPECT_FALSE(clusters.codeFor(U"z\u0301"));
    clusters.beginSweep();
    clusters.mark(*y);
    EXPECT_EQ(clusters.endSweep(), 1u);
    EXPECT_FALSE(clusters.clusterFor(*x));
    EXPECT_EQ(clusters.codeFor(U"z\u0301"), x); // the freed code, reused
    EXPECT_EQ(clusters.clusterFor(*y), std::u32string(U"y\u0301"));
    // Still more than half full after a sweep: the table grows instead of sweeping again soon.
    clusters.beginSweep();
    clusters.mark(*x);
    clusters.mark(*y);
    clusters.endSweep();
    EXPECT_EQ(clusters.capacity(), 4u);

    CellTables tables;
    CharData cell(CharData::defaultAttr, U'a', 1);
    cell.payload = *tables.internLink("id=1;https://example.org");
    EXPECT_EQ(*cell.getPayload(tables), "id=1;https://example.org");
}

} // namespace
