#include "view/FrameBuilder.h"

#include <algorithm>
#include <utility>

#include "terminal/SelectionService.h"
#include "terminal/Terminal.h"
#include "view/CellContent.h"

namespace tarvik {

std::u32string_view FrameRow::runText(const FrameRun& run) const {
    if (run.colCount <= 0) return {};
    const FrameCell& first = cells[static_cast<std::size_t>(run.firstCol)];
    const FrameCell& last = cells[static_cast<std::size_t>(run.firstCol + run.colCount - 1)];
    return {text.data() + first.textOffset, last.textOffset + last.textLength - first.textOffset};
}

namespace {

// Everything one build reads, gathered once so the per-cell loop touches no terminal state.
struct BuildContext {
    const Terminal& terminal;
    const SelectionService* selection;
    ColorMapper colors;
    int cols;
};

std::uint8_t copyCluster(const Terminal& terminal, const CharData& cell, std::span<char32_t> out) {
    std::size_t n = cellScalars(terminal, cell, out);
    // A null cell shows as a space so that every column has a glyph.
    if (n == 0 || (n == 1 && out[0] == U'\0')) {
        out[0] = U' ';
        n = 1;
    }
    return static_cast<std::uint8_t>(n);
}

void buildCells(FrameRow& row, const BufferLine& line, const BuildContext& context) {
    std::array<char32_t, 32> scalars{};
    const Attribute* runAttribute = nullptr;
    bool runLink = false;
    bool afterWide = false;
    for (int col = 0; col < context.cols; ++col) {
        // Reads past the line's end repeat its last cell.
        const CharData& cell = line[col];
        FrameCell& out = row.cells[static_cast<std::size_t>(col)];
        out.textOffset = static_cast<std::uint32_t>(row.text.size());
        out.filler = afterWide && cell.code() == 0;
        if (out.filler) {
            out.textLength = 0;
            out.width = 1;
        } else {
            out.textLength = copyCluster(context.terminal, cell, scalars);
            row.text.insert(row.text.end(), scalars.begin(), scalars.begin() + out.textLength);
            out.width = cell.width() == 2 ? 2 : 1;
        }
        afterWide = cell.width() == 2;
        // The second half of a wide character is drawn as part of it, in its colours,
        // whatever the engine keeps in the placeholder cell.
        if (out.filler && runAttribute) {
            ++row.runs.back().colCount;
            continue;
        }

        const bool link = cellHasLink(cell);
        if (runAttribute && *runAttribute == cell.attribute && runLink == link) {
            ++row.runs.back().colCount;
            continue;
        }
        runAttribute = &cell.attribute;
        runLink = link;
        row.runs.push_back(FrameRun{col, 1, context.colors.getAttributes(cell.attribute, link), link});
    }
}

void buildRow(FrameRow& row, int viewportRow, const BuildContext& context) {
    const Buffer& buffer = context.terminal.buffer();
    row.row = viewportRow;
    row.lineIndex = buffer.yDisp() + viewportRow;
    row.text.clear();
    row.runs.clear();
    row.images.clear();
    row.selection = {};
    row.exists = row.lineIndex < buffer.lines().count();
    if (!row.exists) {
        row.cells.clear();
        row.renderMode = BufferLine::RenderLineMode::single;
        return;
    }
    const BufferLine& line = buffer.lines()[row.lineIndex];
    row.renderMode = line.renderMode;
    row.cells.resize(static_cast<std::size_t>(context.cols));
    buildCells(row, line, context);
    if (context.selection && context.selection->active())
        row.selection = FrameBuilder::selectionSpan(*context.selection, row.lineIndex, context.cols);
    if (line.images)
        for (const auto& image : *line.images)
            if (image) row.images.push_back(image.get());
}

void buildCaret(Frame& frame, const BuildContext& context, const FrameOptions& options) {
    const Terminal& terminal = context.terminal;
    const Buffer& buffer = terminal.buffer();
    CaretFrame& caret = frame.caret;
    const int cursorLine = buffer.yBase() + buffer.y();
    caret.row = cursorLine - buffer.yDisp();
    // A pending wrap leaves the cursor one past the last column; the caret stays on it.
    caret.col = std::clamp(buffer.x(), 0, std::max(context.cols - 1, 0));
    caret.style = terminal.options().cursorStyle;
    caret.blinking = caret.style == CursorStyle::blinkBlock || caret.style == CursorStyle::blinkUnderline ||
                     caret.style == CursorStyle::blinkBar;
    caret.visible = !terminal.cursorHidden && caret.row >= 0 && caret.row < terminal.rows() &&
                    cursorLine < buffer.lines().count();
    caret.textLength = 0;
    if (!caret.visible) return;
    const BufferLine& line = buffer.lines()[cursorLine];
    const double scale = line.renderMode == BufferLine::RenderLineMode::single ? 1 : 2;
    caret.x = caret.col * options.cell.width * scale;
    caret.y = caret.row * options.cell.height;
    caret.width = options.cell.width * scale;
    caret.height = options.cell.height;
    const CharData& cell = line[caret.col];
    caret.textLength = copyCluster(terminal, cell, caret.text);
    caret.cellStyle = context.colors.getAttributes(cell.attribute, cellHasLink(cell));
}

} // namespace

void FrameBuilder::build(Frame& frame, const Terminal& terminal, const SelectionService* selection,
                         int firstRow, int lastRow, const FrameOptions& options) {
    Color foreground = terminal.foregroundColor;
    Color background = terminal.backgroundColor;
    if (options.screenReverse) std::swap(foreground, background);
    const BuildContext context{
        terminal, selection,
        ColorMapper(terminal.ansiColors, foreground, background, options.useBrightColors), terminal.cols()};
    frame.cols = terminal.cols();
    frame.rowCount = terminal.rows();
    frame.cell = options.cell;
    frame.defaultForeground = foreground;
    frame.defaultBackground = background;
    if (frame.rows.size() != static_cast<std::size_t>(frame.rowCount))
        frame.rows.resize(static_cast<std::size_t>(frame.rowCount));
    frame.firstRow = std::max(firstRow, 0);
    frame.lastRow = std::min(lastRow, frame.rowCount - 1);
    for (int row = frame.firstRow; row <= frame.lastRow; ++row)
        buildRow(frame.rows[static_cast<std::size_t>(row)], row, context);
    buildCaret(frame, context, options);
}

SelectionSpan FrameBuilder::selectionSpan(const SelectionService& selection, int lineIndex, int cols) {
    Position start = selection.start;
    Position end = selection.end;
    if (Position::compare(start, end) == Position::Ordering::after) std::swap(start, end);
    if (start == end || lineIndex < start.row || lineIndex > end.row) return {};
    SelectionSpan span{0, cols};
    if (lineIndex == start.row) span.startCol = start.col;
    if (lineIndex == end.row) span.endCol = end.col;
    // The end column is exclusive, so an end on the last column would leave it bare.
    if (span.endCol == cols - 1) span.endCol = cols;
    span.startCol = std::clamp(span.startCol, 0, cols);
    span.endCol = std::clamp(span.endCol, 0, cols);
    return span;
}

} // namespace tarvik
