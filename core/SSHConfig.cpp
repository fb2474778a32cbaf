#include "core/SSHConfig.h"

#include "core/AppError.h"
#include "core/Unicode.h"

#include <algorithm>
#include <set>
#include <string>

namespace tarvik::SSHConfig {

namespace {

// Splits at every scalar for which `separator` holds, dropping the separators.
std::vector<std::string> split(std::string_view text, bool (*separator)(char32_t)) {
    std::vector<std::string> pieces(1);
    for (std::size_t offset = 0; offset < text.size();) {
        const auto d = Unicode::decode(text, offset);
        if (separator(d.scalar))
            pieces.emplace_back();
        else
            pieces.back().append(text.substr(offset, d.length));
        offset += d.length;
    }
    return pieces;
}

std::vector<std::string> wordsOf(std::string_view line) {
    std::string text = Unicode::trimmed(line, Unicode::isWhiteSpaceOrLineBreak);
    if (text.starts_with('#')) return {};
    std::replace(text.begin(), text.end(), '=', ' ');
    auto words = split(text, Unicode::isWhiteSpaceOrLineBreak);
    std::erase_if(words, [](const std::string& word) { return word.empty(); });
    return words;
}

bool isHostKeyword(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word == "host";
}

std::string unquoted(const std::string& word) {
    const std::size_t first = word.find_first_not_of("\"'");
    if (first == std::string::npos) return {};
    return word.substr(first, word.find_last_not_of("\"'") - first + 1);
}

bool isPattern(const std::string& alias) {
    return alias.find_first_of("*?!") != std::string::npos;
}

std::optional<Connection> profileFor(const std::string& alias) {
    Connection profile;
    profile.name = alias;
    profile.host = alias;
    profile.port = "";
    profile.group = "SSH config";
    try {
        return profile.validated();
    } catch (const AppError&) {
        return std::nullopt;
    }
}

} // namespace

std::vector<Connection> aliases(std::string_view text) {
    std::vector<Connection> result;
    std::set<std::string> seen;
    for (const std::string& line : split(text, Unicode::isLineBreak)) {
        const auto words = wordsOf(line);
        if (words.empty() || !isHostKeyword(words.front())) continue;
        for (auto word = words.begin() + 1; word != words.end() && !word->starts_with('#'); ++word) {
            const std::string alias = unquoted(*word);
            if (isPattern(alias) || seen.contains(alias)) continue;
            if (auto profile = profileFor(alias)) {
                result.push_back(std::move(*profile));
                seen.insert(alias);
            }
        }
    }
    return result;
}

} // namespace tarvik::SSHConfig
