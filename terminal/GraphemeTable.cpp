#include "terminal/GraphemeTable.h"

namespace tarvik {

GraphemeTable& GraphemeTable::shared() {
    static GraphemeTable table;
    return table;
}

std::optional<std::int32_t> GraphemeTable::codeFor(std::u32string_view cluster) {
    std::u32string key(cluster.substr(0, maxClusterLength));
    std::lock_guard lock(mutex_);
    if (auto found = charToIndexMap_.find(key); found != charToIndexMap_.end()) return found->second;
    if (indexToCharMap_.size() >= capacity_) return std::nullopt;
    const auto code =
        static_cast<std::int32_t>(firstCode + static_cast<std::int64_t>(indexToCharMap_.size()));
    indexToCharMap_.push_back(key);
    charToIndexMap_.emplace(std::move(key), code);
    return code;
}

std::optional<std::u32string> GraphemeTable::clusterFor(std::int32_t code) const {
    std::lock_guard lock(mutex_);
    if (code < firstCode) return std::nullopt;
    const auto index = static_cast<std::size_t>(code - firstCode);
    if (index >= indexToCharMap_.size()) return std::nullopt;
    return indexToCharMap_[index];
}

std::size_t GraphemeTable::size() const {
    std::lock_guard lock(mutex_);
    return indexToCharMap_.size();
}

} // namespace tarvik
