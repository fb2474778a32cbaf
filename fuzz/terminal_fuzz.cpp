// libFuzzer target: arbitrary output, cut at arbitrary points, interleaved with the
// things a host does between reads (resizing, scrolling the view back, copying text),
// with the engine's invariants checked after every step.
//
// Input layout: the first byte gives the length K (0-31) of a control script, the next
// K bytes are that script and the rest is the output stream. Each script byte feeds a
// slice of the stream whose length comes from its upper bits, then performs the host
// operation its lower three bits name (resize, scroll back, return, copy every line,
// clear the dirty range, resize small, select and copy). Whatever the script leaves is fed in one piece.
// Raw captures are usable seeds as they are: their first bytes just become a script.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "terminal/SelectionService.h"
#include "terminal/Terminal.h"
#include "terminal/TextExtraction.h"

namespace {

using namespace tarvik;

struct NullHost : TerminalDelegate {
    std::size_t sent = 0;
    void send(Terminal&, std::span<const uint8_t> data) override { sent += data.size(); }
};

[[noreturn]] void violated(const char* what, const Terminal& t) {
    const Buffer& b = t.buffer();
    std::fprintf(stderr, "invariant violated: %s (cols=%d rows=%d x=%d y=%d yBase=%d yDisp=%d lines=%d)\n",
                 what, t.cols(), t.rows(), b.x(), b.y(), b.yBase(), b.yDisp(), b.lines().count());
    std::abort();
}

void checkBuffer(const Terminal& t, const Buffer& b) {
    if (b.cols() != t.cols() || b.rows() != t.rows()) violated("buffer size differs from terminal size", t);
    // The cursor may rest one past the last column while a wrap is pending.
    if (b.x() < 0 || b.x() > b.cols()) violated("cursor column outside the screen", t);
    if (b.y() < 0 || b.y() >= b.rows()) violated("cursor row outside the screen", t);
    if (b.yDisp() < 0 || b.yDisp() > b.yBase()) violated("viewport below the live screen", t);
    if (b.yBase() + b.rows() > b.lines().count()) violated("live screen past the last line", t);
    if (b.scrollTop() < 0 || b.scrollTop() > b.scrollBottom() || b.scrollBottom() >= b.rows())
        violated("scroll region outside the screen", t);
    for (int i = 0; i < b.lines().count(); ++i)
        if (b.lines()[i].count() < b.cols()) violated("line shorter than the screen", t);
}

void checkInvariants(Terminal& t) {
    checkBuffer(t, t.normalBuffer());
    checkBuffer(t, t.altBuffer());
    if (const auto range = t.getUpdateRange()) {
        // The full-screen refresh names one past the last row as its end.
        if (range->first < 0 || range->first > range->second || range->second > t.rows()) {
            std::fprintf(stderr, "dirty range %d..%d\n", range->first, range->second);
            violated("dirty range outside the screen", t);
        }
    }
}

// The text of every line as a copy would give it, touching each cell's grapheme.
std::size_t extractText(const Terminal& t) {
    std::size_t total = 0;
    const auto& lines = t.buffer().lines();
    for (int i = 0; i < lines.count(); ++i)
        total += rowText(lines[i], t.tables()).size();
    return total;
}

// What a user does with the pointer: a double click somewhere, a shift-click, a drag,
// then copying; positions come from the script and may lie anywhere.
void selectAndCopy(Terminal& t, SelectionService& selection, uint8_t arg) {
    const Buffer& b = t.buffer();
    const int lines = std::max(b.lines().count(), 1);
    const Position at{arg % (t.cols() + 2) - 1, (arg * 31) % lines};
    selection.selectWordOrExpression(at, b);
    selection.shiftExtend(arg % t.rows(), (arg * 3) % (t.cols() + 1));
    selection.dragExtend(Position{(arg * 5) % (t.cols() + 1), (arg * 11) % lines});
    selection.getSelectedText();
    selection.select(arg % lines);
    selection.selectAll();
    selection.getSelectedText();
    t.getText(Position{0, 0}, Position{t.cols(), lines - 1});
    t.getBufferAsData();
    selection.setActive(false);
}

void hostOperation(Terminal& t, SelectionService& selection, int op, uint8_t arg) {
    Buffer& b = t.buffer();
    switch (op) {
    case 1:
        t.resize(2 + arg % 120, 1 + (arg * 7) % 50);
        break;
    case 2: // the user scrolls back into the history
        t.userScrolling = true;
        b.setYDisp(b.yBase() - std::min<int>(b.yBase(), arg));
        break;
    case 3: // and returns to the live screen
        t.userScrolling = false;
        b.setYDisp(b.yBase());
        break;
    case 4:
        extractText(t);
        break;
    case 5:
        t.clearUpdateRange();
        break;
    case 6:
        t.resize(2 + arg % 30, 1 + arg % 8);
        break;
    case 7:
        selectAndCopy(t, selection, arg);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t scriptLength = std::min<std::size_t>(data[0] % 32, size - 1);
    std::span<const uint8_t> script(data + 1, scriptLength);
    std::span<const uint8_t> stream(data + 1 + scriptLength, size - 1 - scriptLength);

    NullHost host;
    TerminalOptions options;
    options.cols = 40;
    options.rows = 12;
    options.scrollback = 64; // small, so the ring fills and recycles within one input
    Terminal terminal(host, options);
    SelectionService selection(terminal);

    for (std::size_t i = 0; i < script.size(); ++i) {
        const uint8_t control = script[i];
        const std::size_t slice =
            std::min<std::size_t>(std::size_t(control >> 3) * (control >> 3) + 1, stream.size());
        terminal.feed(stream.first(slice));
        stream = stream.subspan(slice);
        checkInvariants(terminal);
        hostOperation(terminal, selection, control & 7, i + 1 < script.size() ? script[i + 1] : control);
        checkInvariants(terminal);
    }
    terminal.feed(stream);
    checkInvariants(terminal);
    extractText(terminal);
    return 0;
}
