#include "view/Hyperlink.h"

namespace tarvik {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string_view::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

} // namespace

std::optional<Hyperlink> parseHyperlink(std::string_view payload) {
    const std::size_t cut = payload.find(';');
    if (cut == std::string_view::npos) return std::nullopt;
    Hyperlink link;
    // A URL may itself contain ';': everything after the parameters is the URL.
    link.url = std::string(payload.substr(cut + 1));
    for (std::string_view item : split(payload.substr(0, cut), ':')) {
        const auto pair = split(item, '=');
        if (pair.size() == 2) link.params.emplace_back(std::string(pair[0]), std::string(pair[1]));
    }
    return link;
}

} // namespace tarvik
