#include "core/Uuid.h"

#include <cctype>

#include <uuid/uuid.h>

namespace tarvik {

namespace {

constexpr std::size_t textLength = 36;

bool isHyphenPosition(std::size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

// libuuid versions differ in how much of the text they inspect; checking the
// shape here makes the accepted syntax independent of the installed library.
bool hasCanonicalShape(std::string_view text) {
    if (text.size() != textLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isHyphenPosition(i) ? c != '-' : !std::isxdigit(c)) return false;
    }
    return true;
}

} // namespace

Uuid Uuid::random() {
    Bytes bytes;
    uuid_generate_random(bytes.data());
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (!hasCanonicalShape(text)) return std::nullopt;
    const std::string terminated(text);
    Bytes bytes;
    if (uuid_parse(terminated.c_str(), bytes.data()) != 0) return std::nullopt;
    return Uuid(bytes);
}

std::string Uuid::text() const {
    char buffer[textLength + 1];
    uuid_unparse_upper(bytes_.data(), buffer);
    return std::string(buffer, textLength);
}

} // namespace tarvik
