// Turning screen cells into text for copying, selections and tools.
#include "terminal/TextExtraction.h"

#include <algorithm>

#include "terminal/Terminal.h"

namespace tarvik {

namespace {

// Decodes one scalar of well-formed UTF-8 (our own output); stray bytes become U+FFFD.
char32_t nextScalar(const std::string& text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) > text.size()) return 0xFFFD;
    char32_t value = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) return 0xFFFD;
        value = value << 6 | (next & 0x3F);
        ++i;
    }
    return value;
}

void appendUnit(std::vector<std::uint8_t>& out, char16_t unit, bool bigEndian) {
    const auto high = static_cast<std::uint8_t>(unit >> 8);
    const auto low = static_cast<std::uint8_t>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

} // namespace

std::string Line::text() const {
    std::string out;
    for (const LineFragment& fragment : fragments)
        out += fragment.text;
    return out;
}

std::string cellsText(const BufferLine& line, const CellTables& tables, int startCol, int endCol,
                      int* characters) {
    const int from = std::max(startCol, 0);
    const int to =
        std::min(endCol < 0 ? line.count() : std::min(endCol, line.count()), line.getTrimmedLength());
    std::string text;
    int count = 0;
    // A range may begin on the filler half of a wide character.
    bool afterWide = from > 0 && from < line.count() && line[from - 1].width() == 2;
    for (int i = from; i < to; ++i) {
        const CharData& cell = line[i];
        if (afterWide && cell.code() == 0) {
            afterWide = false;
            continue;
        }
        afterWide = cell.width() == 2;
        if (cell.code() == 0)
            text += ' ';
        else
            cell.appendCharacter(text, tables);
        ++count;
    }
    if (characters) *characters = count;
    return text;
}

std::string rowText(const BufferLine& line, const CellTables& tables) {
    return cellsText(line, tables, 0, -1);
}

std::vector<std::uint8_t> encodeText(const std::string& utf8, TextEncoding encoding) {
    if (encoding == TextEncoding::utf8) return std::vector<std::uint8_t>(utf8.begin(), utf8.end());
    const bool bigEndian = encoding == TextEncoding::utf16BigEndian;
    std::vector<std::uint8_t> out;
    out.reserve(utf8.size() * 2);
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t scalar = nextScalar(utf8, i);
        if (scalar < 0x10000) {
            appendUnit(out, static_cast<char16_t>(scalar), bigEndian);
            continue;
        }
        const char32_t v = scalar - 0x10000;
        appendUnit(out, static_cast<char16_t>(0xD800 + (v >> 10)), bigEndian);
        appendUnit(out, static_cast<char16_t>(0xDC00 + (v & 0x3FF)), bigEndian);
    }
    return out;
}

// ----- Terminal ------------------------------------------------------------------------

std::vector<Line> Terminal::getSelectedLines(Position start, Position end) const {
    if (Position::compare(start, end) == Position::Ordering::after) std::swap(start, end);
    if (start == end) return {};
    const int count = buffer_->lines().count();
    if (start.row < 0 || start.row >= count) return {};
    if (end.row >= count) end.row = count - 1;
    return _getSelectedLines(start, end);
}

namespace {

// Builds the lines of a selection row by row. Empty rows are held back until a row with
// content follows, so a selection never ends in a run of blank lines.
class LineCollector {
  public:
    LineCollector(const CircularBufferLineList& lines, const CellTables& tables) : lines_(lines), tables_(tables) {}

    void firstRow(int row, int startCol, int endCol) {
        if (!lines_[row].hasAnyContent()) return;
        current_.add(fragment(row, startCol, endCol));
    }

    void middleRow(int row) {
        const BufferLine& line = lines_[row];
        if (!line.hasAnyContent()) {
            if (!line.isWrapped) pending_.push_back(LineFragment::lineBreak(row - 1));
            pending_.push_back(fragment(row, 0, -1));
            return;
        }
        contentRow(row, -1);
    }

    void lastRow(int row, int endCol) {
        if (lines_[row].hasAnyContent()) contentRow(row, endCol);
    }

    std::vector<Line> finish() {
        if (!current_.fragments.empty()) result_.push_back(std::move(current_));
        return std::move(result_);
    }

  private:
    LineFragment fragment(int row, int startCol, int endCol) const {
        int characters = 0;
        std::string text = cellsText(lines_[row], tables_, startCol, endCol, &characters);
        return LineFragment{std::move(text), row, std::max(startCol, 0), characters};
    }

    void contentRow(int row, int endCol) {
        flushPending();
        if (!lines_[row].isWrapped) {
            current_.add(LineFragment::lineBreak(row - 1));
            newLine();
        }
        current_.add(fragment(row, 0, endCol));
    }

    void flushPending() {
        for (LineFragment& fragment : pending_) {
            if (!current_.fragments.empty() && current_.fragments.back().line != fragment.line) newLine();
            current_.add(std::move(fragment));
        }
        pending_.clear();
    }

    void newLine() {
        result_.push_back(std::move(current_));
        current_ = Line{};
    }

    const CircularBufferLineList& lines_;
    const CellTables& tables_;
    std::vector<Line> result_;
    Line current_;
    std::vector<LineFragment> pending_;
};

} // namespace

std::vector<Line> Terminal::_getSelectedLines(Position start, Position end) const {
    LineCollector collector(buffer_->lines(), tables_);
    collector.firstRow(start.row, start.col, end.row == start.row ? end.col : -1);
    for (int row = start.row + 1; row < end.row; ++row)
        collector.middleRow(row);
    if (end.row != start.row) collector.lastRow(end.row, end.col);
    return collector.finish();
}

std::string Terminal::getText(Position start, Position end) const {
    std::string text;
    for (const Line& line : getSelectedLines(start, end))
        text += line.text();
    return text;
}

std::vector<uint8_t> Terminal::getBufferAsData(BufferKind kind, TextEncoding encoding) const {
    const Buffer& source = kind == BufferKind::normal ? *normalBuffer_
                           : kind == BufferKind::alt  ? *altBuffer_
                                                      : *buffer_;
    const CircularBufferLineList& lines = source.lines();
    std::string text;
    for (int row = 0; row < lines.count(); ++row) {
        text += rowText(lines[row], tables_);
        text += '\n';
    }
    return encodeText(text, encoding);
}

std::vector<uint8_t> Terminal::getBufferAsData(BufferKind kind) const {
    return getBufferAsData(kind, TextEncoding::utf8);
}

} // namespace tarvik
