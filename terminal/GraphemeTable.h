#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// Multi-scalar grapheme clusters (combining sequences, emoji sequences) of one terminal,
// so that a cell can name them with one 32-bit code.
//
// A code stays meaningful while some cell holds it. When the table is full, its owner
// sweeps it: beginSweep, mark every code a cell still holds, endSweep. Unmarked codes are
// freed and handed out again; a table that stays more than half full after a sweep grows,
// so sweeps stay rare however many clusters are alive.
//
// A cluster keeps at most maxClusterLength scalars (further combining marks are dropped),
// so a hostile stream cannot grow one entry without bound.
class GraphemeTable {
  public:
    static constexpr std::int32_t firstCode = 4194305; // 2^22 + 1
    static constexpr std::size_t maxClusterLength = 32;
    static constexpr std::size_t defaultCapacity = 4096;
    // Codes are signed 32-bit, and the table never grows past this many live clusters.
    static constexpr std::size_t maxCapacity = std::size_t(1) << 22;

    explicit GraphemeTable(std::size_t capacity = defaultCapacity)
        : capacity_(capacity < 1 ? 1 : (capacity < maxCapacity ? capacity : maxCapacity)) {}

    // The code of a cluster, entering it when new; none when the table is full.
    std::optional<std::int32_t> codeFor(std::u32string_view cluster);
    // The cluster behind a code; none for codes the table does not hold.
    std::optional<std::u32string> clusterFor(std::int32_t code) const;
    // The same scalars copied into `out` (as many as fit) with no allocation; the
    // number copied, or none for codes the table does not hold.
    std::optional<std::size_t> copyCluster(std::int32_t code, std::span<char32_t> out) const;
    // Live clusters.
    std::size_t size() const { return map_.size(); }
    std::size_t capacity() const { return capacity_; }

    void beginSweep();
    void mark(std::int32_t code);
    // Frees every cluster not marked since beginSweep; returns how many.
    std::size_t endSweep();

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

    // A base and one mark is by far the most common cluster, so pairs seen lately are
    // remembered in a small direct-mapped cache in front of the map. Entries name live
    // codes only: a sweep, the one place codes are freed, empties it.
    struct PairSlot {
        std::uint64_t pair = 0;
        std::int32_t code = 0; // 0: empty
    };
    static constexpr std::size_t pairSlots = 4096;
    static std::uint64_t pairKey(char32_t first, char32_t second) {
        return std::uint64_t{first} << 32 | second;
    }
    static std::size_t pairSlot(std::uint64_t pair) {
        return static_cast<std::size_t>((pair * 0x9E3779B97F4A7C15ull) >> 52) & (pairSlots - 1);
    }
    std::optional<std::int32_t> enter(std::u32string_view key);

    std::size_t capacity_;
    std::unordered_map<std::u32string, std::int32_t, ViewHash, std::equal_to<>> map_;
    std::vector<std::u32string> clusters_; // slot i holds code firstCode + i; empty when free
    std::vector<std::uint32_t> free_;
    std::vector<bool> marked_;
    std::vector<PairSlot> pairs_ = std::vector<PairSlot>(pairSlots);
};

} // namespace tarvik
