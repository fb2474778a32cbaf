#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace tarvik {

// The case whose raw value is `raw`, compared exactly (letter case matters:
// stored files must not be read leniently into a different meaning).
template <class Enum, std::size_t N>
std::optional<Enum> caseWithRawValue(const std::array<Enum, N>& cases, std::string_view raw) {
    for (Enum candidate : cases)
        if (rawValue(candidate) == raw) return candidate;
    return std::nullopt;
}

// Hashing by raw value keeps hashes stable when cases are reordered.
template <class Enum> struct RawValueHash {
    std::size_t operator()(Enum value) const noexcept {
        return std::hash<std::string_view>{}(rawValue(value));
    }
};

} // namespace tarvik
