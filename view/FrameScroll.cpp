#include "view/FrameScroll.h"

#include <algorithm>
#include <cstdlib>

namespace tarvik {

namespace {

bool sameCells(const FrameRow& a, const FrameRow& b) {
    if (a.cells.size() != b.cells.size() || a.text != b.text) return false;
    for (std::size_t i = 0; i < a.cells.size(); ++i) {
        const FrameCell &x = a.cells[i], &y = b.cells[i];
        if (x.textLength != y.textLength || x.width != y.width || x.filler != y.filler) return false;
    }
    return true;
}

bool sameRuns(const FrameRow& a, const FrameRow& b) {
    return std::equal(a.runs.begin(), a.runs.end(), b.runs.begin(), b.runs.end(), [](const FrameRun& x, const FrameRun& y) {
        return x.firstCol == y.firstCol && x.colCount == y.colCount && x.hyperlink == y.hyperlink && x.style == y.style;
    });
}

} // namespace

bool sameRowContent(const FrameRow& a, const FrameRow& b) {
    if (a.exists != b.exists) return false;
    if (!a.exists) return true;
    // Cheap differences first: a flood of output makes every comparison fail.
    return a.renderMode == b.renderMode && a.selection == b.selection && a.images == b.images &&
           a.runs.size() == b.runs.size() && sameCells(a, b) && sameRuns(a, b);
}

int detectRowShift(const Frame& shown, const Frame& next, int first, int last) {
    first = std::max(first, 0);
    last = std::min({last, shown.rowCount - 1, next.rowCount - 1});
    const int count = last - first + 1;
    if (count < 2 || shown.cols != next.cols) return 0;
    const auto row = [](const Frame& frame, int r) -> const FrameRow& { return frame.rows[static_cast<std::size_t>(r)]; };
    const int needed = (count + 1) / 2;
    int best = 0, bestKept = 0;
    // A shift of k keeps count - |k| rows at most: only shifts that can keep half are tried.
    for (int k = 1; k <= count / 2; ++k)
        for (const int shift : {k, -k}) {
            const int possible = count - k;
            if (possible <= bestKept) continue;
            int kept = 0, lost = 0;
            for (int r = first; r <= last; ++r) {
                const int from = r + shift;
                if (from < first || from > last) continue;
                if (sameRowContent(row(next, r), row(shown, from)))
                    ++kept;
                else if (++lost > possible - needed)
                    break; // can no longer keep half
            }
            if (kept >= needed && kept > bestKept) {
                best = shift;
                bestKept = kept;
            }
        }
    return best;
}

} // namespace tarvik
