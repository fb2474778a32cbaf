#include "core/Unicode.h"

namespace tarvik::Unicode {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

struct Lead {
    std::size_t length;
    char32_t bits;
    char32_t minimum; // below this the encoding is overlong
};

bool leadOf(unsigned char byte, Lead& lead) {
    if (byte < 0x80)
        lead = {1, byte, 0};
    else if ((byte & 0xE0) == 0xC0)
        lead = {2, char32_t(byte & 0x1F), 0x80};
    else if ((byte & 0xF0) == 0xE0)
        lead = {3, char32_t(byte & 0x0F), 0x800};
    else if ((byte & 0xF8) == 0xF0)
        lead = {4, char32_t(byte & 0x07), 0x10000};
    else
        return false;
    return true;
}

} // namespace

Decoded decode(std::string_view text, std::size_t offset) {
    const auto first = static_cast<unsigned char>(text[offset]);
    Lead lead{};
    if (!leadOf(first, lead) || offset + lead.length > text.size()) return {replacementCharacter, 1};
    char32_t scalar = lead.bits;
    for (std::size_t i = 1; i < lead.length; ++i) {
        const auto byte = static_cast<unsigned char>(text[offset + i]);
        if (!isContinuation(byte)) return {replacementCharacter, 1};
        scalar = (scalar << 6) | (byte & 0x3F);
    }
    const bool surrogate = scalar >= 0xD800 && scalar <= 0xDFFF;
    if (scalar < lead.minimum || surrogate || scalar > 0x10FFFF) return {replacementCharacter, 1};
    return {scalar, lead.length};
}

bool isSpaceSeparator(char32_t c) {
    switch (c) {
    case U'\t':
    case U' ':
    case 0x00A0:
    case 0x1680:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::string trimmed(std::string_view text, bool (*strip)(char32_t)) {
    std::size_t begin = 0;
    std::size_t end = 0; // one past the last kept scalar
    bool seenKept = false;
    for (std::size_t offset = 0; offset < text.size();) {
        const Decoded d = decode(text, offset);
        if (!strip(d.scalar)) {
            if (!seenKept) begin = offset;
            seenKept = true;
            end = offset + d.length;
        }
        offset += d.length;
    }
    return seenKept ? std::string(text.substr(begin, end - begin)) : std::string();
}

bool allScalars(std::string_view text, bool (*accept)(char32_t)) {
    for (std::size_t offset = 0; offset < text.size();) {
        const Decoded d = decode(text, offset);
        if (!accept(d.scalar)) return false;
        offset += d.length;
    }
    return true;
}

bool anyScalar(std::string_view text, bool (*match)(char32_t)) {
    for (std::size_t offset = 0; offset < text.size();) {
        const Decoded d = decode(text, offset);
        if (match(d.scalar)) return true;
        offset += d.length;
    }
    return false;
}

} // namespace tarvik::Unicode
