#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "terminal/Attribute.h"
#include "terminal/BufferLine.h"
#include "terminal/CharData.h"
#include "terminal/CharSets.h"
#include "terminal/CircularBufferLineList.h"
#include "terminal/EditingModes.h"
#include "terminal/Position.h"

namespace tarvik {

// One screen with its history: the ring of lines, the cursor, the scroll region, the
// margins, the tab stops, the saved cursor and the viewport position.
//
// Line indexes count from the oldest line kept (0). yBase is the index of the live
// screen's top row, yDisp that of the top row shown; the cursor row y is relative to
// yBase. Cursor and region setters ignore negative values, so a stray parameter can never
// index before the screen.
class Buffer {
  public:
    // Where insertCharacter last put a cell, with the screen size at that moment.
    struct InsertionPoint {
        int line = 0;
        int col = 0;
        int cols = 0;
        int rows = 0;
        friend bool operator==(const InsertionPoint&, const InsertionPoint&) = default;
    };

    // scrollback absent: no history (the alternate screen).
    Buffer(int cols, int rows, int tabStopWidth = 8, std::optional<int> scrollback = std::nullopt);
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    CircularBufferLineList& lines() { return lines_; }
    const CircularBufferLineList& lines() const { return lines_; }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    std::optional<int> scrollback() const { return scrollback_; }
    bool hasScrollback() const { return scrollback_.has_value(); }
    // Only the screen with history is re-wrapped when the width changes.
    bool isReflowEnabled() const { return hasScrollback(); }

    int x() const { return x_; }
    void setX(int value) { setIfNotNegative(x_, value); }
    int y() const { return y_; }
    void setY(int value) { setIfNotNegative(y_, value); }
    int yBase() const { return yBase_; }
    void setYBase(int value) { setIfNotNegative(yBase_, value); }
    int yDisp() const { return yDisp_; }
    void setYDisp(int value) { setIfNotNegative(yDisp_, value); }
    int scrollTop() const { return scrollTop_; }
    void setScrollTop(int value) { setIfNotNegative(scrollTop_, value); }
    int scrollBottom() const { return scrollBottom_; }
    void setScrollBottom(int value) { setIfNotNegative(scrollBottom_, value); }

    // rows when there is no history, rows + scrollback otherwise, within the int range.
    int getCorrectBufferLength(int rows) const;

    BufferLine getBlankLine(const Attribute& attribute = CharData::defaultAttr, bool isWrapped = false) const;
    // The cell erase operations write: a space in the given attribute.
    static CharData getNullCell(const Attribute& attribute = Attribute::empty);
    // Gives an empty ring its first screenful of blank lines.
    void fillViewportRows(const Attribute& attribute = CharData::defaultAttr);

    // The cell at a viewport position (row relative to yDisp); the null cell outside.
    const CharData& getChar(Position at) const;
    // The same with the row taken as a line index.
    const CharData& getCharBufferRelative(Position at) const;

    // Empties the history and homes the cursor; used when the alternate screen is left.
    void clear();
    void softReset();

    // index -1 lays stops afresh; index >= 0 (the old width) keeps the stops below it.
    void setupTabStops(int index = -1, int tabStopWidth = 8);
    // index -1 means the cursor column.
    int nextTabStop(bool marginMode, int index = -1) const;
    int previousTabStop(int index = -1) const;

    // Places one cell at the cursor, wrapping, inserting and scrolling as the flags say.
    void insertCharacter(const CharData& charData);
    // One printable ASCII byte in the pen's attribute at the cursor when it fits as it is:
    // no wrap, no insert mode, a row of full width. The common case of a character
    // between two sequences (addressing, a colour per cell). Returns false, having
    // changed nothing, when insertCharacter must place it.
    [[gnu::always_inline]] bool putNarrowAscii(uint8_t byte, const CharData& pen) {
        CharData* const cells = rowForNarrowWrite();
        if (!cells) return false;
        // The pen whole, then the code: a cell assembled in a local would be stored in
        // pieces and reloaded whole, which stalls.
        CharData* cell = cells + x_;
        std::memcpy(static_cast<void*>(cell), &pen, sizeof(CharData));
        cell->setAscii(byte);
        lastBufferStorage_ = InsertionPoint{yBase_ + y_, x_, cols_, rows_};
        ++x_;
        return true;
    }
    // Printable ASCII straight into the cursor's row, as much as fits before the right
    // margin; returns how many bytes it took (0 where insertCharacter must place them).
    std::size_t putAsciiInRow(std::span<const uint8_t> bytes, const CharData& pen);
    // Writes text straight into the cursor's row for as long as it fits there and each
    // character takes a cell or two of its own (printable ASCII and well-formed UTF-8
    // scalars of width 1 or 2 that do not combine) or joins, having no width, a single
    // character this call wrote; clusters go into `tables`. Returns how many bytes it
    // took; the general path takes over at the first byte it leaves (0 without
    // insert-free room). `ascii` says every byte is known to be printable ASCII.
    std::size_t putTextInRow(std::span<const uint8_t> bytes, const CharData& pen, CellTables& tables,
                             bool ascii = false);
    std::optional<InsertionPoint> lastBufferStorage() const { return lastBufferStorage_; }

    // Changes the screen size. Rows come and go at the bottom around the cursor, the
    // history follows the row count, and on the screen with history soft-wrapped text
    // is re-wrapped to the new width.
    void resize(int newCols, int newRows);

    // The terminal's scroll-up-by-one operation, installed right after construction.
    void setScroll(std::function<void(bool isWrapped)> scroll) { scroll_ = std::move(scroll); }
    void scroll(bool isWrapped);

    bool silentLog() const { return silentLog_; }
    void setSilentLog(bool value);

    std::vector<bool> tabStops;
    int linesTop = 0;
    int marginLeft = 0;
    int marginRight = 0;
    int savedX = 0;
    int savedY = 0;
    bool savedOriginMode = false;
    bool savedMarginMode = false;
    bool savedWraparound = false;
    bool savedReverseWraparound = false;
    bool savedCharacterProtection = false;
    Attribute savedAttr = CharData::defaultAttr;
    const CharSets::Table* savedCharset = CharSets::defaultCharset;
    Attribute curAttr = Attribute::empty;

    // The editing modes insertCharacter follows: the terminal's own, so both screens
    // always agree.
    const EditingModes& modes() const { return *modes_; }
    void useModes(const EditingModes& modes) { modes_ = &modes; }

  private:
    // New rows made by narrowing, placed into the ring once every group is re-wrapped.
    struct InsertionSet {
        std::vector<BufferLine> lines;
        int start = 0;
    };
    using WrappedGroup = std::vector<BufferLine*>;

    void resizeRows(int newCols, int newRows, int& addToY);
    void reflowWider(int newCols, int newRows);
    void reflowNarrower(int newCols, int newRows);
    void reflowNarrowerGroup(WrappedGroup& wrapped, int groupStart, int newCols, int newRows,
                             std::vector<InsertionSet>& toInsert, int& countToInsert);
    std::vector<int> getLinesToRemove(int oldCols, int newCols, int bufferAbsoluteY, const CharData& nullChar);
    static std::vector<int> getNewLineLengths(const WrappedGroup& wrappedLines, int oldCols, int newCols);
    static int getWrappedLineTrimmedLength(const WrappedGroup& lines, int i, int cols);
    void rearrange(std::vector<InsertionSet>& toInsert, int countToInsert);

    static void setIfNotNegative(int& field, int value) {
        if (value >= 0) field = value;
    }
    CircularBufferLineList makeRing() const;
    // The cells of the cursor's row when characters can be written there as they are: no
    // insert mode, the cursor left of the right edge (`right`, the last column text may
    // take), a row of full width. Null otherwise.
    CharData* rowForDirectWrite(int& right) {
        const EditingModes& modes = *modes_;
        right = modes.marginMode ? std::clamp(marginRight, 0, cols_ - 1) : cols_ - 1;
        if (modes.insertMode || x_ > right) return nullptr;
        BufferLine& line = cursorLine();
        return line.count() == cols_ ? line.getData().data() : nullptr;
    }
    // As rowForDirectWrite for one narrow character, calling nothing: a row not made yet
    // or packed is left to the general path.
    CharData* rowForNarrowWrite() {
        const EditingModes& modes = *modes_;
        const int right = modes.marginMode ? std::clamp(marginRight, 0, cols_ - 1) : cols_ - 1;
        if (modes.insertMode || x_ > right) return nullptr;
        BufferLine* const line = lines_.existing(yBase_ + y_);
        return line ? line->unpackedCells(cols_) : nullptr;
    }
    BufferLine& cursorLine() {
        const long long index = static_cast<long long>(yBase_) + y_;
        const int last = std::max(lines_.count() - 1, 0);
        return lines_[static_cast<int>(std::min<long long>(index, last))];
    }

    int cols_;
    int rows_;
    std::optional<int> scrollback_;
    bool silentLog_ = true; // read while the ring is built
    CircularBufferLineList lines_;
    int x_ = 0;
    int y_ = 0;
    int yBase_ = 0;
    int yDisp_ = 0;
    int scrollTop_ = 0;
    int scrollBottom_ = 0;
    std::optional<InsertionPoint> lastBufferStorage_;
    std::function<void(bool)> scroll_;
    const EditingModes* modes_ = &defaultModes;
    // A buffer on its own neither inserts nor wraps and has no margins.
    static constexpr EditingModes defaultModes{false, false, false};
};

} // namespace tarvik
