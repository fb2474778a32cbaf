#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/SelectionService.h"
#include "terminal/Terminal.h"
#include "view/CellMetrics.h"
#include "view/DirtyRegion.h"
#include "view/DisplayScheduler.h"
#include "view/Frame.h"
#include "view/FrameBuilder.h"
#include "view/KeyEncoder.h"
#include "view/PointerHandler.h"
#include "view/TerminalViewDelegate.h"
#include "view/ViewScroller.h"
#include "view/ViewSurface.h"

namespace tarvik {

// Options of a terminal view, with their defaults.
struct ViewOptions {
    bool optionAsMetaKey = true;        // Alt sends ESC before the key
    bool backspaceSendsControlH = false; // Backspace sends 0x08 instead of 0x7F
    bool allowMouseReporting = true;     // false: the pointer always selects
    bool useBrightColors = true;         // bold palette 0-6 drawn in 8-14
    bool notifyUpdateChanges = false;    // tell the host the changed rows of every update
};

// Everything a terminal view decides, without a toolkit: it owns the terminal and the
// selection, answers the terminal's callbacks, and forwards what the host must know to
// its TerminalViewDelegate. The widget owns one, passes its events in, and paints the
// frames it builds.
class TerminalViewCore : public TerminalDelegate {
  public:
    // host, surface and timer must outlive the view.
    TerminalViewCore(TerminalViewDelegate& host, ViewSurface& surface, DisplayTimer& timer,
                     TerminalOptions terminalOptions = {});
    ~TerminalViewCore() override;
    TerminalViewCore(const TerminalViewCore&) = delete;
    TerminalViewCore& operator=(const TerminalViewCore&) = delete;

    Terminal& terminal() { return *terminal_; }
    const Terminal& terminal() const { return *terminal_; }
    SelectionService& selection() { return *selection_; }
    const SelectionService& selection() const { return *selection_; }
    KeyEncoder& keyboard() { return keyboard_; }
    PointerHandler& pointer() { return pointer_; }
    ViewScroller& scroller() { return scroller_; }
    DisplayScheduler& scheduler() { return scheduler_; }
    ViewSurface& surface() { return *surface_; }
    TerminalViewDelegate& host() { return *host_; }

    ViewOptions options;

    // Output of the child: fed to the terminal, then a redraw is queued.
    void feed(std::span<const std::uint8_t> data);
    void feed(std::string_view text) {
        feed(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    // Bytes for the child: the caret is brought into view first.
    void send(std::string_view bytes);
    // The clipboard's text (or the given text) sent as typed, framed while bracketed
    // paste is on.
    void paste();
    void pasteText(std::string_view text);
    void copy();
    void selectAll();
    void selectNone();
    bool selectionActive() const { return selection_->active(); }
    std::string getSelection() const;
    // Menu enabling: copy only while something is selected.
    bool canCopy() const { return selectionActive(); }
    // For input methods: the selection as (location, length) over row * cols + col.
    std::optional<std::pair<int, int>> selectedRange() const;

    // Font and size. Setting the metrics recomputes the cell, clears the selection and
    // resizes the terminal to the view.
    void setFontMetrics(const FontMetrics& font);
    CellMetrics cellMetrics() const { return cell_; }
    // After every change of the view's size; true when the cell grid changed.
    bool processSizeChange(double width, double height);

    // The default colours; the terminal keeps them (its foregroundColor/backgroundColor).
    void setNativeForegroundColor(Color color);
    void setNativeBackgroundColor(Color color);
    Color nativeForegroundColor() const { return terminal_->foregroundColor; }
    Color nativeBackgroundColor() const { return terminal_->backgroundColor; }
    // Caret colours set by the program; none: the widget's defaults. Programs set only
    // the caret colour, so the text inside a block caret keeps the widget's default.
    std::optional<Color> caretColor() const { return terminal_->cursorColor; }
    std::optional<Color> caretTextColor() const { return std::nullopt; }
    // Screen-wide reverse video, shown by trading the default colours in every frame.
    bool screenReverse() const { return terminal_->reverseVideo(); }

    // Reads and resets the refresh range and invalidates its rectangle; what the
    // scheduler runs. Where the rows only moved (and the surface allows it) their pixels
    // are moved and only the rows that came in or changed are invalidated. Returns the
    // rectangle of the changed rows, none when nothing changed.
    std::optional<PixelRect> updateDisplay();
    void queuePendingDisplay() { scheduler_.queuePendingDisplay(); }
    // Builds rows firstRow ... lastRow (viewport rows) and the caret into the view's frame.
    const Frame& buildFrame(int firstRow, int lastRow);
    // The same into another frame (an offscreen render), leaving the view's frame, which
    // describes what the screen shows, alone.
    void buildFrame(Frame& into, int firstRow, int lastRow) const;
    const Frame& frame() const { return frame_; }
    FrameOptions frameOptions() const;

    // Links: the payload of a cell (viewport position), parsed.
    std::optional<Hyperlink> linkAt(Position viewportCell) const;

    // TerminalDelegate: the view's answers.
    void showCursor(Terminal& source) override;
    void hideCursor(Terminal& source) override;
    void setTerminalTitle(Terminal& source, const std::string& title) override;
    void sizeChanged(Terminal& source) override;
    void send(Terminal& source, std::span<const std::uint8_t> data) override;
    void scrolled(Terminal& source, int yDisp) override;
    void linefeed(Terminal& source) override;
    void bufferActivated(Terminal& source) override;
    void bell(Terminal& source) override;
    void selectionChanged(Terminal& source) override;
    bool isProcessTrusted(Terminal& source) override;
    void mouseModeChanged(Terminal& source) override;
    void cursorStyleChanged(Terminal& source, CursorStyle newStyle) override;
    void hostCurrentDirectoryUpdated(Terminal& source) override;
    void colorChanged(Terminal& source, std::optional<int> idx) override;
    void setForegroundColor(Terminal& source, const Color& color) override;
    void setBackgroundColor(Terminal& source, const Color& color) override;
    void setCursorColor(Terminal& source, const std::optional<Color>& color) override;
    std::pair<Color, Color> getColors(Terminal& source) override;
    void iTermContent(Terminal& source, std::span<const std::uint8_t> content) override;
    void createImageFromBitmap(Terminal& source, std::span<const std::uint8_t> bytes, int width,
                               int height) override;
    void createImage(Terminal& source, std::span<const std::uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override;

  private:
    void hostSend(std::span<const std::uint8_t> data);
    // False when the rows did not only move.
    bool moveRows(DirtyRows rows);

    TerminalViewDelegate* host_;
    ViewSurface* surface_;
    CellMetrics cell_;
    KeyEncoder keyboard_;
    PointerHandler pointer_;
    ViewScroller scroller_;
    DisplayScheduler scheduler_;
    Frame frame_;
    Frame next_; // rows being compared with what frame_ shows
    int scrollsSinceUpdate_ = 0;
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<SelectionService> selection_;
};

} // namespace tarvik
