#include "terminal/CellTables.h"

#include "terminal/CharData.h"

namespace tarvik {

std::int32_t CellTables::clusterCode(std::u32string_view cluster) {
    if (cluster.empty()) return 0;
    const auto scalar = [](char32_t c) { return c <= 0x10FFFF ? static_cast<std::int32_t>(c) : 0xFFFD; };
    // Any single scalar fits the code itself; only real clusters need the table.
    if (cluster.size() == 1) return scalar(cluster.front());
    if (auto code = graphemes_.codeFor(cluster)) return *code;
    reclaim();
    return graphemes_.codeFor(cluster).value_or(scalar(cluster.front()));
}

std::optional<TinyAtom> CellTables::internLink(std::string_view payload) {
    if (auto atom = links_.lookup(payload)) return atom;
    reclaim();
    return links_.lookup(payload);
}

void CellTables::markLive(const CharData& cell) {
    if (!cell.isSimpleRune()) graphemes_.mark(cell.code());
    links_.mark(cell.payload);
}

void CellTables::reclaim() {
    if (!reclaim_) return;
    graphemes_.beginSweep();
    links_.beginSweep();
    reclaim_(*this);
    graphemes_.endSweep();
    links_.endSweep();
}

} // namespace tarvik
