#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/BufferLine.h"
#include "terminal/CellTables.h"

namespace tarvik {

// One piece of a copied line: the text of one row (or an inserted line break), with the
// row it came from and its first column (-1 for a line break).
struct LineFragment {
    std::string text;
    int line = 0;
    int location = 0;
    int length = 0; // characters, one per cell that contributed one

    static LineFragment lineBreak(int line) { return LineFragment{"\n", line, -1, 1}; }
    friend bool operator==(const LineFragment&, const LineFragment&) = default;
};

// The text of one logical line of a selection: soft-wrapped rows are fragments of the
// same Line.
struct Line {
    std::vector<LineFragment> fragments;
    int length = 0;

    void add(LineFragment fragment) {
        length += fragment.length;
        fragments.push_back(std::move(fragment));
    }
    std::string text() const;
};

// Byte encodings getBufferAsData can produce.
enum class TextEncoding : std::uint8_t { utf8, utf16LittleEndian, utf16BigEndian };

// Text of cells startCol ..< endCol (endCol -1: the whole line) as a copy would give it:
// empty cells inside the range become spaces, the filler after a wide character gives
// nothing (a copied CJK word must not get a space after every character), and trailing
// empty cells are dropped while typed spaces stay. `characters` receives the number of
// characters produced.
// Clusters are read from `tables`, those of the terminal holding the line.
std::string cellsText(const BufferLine& line, const CellTables& tables, int startCol, int endCol,
                      int* characters = nullptr);

// The text of one row as a selection of that row would copy it.
std::string rowText(const BufferLine& line, const CellTables& tables);

// Re-encodes UTF-8 text; invalid input is replaced, never passed through.
std::vector<std::uint8_t> encodeText(const std::string& utf8, TextEncoding encoding);

} // namespace tarvik
