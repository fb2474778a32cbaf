#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik {

// A hyperlink as the program gave it: its URL and its parameters (id=... and the like).
struct Hyperlink {
    std::string url;
    std::vector<std::pair<std::string, std::string>> params;
    friend bool operator==(const Hyperlink&, const Hyperlink&) = default;
};

// Parses a stored link payload "params;url": none without a ';'; everything after the
// first ';' is the URL, and each ':'-separated item before it that splits at '=' into
// exactly two parts is a parameter.
std::optional<Hyperlink> parseHyperlink(std::string_view payload);

} // namespace tarvik
