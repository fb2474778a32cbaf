#include "terminal/GraphemeTable.h"

#include <algorithm>

namespace tarvik {

std::optional<std::int32_t> GraphemeTable::codeFor(std::u32string_view cluster) {
    const std::u32string_view key = cluster.substr(0, maxClusterLength);
    if (key.empty()) return std::nullopt;
    if (key.size() != 2) return enter(key);
    const std::uint64_t pair = pairKey(key[0], key[1]);
    PairSlot& slot = pairs_[pairSlot(pair)];
    if (slot.code != 0 && slot.pair == pair) return slot.code;
    const auto code = enter(key);
    if (code) slot = PairSlot{pair, *code};
    return code;
}

std::optional<std::int32_t> GraphemeTable::enter(std::u32string_view key) {
    if (auto found = map_.find(key); found != map_.end()) return found->second;
    if (map_.size() >= capacity_) return std::nullopt;
    std::size_t slot = clusters_.size();
    if (!free_.empty()) {
        slot = free_.back();
        free_.pop_back();
        clusters_[slot].assign(key);
    } else {
        clusters_.emplace_back(key);
    }
    const auto code = static_cast<std::int32_t>(firstCode + static_cast<std::int64_t>(slot));
    map_.emplace(clusters_[slot], code);
    return code;
}

const std::u32string* GraphemeTable::find(std::int32_t code) const {
    if (code < firstCode) return nullptr;
    const auto index = static_cast<std::size_t>(code - firstCode);
    if (index >= clusters_.size() || clusters_[index].empty()) return nullptr;
    return &clusters_[index];
}

std::optional<std::u32string> GraphemeTable::clusterFor(std::int32_t code) const {
    if (const auto* cluster = find(code)) return *cluster;
    return std::nullopt;
}

std::optional<std::size_t> GraphemeTable::copyCluster(std::int32_t code, std::span<char32_t> out) const {
    const auto* cluster = find(code);
    if (!cluster) return std::nullopt;
    const std::size_t n = std::min(cluster->size(), out.size());
    std::copy_n(cluster->begin(), n, out.begin());
    return n;
}

void GraphemeTable::beginSweep() {
    marked_.assign(clusters_.size(), false);
}

void GraphemeTable::mark(std::int32_t code) {
    if (code < firstCode) return;
    const auto index = static_cast<std::size_t>(code - firstCode);
    if (index < marked_.size()) marked_[index] = true;
}

std::size_t GraphemeTable::endSweep() {
    std::size_t freed = 0;
    for (std::size_t i = 0; i < clusters_.size() && i < marked_.size(); ++i) {
        if (marked_[i] || clusters_[i].empty()) continue;
        map_.erase(clusters_[i]);
        clusters_[i].clear();
        clusters_[i].shrink_to_fit();
        free_.push_back(static_cast<std::uint32_t>(i));
        ++freed;
    }
    marked_.clear();
    if (freed) std::fill(pairs_.begin(), pairs_.end(), PairSlot{});
    if (map_.size() > capacity_ / 2) capacity_ = std::min(capacity_ * 2, maxCapacity);
    return freed;
}

} // namespace tarvik
