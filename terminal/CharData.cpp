#include "terminal/CharData.h"

#include "terminal/GraphemeTable.h"

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

CharData::CharData(const Attribute& attribute, std::u32string_view cluster, int size)
    : width_(narrowWidth(size)), attribute(attribute) {
    // A CR LF pair arrives as one cluster but means a line feed.
    code_ = cluster == U"\r\n" ? 10 : codeForCluster(cluster);
}

// A new value keeps the cell's protection: it belongs to the cell, not to the character.
void CharData::setValue(char32_t scalar, int size) {
    code_ = simpleCode(scalar);
    width_ = static_cast<std::uint8_t>((width_ & protectedBit) | narrowWidth(size));
}

void CharData::setValue(std::u32string_view cluster, int size) {
    code_ = codeForCluster(cluster);
    width_ = static_cast<std::uint8_t>((width_ & protectedBit) | narrowWidth(size));
}

std::int32_t CharData::codeForCluster(std::u32string_view cluster) {
    if (cluster.empty()) return 0;
    // Any single scalar fits the code itself; only real clusters need the table.
    if (cluster.size() == 1) return simpleCode(cluster.front());
    // With the table full, the base character is the best we can still show.
    return GraphemeTable::shared().codeFor(cluster).value_or(simpleCode(cluster.front()));
}

std::string CharData::getCharacter() const {
    std::string text;
    appendCharacter(text);
    return text;
}

std::size_t CharData::copyScalars(std::span<char32_t> out) const {
    if (out.empty()) return 0;
    // Spelled as appendCharacter spells it: whatever is no scalar reads as a space.
    const auto shown = [](char32_t value) { return isScalar(value) ? value : U' '; };
    if (code_ <= maxSimpleCode) {
        out[0] = shown(code_ < 0 ? U' ' : static_cast<char32_t>(code_));
        return 1;
    }
    const auto copied = GraphemeTable::shared().copyCluster(code_, out);
    if (!copied) {
        out[0] = U' ';
        return 1;
    }
    for (std::size_t i = 0; i < *copied; ++i)
        out[i] = shown(out[i]);
    return *copied;
}

void CharData::appendCharacter(std::string& out) const {
    if (code_ <= maxSimpleCode) {
        appendUtf8(out, code_ < 0 ? U' ' : static_cast<char32_t>(code_));
        return;
    }
    const auto cluster = GraphemeTable::shared().clusterFor(code_);
    if (!cluster) {
        out.push_back(' ');
        return;
    }
    for (char32_t scalar : *cluster)
        appendUtf8(out, scalar);
}

} // namespace tarvik
