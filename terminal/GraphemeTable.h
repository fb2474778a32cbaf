#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// Multi-scalar grapheme clusters (combining sequences, emoji sequences) live here so that
// a cell can name them with one 32-bit code. Codes are handed out once and never reused,
// so a code stays meaningful for the life of the process.
//
// Two bounds keep a hostile stream from exhausting memory: a cluster keeps at most
// maxClusterLength scalars (further combining marks are dropped), and once the table holds
// `capacity` clusters no new code is handed out.
class GraphemeTable {
  public:
    static constexpr std::int32_t firstCode = 4194305; // 2^22 + 1
    static constexpr std::size_t maxClusterLength = 32;
    static constexpr std::size_t defaultCapacity = 1u << 20;
    // Codes are signed 32-bit, so the table can never name more than this many clusters.
    static constexpr std::size_t maxCapacity = 2147483647u - firstCode;

    explicit GraphemeTable(std::size_t capacity = defaultCapacity)
        : capacity_(capacity < maxCapacity ? capacity : maxCapacity) {}

    static GraphemeTable& shared();

    // The code of a cluster, entering it when new; none when the table is full.
    std::optional<std::int32_t> codeFor(std::u32string_view cluster);
    // The cluster behind a code; none for codes the table never handed out.
    std::optional<std::u32string> clusterFor(std::int32_t code) const;
    // The same scalars copied into `out` (as many as fit) with no allocation; the
    // number copied, or none for codes the table never handed out.
    std::optional<std::size_t> copyCluster(std::int32_t code, std::span<char32_t> out) const;
    std::size_t size() const;

  private:
    // Looking a known cluster up by view builds no key string: combining marks on the
    // screen mostly repeat clusters the table already holds. Clusters are a few
    // scalars long, so a multiplicative hash over whole scalars beats hashing bytes.
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::u32string_view text) const noexcept {
            std::uint64_t hash = text.size();
            for (char32_t c : text)
                hash = (hash ^ c) * 0x9E3779B97F4A7C15ull;
            return static_cast<std::size_t>(hash ^ hash >> 32);
        }
    };

    const std::u32string* find(std::int32_t code) const;

    mutable std::mutex mutex_;
    std::size_t capacity_;
    std::unordered_map<std::u32string, std::int32_t, ViewHash, std::equal_to<>> charToIndexMap_;
    std::vector<std::u32string> indexToCharMap_; // slot i holds code firstCode + i
};

} // namespace tarvik
