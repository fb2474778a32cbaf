#include "terminal/Terminal.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "terminal/DiagnosticText.h"
#include "terminal/GraphemeTable.h"
#include "terminal/TerminalHandlers.h"
#include "terminal/UnicodeUtil.h"
#include "terminal/Utf8.h"

namespace tarvik {

namespace {

// Decodes up to four bytes the way a lenient decoder does: a maximal invalid subpart
// becomes one U+FFFD and decoding resumes at the next byte.
int decodeUtf8(const uint8_t* bytes, int length, char32_t* out) {
    int produced = 0;
    for (int i = 0; i < length;) {
        const uint8_t b = bytes[i];
        const int need = b < 0x80 ? 1 : utf8::leadLength[b];
        if (need == 1) {
            out[produced++] = b < 0x80 ? char32_t(b) : char32_t(0xFFFD);
            ++i;
            continue;
        }
        char32_t value = need == 2 ? (b & 0x1F) : need == 3 ? (b & 0x0F) : (b & 0x07);
        int j = 1;
        for (; j < need && i + j < length; ++j) {
            const uint8_t c = bytes[i + j];
            // The second byte's range excludes overlong forms and surrogates.
            const uint8_t lo = (j == 1 && b == 0xE0) ? 0xA0 : (j == 1 && b == 0xF0) ? 0x90 : 0x80;
            const uint8_t hi = (j == 1 && b == 0xED) ? 0x9F : (j == 1 && b == 0xF4) ? 0x8F : 0xBF;
            if (c < lo || c > hi) break;
            value = (value << 6) | (c & 0x3F);
        }
        if (j == need) {
            out[produced++] = value;
        } else {
            out[produced++] = 0xFFFD;
        }
        i += j;
    }
    return produced;
}

bool isOneGrapheme(std::u32string_view scalars) {
    int32_t state = 0;
    for (std::size_t i = 1; i < scalars.size(); ++i)
        if (UnicodeUtil::isGraphemeBreak(scalars[i - 1], scalars[i], state)) return false;
    return !scalars.empty();
}


std::string bytesText(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }


} // namespace

// ----- construction ---------------------------------------------------------------

Terminal::Terminal(TerminalDelegate& delegate, TerminalOptions options)
    : options_(std::move(options)), cols_(std::max(options_.cols, MINIMUM_COLS)),
      rows_(std::max(options_.rows, MINIMUM_ROWS)), tabStopWidth_(std::max(options_.tabStopWidth, 1)),
      tdel_(&delegate) {
    installedColors.assign(Color::defaultInstalledColors.begin(), Color::defaultInstalledColors.end());
    defaultAnsiColors = Color::setupDefaultAnsiColors(installedColors);
    ansiColors = defaultAnsiColors;
    lineFeedMode = options_.convertEol;

    normalBuffer_ = makeBuffer(std::max(options_.scrollback, 0));
    altBuffer_ = makeBuffer(std::nullopt);
    buffer_ = normalBuffer_.get();
    normalBuffer_->fillViewportRows();
    altBuffer_->fillViewportRows();

    tables_.setReclaim([this](CellTables& tables) { markLiveCells(tables); });
    installHandlers();
    normalBuffer_->setupTabStops(-1, tabStopWidth_);
    altBuffer_->setupTabStops(-1, tabStopWidth_);
    setup(false);
}

Terminal::~Terminal() = default;

// Everything that can still show a cluster or a link: both screens with their history,
// and the link being printed.
void Terminal::markLiveCells(CellTables& tables) {
    for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()})
        b->lines().forEachStoredLine([&tables](BufferLine& line) {
            line.forEachCell([&tables](const CharData& cell) { tables.markLive(cell); });
        });
    tables.markLive(currentLink);
}

std::unique_ptr<Buffer> Terminal::makeBuffer(std::optional<int> scrollback) const {
    auto buffer = std::make_unique<Buffer>(cols_, rows_, tabStopWidth_, scrollback);
    buffer->setScroll([this](bool isWrapped) { const_cast<Terminal*>(this)->scroll(isWrapped); });
    buffer->setSilentLog(silentLog_);
    buffer->useModes(*this);
    return buffer;
}

void Terminal::setSilentLog(bool value) {
    silentLog_ = value;
    normalBuffer_->setSilentLog(value);
    altBuffer_->setSilentLog(value);
}

void Terminal::setup(bool isReset) {
    cols_ = std::max(options_.cols, MINIMUM_COLS);
    rows_ = std::max(options_.rows, MINIMUM_ROWS);
    const bool leftAlternate = isReset && buffer_ == altBuffer_.get();
    if (isReset) {
        // The history goes with the reset, so the screen starts at the first line again;
        // the alternate screen is emptied too, so no old screen can come back.
        for (Buffer* b : {normalBuffer_.get(), altBuffer_.get()}) {
            b->clear();
            b->setYBase(0);
            b->fillViewportRows();
            b->setupTabStops(-1, tabStopWidth_);
        }
        buffer_ = normalBuffer_.get();
    } else {
        resizeBuffers(cols_, rows_);
    }
    applyModeResets(false);
    cursorHidden = false;
    charset = nullptr;
    gLevel = 0;
    curAttr = CharData::defaultAttr;
    mouseMode = MouseMode::off;
    tdel_->mouseModeChanged(*this);
    buffer_->setScrollTop(0);
    buffer_->setScrollBottom(rows_ - 1);
    buffer_->marginLeft = 0;
    buffer_->marginRight = cols_ - 1;
    cc.send8bit = false;
    conformance = Conformance::vt500;
    xtermTitleSetUtf = xtermTitleSetHex = xtermTitleQueryUtf = xtermTitleQueryHex = false;
    hyperLinkTracking.reset();
    currentLink = TinyAtom();
    hostCurrentDirectory.reset();
    lineFeedMode = options_.convertEol;
    setCharacterProtection(false);
    setReverseVideo(false);
    if (leftAlternate) tdel_->bufferActivated(*this);
}

void Terminal::setReverseVideo(bool value) {
    if (reverseVideo_ == value) return;
    reverseVideo_ = value;
    // Every cell is drawn differently now: the host repaints the whole screen.
    updateFullScreen();
}

// ----- feeding and dirty rows -----------------------------------------------------

void Terminal::feed(std::span<const uint8_t> buffer) {
    parser_.parse(buffer);
#ifndef NDEBUG
    checkInvariants();
#endif
}

std::optional<std::pair<int, int>> Terminal::getUpdateRange() const {
    if (refreshEnd_ < 0 || refreshStart_ == noRange) return std::nullopt;
    return std::pair<int, int>(static_cast<int>(refreshStart_), static_cast<int>(refreshEnd_));
}

std::optional<std::pair<int, int>> Terminal::getScrollInvariantUpdateRange() const {
    if (scrollInvariantRefreshEnd_ < 0 || scrollInvariantRefreshStart_ == noRange) return std::nullopt;
    return std::pair<int, int>(static_cast<int>(scrollInvariantRefreshStart_),
                               static_cast<int>(scrollInvariantRefreshEnd_));
}

void Terminal::clearUpdateRange() {
    refreshStart_ = scrollInvariantRefreshStart_ = noRange;
    refreshEnd_ = scrollInvariantRefreshEnd_ = -1;
}

void Terminal::updateFullScreen() {
    refreshStart_ = 0;
    refreshEnd_ = rows_;
    scrollInvariantRefreshStart_ = buffer_->yDisp();
    scrollInvariantRefreshEnd_ = buffer_->yDisp() + rows_;
}

void Terminal::refresh(int startRow, int endRow) {
    updateRange(startRow);
    updateRange(endRow);
}

// ----- cursor, titles, reset --------------------------------------------------------

void Terminal::showCursor() {
    if (!cursorHidden) return;
    cursorHidden = false;
    tdel_->showCursor(*this);
}

void Terminal::hideCursor() {
    if (cursorHidden) return;
    cursorHidden = true;
    tdel_->hideCursor(*this);
}

void Terminal::setTitle(const std::string& text) {
    terminalTitle_ = text;
    tdel_->setTerminalTitle(*this, text);
}

void Terminal::setIconTitle(const std::string& text) {
    iconTitle_ = text;
    tdel_->setTerminalIconTitle(*this, text);
}

void Terminal::resetToInitialState() {
    options_.rows = rows_;
    options_.cols = cols_;
    const bool hidden = cursorHidden;
    setup(true);
    cursorHidden = hidden;
    refresh(0, rows_ - 1);
}

void Terminal::cmdReset() {
    parser_.reset();
    resetToInitialState();
}

// ----- queries ---------------------------------------------------------------------

const BufferLine* Terminal::getLine(int row) const {
    if (row < 0 || row >= rows_) return nullptr;
    const int index = buffer_->yDisp() + row;
    if (index >= buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[index];
}

const BufferLine* Terminal::getScrollInvariantLine(int row) const {
    const int top = buffer_->linesTop;
    if (row < top || row >= top + buffer_->lines().count()) return nullptr;
    return &buffer_->lines()[row - top];
}

const CharData* Terminal::getCharData(int col, int row) const {
    if (col < 0 || col >= cols_) return nullptr;
    const BufferLine* line = getLine(row);
    if (!line || col >= line->count()) return nullptr;
    return &(*line)[col];
}

std::optional<std::string> Terminal::getCharacter(int col, int row) const {
    const CharData* cell = getCharData(col, row);
    if (!cell) return std::nullopt;
    return cell->getCharacter(tables_);
}

void Terminal::installPalette(std::span<const Color> colors) {
    if (colors.size() != 16) return;
    installedColors.assign(colors.begin(), colors.end());
    defaultAnsiColors = Color::setupDefaultAnsiColors(installedColors);
    ansiColors = defaultAnsiColors;
}

// ----- resize ----------------------------------------------------------------------

void Terminal::resize(int cols, int rows) {
    const int newCols = std::max(cols, MINIMUM_COLS);
    const int newRows = std::max(rows, MINIMUM_ROWS);
    if (newCols == cols_ && newRows == rows_) return;
    const int oldCols = cols_;
    resizeBuffers(newCols, newRows);
    cols_ = newCols;
    rows_ = newRows;
    options_.cols = newCols;
    options_.rows = newRows;
    normalBuffer_->setupTabStops(oldCols, tabStopWidth_);
    altBuffer_->setupTabStops(oldCols, tabStopWidth_);
    // Rows marked before a shrink may no longer exist, and reflow moved every line:
    // the whole new screen is dirty and nothing else is.
    clearUpdateRange();
    refresh(0, rows_ - 1);
#ifndef NDEBUG
    checkInvariants();
#endif
}

void Terminal::resizeBuffers(int newColumns, int newRows) {
    Buffer& normal = *normalBuffer_;
    const int oldY = normal.y();
    const int oldSavedY = normal.savedY;
    normal.resize(newColumns, newRows);
    // The saved cursor keeps its distance from the cursor, so a program that saved
    // its position before the resize restores it next to the same text.
    normal.savedY = std::max(0, normal.y() + oldSavedY - oldY);
    altBuffer_->resize(newColumns, newRows);
}

void Terminal::checkInvariants() const {
    for (const Buffer* b : {normalBuffer_.get(), altBuffer_.get()}) {
        const auto& lines = b->lines();
        assert(b->yDisp() <= b->yBase());
        assert(b->yBase() + b->rows() <= lines.count());
        assert(b->x() <= b->cols() && b->y() < b->rows());
        for (int i = 0; i < lines.count(); ++i) assert(lines[i].count() >= b->cols());
        (void)lines;
    }
}

// ----- printable text ----------------------------------------------------------------

void Terminal::printRun(std::span<const uint8_t> run, bool ascii) {
    if (ascii)
        printAscii(run);
    else
        handlePrint(run);
}

void Terminal::printAscii(std::span<const uint8_t> run) {
    if (readingBuffer_.putbackLength == 0 && !charset) {
        updateRange(buffer_->y());
        const std::size_t taken = buffer_->putAsciiInRow(run, pen_);
        if (taken == run.size()) return;
        run = run.subspan(taken);
    }
    handlePrint(run, true);
}

void Terminal::handlePrint(std::span<const uint8_t> data, bool ascii) {
    Buffer& buf = *buffer_;
    ReadingBuffer& rb = readingBuffer_;
    const int putback = rb.putbackLength;
    const int count = putback + static_cast<int>(data.size());
    auto byteAt = [&](int i) -> uint8_t { return i < putback ? rb.putbackBuffer[i] : data[i - putback]; };

    // Rows the run touches lie between where it starts and where it ends (or the
    // scroll region, which scrolling marks), so both ends are marked.
    updateRange(buf.y());
    int idx = 0;
    while (idx < count) {
        if (idx >= putback && !charset) {
            const std::size_t taken = buf.putTextInRow(data.subspan(idx - putback), pen_, tables_, ascii);
            if (taken) {
                idx += static_cast<int>(taken);
                continue;
            }
        }
        const uint8_t b = byteAt(idx);
        // ASCII the row could not take as it is (a pending wrap, insert mode) goes in one
        // cell at a time; the rest of the run returns to the row.
        if (b >= 0x20 && b < 0x7F && !charset) {
            ++idx;
            buf.insertCharacter(printed(b));
            continue;
        }
        const int n = utf8::leadLength[b];
        if (n <= 1) {
            ++idx;
            const char32_t mapped = b < 0x7F ? CharSets::translate(charset, b) : 0;
            if (mapped) {
                buf.insertCharacter(printed(mapped));
            } else {
                const char32_t scalar = b;
                printCluster(std::span<const char32_t>(&scalar, 1));
            }
            continue;
        }
        if (count - idx - 1 < n - 1) {
            // Hold the incomplete sequence for the next run.
            uint8_t held[4];
            const int keep = count - idx;
            for (int k = 0; k < keep; ++k) held[k] = byteAt(idx + k);
            std::copy(held, held + keep, rb.putbackBuffer.begin());
            rb.putbackLength = keep;
            updateRange(buffer_->y());
            return;
        }
        // A sequence lies whole in `data` unless it began in the held bytes.
        uint8_t joined[4];
        const uint8_t* bytes = joined;
        if (idx >= putback)
            bytes = data.data() + (idx - putback);
        else
            for (int k = 0; k < n; ++k) joined[k] = byteAt(idx + k);
        idx += n;
        char32_t scalar;
        if (utf8::decodeWellFormed(bytes, n, scalar)) {
            printCluster(std::span<const char32_t>(&scalar, 1));
            continue;
        }
        char32_t scalars[4];
        const int produced = decodeUtf8(bytes, n, scalars);
        // Only the first grapheme is kept; bytes the decoder turned into further
        // characters are dropped with the malformed sequence.
        int clusterLength = produced > 0 ? 1 : 0;
        int32_t state = 0;
        while (clusterLength < produced &&
               !UnicodeUtil::isGraphemeBreak(scalars[clusterLength - 1], scalars[clusterLength], state))
            ++clusterLength;
        if (clusterLength == 0) {
            const char32_t space = U' ';
            printCluster(std::span<const char32_t>(&space, 1));
        } else {
            printCluster(std::span<const char32_t>(scalars, clusterLength));
        }
    }
    rb.putbackLength = 0;
    updateRange(buffer_->y());
}

void Terminal::printCluster(std::span<const char32_t> cluster) {
    const char32_t first = cluster[0];
    // DEL and the C1 controls are no text: every VT terminal ignores them in the text.
    if (first >= 0x7F && first < 0xA0) return;
    const auto properties = UnicodeUtil::printProperties(first);
    // A character of no width never takes a cell of its own: it extends the cluster
    // written last (variation selectors, keycaps, viramas, joiners), as the programs
    // placing the cursor with wcwidth expect. With nothing before it on the line, it goes.
    if (properties.width == 0) {
        combineWithLastCell(cluster, false);
        return;
    }
    if (properties.combines && combineWithLastCell(cluster, true)) return;
    if (cluster.size() == 1) {
        buffer_->insertCharacter(printed(first, properties.width));
        return;
    }
    int width = properties.width;
    for (char32_t c : cluster.subspan(1)) width = std::max(width, UnicodeUtil::columnWidth(c));
    CharData cell = pen_;
    cell.setValue(std::u32string_view(cluster.data(), cluster.size()), width, tables_);
    buffer_->insertCharacter(cell);
}

// Joins the cell written last, provided it lies on the cursor's line and the screen has
// not changed size since (the recorded position would no longer name that cell). A mark
// with a combining class joins only where it continues the grapheme; a character of no
// width joins whatever the grapheme rules say, since it cannot stand alone.
bool Terminal::combineWithLastCell(std::span<const char32_t> cluster, bool onlyWithinGrapheme) {
    Buffer& buf = *buffer_;
    const auto last = buf.lastBufferStorage();
    if (!last || last->cols != cols_ || last->rows != rows_) return false;
    if (last->line != buf.yBase() + buf.y() || last->line >= buf.lines().count()) return false;
    BufferLine& line = buf.lines()[last->line];
    const int col = std::min(last->col, cols_ - 1);
    CharData& cell = line[col];
    if (cell.code() == 0) return false;
    // Every mark on the screen passes here, so the cluster is put together on the
    // stack: a cell holds at most the table's longest cluster, and one decoded
    // sequence adds at most four scalars.
    std::array<char32_t, GraphemeTable::maxClusterLength + 4> combined;
    const std::size_t held =
        cell.copyScalars(std::span<char32_t>(combined).first(GraphemeTable::maxClusterLength), tables_);
    const std::size_t added = std::min(cluster.size(), combined.size() - held);
    std::copy_n(cluster.begin(), added, combined.begin() + held);
    const std::u32string_view text(combined.data(), held + added);
    if (onlyWithinGrapheme && !isOneGrapheme(text)) return false;
    cell.setValue(text, cell.width(), tables_);
    // While the user looks at the history the cell may lie below the view: then there
    // is no visible row to redraw.
    const int row = last->line - buf.yDisp();
    if (row < rows_) updateRange(row);
    return true;
}

// ----- control characters and ESC sequences --------------------------------------------

void Terminal::setgLevel(uint8_t n) {
    gLevel = n;
    charset = gDesignations_[n & 3];
}

void Terminal::cmdSelectDefaultCharset() {
    setgLevel(0);
    gDesignations_[0] = CharSets::defaultCharset;
    charset = CharSets::defaultCharset;
}

void Terminal::cmdDesignateDefaultCharsets() {
    const bool glChanged = gDesignations_[gLevel & 3] != CharSets::defaultCharset;
    gDesignations_.fill(CharSets::defaultCharset);
    if (glChanged) charset = CharSets::defaultCharset;
}

void Terminal::designateCharset(uint8_t intermediate, uint8_t final) {
    int slot = 0;
    switch (intermediate) {
    case '(': case '-': slot = 0; break;
    case ')': case '.': slot = 1; break;
    case '*': case '/': slot = 2; break;
    case '+': slot = 3; break;
    default: return;
    }
    gDesignations_[slot] = CharSets::lookup(final);
    if (slot == gLevel) charset = gDesignations_[slot];
}

void Terminal::cmdCarriageReturn() {
    Buffer& b = *buffer_;
    b.setX(marginMode && b.x() >= b.marginLeft ? b.marginLeft : 0);
}

void Terminal::cmdTab() {
    Buffer& b = *buffer_;
    b.setX(nextTabColumn());
}

// A cursor waiting to wrap keeps waiting: the next character still starts the next row.
// Right of the right margin a tab runs on towards the screen's edge.
int Terminal::nextTabColumn() const {
    const Buffer& b = *buffer_;
    const bool withinMargins = marginMode && b.x() <= b.marginRight;
    const int limit = withinMargins ? std::clamp(b.marginRight, 0, cols_ - 1) : cols_ - 1;
    if (b.x() > limit) return b.x();
    return b.nextTabStop(withinMargins, b.x());
}

void Terminal::cmdSetTabStopAtCursor() {
    Buffer& b = *buffer_;
    if (b.x() >= 0 && b.x() < static_cast<int>(b.tabStops.size())) b.tabStops[b.x()] = true;
}

// Index first, so that a cursor outside the margins moves without scrolling, then back
// to the left margin as a carriage return goes.
void Terminal::cmdNextLine() {
    cmdIndex();
    cmdCarriageReturn();
}

bool Terminal::cursorInsideMargins() const {
    const Buffer& b = *buffer_;
    const int x = std::min(b.x(), cols_ - 1);
    return !marginMode || (x >= b.marginLeft && x <= b.marginRight);
}

void Terminal::restrictCursor(bool limitToLastColumn) {
    Buffer& b = *buffer_;
    b.setX(std::clamp(b.x(), 0, limitToLastColumn ? cols_ - 1 : cols_));
    if (originMode)
        b.setY(std::clamp(b.y(), b.scrollTop(), std::max(b.scrollTop(), b.scrollBottom())));
    else
        b.setY(std::clamp(b.y(), 0, rows_ - 1));
    updateRange(b.y());
}

Attribute Terminal::eraseAttr() const {
    Attribute a = CharData::defaultAttr;
    a.bg = curAttr.bg;
    return a;
}

void Terminal::cmdLineFeedBasic() {
    Buffer& b = *buffer_;
    // A cursor waiting to wrap sits on the last column for the margin test.
    const int x = std::min(b.x(), cols_ - 1);
    if (x >= b.marginLeft && x <= b.marginRight && b.y() == b.scrollBottom()) {
        scroll(false);
    } else if (b.y() != b.scrollBottom() && b.y() != rows_ - 1) {
        b.setY(b.y() + 1);
    }
    if (b.x() >= cols_) b.setX(cols_ - 1);
    tdel_->linefeed(*this);
    if (lineFeedMode) b.setX(originMode && marginMode ? b.marginLeft : 0);
}

// Only the bottom row of the region scrolls it, and only with the cursor between the
// margins; below the region the cursor walks down to the last row, as a line feed does.
void Terminal::cmdIndex() {
    restrictCursor();
    Buffer& b = *buffer_;
    if (b.y() == b.scrollBottom()) {
        if (cursorInsideMargins()) scroll(false);
    } else if (b.y() < rows_ - 1) {
        b.setY(b.y() + 1);
    }
    if (b.x() >= cols_) b.setX(cols_ - 1);
}

void Terminal::reverseIndex() {
    Buffer& b = *buffer_;
    if (b.y() != b.scrollTop()) {
        if (b.y() >= 1) b.setY(b.y() - 1);
        return;
    }
    if (!cursorInsideMargins()) return;
    scrollRegionDown();
}

// Left and right margins narrower than the screen: only the cells between them move.
bool Terminal::scrollsBetweenMargins() const {
    const Buffer& b = *buffer_;
    return marginMode && (b.marginLeft > 0 || b.marginRight < cols_ - 1);
}

// Moves the margin area of the region one row up or down, cell by cell, and erases the
// row that comes free. Nothing enters the scrollback: the rows themselves stay.
void Terminal::shiftMarginArea(bool up) {
    Buffer& b = *buffer_;
    const int left = std::clamp(b.marginLeft, 0, cols_ - 1);
    const int width = std::clamp(b.marginRight, left, cols_ - 1) - left + 1;
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + std::min(b.scrollBottom(), rows_ - 1);
    auto& lines = b.lines();
    if (up) {
        for (int row = top; row < bottom; ++row)
            lines[row].copyFrom(lines[row + 1], left, left, width);
    } else {
        for (int row = bottom; row > top; --row)
            lines[row].copyFrom(lines[row - 1], left, left, width);
    }
    lines[up ? bottom : top].replaceCells(left, left + width, CharData(eraseAttr(), U'\0', 1));
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

// Makes a row that came round in a rotation a fresh blank row in the erase attribute.
void Terminal::blankRotatedLine(BufferLine& line, bool isWrapped) {
    const CharData erase(eraseAttr(), U'\0', 1);
    if (line.count() != cols_) line.resize(cols_, erase);
    line.fill(erase);
    line.isWrapped = isWrapped;
    line.renderMode = BufferLine::RenderLineMode::single;
    line.images.reset();
}

void Terminal::scrollRegionDown() {
    if (scrollsBetweenMargins()) {
        shiftMarginArea(false);
        return;
    }
    Buffer& b = *buffer_;
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + std::min(b.scrollBottom(), rows_ - 1);
    // The rows rotate: the bottom row's storage comes round to the top, no cell moves.
    b.lines().rotate(top, bottom, -1);
    blankRotatedLine(b.lines()[top], false);
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdBackspace() {
    restrictCursor(!(reverseWraparound && wraparound));
    Buffer& b = *buffer_;
    const int left = marginMode ? b.marginLeft : 0;
    const int right = marginMode ? b.marginRight : cols_ - 1;
    if (b.x() > left) {
        b.setX(b.x() - 1);
        return;
    }
    if (!reverseWraparound || !wraparound) {
        // At the left margin the cursor stops; left of it, it still steps towards column 0.
        if (b.x() < left && b.x() > 0) b.setX(b.x() - 1);
        return;
    }
    if (b.y() > b.scrollTop() && b.y() <= b.scrollBottom()) {
        BufferLine& line = b.lines()[b.yBase() + b.y()];
        if (line.isWrapped || marginMode) {
            if (line.isWrapped && !marginMode) line.isWrapped = false;
            b.setX(right);
            b.setY(b.y() - 1);
            return;
        }
    }
    if (b.y() == b.scrollTop()) {
        b.setX(right);
        b.setY(b.scrollBottom());
    } else if (b.y() >= 1) {
        b.setX(right);
        b.setY(b.y() - 1);
    }
}

// Scrolls the region up one row. Rows move as whole slots of the ring, never cell by
// cell: a region below the first row, or above a status line, costs a rotation of its
// row slots and one blanked row, with no allocation once the ring is full.
void Terminal::scroll(bool isWrapped) {
    if (scrollsBetweenMargins()) {
        shiftMarginArea(true);
        tdel_->scrolled(*this, buffer_->yDisp());
        return;
    }
    Buffer& b = *buffer_;
    auto& lines = b.lines();
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + std::min(b.scrollBottom(), rows_ - 1);
    if (b.scrollTop() == 0) {
        // The top row goes into the history: the ring gains a row at the end (a
        // recycled one once it is full), which then rotates in below the region, past
        // any rows under it.
        const bool wasFull = lines.isFull();
        if (wasFull) {
            lines.recycle();
        } else {
            const Attribute erase = eraseAttr();
            if (blankLine_.count() != cols_ || blankLine_.fillCharacter().attribute != erase)
                blankLine_ = b.getBlankLine(erase, false);
            lines.push(blankLine_);
        }
        const int last = lines.count() - 1;
        // A full ring dropped its oldest row, so every index moved up by one.
        const int fresh = wasFull ? bottom : bottom + 1;
        // A recycled row is already null cells; only a coloured erase repaints it.
        BufferLine& line = lines[last];
        if (wasFull && (line.count() != cols_ || eraseAttr() != CharData::defaultAttr))
            blankRotatedLine(line, isWrapped);
        else
            line.isWrapped = isWrapped;
        lines.rotate(fresh, last, -1);
        if (!wasFull) {
            b.setYBase(b.yBase() + 1);
            if (!userScrolling) b.setYDisp(b.yDisp() + 1);
        } else {
            if (b.hasScrollback()) ++b.linesTop;
            if (userScrolling) b.setYDisp(std::max(b.yDisp() - 1, 0));
        }
        // The row that went into the history is packed while its cells are still in
        // the cache; its storage becomes the next recycled row.
        if (b.yBase() > 0) lines.pack(b.yBase() - 1);
    } else {
        lines.rotate(top, bottom, 1);
        blankRotatedLine(lines[bottom], isWrapped);
    }
    if (!userScrolling) b.setYDisp(b.yBase());

    if (b.hasScrollback()) {
        refreshStart_ = std::min<int64_t>(refreshStart_, b.scrollTop());
        refreshEnd_ = std::max<int64_t>(refreshEnd_, b.scrollBottom());
    } else {
        updateRange(b.scrollTop());
        updateRange(b.scrollBottom());
    }
    tdel_->scrolled(*this, b.yDisp());
}

void Terminal::cmdSaveCursor() {
    Buffer& b = *buffer_;
    b.savedX = b.x();
    b.savedY = b.y();
    b.savedAttr = curAttr;
    b.savedCharset = charset;
    b.savedWraparound = wraparound;
    b.savedOriginMode = originMode;
    b.savedMarginMode = marginMode;
    b.savedReverseWraparound = reverseWraparound;
    b.savedCharacterProtection = characterProtection();
}

void Terminal::cmdRestoreCursor() {
    Buffer& b = *buffer_;
    // The position may have been saved on a larger screen; a cursor restored below
    // the last row would write outside it.
    b.setX(std::min(b.savedX, cols_));
    b.setY(std::min(b.savedY, rows_ - 1));
    curAttr = b.savedAttr;
    charset = b.savedCharset;
    originMode = b.savedOriginMode;
    marginMode = b.savedMarginMode;
    wraparound = b.savedWraparound;
    reverseWraparound = b.savedReverseWraparound;
    setCharacterProtection(b.savedCharacterProtection);
}

// ----- handler tables ------------------------------------------------------------------

void Terminal::installHandlers() {
    parser_.printHandler = {[](void* owner, std::span<const uint8_t> run, bool ascii) {
                                static_cast<Terminal*>(owner)->print(run, ascii);
                            },
                            this};
    parser_.printStateReset = {
        [](void* owner) { static_cast<Terminal*>(owner)->readingBuffer_.putbackLength = 0; }, this};

    auto& exec = parser_.executeHandlers;
    exec[0x07] = [this] { tdel_->bell(*this); };
    exec[0x08] = [this] { cmdBackspace(); };
    exec[0x09] = [this] { cmdTab(); };
    exec[0x0A] = exec[0x0B] = exec[0x0C] = [this] { cmdLineFeedBasic(); };
    exec[0x0D] = [this] { cmdCarriageReturn(); };
    exec[0x0E] = [this] { setgLevel(1); };
    exec[0x0F] = [this] { setgLevel(0); };
    exec[0x84] = [this] { cmdIndex(); };
    exec[0x85] = [this] { cmdNextLine(); };
    exec[0x88] = [this] { cmdSetTabStopAtCursor(); };

    installEscHandlers();
    installFallbacks();
    installCursorAndEditingHandlers(*this);
    installAttributeHandlers(*this);
    installModeHandlers(*this);
    installReportHandlers(*this);
    installImageHandlers(*this);
}

void Terminal::installEscHandlers() {
    auto& esc = parser_.escHandlers;
    auto on = [&esc](std::string key, auto action) {
        esc[std::move(key)] = [action](EscapeSequenceParser::Bytes, uint8_t) { action(); };
    };
    on("7", [this] { cmdSaveCursor(); });
    on("8", [this] { cmdRestoreCursor(); });
    on("D", [this] { cmdIndex(); });
    on("E", [this] { cmdNextLine(); });
    on("H", [this] { cmdSetTabStopAtCursor(); });
    on("M", [this] { reverseIndex(); });
    on("=", [this] { applicationKeypad = true; });
    on(">", [this] { applicationKeypad = false; });
    on("c", [this] { cmdReset(); });
    on("n", [this] { setgLevel(2); });
    on("o", [this] { setgLevel(3); });
    on("|", [this] { setgLevel(3); });
    on("}", [this] { setgLevel(2); });
    on("~", [this] { setgLevel(1); });
    on("%@", [this] { cmdSelectDefaultCharset(); });
    on("%G", [this] { cmdSelectDefaultCharset(); });
    on(" G", [this] { cc.send8bit = true; });
    on(" F", [this] { cc.send8bit = false; });

    // Every final that names a set, behind each of the seven designators.
    for (char intermediate : std::string("()*+-./")) {
        for (int final = 0x30; final <= 0x7E; ++final) {
            if (!CharSets::lookup(static_cast<uint8_t>(final)) && final != 'B') continue;
            esc[std::string{intermediate, static_cast<char>(final)}] =
                [this](EscapeSequenceParser::Bytes collect, uint8_t f) {
                    designateCharset(collect.empty() ? 0 : collect[0], f);
                };
        }
    }
}

void Terminal::installFallbacks() {
    parser_.csiHandlerFallback = [this](EscapeSequenceParser::Params pars, EscapeSequenceParser::Bytes collect,
                                        uint8_t final) {
        if (silentLog_) return;
        log("Info: Unknown CSI Code (collect=" + listText(collect) + " code=" + std::string(1, char(final)) +
            " pars=" + listText(pars) + ")");
    };
    parser_.escHandlerFallback = [this](EscapeSequenceParser::Bytes collect, uint8_t final) {
        if (silentLog_) return;
        log("Info: Unknown ESC Code: ESC + " + std::string(1, char(final)) + " txt=" + bytesText(collect));
    };
    parser_.oscHandlerFallback = [this](int64_t code, EscapeSequenceParser::Bytes) {
        if (silentLog_) return;
        log("Info: Unknown OSC code: " + std::to_string(code));
    };
    parser_.errorHandler = [this](ParsingState state) {
        if (!silentLog_) log("Info: Parsing error, state: " + toString(state));
        return state;
    };
}

void Terminal::sendResponse(std::string_view bytes) {
    tdel_->send(*this, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void Terminal::log(const std::string& line) const {
    if (silentLog_) return;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// ----- delegate defaults ---------------------------------------------------------------

void TerminalDelegate::setForegroundColor(Terminal& source, const Color& color) {
    if (source.settingFgColor) return;
    source.settingFgColor = true;
    source.foregroundColor = color;
    source.settingFgColor = false;
}

void TerminalDelegate::setBackgroundColor(Terminal& source, const Color& color) {
    if (source.settingBgColor) return;
    source.settingBgColor = true;
    source.backgroundColor = color;
    source.settingBgColor = false;
}

void TerminalDelegate::setCursorColor(Terminal& source, const std::optional<Color>& color) {
    if (source.settingCursorColor) return;
    source.settingCursorColor = true;
    source.cursorColor = color;
    source.settingCursorColor = false;
}

std::pair<Color, Color> TerminalDelegate::getColors(Terminal& source) {
    return {source.foregroundColor, source.backgroundColor};
}

} // namespace tarvik
