#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "terminal/CharData.h"
#include "terminal/TerminalImage.h"

namespace tarvik {

// One row of cells. The cells are one contiguous array so that printing, erasing and
// drawing walk memory linearly; copying a line into a line of the same width reuses the
// destination's storage, so moving rows around a full screen does not allocate.
//
// Every index is absorbed rather than trusted: reads and writes past the end land on the
// last cell, negative indexes on the first, and ranges are clipped to the line.
class BufferLine {
  public:
    enum class RenderLineMode : std::uint8_t { single, doubleWidth, doubledTop, doubledDown };

    explicit BufferLine(int cols = 0, const CharData& fillData = CharData::Null, bool isWrapped = false);

    // A copy for rebuilding rows (reflow): cells, fill and wrap flag, but drawn as a
    // single-width row again. Plain copying keeps everything.
    static BufferLine from(const BufferLine& other);

    int count() const { return static_cast<int>(data_.size()); }
    const CharData& operator[](int index) const;
    CharData& operator[](int index);
    std::span<CharData> getData() { return data_; }
    std::span<const CharData> getData() const { return data_; }
    int getWidth(int index) const { return (*this)[index].width(); }
    const CharData& fillCharacter() const { return fillCharacter_; }

    // Takes over the other line's cells and wrap flag.
    void copyFrom(const BufferLine& line);
    // Replaces cells dstCol ..< dstCol+len with src's cells srcCol ..< srcCol+len.
    void copyFrom(const BufferLine& src, int srcCol, int dstCol, int len);
    void fill(const CharData& cell);
    void fill(const CharData& cell, int atCol, int len);
    // Sets cells start ..< min(end, count).
    void replaceCells(int start, int end, const CharData& fillData);
    // Opens n cells at pos, pushing cells right up to and including rightMargin.
    void insertCells(int pos, int n, int rightMargin, const CharData& fillData);
    // Removes n cells at pos, pulling cells left from as far as rightMargin.
    void deleteCells(int pos, int n, int rightMargin, const CharData& fillData);
    void resize(int cols, const CharData& fillData);

    // Index just past the last non-null cell; spaces count as content.
    int getTrimmedLength() const;
    // A null cell with a non-default attribute is content too (a coloured erase).
    bool hasContent(int index) const;
    bool hasAnyContent() const;
    // The cells' graphemes, clusters read from the tables of the terminal holding the line.
    std::string translateToString(const CellTables& tables, bool trimRight = false, int startCol = 0,
                                  int endCol = -1) const;
    std::string debugDescription(const CellTables& tables) const { return translateToString(tables); }

    // Adds a picture strip drawn over this row. Strips stay with this line object: copies
    // made with from() or copyFrom() do not take them.
    void attach(std::shared_ptr<TerminalImage> image);

    bool isWrapped = false;
    RenderLineMode renderMode = RenderLineMode::single;
    // Absent until the first strip is attached.
    std::optional<std::vector<std::shared_ptr<TerminalImage>>> images;

  private:
    int clampIndex(int index) const;

    std::vector<CharData> data_;
    CharData fillCharacter_;
};

} // namespace tarvik
