#pragma once

namespace tarvik {

class TerminalViewCore;

// The viewport's place in the history and the scroll bar that shows it.
class ViewScroller {
  public:
    explicit ViewScroller(TerminalViewCore& view) : view_(&view) {}

    void scrollTo(int row);
    void scrollUp(int lines);
    void scrollDown(int lines);
    // position 0 ... 1 of the scroll bar; marks the user as scrolling.
    void scrollToPosition(double position);
    // One screen up or down; in the alternate buffer the page keys go to the program.
    void pageUp();
    void pageDown();
    // Back to the live screen when the cursor's line is not shown.
    void ensureCaretIsVisible();

    double scrollPosition() const;
    double scrollThumbsize() const;
    bool canScroll() const;
    void updateScroller();

  private:
    TerminalViewCore* view_;
};

} // namespace tarvik
