#include "view/PointerHandler.h"

#include <algorithm>
#include <cmath>

#include "terminal/TerminalMouse.h"
#include "view/TerminalViewCore.h"

namespace tarvik {

namespace {

// Report numbering: 0 left, 1 middle, 2 right.
int buttonNumber(PointerButton button) {
    switch (button) {
    case PointerButton::left: return 0;
    case PointerButton::middle: return 1;
    case PointerButton::right: return 2;
    }
    return 0;
}

} // namespace

MouseHit PointerHandler::calculateMouseHit(double x, double y) const {
    const CellMetrics cell = view_->cellMetrics();
    const Terminal& terminal = view_->terminal();
    MouseHit hit;
    const double row = std::floor(y / cell.height);
    if (row >= 0) {
        const double col = std::floor(x / cell.width);
        hit.grid.col = col <= 0 ? 0 : static_cast<int>(std::min(col, static_cast<double>(terminal.cols() - 1)));
        hit.grid.row = static_cast<int>(std::min(row, 1e9));
    }
    hit.pixelX = std::clamp(x, 0.0, std::max(view_->surface().viewWidth(), 0.0));
    hit.pixelY = std::clamp(y, 0.0, std::max(view_->surface().viewHeight(), 0.0));
    return hit;
}

int PointerHandler::encodeMouseEvent(const PointerEvent& event, bool release) const {
    return encodeButton(view_->terminal(), buttonNumber(event.button), release, event.modifiers.shift,
                        event.modifiers.alt, event.modifiers.control);
}

// X10 tracking reports presses only; the later modes report releases too.
bool PointerHandler::reportsPresses() const {
    return view_->options.allowMouseReporting && view_->terminal().mouseMode != MouseMode::off;
}

bool PointerHandler::reportsReleases() const {
    return view_->options.allowMouseReporting && view_->terminal().mouseMode >= MouseMode::vt200;
}

bool PointerHandler::mouseDown(const PointerEvent& event) {
    const MouseHit hit = calculateMouseHit(event.x, event.y);
    Terminal& terminal = view_->terminal();
    if (reportsPresses()) {
        sendEvent(terminal, encodeMouseEvent(event, false), hit.grid.col, hit.grid.row,
                  static_cast<int>(hit.pixelX), static_cast<int>(hit.pixelY));
        return true;
    }
    // Only the primary button selects; the others are the widget's (middle-click paste).
    if (event.button != PointerButton::left) return false;
    view_->surface().takeFocus();
    SelectionService& selection = view_->selection();
    const Position at{hit.grid.col, hit.grid.row + terminal.buffer().yDisp()};
    didSelectionDrag_ = false;
    if (event.clickCount == 2) {
        selection.selectWordOrExpression(at, terminal.buffer());
    } else if (event.clickCount >= 3) {
        selection.select(at.row);
    } else if (selection.active() && event.modifiers.shift) {
        selection.shiftExtend(hit.grid.row, hit.grid.col);
    } else {
        selection.setSoftStart(at);
        selection.setActive(false);
    }
    view_->surface().setNeedsDisplay();
    return false;
}

bool PointerHandler::mouseDragged(const PointerEvent& event) {
    const MouseHit hit = calculateMouseHit(event.x, event.y);
    Terminal& terminal = view_->terminal();
    if (view_->options.allowMouseReporting && terminal.mouseMode != MouseMode::off) {
        if (terminal.mouseMode != MouseMode::anyEvent) return false;
        sendMotion(terminal, encodeMouseEvent(event, false), hit.grid.col, hit.grid.row,
                   static_cast<int>(hit.pixelX), static_cast<int>(hit.pixelY));
        return true;
    }
    if (event.button != PointerButton::left) return false;
    SelectionService& selection = view_->selection();
    if (!selection.active()) selection.startSelection();
    selection.dragExtend(Position{hit.grid.col, hit.grid.row + terminal.buffer().yDisp()});
    didSelectionDrag_ = true;
    view_->surface().setNeedsDisplay();
    return false;
}

bool PointerHandler::mouseUp(const PointerEvent& event) {
    Terminal& terminal = view_->terminal();
    if (event.modifiers.control) {
        if (const auto link = linkAt(event.x, event.y)) view_->host().requestOpenLink(*view_, link->url, link->params);
    }
    if (reportsReleases()) {
        const MouseHit hit = calculateMouseHit(event.x, event.y);
        sendEvent(terminal, encodeMouseEvent(event, true), hit.grid.col, hit.grid.row, static_cast<int>(hit.pixelX),
                  static_cast<int>(hit.pixelY));
        return true;
    }
    didSelectionDrag_ = false;
    return false;
}

bool PointerHandler::mouseMoved(const PointerEvent& event) {
    lastX_ = event.x;
    lastY_ = event.y;
    if (commandActive_) previewLink(event.x, event.y);
    Terminal& terminal = view_->terminal();
    if (!view_->options.allowMouseReporting || terminal.mouseMode != MouseMode::anyEvent) return false;
    const MouseHit hit = calculateMouseHit(event.x, event.y);
    const KeyModifiers m = event.modifiers;
    const int flags = 3 + (m.shift ? 4 : 0) + (m.alt ? 8 : 0) + (m.control ? 16 : 0);
    sendMotion(terminal, flags, hit.grid.col, hit.grid.row, static_cast<int>(hit.pixelX),
               static_cast<int>(hit.pixelY));
    return true;
}

int PointerHandler::wheelStep(double deltaY, int rows) {
    const double magnitude = std::fabs(deltaY);
    const double d = std::isfinite(magnitude) ? std::trunc(magnitude) : 1e9;
    if (d < 2) return 1;
    if (d < 6) return 3;
    if (d < 10) return 10;
    return std::max(rows, 20);
}

void PointerHandler::scrollWheel(double deltaY) {
    if (deltaY == 0 || std::isnan(deltaY)) return;
    const int step = wheelStep(deltaY, view_->terminal().rows());
    if (deltaY > 0)
        view_->scroller().scrollUp(step);
    else
        view_->scroller().scrollDown(step);
}

std::optional<Hyperlink> PointerHandler::linkAt(double x, double y) const {
    if (y < 0) return std::nullopt;
    return view_->linkAt(calculateMouseHit(x, y).grid);
}

void PointerHandler::previewLink(double x, double y) {
    const auto link = linkAt(x, y);
    view_->surface().showLinkPreview(link ? std::optional<std::string>(link->url) : std::nullopt);
}

void PointerHandler::setCommandActive(bool active) {
    if (active == commandActive_) return;
    commandActive_ = active;
    if (active) {
        view_->surface().setPointerTracking(true);
        previewLink(lastX_, lastY_);
    } else {
        view_->surface().showLinkPreview(std::nullopt);
        view_->surface().setPointerTracking(view_->terminal().mouseMode == MouseMode::anyEvent);
    }
}

void PointerHandler::mouseExited() {
    view_->surface().showLinkPreview(std::nullopt);
}

} // namespace tarvik
