#include "terminal/CircularBufferLineList.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <iostream>
#include <utility>

namespace tarvik {

namespace {

// Slot table allocated up front; it doubles from here as rows are used.
constexpr int initialSlots = 1024;

using Slot = std::unique_ptr<BufferLine>;

// A slot takes the value of a line; a slot that has a row already reuses its storage.
void assignLine(Slot& slot, const BufferLine& line) {
    if (slot)
        *slot = line;
    else
        slot = std::make_unique<BufferLine>(line);
}

void assignLine(Slot& slot, BufferLine&& line) {
    if (slot)
        *slot = std::move(line);
    else
        slot = std::make_unique<BufferLine>(std::move(line));
}

// Copies keep rows independent: editing one never shows through another.
void copySlot(Slot& to, const Slot& from) {
    if (from)
        assignLine(to, *from);
    else
        to.reset();
}

} // namespace

CircularBufferLineList::CircularBufferLineList(int maxLength, MakeEmpty makeEmpty)
    : makeEmpty_(std::move(makeEmpty)), maxLength_(std::max(maxLength, 1)) {
    slots_.resize(static_cast<std::size_t>(std::min(maxLength_, initialSlots)));
}

// Callers make sure index < slots_.size() (ensureStorage) before asking for a slot.
CircularBufferLineList::Slot& CircularBufferLineList::slot(int index) const {
    return slots_[static_cast<std::size_t>(slotIndex(index))];
}

void CircularBufferLineList::ensureStorage(int logicalEnd) {
    const int size = static_cast<int>(slots_.size());
    if (logicalEnd <= size || size >= maxLength_) return;
    const int grown =
        std::min(maxLength_, std::max(logicalEnd, size > maxLength_ / 2 ? maxLength_ : size * 2));
    std::vector<Slot> storage(static_cast<std::size_t>(grown));
    for (int i = 0; i < size; ++i)
        storage[static_cast<std::size_t>(i)] = std::move(slot(i));
    slots_ = std::move(storage);
    startIndex_ = 0;
}

// Clamps the index, grows the storage and fills an empty slot as needed.
BufferLine& CircularBufferLineList::materialize(int index) {
    index = std::clamp(index, 0, maxLength_ - 1);
    ensureStorage(index + 1);
    const int physical = slotIndex(index);
    Slot& line = slots_[static_cast<std::size_t>(physical)];
    if (!line) line = std::make_unique<BufferLine>(makeEmpty_ ? makeEmpty_(physical) : BufferLine());
    return *line;
}

const BufferLine& CircularBufferLineList::operator[](int index) const {
    index = std::clamp(index, 0, maxLength_ - 1);
    // Past the storage there is no line yet, and a reader must not grow the ring.
    if (index >= static_cast<int>(slots_.size())) {
        static const BufferLine none;
        return none;
    }
    // Filling an empty slot on read does not change what the list holds.
    const int physical = slotIndex(index);
    Slot& line = slots_[static_cast<std::size_t>(physical)];
    if (!line) line = std::make_unique<BufferLine>(makeEmpty_ ? makeEmpty_(physical) : BufferLine());
    return *line;
}

bool CircularBufferLineList::holds(const BufferLine& line) const {
    return std::any_of(slots_.begin(), slots_.end(), [&line](const Slot& slot) { return slot.get() == &line; });
}

void CircularBufferLineList::setCount(int value) {
    value = std::clamp(value, 0, maxLength_);
    if (value > count_) {
        ensureStorage(value);
        // Slots past the end may still hold rows that were dropped; they must not return.
        for (int i = count_; i < value; ++i)
            slot(i).reset();
    }
    count_ = value;
}

void CircularBufferLineList::setMaxLength(int value) {
    value = std::max(value, 1);
    if (value == maxLength_) return;
    if (count_ > value) dropOldest(count_ - value);
    std::vector<Slot> storage(static_cast<std::size_t>(std::min(value, std::max(count_, initialSlots))));
    for (int i = 0; i < count_; ++i)
        storage[static_cast<std::size_t>(i)] = std::move(slot(i));
    slots_ = std::move(storage);
    startIndex_ = 0;
    maxLength_ = value;
}

void CircularBufferLineList::push(BufferLine line) {
    if (count_ < maxLength_) {
        ensureStorage(count_ + 1);
        assignLine(slot(count_), std::move(line));
        ++count_;
        return;
    }
    // Full: the slot after the last line is the oldest line's slot.
    assignLine(slot(0), std::move(line));
    startIndex_ = slotIndex(1);
    if (onTrim) onTrim(1);
}

void CircularBufferLineList::recycle() {
    if (!isFull()) {
        if (!silentLog) std::cout << "can only recycle when the buffer is full\n";
        setCount(count_ + 1);
        return;
    }
    startIndex_ = slotIndex(1);
    // The reused row starts blank: no text, no picture strips, no double-size drawing
    // (the wrap flag is the caller's to set).
    BufferLine& reused = (*this)[count_ - 1];
    std::vector<CharData> cells;
    if (reused.isPacked() && !spareCells_.empty()) {
        cells = std::move(spareCells_.back());
        spareCells_.pop_back();
    }
    reused.reset(reused.count(), CharData::Null, cells);
    reused.renderMode = BufferLine::RenderLineMode::single;
    reused.images.reset();
    prefetchOldest();
    if (onTrim) onTrim(1);
}

// The row recycled next is the oldest, long out of the cache: blanking it would wait on
// memory for each of its cache lines (a packed row takes the spare cells instead, which
// are fresh). Asked for now, a whole line of output ahead, its cells arrive in time; its
// record is asked for one row further ahead still.
void CircularBufferLineList::prefetchOldest() const {
    const Slot& next = slots_[static_cast<std::size_t>(slotIndex(0))];
    if (!next) return;
    next->prefetchCells();
    if (const Slot& after = slots_[static_cast<std::size_t>(slotIndex(1))]) after->prefetchRecord();
}

void CircularBufferLineList::pack(int index) {
    if (index < 0 || index >= count_ || index >= static_cast<int>(slots_.size())) return;
    std::vector<CharData> cells;
    if (Slot& line = slot(index); line && line->pack(cells, spareCodes_) && spareCells_.size() < maxSpareCells)
        spareCells_.push_back(std::move(cells));
    // The row below goes next, a line of output from now; its code storage was last
    // written when it went into the history before.
    if (index + 1 < count_)
        if (const Slot& below = slot(index + 1)) below->prefetchCodes();
}

void CircularBufferLineList::splice(int start, int deleteCount, std::span<const BufferLine> items,
                                    const Change& change) {
    // Rows are swapped around below, so items that live in this ring are copied first.
    std::vector<BufferLine> ownItems;
    if (std::any_of(items.begin(), items.end(), [this](const BufferLine& line) { return holds(line); })) {
        ownItems.assign(items.begin(), items.end());
        items = ownItems;
    }
    start = std::clamp(start, 0, count_);
    deleteCount = std::clamp(deleteCount, 0, count_ - start);
    const long long total =
        static_cast<long long>(count_) - deleteCount + static_cast<long long>(items.size());
    const bool overflow = total > maxLength_;
    const auto notify = [&](int index) {
        if (change && !overflow) change(index);
    };

    // Swapping instead of copying leaves the deleted rows past the end, where they are
    // no longer part of the list, and moves no cells.
    for (int i = start; i < count_ - deleteCount; ++i) {
        std::swap(slot(i), slot(i + deleteCount));
        notify(i);
    }
    count_ -= deleteCount;

    if (overflow) {
        const auto excess = static_cast<int>(total - maxLength_);
        const int dropped = std::min(excess, start);
        dropOldest(dropped);
        start -= dropped;
        // Items that would land above the oldest kept line are dropped as well.
        items = items.subspan(static_cast<std::size_t>(excess - dropped));
    }

    const auto inserted = static_cast<int>(items.size());
    ensureStorage(count_ + inserted);
    for (int i = count_ - 1; i >= start; --i) {
        std::swap(slot(i + inserted), slot(i));
        notify(i + inserted);
    }
    for (int i = 0; i < inserted; ++i) {
        assignLine(slot(start + i), items[static_cast<std::size_t>(i)]);
        notify(start + i);
    }
    count_ += inserted;

    if (overflow && change)
        for (int i = 0; i < count_; ++i)
            change(i);
}

void CircularBufferLineList::reportRejected(int start, int count, int offset, const char* message) const {
    if (silentLog) return;
    std::cout << "Assertion at start=" << start << " count=" << count << " offset=" << offset << ": "
              << message << '\n';
}

bool CircularBufferLineList::shiftElements(int start, int count, int offset) {
    const char* rejection = count < 0                                     ? "count < 0"
                            : start < 0                                   ? "start < 0"
                            : start >= count_                             ? "start >= self.count"
                            : static_cast<long long>(start) + offset <= 0 ? "start+offset <= 0"
                                                                          : nullptr;
    if (rejection) {
        reportRejected(start, count, offset, rejection);
        return false;
    }
    // Rows past the end of the list do not exist, so they cannot be moved.
    const int length = std::min(count, count_ - start);

    if (offset <= 0) {
        for (int i = 0; i < length; ++i)
            copySlot(slot(start + i + offset), slot(start + i));
        return true;
    }
    const long long end = static_cast<long long>(start) + length + offset;
    if (end > maxLength_) {
        shiftOverflow(start, length, offset);
        return true;
    }
    ensureStorage(static_cast<int>(end));
    for (int i = length - 1; i >= 0; --i)
        copySlot(slot(start + i + offset), slot(start + i));
    // Rows opened between the old end and the moved block start blank.
    for (int i = count_; i < start + offset; ++i)
        slot(i).reset();
    count_ = std::max(count_, static_cast<int>(end));
    return true;
}

// Moving a block past the capacity pushes the oldest rows out. Doing the copies in ring
// order would wrap onto rows that are still to be read, so the block is set aside first.
void CircularBufferLineList::shiftOverflow(int start, int length, int offset) {
    std::vector<Slot> block;
    block.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        copySlot(block.emplace_back(), slot(start + i));

    const long long drop = static_cast<long long>(start) + length + offset - maxLength_;
    ensureStorage(maxLength_);
    const int oldCount = count_;
    startIndex_ = static_cast<int>((startIndex_ + drop) % maxLength_);
    count_ = maxLength_;

    // The block lands at the bottom; older rows that survive are already in place.
    const int blockStart = maxLength_ - length;
    const long long survivors = std::max(0LL, oldCount - drop);
    for (int i = static_cast<int>(std::min<long long>(blockStart, survivors)); i < maxLength_; ++i) {
        if (i >= blockStart)
            slot(i) = std::move(block[static_cast<std::size_t>(i - blockStart)]);
        else if (i + drop >= oldCount)
            slot(i).reset();
    }
    if (onTrim) onTrim(static_cast<int>(std::min<long long>(drop, INT_MAX)));
}

void CircularBufferLineList::rotate(int first, int last, int amount) {
    first = std::max(first, 0);
    last = std::min(last, count_ - 1);
    if (first >= last) return;
    const int length = last - first + 1;
    amount = ((amount % length) + length) % length;
    if (amount == 0) return;
    // A line feed in a region turns it by one row either way: each row pointer moves
    // once, into the slot emptied before it.
    if (amount == 1 || amount == length - 1) {
        const bool up = amount == 1;
        const std::size_t size = slots_.size();
        std::size_t at = static_cast<std::size_t>(slotIndex(up ? first : last));
        BufferLine* const moved = slots_[at].release();
        for (int i = 1; i < length; ++i) {
            const std::size_t next = up ? (at + 1 == size ? 0 : at + 1) : (at == 0 ? size - 1 : at - 1);
            slots_[at].reset(slots_[next].release());
            at = next;
        }
        slots_[at].reset(moved);
        return;
    }
    const auto reverse = [this](int from, int to) {
        for (; from < to; ++from, --to)
            std::swap(slot(from), slot(to));
    };
    reverse(first, first + amount - 1);
    reverse(first + amount, last);
    reverse(first, last);
}

void CircularBufferLineList::trimStart(int amount) {
    dropOldest(amount);
}

void CircularBufferLineList::dropOldest(int amount) {
    amount = std::clamp(amount, 0, count_);
    if (amount == 0) return;
    startIndex_ = static_cast<int>((static_cast<long long>(startIndex_) + amount) % slots_.size());
    count_ -= amount;
    if (onTrim) onTrim(amount);
}

void CircularBufferLineList::forEachStoredLine(const std::function<void(BufferLine&)>& visit) {
    for (Slot& line : slots_)
        if (line) visit(*line);
}

} // namespace tarvik
