#pragma once

#include "terminal/Color.h"
#include "view/CellMetrics.h"
#include "view/Frame.h"

namespace tarvik {

class Terminal;
class SelectionService;

struct FrameOptions {
    bool useBrightColors = true;
    // The whole screen in reverse video: the default foreground and background trade places.
    bool screenReverse = false;
    CellMetrics cell;
};

// Builds frames from the terminal's active buffer at its viewport position. Storage is
// reused: once a frame has held rows of this width, building allocates nothing.
class FrameBuilder {
  public:
    // Rebuilds rows firstRow ... lastRow (clamped to the screen) and the caret.
    // selection may be null.
    static void build(Frame& frame, const Terminal& terminal, const SelectionService* selection, int firstRow,
                      int lastRow, const FrameOptions& options);
    static void buildAll(Frame& frame, const Terminal& terminal, const SelectionService* selection,
                         const FrameOptions& options) {
        build(frame, terminal, selection, 0, 1 << 30, options);
    }
    // The highlighted columns of one line (a buffer line index) of a selection.
    static SelectionSpan selectionSpan(const SelectionService& selection, int lineIndex, int cols);
};

} // namespace tarvik
