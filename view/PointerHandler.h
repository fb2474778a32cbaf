#pragma once

#include <optional>

#include "terminal/Position.h"
#include "view/Hyperlink.h"
#include "view/KeyEvent.h"

namespace tarvik {

class TerminalViewCore;

enum class PointerButton : std::uint8_t { left, middle, right };

// A pointer event in view coordinates (points, y measured from the view's top).
struct PointerEvent {
    double x = 0;
    double y = 0;
    PointerButton button = PointerButton::left;
    int clickCount = 1;
    KeyModifiers modifiers;
};

// The cell and the clamped point of a pointer position.
struct MouseHit {
    Position grid;     // column and viewport row
    double pixelX = 0; // clamped to the view
    double pixelY = 0;
    friend bool operator==(const MouseHit&, const MouseHit&) = default;
};

// Decides whether pointer events are reported to the program or change the selection,
// and scrolls by wheel. Ctrl is the link key: Ctrl-click opens a hyperlink and holding
// Ctrl previews the link under the pointer.
class PointerHandler {
  public:
    explicit PointerHandler(TerminalViewCore& view) : view_(&view) {}

    // Column = floor(x / cell width) clamped to the screen; row = floor(y / cell height),
    // not clamped below; a point above the top hits (0, 0).
    MouseHit calculateMouseHit(double x, double y) const;
    // The button flags of a report; release for button releases.
    int encodeMouseEvent(const PointerEvent& event, bool release) const;

    // Each returns true when the event was reported to the program.
    bool mouseDown(const PointerEvent& event);
    bool mouseDragged(const PointerEvent& event);
    bool mouseUp(const PointerEvent& event);
    bool mouseMoved(const PointerEvent& event);
    // deltaY > 0 scrolls toward older lines. Never reported to the program.
    void scrollWheel(double deltaY);
    // Lines per wheel event: 1 below 2, 3 below 6, 10 below 10, else max(rows, 20).
    static int wheelStep(double deltaY, int rows);

    // The link key went down or up.
    void setCommandActive(bool active);
    bool commandActive() const { return commandActive_; }
    bool didSelectionDrag() const { return didSelectionDrag_; }
    // The link of the cell under a point, if it has one.
    std::optional<Hyperlink> linkAt(double x, double y) const;
    // The pointer left the view.
    void mouseExited();

  private:
    bool reportsPresses() const;
    bool reportsReleases() const;
    void previewLink(double x, double y);

    TerminalViewCore* view_;
    bool commandActive_ = false;
    bool didSelectionDrag_ = false;
    double lastX_ = 0;
    double lastY_ = 0;
};

} // namespace tarvik
