#include "view/TerminalViewCore.h"

#include <algorithm>
#include <cmath>

#include "view/CellContent.h"
#include "view/FrameScroll.h"
#include "view/ImagePlacement.h"
#include "view/PasteFraming.h"

namespace tarvik {

namespace {

int gridCount(double length, double cellLength) {
    const double count = std::floor(length / cellLength);
    if (!(count > 0)) return 0;
    return count > 100000 ? 100000 : static_cast<int>(count);
}

} // namespace

TerminalViewCore::TerminalViewCore(TerminalViewDelegate& host, ViewSurface& surface, DisplayTimer& timer,
                                   TerminalOptions terminalOptions)
    : host_(&host), surface_(&surface), keyboard_(*this), pointer_(*this), scroller_(*this),
      scheduler_(timer, [this] { updateDisplay(); }) {
    terminal_ = std::make_unique<Terminal>(*this, std::move(terminalOptions));
    terminal_->backgroundColor = Color::defaultBackground;
    terminal_->foregroundColor = Color::defaultForeground;
    selection_ = std::make_unique<SelectionService>(*terminal_);
}

TerminalViewCore::~TerminalViewCore() = default;

void TerminalViewCore::feed(std::span<const std::uint8_t> data) {
    terminal_->feed(data);
    queuePendingDisplay();
}

void TerminalViewCore::send(std::string_view bytes) {
    scroller_.ensureCaretIsVisible();
    hostSend(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void TerminalViewCore::hostSend(std::span<const std::uint8_t> data) {
    if (data.empty()) return;
    host_->send(*this, data);
}

void TerminalViewCore::paste() {
    if (const auto text = surface_->clipboardText()) pasteText(*text);
}

void TerminalViewCore::pasteText(std::string_view text) {
    if (text.empty()) return;
    send(framePaste(text, terminal_->bracketedPasteMode));
}

void TerminalViewCore::copy() {
    if (!selection_->active()) return;
    surface_->setClipboardText(selection_->getSelectedText());
}

void TerminalViewCore::selectAll() {
    selection_->selectAll();
}

void TerminalViewCore::selectNone() {
    selection_->setActive(false);
}

std::string TerminalViewCore::getSelection() const {
    return selection_->active() ? selection_->getSelectedText() : std::string();
}

std::optional<std::pair<int, int>> TerminalViewCore::selectedRange() const {
    if (!selection_->active()) return std::nullopt;
    const int cols = terminal_->cols();
    const int a = selection_->start.row * cols + selection_->start.col;
    const int b = selection_->end.row * cols + selection_->end.col;
    if (a == b) return std::nullopt;
    return std::make_pair(std::min(a, b), std::abs(a - b));
}

void TerminalViewCore::setFontMetrics(const FontMetrics& font) {
    cell_ = computeFontDimensions(font);
    frame_.cell = cell_;
    selection_->setActive(false);
    const int cols = gridCount(surface_->viewWidth(), cell_.width);
    const int rows = gridCount(surface_->viewHeight(), cell_.height);
    if (cols > 0 && rows > 0) terminal_->resize(cols, rows);
    terminal_->updateFullScreen();
    surface_->caretChanged();
    surface_->setNeedsDisplay();
}

bool TerminalViewCore::processSizeChange(double width, double height) {
    // Compared at the terminal's smallest size, so a view too small for it does not
    // announce the same size again and again.
    const int rows = std::max(gridCount(height, cell_.height), Terminal::MINIMUM_ROWS);
    const int cols = std::max(gridCount(width - surface_->scrollBarWidth(), cell_.width), Terminal::MINIMUM_COLS);
    if (cols == terminal_->cols() && rows == terminal_->rows()) return false;
    selection_->setActive(false);
    terminal_->resize(cols, rows);
    host_->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    scroller_.updateScroller();
    return true;
}

void TerminalViewCore::setNativeForegroundColor(Color color) {
    terminal_->foregroundColor = color;
    terminal_->updateFullScreen();
    queuePendingDisplay();
}

void TerminalViewCore::setNativeBackgroundColor(Color color) {
    terminal_->backgroundColor = color;
    terminal_->updateFullScreen();
    queuePendingDisplay();
}

std::optional<PixelRect> TerminalViewCore::updateDisplay() {
    surface_->caretChanged();
    const auto rows = takeDirtyRows(*terminal_);
    if (!rows) return std::nullopt;
    const PixelRect rect =
        dirtyRectangle(*rows, terminal_->rows(), cell_, surface_->viewWidth(), surface_->viewHeight());
    const bool moved = moveRows(*rows);
    scrollsSinceUpdate_ = 0;
    if (!moved) surface_->setNeedsDisplay(rect);
    if (options.notifyUpdateChanges) host_->rangeChanged(*this, rows->start, rows->end);
    return rect;
}

bool TerminalViewCore::moveRows(DirtyRows rows) {
    // Only output that scrolled a few rows can have left most rows in place: a flood that
    // scrolled the screen away is not worth comparing.
    const int count = rows.end - rows.start + 1;
    if (scrollsSinceUpdate_ == 0 || scrollsSinceUpdate_ > count / 2) return false;
    if (count < 2 || !surface_->canMovePixels() || frame_.rowCount != terminal_->rows() ||
        frame_.cols != terminal_->cols())
        return false;
    FrameBuilder::build(next_, *terminal_, selection_.get(), rows.start, rows.end, frameOptions());
    // New default colours also repaint the margins beside the rows.
    if (next_.defaultBackground != frame_.defaultBackground || next_.defaultForeground != frame_.defaultForeground)
        return false;
    const int shift = detectRowShift(frame_, next_, rows.start, rows.end);
    if (shift == 0) return false;
    const double ch = cell_.height;
    surface_->movePixels(PixelRect{0, rows.start * ch, surface_->viewWidth(), (rows.end - rows.start + 1) * ch},
                         -shift * ch);
    for (int r = rows.start; r <= rows.end; ++r) {
        const int from = r + shift;
        const auto index = static_cast<std::size_t>(r);
        const bool moved = from >= rows.start && from <= rows.end &&
                           sameRowContent(next_.rows[index], frame_.rows[static_cast<std::size_t>(from)]);
        if (!moved) surface_->setNeedsDisplay(dirtyRectangle(DirtyRows{r, r}, terminal_->rows(), cell_,
                                                             surface_->viewWidth(), surface_->viewHeight()));
    }
    // The frame now describes the screen as it is about to be shown.
    for (int r = rows.start; r <= rows.end; ++r)
        std::swap(frame_.rows[static_cast<std::size_t>(r)], next_.rows[static_cast<std::size_t>(r)]);
    return true;
}

FrameOptions TerminalViewCore::frameOptions() const {
    FrameOptions frameOptions;
    frameOptions.useBrightColors = options.useBrightColors;
    frameOptions.screenReverse = screenReverse();
    frameOptions.cell = cell_;
    return frameOptions;
}

const Frame& TerminalViewCore::buildFrame(int firstRow, int lastRow) {
    FrameBuilder::build(frame_, *terminal_, selection_.get(), firstRow, lastRow, frameOptions());
    return frame_;
}

void TerminalViewCore::buildFrame(Frame& into, int firstRow, int lastRow) const {
    FrameBuilder::build(into, *terminal_, selection_.get(), firstRow, lastRow, frameOptions());
}

std::optional<Hyperlink> TerminalViewCore::linkAt(Position viewportCell) const {
    const CharData* cell = terminal_->getCharData(viewportCell.col, viewportCell.row);
    if (!cell) return std::nullopt;
    const std::string* payload = cellPayload(*terminal_, *cell);
    if (!payload) return std::nullopt;
    return parseHyperlink(*payload);
}

// The terminal's callbacks.

void TerminalViewCore::showCursor(Terminal&) {
    surface_->caretChanged();
}

void TerminalViewCore::hideCursor(Terminal&) {
    surface_->caretChanged();
}

void TerminalViewCore::setTerminalTitle(Terminal&, const std::string& title) {
    host_->setTerminalTitle(*this, title);
}

void TerminalViewCore::sizeChanged(Terminal& source) {
    host_->sizeChanged(*this, source.cols(), source.rows());
    scroller_.updateScroller();
}

void TerminalViewCore::send(Terminal&, std::span<const std::uint8_t> data) {
    hostSend(data);
}

void TerminalViewCore::scrolled(Terminal&, int) {
    ++scrollsSinceUpdate_;
    scroller_.updateScroller();
    host_->scrolled(*this, scroller_.scrollPosition());
}

void TerminalViewCore::linefeed(Terminal&) {
    if (selection_ && selection_->active()) selection_->setActive(false);
}

void TerminalViewCore::bufferActivated(Terminal&) {
    scroller_.updateScroller();
}

void TerminalViewCore::bell(Terminal&) {
    host_->bell(*this);
}

void TerminalViewCore::selectionChanged(Terminal&) {
    surface_->setNeedsDisplay();
}

bool TerminalViewCore::isProcessTrusted(Terminal&) {
    return true;
}

void TerminalViewCore::mouseModeChanged(Terminal& source) {
    // The link key keeps motion tracking on while it is held.
    surface_->setPointerTracking(source.mouseMode == MouseMode::anyEvent || pointer_.commandActive());
}

void TerminalViewCore::cursorStyleChanged(Terminal&, CursorStyle newStyle) {
    surface_->cursorStyleChanged(newStyle);
    surface_->caretChanged();
}

void TerminalViewCore::hostCurrentDirectoryUpdated(Terminal& source) {
    host_->hostCurrentDirectoryUpdate(*this, source.hostCurrentDirectory);
}

void TerminalViewCore::colorChanged(Terminal& source, std::optional<int>) {
    source.updateFullScreen();
    queuePendingDisplay();
}

void TerminalViewCore::setForegroundColor(Terminal&, const Color& color) {
    setNativeForegroundColor(color);
}

void TerminalViewCore::setBackgroundColor(Terminal&, const Color& color) {
    setNativeBackgroundColor(color);
}

void TerminalViewCore::setCursorColor(Terminal& source, const std::optional<Color>& color) {
    source.cursorColor = color;
    surface_->caretChanged();
}

std::pair<Color, Color> TerminalViewCore::getColors(Terminal& source) {
    return {source.foregroundColor, source.backgroundColor};
}

void TerminalViewCore::iTermContent(Terminal&, std::span<const std::uint8_t> content) {
    host_->iTermContent(*this, content);
}

namespace {

ImagePlacement::ViewGeometry geometryOf(ViewSurface& surface, CellMetrics cell) {
    return {surface.viewWidth(), surface.viewHeight(), surface.backingScale(), cell};
}

} // namespace

void TerminalViewCore::createImageFromBitmap(Terminal& source, std::span<const std::uint8_t> bytes, int width,
                                             int height) {
    ImageFactory* factory = surface_->imageFactory();
    if (!factory || width <= 0 || height <= 0) return;
    const auto image = factory->fromBitmap(bytes, width, height);
    if (!image) return;
    ImagePlacement::insertImage(source, *factory, *image,
                                ImagePlacement::bitmapWidthRequest(width, surface_->viewWidth()), ImageSizeRequest{},
                                true, geometryOf(*surface_, cell_));
    queuePendingDisplay();
}

void TerminalViewCore::createImage(Terminal& source, std::span<const std::uint8_t> data, ImageSizeRequest width,
                                   ImageSizeRequest height, bool preserveAspectRatio) {
    ImageFactory* factory = surface_->imageFactory();
    if (!factory) return;
    const auto image = factory->decode(data);
    if (!image) return;
    ImagePlacement::insertImage(source, *factory, *image, width, height, preserveAspectRatio,
                                geometryOf(*surface_, cell_));
    queuePendingDisplay();
}

} // namespace tarvik
