#include "terminal/CharData.h"

#include <array>

#include "terminal/CellTables.h"

namespace tarvik {

namespace {

constexpr bool isScalar(char32_t value) {
    return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

} // namespace

void appendUtf8(std::string& out, char32_t scalar) {
    if (!isScalar(scalar)) scalar = U' ';
    if (scalar < 0x80) {
        out.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        out.push_back(static_cast<char>(0xC0 | scalar >> 6));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else if (scalar < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | scalar >> 12));
        out.push_back(static_cast<char>(0x80 | (scalar >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | scalar >> 18));
        out.push_back(static_cast<char>(0x80 | (scalar >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

CharData::CharData(const Attribute& attribute, std::u32string_view cluster, int size, CellTables& tables)
    : width_(narrowWidth(size)), attribute(attribute) {
    // A CR LF pair arrives as one cluster but means a line feed.
    code_ = cluster == U"\r\n" ? 10 : tables.clusterCode(cluster);
}

// A new value keeps the cell's protection: it belongs to the cell, not to the character.
void CharData::setValue(std::u32string_view cluster, int size, CellTables& tables) {
    code_ = tables.clusterCode(cluster);
    width_ = static_cast<std::uint8_t>((width_ & protectedBit) | narrowWidth(size));
}

const std::string* CharData::getPayload(const CellTables& tables) const {
    return tables.links().target(payload);
}

std::string CharData::getCharacter(const CellTables& tables) const {
    std::string text;
    appendCharacter(text, tables);
    return text;
}

std::size_t CharData::copyScalars(std::span<char32_t> out, const CellTables& tables) const {
    if (out.empty()) return 0;
    // Spelled as appendCharacter spells it: whatever is no scalar reads as a space.
    const auto shown = [](char32_t value) { return isScalar(value) ? value : U' '; };
    if (code_ <= maxSimpleCode) {
        out[0] = shown(code_ < 0 ? U' ' : static_cast<char32_t>(code_));
        return 1;
    }
    const auto copied = tables.graphemes().copyCluster(code_, out);
    if (!copied) {
        out[0] = U' ';
        return 1;
    }
    for (std::size_t i = 0; i < *copied; ++i)
        out[i] = shown(out[i]);
    return *copied;
}

char32_t CharData::baseScalar(const CellTables& tables) const {
    char32_t first = U' ';
    copyScalars(std::span<char32_t>(&first, 1), tables);
    return first;
}

void CharData::appendCharacter(std::string& out, const CellTables& tables) const {
    if (code_ <= maxSimpleCode) {
        appendUtf8(out, code_ < 0 ? U' ' : static_cast<char32_t>(code_));
        return;
    }
    std::array<char32_t, GraphemeTable::maxClusterLength> scalars;
    const auto copied = tables.graphemes().copyCluster(code_, scalars);
    if (!copied) {
        out.push_back(' ');
        return;
    }
    for (std::size_t i = 0; i < *copied; ++i)
        appendUtf8(out, scalars[i]);
}

} // namespace tarvik
