#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "view/TerminalViewCore.h"
#include "view/qt/CaretBlink.h"
#include "view/qt/FramePainter.h"
#include "view/qt/GlyphCache.h"
#include "view/qt/QtImageFactory.h"

class QLabel;
class QScrollBar;

namespace tarvik {

// The terminal widget. It owns the view logic (TerminalViewCore, which owns the Terminal
// and its selection), turns Qt's key, input-method, pointer, wheel, focus and resize
// events into the logic's calls, and paints the frames the logic builds. The host (a
// session window) receives keys, replies, title, bell and size changes through its
// TerminalViewDelegate and feeds the child's output back with feed().
class TerminalView : public QWidget, private ViewSurface, private DisplayTimer {
    Q_OBJECT

  public:
    // host must outlive the view. The terminal starts with `options` (cols and rows are
    // replaced by the widget's size once it is laid out).
    explicit TerminalView(TerminalViewDelegate& host, TerminalOptions options = {}, QWidget* parent = nullptr);
    ~TerminalView() override;

    TerminalViewCore& core() { return *core_; }
    Terminal& terminal() { return core_->terminal(); }
    // optionAsMetaKey, backspaceSendsControlH, allowMouseReporting, useBrightColors.
    ViewOptions& viewOptions() { return core_->options; }

    // Output of the child program; the screen is repainted at most once per 16.67 ms.
    void feed(std::span<const std::uint8_t> data);
    void feed(std::string_view text);

    // DejaVu Sans Mono 14 pt until changed; a change empties the glyph caches and resizes
    // the terminal to the cells that now fit.
    void setTerminalFont(const QFont& font);
    QFont terminalFont() const { return glyphs_.font(FontVariant::normal); }
    void setNativeForegroundColor(const QColor& color);
    void setNativeBackgroundColor(const QColor& color);
    void setSelectionColor(const QColor& color);
    void setCaretColor(const QColor& color);
    void setOptionAsMetaKey(bool on) { core_->options.optionAsMetaKey = on; }
    bool optionAsMetaKey() const { return core_->options.optionAsMetaKey; }

    void copy() { core_->copy(); }
    void paste() { core_->paste(); }
    void selectAll() { core_->selectAll(); }

    // Widget size that shows exactly cols x rows cells next to the scroll bar.
    QSize sizeForGrid(int cols, int rows) const;
    // Resizes the widget to sizeForGrid and the terminal with it, shown or not.
    void resizeToGrid(int cols, int rows);
    CellMetrics cellMetrics() const { return core_->cellMetrics(); }
    // The whole screen (text, colours, selection, images and a focused caret) drawn
    // offscreen at `scale` device pixels per point; the widget need not be shown.
    QImage renderImage(double scale = 1);
    // The caret's rectangle in widget coordinates (empty when hidden).
    QRect caretRect() const;
    QScrollBar* scrollBar() const { return scrollBar_; }
    const QString& preeditText() const { return preedit_; }

    // What a host's requestOpenLink usually does: hands the link to the desktop's
    // default handler. False when it is no usable URL or nothing opened it.
    static bool openLink(const std::string& link);

    QSize sizeHint() const override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

  private:
    // ViewSurface
    double viewWidth() const override;
    double viewHeight() const override;
    double backingScale() const override;
    void setNeedsDisplay() override;
    void setNeedsDisplay(const PixelRect& rect) override;
    bool canMovePixels() const override;
    void movePixels(const PixelRect& area, double dy) override;
    void caretChanged() override;
    void cursorStyleChanged(CursorStyle style) override;
    void setPointerTracking(bool on) override;
    void updateScroller(bool enabled, double position, double thumbProportion) override;
    void takeFocus() override;
    void setClipboardText(const std::string& text) override;
    std::optional<std::string> clipboardText() override;
    void showLinkPreview(const std::optional<std::string>& url) override;
    ImageFactory* imageFactory() override;
    // DisplayTimer
    void runAfter(std::chrono::nanoseconds delay, std::function<void()> task) override;

    // update() that also records that the screen no longer shows the view's frame.
    void invalidate(const QRect& area);
    void invalidateAll();
    void applyFontMetrics();
    void layoutChildren();
    PaintStyle paintStyle() const;
    PointerEvent pointerEvent(const QMouseEvent& event, int clickCount) const;
    int countClick(const QMouseEvent& event);
    void press(QMouseEvent& event, int clicks);
    bool reportsPointer() const;
    void publishSelection();
    void updateBlink();
    void scrollBarAction(int action);
    void sendFocusReport(bool focused);

    TerminalViewDelegate& host_;
    GlyphCache glyphs_;
    FramePainter painter_;
    QtImageFactory images_;
    CaretBlink blink_;
    std::unique_ptr<TerminalViewCore> core_;
    QScrollBar* scrollBar_ = nullptr;
    QLabel* linkPreview_ = nullptr;
    QColor selectionColor_;
    QColor caretColor_;
    QString preedit_;
    QRect paintedCaret_; // where the caret was last drawn
    Frame offscreenFrame_; // for renderImage, which must not disturb the view's frame
    bool paintPending_ = true; // more than the caret waits to be painted
    bool updatingScrollBar_ = false;
    // Click counting across presses (Qt only knows double clicks).
    qint64 lastClickTime_ = 0;
    QPointF lastClickPos_;
    int clickCount_ = 0;
    bool dragging_ = false;
    std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};

} // namespace tarvik
