#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "terminal/BufferLine.h"
#include "terminal/Color.h"
#include "terminal/TerminalDelegate.h"
#include "terminal/TerminalImage.h"
#include "view/CellMetrics.h"
#include "view/ColorMapper.h"

namespace tarvik {

// One cell of a frame row: where its text lies in the row's text.
struct FrameCell {
    std::uint32_t textOffset = 0;
    std::uint8_t textLength = 0; // 0 only for the filler after a wide character
    std::uint8_t width = 1;      // 2 for a wide character
    bool filler = false;         // the right half of a wide character: draw nothing
};

// Consecutive cells with equal attributes and the same has-link state.
struct FrameRun {
    int firstCol = 0;
    int colCount = 0;
    RunStyle style;
    bool hyperlink = false;
};

// Columns highlighted by the selection in one row, [startCol, endCol).
struct SelectionSpan {
    int startCol = 0;
    int endCol = 0;
    bool empty() const { return endCol <= startCol; }
    friend bool operator==(const SelectionSpan&, const SelectionSpan&) = default;
};

// What to draw for one visible row. The vectors keep their storage from frame to frame.
struct FrameRow {
    int row = 0;        // viewport row
    int lineIndex = 0;  // index in the buffer's ring
    bool exists = false; // false: the ring has no line here, draw background only
    BufferLine::RenderLineMode renderMode = BufferLine::RenderLineMode::single;
    std::vector<FrameCell> cells; // one per column
    std::vector<char32_t> text;   // every cell's cluster, in column order
    std::vector<FrameRun> runs;
    SelectionSpan selection; // empty when nothing in the row is selected
    std::vector<const TerminalImage*> images; // strips attached to the line, drawn after the text

    std::u32string_view cellText(int col) const {
        const FrameCell& cell = cells[static_cast<std::size_t>(col)];
        return {text.data() + cell.textOffset, cell.textLength};
    }
    // The text of a run: its cells' clusters back to back (fillers add nothing).
    std::u32string_view runText(const FrameRun& run) const;
};

// The cursor as drawn.
struct CaretFrame {
    bool visible = false;
    int col = 0; // viewport cell
    int row = 0;
    double x = 0; // top-left corner in points, y measured from the view's top
    double y = 0;
    double width = 0;
    double height = 0;
    CursorStyle style = CursorStyle::blinkBlock;
    bool blinking = true;
    // The cluster under the cursor and its resolved style, drawn inside a block caret.
    std::array<char32_t, 32> text{};
    std::uint8_t textLength = 0;
    RunStyle cellStyle;
    std::u32string_view cellText() const { return {text.data(), textLength}; }
};

// A toolkit-neutral description of the screen. Rows firstRow ... lastRow were built
// by the last build; the others keep what they had.
struct Frame {
    int cols = 0;
    int rowCount = 0;
    int firstRow = 0;
    int lastRow = -1;
    CellMetrics cell;
    Color defaultForeground;
    Color defaultBackground;
    std::vector<FrameRow> rows; // rowCount entries
    CaretFrame caret;
};

} // namespace tarvik
