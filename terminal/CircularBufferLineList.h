#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "terminal/BufferLine.h"

namespace tarvik {

// The ring of rows behind a screen: scrollback on top, the live screen at the bottom.
// Once full, adding a row at the bottom drops the oldest by moving the start index only.
//
// Slots are filled lazily through makeEmpty, and the slot table itself grows on demand up
// to maxLength, so a huge scrollback costs nothing until rows are used. Each slot owns its
// row: copying one row over another keeps each row independent (editing one never shows
// through another) and, at equal width, reuses the destination's cell storage, while
// moving rows around moves only the pointers.
class CircularBufferLineList {
  public:
    using MakeEmpty = std::function<BufferLine(int slot)>;
    using Change = std::function<void(int index)>;
    using Trim = std::function<void(int amount)>;

    CircularBufferLineList(int maxLength, MakeEmpty makeEmpty);

    // Logical line access; an empty slot is filled by makeEmpty on first touch. Indexes
    // are clamped to 0 ..< maxLength; callers keep them below count().
    BufferLine& operator[](int index) {
        // Every run of text and every command looks up its row: a row that already
        // exists is found inline, everything else takes the general path.
        if (static_cast<unsigned>(index) < slots_.size()) {
            Slot& line = slots_[static_cast<std::size_t>(slotIndex(index))];
            if (line) return *line;
        }
        return materialize(index);
    }
    const BufferLine& operator[](int index) const;
    // The line at `index` when it already exists, without filling a slot; null otherwise.
    BufferLine* existing(int index) {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(count_) || index >= static_cast<int>(slots_.size()))
            return nullptr;
        return slots_[static_cast<std::size_t>(slotIndex(index))].get();
    }

    int count() const { return count_; }
    // Grows or shrinks the list at the bottom (clamped to 0 ... maxLength). Rows that
    // appear by growing start blank.
    void setCount(int value);
    int maxLength() const { return maxLength_; }
    // Changes the capacity. Shrinking below count() drops the oldest lines first.
    void setMaxLength(int value);
    bool isFull() const { return count_ == maxLength_; }

    // Appends at the bottom; when full, the oldest line is dropped.
    void push(BufferLine line);
    // Scrolls a full ring by one: the oldest line becomes the new, blank bottom line, its
    // storage reused. On a ring that is not full it appends a fresh blank line instead.
    void recycle();
    // Deletes deleteCount lines at start and inserts items there. `change` receives the
    // index of every line written. When the result would exceed the capacity, the oldest
    // lines are dropped and every index is reported, since all of them moved.
    void splice(int start, int deleteCount, std::span<const BufferLine> items, const Change& change = {});
    // Copies lines start ..< start+count to start+offset. Returns false, with a diagnostic,
    // for arguments it rejects. Moving past the capacity drops the oldest lines.
    bool shiftElements(int start, int count, int offset);
    // Rotates lines first ... last so that line first+amount becomes line first (amount
    // may be negative). Scrolling a region this way swaps rows without copying cells; the
    // caller blanks the rows that came round.
    void rotate(int first, int last, int amount);
    // Drops the oldest `amount` lines.
    void trimStart(int amount);
    // Packs the line at `index` (see BufferLine::pack): the newest history row, as the
    // screen scrolls. Its cell storage is kept for the next recycled row.
    void pack(int index);

    // Visits every line that exists in storage, in slot order; empty slots are skipped
    // because makeEmpty creates them in the current shape when they are first used.
    void forEachStoredLine(const std::function<void(BufferLine&)>& visit);

    // Called with the number of lines dropped from the top whenever the oldest lines go;
    // line indexes held elsewhere (selection, marks) shift up by that amount.
    Trim onTrim;
    bool silentLog = true;

  private:
    // Rows live behind pointers, so that turning a region moves pointers, not rows.
    using Slot = std::unique_ptr<BufferLine>;

    int slotIndex(int index) const {
        const int size = static_cast<int>(slots_.size());
        const int slot = startIndex_ + index;
        return slot >= size ? slot - size : slot;
    }
    BufferLine& materialize(int index);
    Slot& slot(int index) const;
    void ensureStorage(int logicalEnd);
    bool holds(const BufferLine& line) const;
    void dropOldest(int amount);
    void prefetchOldest() const;
    void shiftOverflow(int start, int length, int offset);
    void reportRejected(int start, int count, int offset, const char* message) const;

    mutable std::vector<Slot> slots_;
    // Cell storage of rows packed, for packed rows recycled as blank rows. Where some
    // rows pack and others do not, the two do not alternate; a few spares in hand keep
    // scrolling from allocating and freeing a row's cells at every line.
    static constexpr std::size_t maxSpareCells = 32;
    std::vector<std::vector<CharData>> spareCells_;
    // Code storage of a row that did not pack, for the next row without any.
    PackedCells spareCodes_;
    MakeEmpty makeEmpty_;
    int startIndex_ = 0;
    int count_ = 0;
    int maxLength_ = 1;
};

} // namespace tarvik
