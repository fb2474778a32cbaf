#pragma once

#include <string>
#include <string_view>

#include "terminal/BufferLine.h"
#include "terminal/CellTables.h"

namespace tarvik::screentest {

// Tables for cells that belong to no terminal.
inline CellTables& testTables() {
    static CellTables tables;
    return tables;
}

inline CharData cell(char32_t c, int width = 1) {
    return CharData(CharData::defaultAttr, c, width);
}

// A line whose cells spell `text`; '.' stands for a null cell.
inline BufferLine lineOf(std::u32string_view text, int cols = -1) {
    BufferLine line(cols < 0 ? static_cast<int>(text.size()) : cols);
    for (int i = 0; i < static_cast<int>(text.size()) && i < line.count(); ++i)
        if (text[static_cast<std::size_t>(i)] != U'.') line[i] = cell(text[static_cast<std::size_t>(i)]);
    return line;
}

// The cells of a line as text, null cells shown as '.'.
inline std::string cellsOf(const BufferLine& line) {
    std::string text;
    for (const CharData& c : line.getData()) {
        if (c.code() == 0)
            text += '.';
        else
            c.appendCharacter(text, testTables());
    }
    return text;
}

} // namespace tarvik::screentest
