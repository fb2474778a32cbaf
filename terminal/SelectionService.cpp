#include "terminal/SelectionService.h"

#include <algorithm>
#include <vector>

#include <utf8proc.h>

#include "terminal/Terminal.h"

namespace tarvik {

namespace {

using Ordering = Position::Ordering;

bool isBefore(Position a, Position b) {
    return Position::compare(a, b) == Ordering::before;
}
bool isAfter(Position a, Position b) {
    return Position::compare(a, b) == Ordering::after;
}

// The cell at a line index, the null cell outside the buffer. The filler half of a wide
// character answers as the character itself, so a click on either half of a CJK
// character treats it as one letter.
const CharData& cellAt(const Buffer& buffer, Position at) {
    const CircularBufferLineList& lines = buffer.lines();
    if (at.row < 0 || at.row >= lines.count()) return CharData::Null;
    const BufferLine& line = lines[at.row];
    if (at.col < 0 || at.col >= line.count()) return CharData::Null;
    const CharData& cell = line[at.col];
    if (cell.code() == 0 && at.col > 0 && line[at.col - 1].width() == 2) return line[at.col - 1];
    return cell;
}

// Word and bracket scans look at a cluster's base character.
char32_t baseScalar(const CharData& cell, const CellTables& tables) {
    if (cell.isSimpleRune()) return static_cast<char32_t>(std::max(cell.code(), 0));
    return cell.baseScalar(tables);
}

bool isLetterOrNumber(char32_t c) {
    switch (utf8proc_category(static_cast<utf8proc_int32_t>(c))) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_ND:
    case UTF8PROC_CATEGORY_NL:
    case UTF8PROC_CATEGORY_NO:
        return true;
    default:
        return false;
    }
}

// File names, host names and identifiers stay one word on a double click.
bool isWordCharacter(char32_t c) {
    return isLetterOrNumber(c) || c == U'.' || c == U'_' || c == U'-';
}

enum class CellClass : std::uint8_t { empty, space, word, other };

CellClass classify(const CharData& cell, const CellTables& tables) {
    const char32_t c = baseScalar(cell, tables);
    if (c == SelectionService::nullChar) return CellClass::empty;
    if (c == U' ') return CellClass::space;
    return isWordCharacter(c) ? CellClass::word : CellClass::other;
}

char32_t closingPartner(char32_t c) {
    switch (c) {
    case U'(':
        return U')';
    case U'[':
        return U']';
    case U'{':
        return U'}';
    default:
        return 0;
    }
}

char32_t openingPartner(char32_t c) {
    switch (c) {
    case U')':
        return U'(';
    case U']':
        return U'[';
    case U'}':
        return U'{';
    default:
        return 0;
    }
}

// Matches brackets along a walk of cells; true once the first bracket is closed.
class BracketStack {
  public:
    explicit BracketStack(char32_t (*partner)(char32_t)) : partner_(partner) {}
    bool step(char32_t c) {
        if (const char32_t p = partner_(c)) {
            stack_.push_back(p);
            return false;
        }
        if (!stack_.empty() && stack_.back() == c) {
            stack_.pop_back();
            return stack_.empty();
        }
        return false;
    }

  private:
    char32_t (*partner_)(char32_t);
    std::vector<char32_t> stack_;
};

} // namespace

void SelectionService::setActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (!active_) pivot.reset();
    terminal_->delegate().selectionChanged(*terminal_);
}

// Every selecting operation ends here: one notification, whether or not the selection
// was already shown.
void SelectionService::notifyActive() {
    active_ = true;
    terminal_->delegate().selectionChanged(*terminal_);
}

void SelectionService::setRange(Position first, Position last) {
    start = first;
    end = last;
    hasSelectionRange = start != end;
}

void SelectionService::startSelection() {
    end = start;
    hasSelectionRange = false;
    selectingRows = false;
    selectionMode = Mode::character;
    notifyActive();
}

void SelectionService::setSoftStart(Position bufferPosition) {
    setRange(bufferPosition, bufferPosition);
    notifyActive();
}

void SelectionService::shiftExtend(int row, int col) {
    const Buffer& buffer = terminal_->buffer();
    row += buffer.yDisp();
    if (selectingRows) {
        const bool forward = row > start.row || (row == start.row && col > start.col);
        col = forward ? buffer.cols() - 1 : 0;
    }
    shiftExtend(Position{col, row});
}

void SelectionService::shiftExtend(Position bufferPosition) {
    Position p = bufferPosition;
    if (selectionMode == Mode::word)
        p = extendToWordBoundary(p, terminal_->buffer(), isBefore(p, start) ? -1 : 1);
    // Extending past the anchor turns the selection round: the old far end anchors it.
    if ((isBefore(start, end) && isBefore(p, start)) || (isAfter(start, end) && isAfter(p, start)))
        start = end;
    setRange(start, p);
    notifyActive();
}

void SelectionService::dragExtend(Position bufferPosition) {
    Position p = bufferPosition;
    if (selectionMode == Mode::word)
        p = extendToWordBoundary(p, terminal_->buffer(), isBefore(p, start) ? -1 : 1);
    setRange(start, p);
    notifyActive();
}

void SelectionService::select(int row) {
    setRange(Position{0, row}, Position{terminal_->cols() - 1, row});
    selectingRows = true;
    selectionMode = Mode::line;
    notifyActive();
}

void SelectionService::selectAll() {
    setRange(Position{0, 0}, Position{terminal_->cols() - 1, terminal_->buffer().lines().maxLength() - 1});
    notifyActive();
}

void SelectionService::selectWordOrExpression(Position at, const Buffer& in) {
    const CellTables& tables = terminal_->tables();
    at.col = std::clamp(at.col, 0, in.cols());
    at.row = std::max(at.row, 0);
    const CharData& cell = cellAt(in, at);
    const char32_t c = baseScalar(cell, tables);
    const CellClass cls = classify(cell, tables);
    if (cls != CellClass::other) {
        simpleScan(at, in, [&](Position p) { return classify(cellAt(in, p), tables) == cls; });
    } else if (closingPartner(c)) {
        balancedSearchForward(at, in);
    } else if (openingPartner(c)) {
        balancedSearchBackward(at, in);
    } else {
        setRange(at, at);
    }
    selectionMode = Mode::word;
    notifyActive();
}

void SelectionService::simpleScan(Position from, const Buffer& in, const Include& includeFunc) {
    int first = from.col;
    while (first > 0 && includeFunc(Position{first - 1, from.row}))
        --first;
    int last = from.col;
    while (last < in.cols() && includeFunc(Position{last, from.row}))
        ++last;
    setRange(Position{first, from.row}, Position{last, from.row});
}

void SelectionService::balancedSearchForward(Position from, const Buffer& in) {
    const CellTables& tables = terminal_->tables();
    BracketStack brackets(closingPartner);
    const int lastRow = std::min(in.yDisp() + in.rows(), in.lines().count());
    for (int row = from.row, col = from.col; row < lastRow; ++row, col = 0) {
        for (; col < in.cols(); ++col) {
            if (brackets.step(baseScalar(cellAt(in, Position{col, row}), tables))) {
                setRange(from, Position{col + 1, row});
                return;
            }
        }
    }
    setRange(from, from);
}

void SelectionService::balancedSearchBackward(Position from, const Buffer& in) {
    const CellTables& tables = terminal_->tables();
    BracketStack brackets(openingPartner);
    for (int row = from.row, col = from.col; row >= 0; --row, col = in.cols() - 1) {
        for (; col >= 0; --col) {
            if (brackets.step(baseScalar(cellAt(in, Position{col, row}), tables))) {
                setRange(Position{col, row}, Position{from.col + 1, from.row});
                return;
            }
        }
    }
    setRange(from, from);
}

Position SelectionService::extendToWordBoundary(Position position, const Buffer& in, int direction) const {
    const CellTables& tables = terminal_->tables();
    const CellClass cls = classify(cellAt(in, position), tables);
    if (cls == CellClass::other) return position;
    const auto same = [&](int col) { return classify(cellAt(in, Position{col, position.row}), tables) == cls; };
    int col = position.col;
    if (direction < 0) {
        while (col > 0 && same(col - 1))
            --col;
    } else {
        while (col < in.cols() && same(col))
            ++col;
    }
    return Position{col, position.row};
}

std::string SelectionService::getSelectedText() const {
    return terminal_->getText(start, end);
}

} // namespace tarvik
