#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "terminal/CharData.h"
#include "terminal/TerminalImage.h"

namespace tarvik {

// A row's cells in packed form (see BufferLine::pack): one code per cell, and runs. A run
// starts at `start` and holds `cell` with each cell's own code; the last run ends with
// the codes. A recycled packed row keeps its code storage, ready for its next packing; a
// row that does not pack passes its storage on (see BufferLine::pack).
struct PackedCells {
    struct Run {
        // Built in place from the row's cell: a record assembled first and copied whole
        // would be read back across two smaller stores, which the processor cannot forward.
        Run(int start, const CharData& cell) : start(start), cell(cell) {}
        int start;
        CharData cell;
    };

    PackedCells() = default;
    PackedCells(const PackedCells& other);
    PackedCells& operator=(const PackedCells& other);
    PackedCells(PackedCells&&) noexcept = default;
    PackedCells& operator=(PackedCells&&) noexcept = default;

    std::span<const std::int32_t> codes() const { return {codes_.get(), static_cast<std::size_t>(codeCount_)}; }
    // Room for `count` codes, for writing; what the storage held is lost.
    std::int32_t* writeCodes(int count);
    // Keeps the storage but no codes (the row is unpacked).
    void clearCodes() { codeCount_ = 0; }
    // Gives the storage back.
    void release();
    const void* storage() const { return codes_.get(); }
    std::size_t storageBytes() const { return static_cast<std::size_t>(codeCapacity_) * sizeof(std::int32_t); }

    std::vector<Run> runs;

  private:
    std::unique_ptr<std::int32_t[]> codes_;
    int codeCount_ = 0;
    int codeCapacity_ = 0;
};

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

    int count() const { return static_cast<int>(isPacked_ ? packed_.codes().size() : data_.size()); }
    const CharData& operator[](int index) const;
    CharData& operator[](int index);
    std::span<CharData> getData() { return cells(); }
    std::span<const CharData> getData() const { return cells(); }
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

    // Rows in the history are kept packed: each cell's code, and the rest of a cell once
    // per run of cells that differ only in their code. Plain text takes a quarter of the
    // memory that way. Whatever reads or writes the cells unpacks the row first, so a
    // packed row behaves as any other.
    //
    // Packing hands the cell storage over to `spare`, for the next recycled row; a row
    // whose look changes more than a few times stays as it is. Returns whether it packed.
    // A row without code storage takes `spareCodes`; a row that does not pack leaves its
    // storage there, or gives it back if some is there already.
    bool pack(std::vector<CharData>& spare, PackedCells& spareCodes);
    bool isPacked() const { return isPacked_; }
    // The cells of an unpacked row `cols` wide; null for a packed row or another width.
    CharData* unpackedCells(int cols) {
        return !isPacked_ && data_.size() == static_cast<std::size_t>(cols) ? data_.data() : nullptr;
    }
    // Makes the row `cols` copies of `cell` without unpacking what it held; a packed row
    // takes its cell storage from `spare`.
    void reset(int cols, const CharData& cell, std::vector<CharData>& spare);
    // Visits every cell in order without unpacking the row.
    void forEachCell(const std::function<void(const CharData&)>& visit) const;
    // Ask for what a coming write needs to be brought into the cache: an unpacked row's
    // cells (blanked when it is recycled), the code storage of a row about to be packed,
    // the row's own record.
    void prefetchCells() const;
    void prefetchCodes() const;
    void prefetchRecord() const;

    // Adds a picture strip drawn over this row. Strips stay with this line object: copies
    // made with from() or copyFrom() do not take them.
    void attach(std::shared_ptr<TerminalImage> image);

    bool isWrapped = false;
    RenderLineMode renderMode = RenderLineMode::single;
    // Absent until the first strip is attached.
    std::optional<std::vector<std::shared_ptr<TerminalImage>>> images;

  private:
    int clampIndex(int index) const;
    // The cells, unpacked first if need be: a reader of a packed row unpacks it too.
    std::vector<CharData>& cells() const {
        if (isPacked_) [[unlikely]]
            unpack();
        return data_;
    }
    void unpack() const;
    // The codes and runs are written: the cells go to `spare`.
    bool packedInto(std::vector<CharData>& spare);

    mutable std::vector<CharData> data_;
    mutable PackedCells packed_;
    mutable bool isPacked_ = false;
    CharData fillCharacter_;
};

} // namespace tarvik
