#include "view/FrameBuilder.h"

#include "terminal/SelectionService.h"
#include "terminal/Terminal.h"

namespace tarvik {

std::u32string_view FrameRow::runText(const FrameRun& run) const {
    if (run.colCount <= 0) return {};
    const FrameCell& first = cells[static_cast<std::size_t>(run.firstCol)];
    const FrameCell& last = cells[static_cast<std::size_t>(run.firstCol + run.colCount - 1)];
    return {text.data() + first.textOffset, last.textOffset + last.textLength - first.textOffset};
}

void FrameBuilder::build(Frame& frame, const Terminal& terminal, const SelectionService* /*selection*/,
                         int /*firstRow*/, int /*lastRow*/, const FrameOptions& options) {
    frame.cols = terminal.cols();
    frame.rowCount = terminal.rows();
    frame.cell = options.cell;
}

SelectionSpan FrameBuilder::selectionSpan(const SelectionService& /*selection*/, int /*lineIndex*/, int /*cols*/) {
    return {};
}

} // namespace tarvik
