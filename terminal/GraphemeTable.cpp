#include "terminal/GraphemeTable.h"

#include <algorithm>

namespace tarvik {

GraphemeTable& GraphemeTable::shared() {
    static GraphemeTable table;
    return table;
}

std::optional<std::int32_t> GraphemeTable::codeFor(std::u32string_view cluster) {
    const std::u32string_view key = cluster.substr(0, maxClusterLength);
    std::lock_guard lock(mutex_);
    if (auto found = charToIndexMap_.find(key); found != charToIndexMap_.end()) return found->second;
    if (indexToCharMap_.size() >= capacity_) return std::nullopt;
    const auto code =
        static_cast<std::int32_t>(firstCode + static_cast<std::int64_t>(indexToCharMap_.size()));
    indexToCharMap_.emplace_back(key);
    charToIndexMap_.emplace(indexToCharMap_.back(), code);
    return code;
}

const std::u32string* GraphemeTable::find(std::int32_t code) const {
    if (code < firstCode) return nullptr;
    const auto index = static_cast<std::size_t>(code - firstCode);
    return index < indexToCharMap_.size() ? &indexToCharMap_[index] : nullptr;
}

std::optional<std::u32string> GraphemeTable::clusterFor(std::int32_t code) const {
    std::lock_guard lock(mutex_);
    if (const auto* cluster = find(code)) return *cluster;
    return std::nullopt;
}

std::optional<std::size_t> GraphemeTable::copyCluster(std::int32_t code, std::span<char32_t> out) const {
    std::lock_guard lock(mutex_);
    const auto* cluster = find(code);
    if (!cluster) return std::nullopt;
    const std::size_t n = std::min(cluster->size(), out.size());
    std::copy_n(cluster->begin(), n, out.begin());
    return n;
}

std::size_t GraphemeTable::size() const {
    std::lock_guard lock(mutex_);
    return indexToCharMap_.size();
}

} // namespace tarvik
