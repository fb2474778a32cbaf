// Cursor motion, scroll regions, insert, delete and erase.
#include "terminal/TerminalEditing.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/DiagnosticText.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"
#include "terminal/UnicodeUtil.h"

namespace tarvik {

namespace {

using Params = EscapeSequenceParser::Params;
using Bytes = EscapeSequenceParser::Bytes;
using RenderLineMode = BufferLine::RenderLineMode;

// Parameters are 64-bit values chosen by the program; every count and position is brought
// into the screen's range before any arithmetic or loop uses it.
int clampTo(int64_t value, int low, int high) {
    return static_cast<int>(std::clamp<int64_t>(value, low, std::max(low, high)));
}

struct Args {
    Params p;
    bool has(std::size_t i) const { return i < p.size(); }
    int64_t at(std::size_t i) const { return has(i) ? p[i] : 0; }
    // A missing or zero count means one.
    int count(int limit) const { return clampTo(at(0), 1, limit); }
};



// Margins only bind while left/right margin mode is on; values left over from an earlier
// DECSLRM, or from a wider screen, never reach past the screen.
int leftEdge(const Terminal& t) {
    return t.marginMode ? std::clamp(t.buffer().marginLeft, 0, t.cols() - 1) : 0;
}

int rightEdge(const Terminal& t) {
    return t.marginMode ? std::clamp(t.buffer().marginRight, 0, t.cols() - 1) : t.cols() - 1;
}

bool insideMargins(const Terminal& t, int x) {
    return x >= leftEdge(t) && x <= rightEdge(t);
}

bool insideRegion(const Terminal& t, int y) {
    return y >= t.buffer().scrollTop() && y <= t.buffer().scrollBottom();
}

int regionBottom(const Terminal& t) {
    return std::min(t.buffer().scrollBottom(), t.rows() - 1);
}

BufferLine& screenLine(Terminal& t, int row) {
    Buffer& b = t.buffer();
    return b.lines()[b.yBase() + row];
}

CharData eraseCell(const Terminal& t) {
    return CharData(t.eraseAttr(), U'\0', 1);
}

void markRows(Terminal& t, int first, int last) {
    t.updateRange(first);
    t.updateRange(last);
}

// A whole line made blank is a fresh line: no wrap, single width, no pictures.
void blankLine(Terminal& t, int row, const CharData& erase) {
    BufferLine& line = screenLine(t, row);
    line.fill(erase);
    line.isWrapped = false;
    line.renderMode = RenderLineMode::single;
    line.images.reset();
    t.updateRange(row);
}

// ----- cursor movement ------------------------------------------------------------------

void cursorUp(Terminal& t, int n) {
    Buffer& b = t.buffer();
    const int top = b.y() < b.scrollTop() ? 0 : b.scrollTop();
    b.setY(std::max(b.y() - n, top));
}

void cursorDown(Terminal& t, int n) {
    Buffer& b = t.buffer();
    const int bottom = b.y() > b.scrollBottom() ? t.rows() - 1 : regionBottom(t);
    b.setY(std::min(b.y() + n, bottom));
    if (b.x() >= t.cols()) b.setX(t.cols() - 1);
}

void cmdCursorCharAbsolute(Terminal& t, Args a) {
    const int origin = t.originMode && t.marginMode ? leftEdge(t) : 0;
    t.buffer().setX(std::min(origin + a.count(t.cols()) - 1, t.cols() - 1));
}

void cmdCursorPosition(Terminal& t, Args a) {
    const int row = clampTo(a.at(0), 1, t.rows()) - 1;
    const int col = a.has(1) ? clampTo(a.at(1), 1, t.cols()) - 1 : 0;
    // Without origin mode the clamped position is on the screen: nothing more to confine.
    if (t.originMode)
        t.setCursor(col, row);
    else
        t.placeCursor(col, row);
}

// Unlike CUP, HVP is not confined to the scroll region in origin mode.
void cmdHVPosition(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int row = clampTo(a.at(0), 1, t.rows()) - 1 + (t.originMode ? b.scrollTop() : 0);
    const int col =
        (a.has(1) ? clampTo(a.at(1), 1, t.cols()) - 1 : 0) + (t.originMode && t.marginMode ? leftEdge(t) : 0);
    b.setY(std::min(row, t.rows() - 1));
    b.setX(std::min(col, t.cols() - 1));
}

// In origin mode the row counts from the top of the region and stays inside it, as for CUP.
void cmdLinePosAbsolute(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int row = a.count(t.rows()) - 1;
    if (t.originMode)
        b.setY(std::min(b.scrollTop() + row, regionBottom(t)));
    else
        b.setY(row);
}

void cmdVPositionRelative(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    b.setY(std::min(b.y() + a.count(t.rows()), t.rows() - 1));
    if (b.x() >= t.cols()) b.setX(t.cols() - 1);
}

// HPA addresses the column as CHA does, from the left margin in origin mode.
void cmdCharPosAbsolute(Terminal& t, Args a) {
    cmdCursorCharAbsolute(t, a);
}

void cmdHPositionRelative(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    b.setX(std::min(b.x() + a.count(t.cols()), t.cols() - 1));
}

void cmdCursorForwardTab(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    for (int i = a.count(t.cols() - 1); i > 0; --i) {
        const int next = t.nextTabColumn();
        if (next == b.x()) break;
        b.setX(next);
    }
}

void cmdCursorBackwardTab(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    if (b.x() > t.cols()) return;
    for (int i = a.count(t.cols()); i > 0 && b.x() > 0; --i)
        b.setX(b.previousTabStop(b.x()));
}

void cmdTabClear(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    if (a.at(0) == 0) {
        if (b.x() < static_cast<int>(b.tabStops.size())) b.tabStops[static_cast<std::size_t>(b.x())] = false;
    } else if (a.at(0) == 3) {
        std::fill(b.tabStops.begin(), b.tabStops.end(), false);
    }
}

// ----- margins --------------------------------------------------------------------------

void cmdSetScrollRegion(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int top = clampTo(a.at(0) - 1, 0, t.rows());
    const int bottom = a.has(1) && a.at(1) != 0 && a.at(1) <= t.rows() ? static_cast<int>(a.at(1)) : t.rows();
    if (top < bottom - 1) {
        b.setScrollBottom(bottom - 1);
        b.setScrollTop(top);
    }
    t.setCursor(0, 0);
}

// An empty or zero right margin is the default, as for every other numeric parameter.
void cmdSetMargins(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int right = a.has(1) && a.at(1) != 0 ? clampTo(a.at(1) - 1, 0, t.cols() - 1) : t.cols() - 1;
    const int left = clampTo(a.at(0) - 1, 0, t.cols() - 1);
    b.marginLeft = std::min(left, right);
    b.marginRight = right;
}

// ----- erasing --------------------------------------------------------------------------

// Cells start ..< end of a line become erase cells; a selective erase (DECSED, DECSEL)
// passes over protected cells.
void eraseCells(BufferLine& line, int start, int end, const CharData& erase, bool selective) {
    if (!selective) {
        line.replaceCells(start, end, erase);
        return;
    }
    for (int col = std::max(start, 0); col < std::min(end, line.count()); ++col)
        if (!line[col].isProtected()) line[col] = erase;
}

void cmdEraseInLine(Terminal& t, int64_t mode, bool selective = false) {
    Buffer& b = t.buffer();
    BufferLine& line = screenLine(t, b.y());
    const CharData erase = eraseCell(t);
    switch (mode) {
    case 0:
        eraseCells(line, b.x(), line.count(), erase, selective);
        break;
    case 1:
        eraseCells(line, 0, b.x() + 1, erase, selective);
        break;
    case 2:
        eraseCells(line, 0, line.count(), erase, selective);
        break;
    default:
        return;
    }
    t.updateRange(b.y());
}

// A selective erase of whole lines keeps the protected cells and everything else about
// the line; a plain one makes it a fresh line.
void eraseWholeLine(Terminal& t, int row, const CharData& erase, bool selective) {
    if (!selective) {
        blankLine(t, row, erase);
        return;
    }
    BufferLine& line = screenLine(t, row);
    eraseCells(line, 0, line.count(), erase, true);
    t.updateRange(row);
}

void dropScrollback(Terminal& t) {
    Buffer& b = t.buffer();
    const int k = b.lines().count() - t.rows();
    if (k < 1) return;
    b.lines().trimStart(k);
    b.linesTop = 0;
    b.setYBase(std::max(b.yBase() - k, 0));
    b.setYDisp(std::max(b.yDisp() - k, 0));
    // The view may be showing history that just went away.
    t.updateFullScreen();
}

void cmdEraseInDisplay(Terminal& t, int64_t mode, bool selective = false) {
    Buffer& b = t.buffer();
    const CharData erase = eraseCell(t);
    switch (mode) {
    case 0:
        cmdEraseInLine(t, 0, selective);
        for (int row = b.y() + 1; row < t.rows(); ++row)
            eraseWholeLine(t, row, erase, selective);
        break;
    case 1:
        cmdEraseInLine(t, 1, selective);
        if (b.x() + 1 >= t.cols() && b.y() + 1 < t.rows()) screenLine(t, b.y() + 1).isWrapped = false;
        for (int row = 0; row < b.y(); ++row)
            eraseWholeLine(t, row, erase, selective);
        break;
    case 2:
        for (int row = 0; row < t.rows(); ++row)
            eraseWholeLine(t, row, erase, selective);
        break;
    case 3:
        if (!selective) dropScrollback(t);
        break;
    default:
        break;
    }
}

void cmdEraseChars(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    screenLine(t, b.y()).replaceCells(b.x(), b.x() + a.count(t.cols()), eraseCell(t));
    t.updateRange(b.y());
}

// ----- characters and columns ----------------------------------------------------------

// The line's cell operations wrap a start column past the margin back to the left edge,
// so a cursor in the pending-wrap column never reaches them.
void cmdInsertChars(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int x = b.x();
    if (x >= t.cols() || !insideMargins(t, x)) return;
    const int right = rightEdge(t);
    const CharData erase = eraseCell(t);
    BufferLine& line = screenLine(t, b.y());
    line.insertCells(x, a.count(t.cols()), right, erase);
    // A wide character pushed against the margin lost its second half there.
    if (line[right].width() >= 2) line[right] = erase;
    t.updateRange(b.y());
}

void cmdDeleteChars(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int x = b.x();
    if (x >= t.cols() || !insideMargins(t, x)) return;
    const int right = rightEdge(t);
    screenLine(t, b.y()).deleteCells(x, std::min(a.count(t.cols()), right - x + 1), right, eraseCell(t));
    t.updateRange(b.y());
}

void cmdInsertColumns(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int x = b.x();
    if (!insideRegion(t, b.y()) || x >= t.cols() || !insideMargins(t, x)) return;
    const CharData erase = eraseCell(t);
    const int n = a.count(t.cols());
    for (int row = b.scrollTop(); row <= regionBottom(t); ++row)
        screenLine(t, row).insertCells(x, n, rightEdge(t), erase);
    markRows(t, b.scrollTop(), regionBottom(t));
}

// Here an explicit 0 deletes nothing, so the count is read from the text as received.
void cmdDeleteColumns(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int x = b.x();
    if (!insideRegion(t, b.y()) || x >= t.cols() || !insideMargins(t, x)) return;
    const int n = t.parser().parsTxt().empty() ? 1 : clampTo(a.at(0), 0, t.cols());
    const CharData erase = eraseCell(t);
    for (int row = b.scrollTop(); row <= regionBottom(t); ++row) {
        BufferLine& line = screenLine(t, row);
        line.deleteCells(x, n, rightEdge(t), erase);
        line.isWrapped = false;
    }
    markRows(t, b.scrollTop(), regionBottom(t));
}

// Scrolls the margin area of the scroll region one column right (back) or left.
void columnScroll(Terminal& t, bool back) {
    Buffer& b = t.buffer();
    if (!insideRegion(t, b.y()) || !insideMargins(t, b.x())) return;
    const int left = leftEdge(t);
    const int right = rightEdge(t);
    const CharData blank(CharData::defaultAttr, U' ', 1);
    const CharData erase = eraseCell(t);
    for (int row = b.scrollTop(); row <= regionBottom(t); ++row) {
        BufferLine& line = screenLine(t, row);
        if (back)
            line.insertCells(left, 1, right, blank);
        else
            line.deleteCells(left, 1, right, erase);
    }
    markRows(t, b.scrollTop(), regionBottom(t));
}

// SL and SR: the margin area of the scroll region moves n columns left or right, the
// cursor staying where it is; columns pushed out are lost, those opened are erased.
void cmdScrollColumns(Terminal& t, Args a, bool left) {
    Buffer& b = t.buffer();
    const int from = leftEdge(t);
    const int to = rightEdge(t);
    const int n = std::min(a.count(t.cols()), to - from + 1);
    const CharData erase = eraseCell(t);
    for (int row = b.scrollTop(); row <= regionBottom(t); ++row) {
        BufferLine& line = screenLine(t, row);
        if (left)
            line.deleteCells(from, n, to, erase);
        else
            line.insertCells(from, n, to, erase);
    }
    markRows(t, b.scrollTop(), regionBottom(t));
}

void backIndex(Terminal& t) {
    if (t.buffer().x() == leftEdge(t))
        columnScroll(t, true);
    else
        t.cursorBackward(1);
}

void forwardIndex(Terminal& t) {
    const int x = t.buffer().x();
    if (x == rightEdge(t))
        columnScroll(t, false);
    else if (x != t.cols())
        t.cursorForward(1);
}

// ----- lines ------------------------------------------------------------------------------

// Moves rows first..last n rows down (or up) within that band and blanks the rows that
// come free. Whole rows are rotated in the ring, which moves no cells; with left and right
// margins only the cells between them move. Capping n at the band height gives the same
// screen as moving one row at a time, however large the request.
void shiftBand(Terminal& t, int first, int last, int n, bool down) {
    last = std::min(last, t.rows() - 1);
    if (first < 0 || first > last) return;
    n = std::min(n, last - first + 1);
    Buffer& b = t.buffer();
    const CharData erase = eraseCell(t);
    const int freed = down ? first : last - n + 1;
    if (!t.marginMode) {
        b.lines().rotate(b.yBase() + first, b.yBase() + last, down ? -n : n);
        for (int row = freed; row < freed + n; ++row)
            blankLine(t, row, erase);
    } else {
        const int left = leftEdge(t);
        const int width = rightEdge(t) - left + 1;
        if (down) {
            for (int row = last; row >= first + n; --row)
                screenLine(t, row).copyFrom(screenLine(t, row - n), left, left, width);
        } else {
            for (int row = first; row <= last - n; ++row)
                screenLine(t, row).copyFrom(screenLine(t, row + n), left, left, width);
        }
        for (int row = freed; row < freed + n; ++row)
            screenLine(t, row).replaceCells(left, left + width, erase);
    }
    markRows(t, first, last);
}

void cmdInsertLines(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    if (!insideRegion(t, b.y()) || !insideMargins(t, std::min(b.x(), t.cols() - 1))) return;
    shiftBand(t, b.y(), b.scrollBottom(), a.count(t.rows()), true);
}

void cmdDeleteLines(Terminal& t, Args a) {
    t.restrictCursor(true);
    Buffer& b = t.buffer();
    if (!insideRegion(t, b.y()) || !insideMargins(t, b.x())) return;
    shiftBand(t, b.y(), b.scrollBottom(), a.count(t.rows()), false);
}

// Scroll-up with a private marker is a graphics query, not a scroll.
void cmdScrollUp(Terminal& t, Args a) {
    shiftBand(t, t.buffer().scrollTop(), t.buffer().scrollBottom(), a.count(t.rows()), false);
}

void resetTitleModes(Terminal& t, Args a) {
    for (int64_t mode : a.p) {
        switch (mode) {
        case 0:
            t.xtermTitleSetHex = false;
            break;
        case 1:
            t.xtermTitleQueryHex = false;
            break;
        case 2:
            t.xtermTitleSetUtf = false;
            break;
        case 3:
            t.xtermTitleQueryUtf = false;
            break;
        default:
            break;
        }
    }
}

void cmdScrollDown(Terminal& t, Args a) {
    shiftBand(t, t.buffer().scrollTop(), t.buffer().scrollBottom(), a.count(t.rows()), true);
}

// ----- repeat, alignment, line modes --------------------------------------------------------

void cmdRepeatPrecedingCharacter(Terminal& t, Args a) {
    Buffer& b = t.buffer();
    const int64_t limit = std::min<int64_t>(2LL * t.cols() * t.rows(), INT_MAX);
    const int n = clampTo(a.at(0), 1, static_cast<int>(limit));
    const CharData cell = b.x() == 0 ? CharData(CharData::defaultAttr, U'\0', 1)
                                     : screenLine(t, b.y())[std::min(b.x(), t.cols()) - 1];
    t.updateRange(b.y());
    for (int i = 0; i < n; ++i)
        b.insertCharacter(cell);
    t.updateRange(b.y());
}

void screenAlignmentPattern(Terminal& t) {
    t.setCursor(0, 0);
    const CharData letter(t.curAttr, U'E', 1);
    for (int row = 0; row < t.rows(); ++row) {
        BufferLine& line = screenLine(t, row);
        line.fill(letter);
        line.isWrapped = false;
    }
    t.updateFullScreen();
    t.setCursor(0, 0);
}

void setLineRenderMode(Terminal& t, RenderLineMode mode) {
    const int y = t.buffer().y();
    screenLine(t, y).renderMode = mode;
    t.updateRange(y);
}

// ----- rectangles ---------------------------------------------------------------------------

template <typename Visit> void forEachCell(Terminal& t, const CellRectangle& r, Visit visit) {
    for (int row = r.top; row <= r.bottom; ++row) {
        BufferLine& line = screenLine(t, row);
        for (int col = r.left; col <= r.right; ++col)
            visit(line[col]);
    }
    markRows(t, r.top, r.bottom);
}

// Only printable single-column characters fill a rectangle: a control character stored in
// a cell would travel on in copied text, and a wide or zero-width one cannot fill one cell.
char32_t fillCharacter(int64_t code) {
    const bool scalar = code >= 0x20 && code <= 0x10FFFF && !(code >= 0x7F && code < 0xA0) &&
                        !(code >= 0xD800 && code <= 0xDFFF);
    if (!scalar) return U' ';
    const auto c = static_cast<char32_t>(code);
    return UnicodeUtil::columnWidth(c) == 1 ? c : U' ';
}

void cmdFillRectangularArea(Terminal& t, Args a) {
    const auto r = getRectangleFromRequest(t, a.p, 1);
    if (!r) return;
    const CharData fill(t.curAttr, fillCharacter(a.at(0)), 1);
    forEachCell(t, *r, [&](CharData& cell) { cell = fill; });
}

void cmdEraseRectangularArea(Terminal& t, Args a) {
    const auto r = getRectangleFromRequest(t, a.p, 0);
    if (!r) return;
    const CharData erase = eraseCell(t);
    forEachCell(t, *r, [&](CharData& cell) { cell = erase; });
}

// Selective erase keeps colours and links; each half of a wide character becomes a space.
void cmdSelectiveEraseRectangularArea(Terminal& t, Args a) {
    const auto r = getRectangleFromRequest(t, a.p, 0);
    if (!r) return;
    forEachCell(t, *r, [](CharData& cell) {
        if (!cell.isProtected()) cell.setValue(U' ', 1);
    });
}

void cmdCopyRectangularArea(Terminal& t, Args a) {
    const auto value = [&a](std::size_t i, int64_t fallback) { return a.at(i) == 0 ? fallback : a.at(i); };
    if (value(4, 1) != 1 || value(7, 1) != 1) return;
    const int64_t source[4] = {value(0, 1), value(1, 1), value(2, t.rows()), value(3, t.cols())};
    const auto r = getRectangleFromRequest(t, source, 0);
    if (!r) return;
    // The destination is addressed like the source: from the region and margins in origin mode.
    const int64_t originTop = t.originMode ? t.buffer().scrollTop() : 0;
    const int64_t originLeft = t.originMode ? leftEdge(t) : 0;
    const int top = clampTo(value(5, 1) + originTop, 1, t.rows()) - 1;
    const int left = clampTo(value(6, 1) + originLeft, 1, t.cols()) - 1;

    // Copied out first, so that a destination overlapping the source reads the old cells.
    std::vector<std::vector<CharData>> block;
    for (int row = r->top; row <= r->bottom; ++row) {
        const auto cells = screenLine(t, row).getData();
        block.emplace_back(cells.begin() + r->left, cells.begin() + r->right + 1);
    }
    const int rows = std::min<int>(static_cast<int>(block.size()), t.rows() - top);
    for (int i = 0; i < rows; ++i) {
        BufferLine& line = screenLine(t, top + i);
        const int cols = std::min<int>(static_cast<int>(block[i].size()), t.cols() - left);
        for (int j = 0; j < cols; ++j)
            line[left + j] = block[i][j];
    }
    if (rows > 0) markRows(t, top, top + rows - 1);
}

// ----- registration -----------------------------------------------------------------------

using Command = void (*)(Terminal&, Args);

// Moves mark the row the cursor leaves and the row it reaches, so both repaint.
EscapeSequenceParser::CsiHandler moving(Terminal& t, Command command) {
    return [&t, command](Params p, Bytes) {
        const int from = t.buffer().y();
        command(t, Args{p});
        markRows(t, from, t.buffer().y());
    };
}

EscapeSequenceParser::CsiHandler plain(Terminal& t, Command command) {
    return [&t, command](Params p, Bytes) { command(t, Args{p}); };
}

void cmdCursorUp(Terminal& t, Args a) { cursorUp(t, a.count(t.rows())); }
void cmdCursorDown(Terminal& t, Args a) { cursorDown(t, a.count(t.rows())); }
void cmdCursorForward(Terminal& t, Args a) { t.cursorForward(a.at(0)); }
void cmdCursorBackward(Terminal& t, Args a) { t.cursorBackward(a.at(0)); }

void cmdCursorNextLine(Terminal& t, Args a) {
    cursorDown(t, a.count(t.rows()));
    t.buffer().setX(leftEdge(t));
}

void cmdCursorPrecedingLine(Terminal& t, Args a) {
    cursorUp(t, a.count(t.rows()));
    t.buffer().setX(leftEdge(t));
}

void cmdScrollLeft(Terminal& t, Args a) { cmdScrollColumns(t, a, true); }
void cmdScrollRight(Terminal& t, Args a) { cmdScrollColumns(t, a, false); }

// With left/right margin mode on, CSI s sets the margins; otherwise it saves the cursor.
void cmdSaveCursorOrSetMargins(Terminal& t, Args a) {
    if (t.marginMode)
        cmdSetMargins(t, a);
    else
        t.cmdSaveCursor();
}

void cmdRestoreCursor(Terminal& t, Args) { t.cmdRestoreCursor(); }
void cmdEraseInDisplay(Terminal& t, Args a) { cmdEraseInDisplay(t, a.at(0), false); }
void cmdSelectiveEraseInDisplay(Terminal& t, Args a) { cmdEraseInDisplay(t, a.at(0), true); }
void cmdEraseInLine(Terminal& t, Args a) { cmdEraseInLine(t, a.at(0), false); }
void cmdSelectiveEraseInLine(Terminal& t, Args a) { cmdEraseInLine(t, a.at(0), true); }

void installCursorHandlers(Terminal& t, EscapeSequenceParser& parser) {
    const std::pair<const char*, Command> moves[] = {
        {"A", cmdCursorUp},           {"B", cmdCursorDown},          {"C", cmdCursorForward},
        {"D", cmdCursorBackward},     {"E", cmdCursorNextLine},      {"F", cmdCursorPrecedingLine},
        {"G", cmdCursorCharAbsolute}, {"f", cmdHVPosition},
        {"d", cmdLinePosAbsolute},    {"e", cmdVPositionRelative},   {"`", cmdCharPosAbsolute},
        {"a", cmdHPositionRelative},  {"I", cmdCursorForwardTab},    {"Z", cmdCursorBackwardTab},
        {"r", cmdSetScrollRegion},    {"u", cmdRestoreCursor},
    };
    for (const auto& [shape, command] : moves)
        parser.setCsiHandler(shape, moving(t, command));
    // setCursor marks the rows it leaves and reaches itself.
    parser.setCsiFunction(
        'H', [](void* t, Params p, Bytes) { cmdCursorPosition(*static_cast<Terminal*>(t), Args{p}); }, &t);
    parser.setCsiHandler("g", plain(t, cmdTabClear));
    parser.setCsiHandler("s", plain(t, cmdSaveCursorOrSetMargins));
}

void installEditingHandlers(Terminal& t, EscapeSequenceParser& parser) {
    const std::pair<const char*, Command> commands[] = {
        {"J", cmdEraseInDisplay},
        {"?J", cmdSelectiveEraseInDisplay},
        {"K", cmdEraseInLine},
        {"?K", cmdSelectiveEraseInLine},
        {"X", cmdEraseChars},
        {"@", cmdInsertChars},
        {"P", cmdDeleteChars},
        {" @", cmdScrollLeft},
        {" A", cmdScrollRight},
        {"'}", cmdInsertColumns},
        {"'~", cmdDeleteColumns},
        {"~", cmdDeleteColumns},
        {"L", cmdInsertLines},
        {"M", cmdDeleteLines},
        {"S", cmdScrollUp},
        {"T", cmdScrollDown},
        {">T", resetTitleModes},
        {"b", cmdRepeatPrecedingCharacter},
        {"$x", cmdFillRectangularArea},
        {"$z", cmdEraseRectangularArea},
        {"${", cmdSelectiveEraseRectangularArea},
        {"$v", cmdCopyRectangularArea},
    };
    for (const auto& [shape, command] : commands)
        parser.setCsiHandler(shape, plain(t, command));
}

void installEscEditingHandlers(Terminal& t) {
    auto& esc = t.parser().escHandlers;
    auto on = [&esc](std::string key, auto action) {
        esc[std::move(key)] = [action](Bytes, uint8_t) { action(); };
    };
    on("6", [&t] { backIndex(t); });
    on("9", [&t] { forwardIndex(t); });
    on("#3", [&t] { setLineRenderMode(t, RenderLineMode::doubledTop); });
    on("#4", [&t] { setLineRenderMode(t, RenderLineMode::doubledDown); });
    on("#5", [&t] { setLineRenderMode(t, RenderLineMode::single); });
    on("#6", [&t] { setLineRenderMode(t, RenderLineMode::doubleWidth); });
    on("#8", [&t] { screenAlignmentPattern(t); });
}

} // namespace

std::optional<CellRectangle> getRectangleFromRequest(const Terminal& t, std::span<const int64_t> parameters,
                                                     std::size_t start) {
    const auto has = [&](std::size_t i) { return start + i < parameters.size(); };
    const auto at = [&](std::size_t i) { return has(i) ? parameters[start + i] : int64_t{0}; };
    const int64_t rows = t.rows();
    const int64_t cols = t.cols();
    int64_t top = std::max<int64_t>(at(0), 1);
    int64_t left = std::max<int64_t>(at(1), 1);
    int64_t bottom = std::min(has(2) && at(2) >= 0 ? at(2) : rows, rows);
    int64_t right = std::min(has(3) && at(3) >= 0 ? at(3) : cols, cols);
    if (t.originMode) {
        top += t.buffer().scrollTop();
        bottom += t.buffer().scrollTop();
        left += leftEdge(t);
        right += leftEdge(t);
    }
    if (bottom < top || right < left) return std::nullopt;
    return CellRectangle{clampTo(top - 1, 0, t.rows() - 1), clampTo(left - 1, 0, t.cols() - 1),
                         clampTo(bottom - 1, 0, t.rows() - 1), clampTo(right - 1, 0, t.cols() - 1)};
}

inline void Terminal::setCursor(int col, int row) {
    Buffer& b = *buffer_;
    int64_t x = std::max(col, 0);
    int64_t y = std::max(row, 0);
    if (originMode) {
        if (marginMode) x += b.marginLeft;
        y += b.scrollTop();
    }
    // As restrictCursor would leave it: on the screen, and inside the region in origin mode.
    const int onScreen = clampTo(y, 0, rows_);
    placeCursor(clampTo(x, 0, cols_ - 1),
                originMode ? std::clamp(onScreen, b.scrollTop(), std::max(b.scrollTop(), b.scrollBottom()))
                           : std::min(onScreen, rows_ - 1));
}

inline void Terminal::placeCursor(int col, int row) {
    Buffer& b = *buffer_;
    const int left = b.y();
    b.setX(col);
    b.setY(row);
    // The higher row by arithmetic: the compiler turns a min and max pair into a
    // branch, and whether the cursor moves up or down is a coin toss.
    const int low = std::min(left, b.y());
    updateRows(low, left + b.y() - low);
}

void Terminal::cursorForward(int64_t count) {
    Buffer& b = *buffer_;
    int right = marginMode ? std::min(b.marginRight, cols_ - 1) : cols_ - 1;
    if (b.x() > right) right = cols_ - 1;
    b.setX(std::min(b.x() + clampTo(count, 1, cols_), right));
    updateRange(b.y());
}

void Terminal::cursorBackward(int64_t count) {
    Buffer& b = *buffer_;
    int left = marginMode ? b.marginLeft : 0;
    if (b.x() < left) left = 0;
    b.setX(std::max(b.x() - clampTo(count, 1, cols_), left));
    updateRange(b.y());
}

void installCursorAndEditingHandlers(Terminal& terminal) {
    installCursorHandlers(terminal, terminal.parser());
    installEditingHandlers(terminal, terminal.parser());
    installEscEditingHandlers(terminal);
}

} // namespace tarvik
