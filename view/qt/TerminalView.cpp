#include "view/qt/TerminalView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QUrl>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "view/qt/QtKeyMapping.h"
#include "view/qt/ShippedFonts.h"
#include "view/qt/SystemClipboard.h"

namespace tarvik {

namespace {

// The scroll bar works in whole steps; the view's position is a fraction.
constexpr int scrollSteps = 100000;

bool blinks(CursorStyle style) {
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}

Color toColor(const QColor& color) {
    const QRgba64 rgba = color.rgba64();
    return Color{rgba.red(), rgba.green(), rgba.blue()};
}

KeyModifiers modifiersOf(Qt::KeyboardModifiers mods) {
    KeyModifiers m;
    m.shift = mods.testFlag(Qt::ShiftModifier);
    m.control = mods.testFlag(Qt::ControlModifier);
    m.alt = mods.testFlag(Qt::AltModifier);
    m.super = mods.testFlag(Qt::MetaModifier);
    return m;
}

} // namespace

TerminalView::TerminalView(TerminalViewDelegate& host, TerminalOptions options, QWidget* parent)
    : QWidget(parent), host_(host), glyphs_(ShippedFonts::defaultFont()), painter_(glyphs_) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::IBeamCursor);
    selectionColor_ = palette().color(QPalette::Highlight);
    caretColor_ = palette().color(QPalette::Highlight);

    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setCursor(Qt::ArrowCursor);
    scrollBar_->setRange(0, 0);
    scrollBar_->setSingleStep(0); // the line arrows do nothing; pages and the knob scroll
    connect(scrollBar_, &QScrollBar::actionTriggered, this, [this](int action) { scrollBarAction(action); });

    linkPreview_ = new QLabel(this);
    linkPreview_->setAttribute(Qt::WA_TransparentForMouseEvents);
    linkPreview_->setMargin(3);
    linkPreview_->hide();

    blink_.onTick = [this] { update(caretRect().united(paintedCaret_)); };

    core_ = std::make_unique<TerminalViewCore>(host_, static_cast<ViewSurface&>(*this),
                                               static_cast<DisplayTimer&>(*this), std::move(options));
    applyFontMetrics();
    updateBlink();
}

TerminalView::~TerminalView() = default;

void TerminalView::feed(std::span<const std::uint8_t> data) { core_->feed(data); }

void TerminalView::feed(std::string_view text) { core_->feed(text); }

void TerminalView::setTerminalFont(const QFont& font) {
    QFont chosen = font;
    chosen.setKerning(false);
    glyphs_.setFont(chosen);
    painter_.fontChanged();
    applyFontMetrics();
    updateGeometry();
}

void TerminalView::applyFontMetrics() {
    const QFontMetricsF metrics(glyphs_.font(FontVariant::normal));
    FontMetrics font;
    font.advanceOfW = metrics.horizontalAdvance(QLatin1Char('W'));
    font.ascent = metrics.ascent();
    font.descent = metrics.descent();
    font.leading = metrics.leading();
    core_->setFontMetrics(font);
    if (viewWidth() > 0 && viewHeight() > 0) core_->processSizeChange(viewWidth(), viewHeight());
    invalidateAll();
}

void TerminalView::setNativeForegroundColor(const QColor& color) { core_->setNativeForegroundColor(toColor(color)); }

void TerminalView::setNativeBackgroundColor(const QColor& color) { core_->setNativeBackgroundColor(toColor(color)); }

void TerminalView::setSelectionColor(const QColor& color) {
    selectionColor_ = color;
    invalidateAll();
}

void TerminalView::setCaretColor(const QColor& color) {
    caretColor_ = color;
    update(caretRect());
}

QSize TerminalView::sizeForGrid(int cols, int rows) const {
    const CellMetrics cell = core_->cellMetrics();
    return QSize(static_cast<int>(std::ceil(cols * cell.width)) + scrollBar_->sizeHint().width(),
                 static_cast<int>(std::ceil(rows * cell.height)));
}

void TerminalView::resizeToGrid(int cols, int rows) {
    resize(sizeForGrid(cols, rows));
    layoutChildren();
    core_->processSizeChange(viewWidth(), viewHeight());
}

bool TerminalView::openLink(const std::string& link) {
    // Tolerant parsing percent-encodes what a URL may not contain as it stands.
    const QUrl url(QString::fromStdString(link), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme().isEmpty()) return false;
    return QDesktopServices::openUrl(url);
}

QSize TerminalView::sizeHint() const { return sizeForGrid(80, 24); }

PaintStyle TerminalView::paintStyle() const {
    PaintStyle style;
    style.selectionColor = selectionColor_;
    const auto programCaret = core_->caretColor();
    style.caretColor = programCaret ? FramePainter::toQColor(*programCaret) : caretColor_;
    if (const auto text = core_->caretTextColor()) style.caretTextColor = FramePainter::toQColor(*text);
    style.focused = hasFocus() && isActiveWindow();
    style.caretOpacity = style.focused ? blink_.opacity() : 1.0;
    style.viewWidth = viewWidth();
    style.viewHeight = viewHeight();
    return style;
}

QImage TerminalView::renderImage(double scale) {
    scale = std::max(scale, 1.0);
    images_.setDevicePixelRatio(scale);
    const CellMetrics cell = core_->cellMetrics();
    const Terminal& term = core_->terminal();
    const double width = term.cols() * cell.width, height = term.rows() * cell.height;
    QImage image(static_cast<int>(std::ceil(width * scale)), static_cast<int>(std::ceil(height * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    core_->buildFrame(offscreenFrame_, 0, term.rows() - 1);
    const Frame& frame = offscreenFrame_;
    PaintStyle style = paintStyle();
    style.focused = true;
    style.caretOpacity = 1;
    style.viewWidth = width;
    style.viewHeight = height;
    painter_.paintRows(painter, frame, 0, term.rows() - 1, style);
    painter_.paintCaret(painter, frame, style);
    return image;
}

QRect TerminalView::caretRect() const {
    const Terminal& term = core_->terminal();
    const Buffer& buffer = term.buffer();
    const int row = buffer.yBase() + buffer.y() - buffer.yDisp();
    if (term.cursorHidden || row < 0 || row >= term.rows()) return {};
    const CellMetrics cell = core_->cellMetrics();
    const BufferLine* line = term.getLine(row);
    const bool doubled = line && line->renderMode != BufferLine::RenderLineMode::single;
    const int col = std::clamp(buffer.x(), 0, std::max(term.cols() - 1, 0));
    const double factor = doubled ? 2 : 1;
    // Two cells wide: the character under the caret may be a wide one.
    return QRectF(col * cell.width * factor, row * cell.height, 2 * cell.width * factor, cell.height)
        .toAlignedRect()
        .adjusted(-1, -1, 1, 1);
}

// Events.

bool TerminalView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Keys go to the program, except Ctrl+Shift combinations, which are the
        // application's shortcuts (and the view's own clipboard keys, handled as keys).
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers();
        const bool command = mods.testFlag(Qt::ControlModifier) && mods.testFlag(Qt::ShiftModifier);
        const int code = key->key();
        const bool clipboardKey = code == Qt::Key_C || code == Qt::Key_V || code == Qt::Key_A ||
                                  (key->nativeScanCode() == ScanCode::c || key->nativeScanCode() == ScanCode::v ||
                                   key->nativeScanCode() == ScanCode::a);
        // Ctrl+Page Up/Down switch tabs where a window has them, as in every
        // tabbed terminal; where no shortcut takes them they still arrive as keys.
        const bool tabKey = mods == Qt::ControlModifier && (code == Qt::Key_PageUp || code == Qt::Key_PageDown);
        if ((!command || clipboardKey) && !tabKey) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

bool TerminalView::focusNextPrevChild(bool) { return false; } // Tab belongs to the program

void TerminalView::paintEvent(QPaintEvent* event) {
    QElapsedTimer cost;
    cost.start();
    QPainter painter(this);
    const QRect area = event->rect();
    const CellMetrics cell = core_->cellMetrics();
    const Terminal& term = core_->terminal();
    const PixelRect rect{static_cast<double>(area.x()), static_cast<double>(area.y()),
                         static_cast<double>(area.width()), static_cast<double>(area.height())};
    const DirtyRows rows = rowsInRectangle(rect, term.rows(), cell);
    images_.setDevicePixelRatio(devicePixelRatioF());
    const Frame& frame = core_->buildFrame(rows.start, rows.end);
    const PaintStyle style = paintStyle();
    painter_.paintRows(painter, frame, rows.start, rows.end, style);
    painter_.paintCaret(painter, frame, style);
    painter_.paintPreedit(painter, frame, preedit_);
    paintedCaret_ = caretRect();
    paintPending_ = false;
    painter.end();
    core_->scheduler().frameCost(std::chrono::nanoseconds(cost.nsecsElapsed()));
}

void TerminalView::resizeEvent(QResizeEvent*) {
    layoutChildren();
    core_->processSizeChange(viewWidth(), viewHeight());
    invalidateAll();
}

void TerminalView::layoutChildren() {
    const int barWidth = scrollBar_->sizeHint().width();
    scrollBar_->setGeometry(width() - barWidth, 0, barWidth, height());
    if (linkPreview_->isVisible()) {
        linkPreview_->adjustSize();
        linkPreview_->move(0, height() - linkPreview_->height());
    }
}

void TerminalView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Control) core_->pointer().setCommandActive(true);
    if (isModifierKey(event->key())) {
        event->accept();
        return;
    }
    core_->keyboard().keyDown(toKeyEvent(*event));
    event->accept();
    invalidateAll();
}

void TerminalView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Control) core_->pointer().setCommandActive(false);
    event->accept();
}

void TerminalView::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) core_->keyboard().insertText(event->commitString().toStdString());
    const QRect before = caretRect();
    preedit_ = event->preeditString();
    // The pre-edit text may run past the caret's cell: repaint its whole row.
    invalidate(QRect(0, before.top(), width(), before.height()));
    event->accept();
}

QVariant TerminalView::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
    case Qt::ImEnabled: return true;
    case Qt::ImCursorRectangle: {
        const QRect caret = caretRect();
        const CellMetrics cell = core_->cellMetrics();
        return QRect(caret.x() + 1, caret.y() + 1, static_cast<int>(std::ceil(cell.width)),
                     static_cast<int>(std::ceil(cell.height)));
    }
    case Qt::ImFont: return glyphs_.font(FontVariant::normal);
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition: return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection: return QString();
    case Qt::ImHints: return static_cast<int>(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default: return QWidget::inputMethodQuery(query);
    }
}

PointerEvent TerminalView::pointerEvent(const QMouseEvent& event, int clickCount) const {
    PointerEvent pointer;
    pointer.x = event.position().x();
    pointer.y = event.position().y();
    switch (event.button() == Qt::NoButton ? Qt::LeftButton : event.button()) {
    case Qt::MiddleButton: pointer.button = PointerButton::middle; break;
    case Qt::RightButton: pointer.button = PointerButton::right; break;
    default: pointer.button = PointerButton::left; break;
    }
    if (event.button() == Qt::NoButton) {
        if (event.buttons().testFlag(Qt::MiddleButton)) pointer.button = PointerButton::middle;
        if (event.buttons().testFlag(Qt::RightButton)) pointer.button = PointerButton::right;
        if (event.buttons().testFlag(Qt::LeftButton)) pointer.button = PointerButton::left;
    }
    pointer.clickCount = clickCount;
    pointer.modifiers = modifiersOf(event.modifiers());
    return pointer;
}

int TerminalView::countClick(const QMouseEvent& event) {
    const qint64 now = static_cast<qint64>(event.timestamp());
    const QPointF at = event.position();
    const int distance = QApplication::startDragDistance();
    const bool near = std::abs(at.x() - lastClickPos_.x()) <= distance && std::abs(at.y() - lastClickPos_.y()) <= distance;
    if (clickCount_ > 0 && near && now - lastClickTime_ <= QGuiApplication::styleHints()->mouseDoubleClickInterval())
        ++clickCount_;
    else
        clickCount_ = 1;
    lastClickTime_ = now;
    lastClickPos_ = at;
    return clickCount_;
}

bool TerminalView::reportsPointer() const {
    return core_->options.allowMouseReporting && core_->terminal().mouseMode != MouseMode::off;
}

void TerminalView::mousePressEvent(QMouseEvent* event) { press(*event, countClick(*event)); }

void TerminalView::press(QMouseEvent& event, int clicks) {
    event.accept();
    if (event.button() == Qt::MiddleButton && !reportsPointer()) {
        // The Linux convention: a middle click pastes the primary selection.
        const QString text = SystemClipboard::primaryText();
        if (!text.isEmpty()) core_->pasteText(text.toStdString());
        return;
    }
    dragging_ = true;
    core_->pointer().mouseDown(pointerEvent(event, clicks));
    if (clicks >= 2 && core_->selectionActive()) publishSelection();
}

// Qt follows the second press with a double-click event; counted already, unless the
// platform sent the double click in place of the press.
void TerminalView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (static_cast<qint64>(event->timestamp()) == lastClickTime_ && clickCount_ >= 2) {
        event->accept();
        return;
    }
    // The platform's double click stands for the second press.
    clickCount_ = std::max(countClick(*event), 2);
    press(*event, clickCount_);
}

void TerminalView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    const PointerEvent pointer = pointerEvent(*event, clickCount_);
    if (event->buttons() != Qt::NoButton && dragging_)
        core_->pointer().mouseDragged(pointer);
    else
        core_->pointer().mouseMoved(pointer);
}

void TerminalView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::MiddleButton && !reportsPointer()) return;
    const bool dragged = core_->pointer().didSelectionDrag();
    dragging_ = false;
    core_->pointer().mouseUp(pointerEvent(*event, clickCount_));
    if (dragged && core_->selectionActive()) publishSelection();
}

void TerminalView::publishSelection() { SystemClipboard::setPrimaryText(QString::fromStdString(core_->getSelection())); }

void TerminalView::wheelEvent(QWheelEvent* event) {
    event->accept();
    double lines = 0;
    if (!event->pixelDelta().isNull())
        lines = event->pixelDelta().y() / std::max(core_->cellMetrics().height, 1.0);
    else
        lines = event->angleDelta().y() / 120.0 * 3; // one notch: three lines, as on Linux desktops
    core_->pointer().scrollWheel(lines);
}

void TerminalView::sendFocusReport(bool focused) {
    Terminal& term = core_->terminal();
    if (!term.sendFocus) return;
    term.sendResponse(std::string(term.cc.csi()) + (focused ? "I" : "O"));
}

void TerminalView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    updateBlink();
    sendFocusReport(true);
    update(caretRect());
}

void TerminalView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    core_->pointer().setCommandActive(false);
    updateBlink();
    sendFocusReport(false);
    update(caretRect());
}

void TerminalView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        updateBlink();
        update(caretRect());
    }
    QWidget::changeEvent(event);
}

void TerminalView::leaveEvent(QEvent* event) {
    core_->pointer().mouseExited();
    QWidget::leaveEvent(event);
}

void TerminalView::updateBlink() {
    // Blinking only while the view has focus in the active window; otherwise the caret
    // stays at full opacity (an outline).
    if (blinks(core_->terminal().options().cursorStyle) && hasFocus() && isActiveWindow())
        blink_.start();
    else
        blink_.stop();
}

void TerminalView::scrollBarAction(int action) {
    if (updatingScrollBar_) return;
    ViewScroller& scroller = core_->scroller();
    switch (action) {
    case QAbstractSlider::SliderPageStepAdd: scroller.pageDown(); break;
    case QAbstractSlider::SliderPageStepSub: scroller.pageUp(); break;
    case QAbstractSlider::SliderMove:
    case QAbstractSlider::SliderToMinimum:
    case QAbstractSlider::SliderToMaximum:
        scroller.scrollToPosition(static_cast<double>(scrollBar_->sliderPosition()) / scrollSteps);
        return;
    default: break;
    }
    scroller.updateScroller(); // puts the knob where the view now is
}

// ViewSurface.

double TerminalView::viewWidth() const {
    return std::max(0, width() - (scrollBar_ ? scrollBar_->sizeHint().width() : 0));
}

double TerminalView::viewHeight() const { return height(); }

double TerminalView::backingScale() const { return devicePixelRatioF(); }

void TerminalView::invalidate(const QRect& area) {
    paintPending_ = true;
    update(area);
}

void TerminalView::invalidateAll() {
    paintPending_ = true;
    update();
}

void TerminalView::setNeedsDisplay() { invalidateAll(); }

void TerminalView::setNeedsDisplay(const PixelRect& rect) {
    invalidate(QRectF(rect.x, rect.y, rect.width, rect.height).toAlignedRect());
}

bool TerminalView::canMovePixels() const {
    // A child over the text (the link preview) would move with it.
    return isVisible() && !paintPending_ && !linkPreview_->isVisible();
}

void TerminalView::movePixels(const PixelRect& area, double dy) {
    const QRect moved = QRectF(area.x, area.y, area.width, area.height).toAlignedRect() & rect();
    const int offset = static_cast<int>(std::lround(dy));
    paintPending_ = true;
    scroll(0, offset, moved);
    // The caret and any text being composed were drawn over the text and moved with it.
    const QRect caret = paintedCaret_.translated(0, offset);
    invalidate(preedit_.isEmpty() ? caret : QRect(0, caret.top(), width(), caret.height()));
    invalidate(caretRect());
}

void TerminalView::caretChanged() {
    update(paintedCaret_);
    update(caretRect());
}

void TerminalView::cursorStyleChanged(CursorStyle) {
    blink_.stop(); // restarts the phase at full opacity
    updateBlink();
}

void TerminalView::setPointerTracking(bool on) { setMouseTracking(on); }

void TerminalView::updateScroller(bool enabled, double position, double thumbProportion) {
    updatingScrollBar_ = true;
    scrollBar_->setEnabled(enabled);
    if (!enabled) {
        scrollBar_->setRange(0, 0);
        scrollBar_->setPageStep(scrollSteps);
    } else {
        // A knob covering fraction p of the groove: pageStep / (range + pageStep) = p.
        const double p = std::clamp(thumbProportion, 0.01, 0.99);
        scrollBar_->setRange(0, scrollSteps);
        scrollBar_->setPageStep(static_cast<int>(std::lround(p * scrollSteps / (1 - p))));
        scrollBar_->setValue(static_cast<int>(std::lround(std::clamp(position, 0.0, 1.0) * scrollSteps)));
        scrollBar_->setSliderPosition(scrollBar_->value());
    }
    updatingScrollBar_ = false;
}

void TerminalView::takeFocus() { setFocus(Qt::MouseFocusReason); }

void TerminalView::setClipboardText(const std::string& text) {
    SystemClipboard::setClipboardText(QString::fromStdString(text));
}

std::optional<std::string> TerminalView::clipboardText() {
    const QString text = SystemClipboard::clipboardText();
    if (text.isEmpty()) return std::nullopt;
    return text.toStdString();
}

void TerminalView::showLinkPreview(const std::optional<std::string>& url) {
    if (!url) {
        linkPreview_->hide();
        return;
    }
    // The default colours swapped, in a small font at the lower-left corner.
    QFont font = QApplication::font();
    font.setPointSize(12);
    linkPreview_->setFont(font);
    const QColor fg = FramePainter::toQColor(core_->nativeForegroundColor());
    const QColor bg = FramePainter::toQColor(core_->nativeBackgroundColor());
    linkPreview_->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; }").arg(fg.name(), bg.name()));
    linkPreview_->setText(QString::fromStdString(*url));
    linkPreview_->adjustSize();
    linkPreview_->move(0, height() - linkPreview_->height());
    linkPreview_->show();
    linkPreview_->raise();
}

ImageFactory* TerminalView::imageFactory() {
    images_.setDevicePixelRatio(devicePixelRatioF());
    return &images_;
}

void TerminalView::runAfter(std::chrono::nanoseconds delay, std::function<void()> task) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
    std::weak_ptr<char> alive = alive_;
    QTimer::singleShot(ms, Qt::PreciseTimer, this, [alive, task = std::move(task)] {
        if (!alive.expired()) task();
    });
}

} // namespace tarvik
