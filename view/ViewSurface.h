#pragma once

#include <optional>
#include <string>

#include "terminal/Color.h"
#include "terminal/TerminalDelegate.h"
#include "view/DirtyRegion.h"

namespace tarvik {

class ImageFactory;

// What the view logic asks of the widget that shows it. Every call has a null default so
// tests drive the logic without a window.
class ViewSurface {
  public:
    virtual ~ViewSurface() = default;

    // Size of the drawing area in points, and the device pixels per point.
    virtual double viewWidth() const { return 0; }
    virtual double viewHeight() const { return 0; }
    virtual double backingScale() const { return 1; }
    virtual double scrollBarWidth() const { return 0; }

    virtual void setNeedsDisplay() {}                      // the whole view
    virtual void setNeedsDisplay(const PixelRect& /*rect*/) {}
    // Whether the view shows the frame it last painted, with nothing waiting to be painted,
    // so that its pixels may be moved instead of painted again.
    virtual bool canMovePixels() const { return false; }
    // Moves the pixels of `area` by `dy` points (negative: up); what moves out is dropped.
    virtual void movePixels(const PixelRect& /*area*/, double /*dy*/) {}
    // The caret moved, was shown or hidden, or its style or colour changed.
    virtual void caretChanged() {}
    virtual void cursorStyleChanged(CursorStyle /*style*/) {}
    // Pointer motion without buttons is wanted (anyEvent mode or the link key held).
    virtual void setPointerTracking(bool /*on*/) {}
    virtual void updateScroller(bool /*enabled*/, double /*position*/, double /*thumbProportion*/) {}
    virtual void takeFocus() {}

    virtual void setClipboardText(const std::string& /*text*/) {}
    virtual std::optional<std::string> clipboardText() { return std::nullopt; }
    // Shows (or with none hides) the URL of the link under the pointer.
    virtual void showLinkPreview(const std::optional<std::string>& /*url*/) {}

    // Null: pictures are dropped.
    virtual ImageFactory* imageFactory() { return nullptr; }
};

} // namespace tarvik
