#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "terminal/GraphemeTable.h"
#include "terminal/TinyAtom.h"

namespace tarvik {

class CharData;

// The tables behind the cells of one terminal: multi-scalar clusters (a cell's code from
// GraphemeTable::firstCode on) and hyperlink payloads (a cell's TinyAtom). Each terminal
// has its own, so one session's output can never fill another's tables.
//
// When a table fills, the owner's reclaim callback marks every cell it still holds
// (markLive), and whatever no cell refers to any more is handed out again. Codes and
// atoms are therefore meaningful only while a cell holds them: read a cell's text or
// link through these tables when you need it, do not keep codes elsewhere.
class CellTables {
  public:
    using Reclaim = std::function<void(CellTables&)>;

    explicit CellTables(std::size_t clusterCapacity = GraphemeTable::defaultCapacity,
                        std::uint16_t linkCapacity = TinyAtom::maxAtom)
        : graphemes_(clusterCapacity), links_(linkCapacity) {}

    // The code for a cluster of scalars: a single scalar is its own code, anything
    // longer is entered in the cluster table. When the table is still full after a
    // sweep, the base character is the best that can be shown.
    std::int32_t clusterCode(std::u32string_view cluster);
    // The atom for a hyperlink payload; none when the registry is still full after a sweep.
    std::optional<TinyAtom> internLink(std::string_view payload);

    const GraphemeTable& graphemes() const { return graphemes_; }
    const TinyAtomRegistry& links() const { return links_; }

    void setReclaim(Reclaim reclaim) { reclaim_ = std::move(reclaim); }
    // Called by the reclaim callback for every cell still held anywhere.
    void markLive(const CharData& cell);
    void markLive(TinyAtom atom) { links_.mark(atom); }
    // Sweeps both tables now; the owner's callback says what is alive.
    void reclaim();

  private:
    GraphemeTable graphemes_;
    TinyAtomRegistry links_;
    Reclaim reclaim_;
};

} // namespace tarvik
