#include "view/ViewScroller.h"

#include <algorithm>

#include "view/EscapeSequences.h"
#include "view/TerminalViewCore.h"

namespace tarvik {

namespace {

int lineCount(const Terminal& terminal) {
    return terminal.buffer().lines().count();
}

} // namespace

void ViewScroller::scrollTo(int row) {
    Terminal& terminal = view_->terminal();
    Buffer& buffer = terminal.buffer();
    if (row == buffer.yDisp()) return;
    buffer.setYDisp(row);
    terminal.refresh(0, terminal.rows());
    view_->updateDisplay();
    view_->host().scrolled(*view_, scrollPosition());
    updateScroller();
    view_->surface().setNeedsDisplay();
}

void ViewScroller::scrollUp(int lines) {
    scrollTo(std::max(view_->terminal().buffer().yDisp() - lines, 0));
}

void ViewScroller::scrollDown(int lines) {
    const Terminal& terminal = view_->terminal();
    const int yDisp = terminal.buffer().yDisp();
    scrollTo(std::max(std::min(lineCount(terminal) - terminal.rows(), yDisp + lines), 0));
}

void ViewScroller::scrollToPosition(double position) {
    Terminal& terminal = view_->terminal();
    terminal.userScrolling = true;
    const double clamped = std::clamp(position, 0.0, 1.0);
    scrollTo(static_cast<int>(clamped * std::max(lineCount(terminal) - terminal.rows(), 0)));
}

void ViewScroller::pageUp() {
    if (view_->terminal().isCurrentBufferAlternate()) {
        view_->send(EscapeSequences::cmdPageUp);
        return;
    }
    scrollUp(view_->terminal().rows());
}

void ViewScroller::pageDown() {
    if (view_->terminal().isCurrentBufferAlternate()) {
        view_->send(EscapeSequences::cmdPageDown);
        return;
    }
    scrollDown(view_->terminal().rows());
}

void ViewScroller::ensureCaretIsVisible() {
    const Buffer& buffer = view_->terminal().buffer();
    const int cursorLine = buffer.yBase() + buffer.y();
    const int rows = view_->terminal().rows();
    if (cursorLine < buffer.yDisp() || cursorLine > buffer.yDisp() + rows - 1) scrollTo(buffer.yBase());
}

double ViewScroller::scrollPosition() const {
    const Terminal& terminal = view_->terminal();
    const int yDisp = terminal.buffer().yDisp();
    if (terminal.isCurrentBufferAlternate() || yDisp < 1) return 0;
    const int range = lineCount(terminal) - terminal.rows();
    if (range <= 0) return 0;
    return std::min(1.0, static_cast<double>(yDisp) / range);
}

double ViewScroller::scrollThumbsize() const {
    const Terminal& terminal = view_->terminal();
    if (terminal.isCurrentBufferAlternate()) return 0;
    const int count = lineCount(terminal);
    if (count <= 0) return 1;
    return std::max(static_cast<double>(terminal.rows()) / count, 0.01);
}

bool ViewScroller::canScroll() const {
    const Terminal& terminal = view_->terminal();
    if (terminal.isCurrentBufferAlternate() || !terminal.buffer().hasScrollback()) return false;
    return terminal.rows() < lineCount(terminal);
}

void ViewScroller::updateScroller() {
    view_->surface().updateScroller(canScroll(), scrollPosition(), scrollThumbsize());
}

} // namespace tarvik
