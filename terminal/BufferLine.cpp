#include "terminal/BufferLine.h"

#include "terminal/CpuFeatures.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tarvik {

namespace {

// Cells stay writable even on a line of zero columns; they just go nowhere.
CharData& scratchCell() {
    static thread_local CharData cell;
    cell = CharData::Null;
    return cell;
}

#if defined(__x86_64__)
// Two cells per store where the processor has 32-byte stores: blanking a recycled row
// is a large part of scrolling text.
__attribute__((target("avx2"))) void fillCellsInPairs(CharData* first, CharData* last, const CharData& cell) {
    const __m128i one = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell));
    const __m256i two = _mm256_broadcastsi128_si256(one);
    const auto count = static_cast<std::size_t>(last - first);
    std::size_t i = 0;
    // Eight cells a turn, so the loop's own steps do not outnumber the stores.
    for (; i + 8 <= count; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + i), two);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + i + 2), two);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + i + 4), two);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + i + 6), two);
    }
    for (; i + 2 <= count; i += 2)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(first + i), two);
    if (i < count) _mm_storeu_si128(reinterpret_cast<__m128i*>(first + i), one);
}
#endif

// Every cell of a range made a copy of one cell. The cell is copied as one block from a
// local, so each store is a single 16-byte move; a cell of the range itself is allowed.
void fillCells(CharData* first, CharData* last, const CharData& cell) {
    static_assert(std::is_trivially_copyable_v<CharData> && sizeof(CharData) == 16);
#if defined(__x86_64__)
    if (cpu::hasAvx2()) return fillCellsInPairs(first, last, cell);
#endif
    CharData value;
    std::memcpy(static_cast<void*>(&value), &cell, sizeof value);
    for (; first != last; ++first)
        std::memcpy(static_cast<void*>(first), &value, sizeof value);
}

} // namespace

BufferLine::BufferLine(int cols, const CharData& fillData, bool isWrapped)
    : isWrapped(isWrapped), data_(static_cast<std::size_t>(std::max(cols, 0)), fillData),
      fillCharacter_(fillData) {}

BufferLine BufferLine::from(const BufferLine& other) {
    BufferLine line(other);
    line.renderMode = RenderLineMode::single;
    line.images.reset();
    return line;
}

void BufferLine::attach(std::shared_ptr<TerminalImage> image) {
    if (!images) images.emplace();
    images->push_back(std::move(image));
}

int BufferLine::clampIndex(int index) const {
    return std::clamp(index, 0, count() - 1);
}

const CharData& BufferLine::operator[](int index) const {
    if (data_.empty()) return CharData::Null;
    return data_[static_cast<std::size_t>(clampIndex(index))];
}

CharData& BufferLine::operator[](int index) {
    if (data_.empty()) return scratchCell();
    return data_[static_cast<std::size_t>(clampIndex(index))];
}

void BufferLine::copyFrom(const BufferLine& line) {
    data_ = line.data_;
    isWrapped = line.isWrapped;
}

void BufferLine::copyFrom(const BufferLine& src, int srcCol, int dstCol, int len) {
    if (srcCol < 0 || dstCol < 0) return;
    len = std::min({len, src.count() - srcCol, count() - dstCol});
    if (len <= 0) return;
    const auto from = src.data_.begin() + srcCol;
    // The source may be this line with overlapping ranges.
    if (&src == this && dstCol > srcCol)
        std::copy_backward(from, from + len, data_.begin() + dstCol + len);
    else
        std::copy(from, from + len, data_.begin() + dstCol);
}

void BufferLine::fill(const CharData& cell) {
    fillCells(data_.data(), data_.data() + data_.size(), cell);
}

void BufferLine::fill(const CharData& cell, int atCol, int len) {
    replaceCells(atCol, atCol + len, cell);
}

void BufferLine::replaceCells(int start, int end, const CharData& fillData) {
    start = std::max(start, 0);
    end = std::min(end, count());
    if (start >= end) return;
    fillCells(data_.data() + start, data_.data() + end, fillData);
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fillData) {
    rightMargin = std::min(rightMargin, count() - 1);
    if (rightMargin < 0 || n <= 0) return;
    const int width = rightMargin + 1;
    pos = std::max(pos, 0) % width;
    const auto first = data_.begin() + pos;
    const auto end = data_.begin() + width;
    if (width - pos <= n) {
        std::fill(first, end, fillData);
        return;
    }
    std::copy_backward(first, end - n, end);
    std::fill(first, first + n, fillData);
}

void BufferLine::deleteCells(int pos, int n, int rightMargin, const CharData& fillData) {
    rightMargin = std::min(rightMargin, count() - 1);
    if (rightMargin < 0 || n <= 0) return;
    const int width = rightMargin + 1;
    pos = std::max(pos, 0) % width;
    const auto first = data_.begin() + pos;
    const auto end = data_.begin() + width;
    if (width - pos <= n) {
        std::fill(first, end, fillData);
        return;
    }
    std::copy(first + n, end, first);
    std::fill(end - n, end, fillData);
}

void BufferLine::resize(int cols, const CharData& fillData) {
    data_.resize(static_cast<std::size_t>(std::max(cols, 0)), fillData);
}

int BufferLine::getTrimmedLength() const {
    for (int i = count(); i > 0; --i)
        if (data_[static_cast<std::size_t>(i - 1)].code() != 0) return i;
    return 0;
}

bool BufferLine::hasContent(int index) const {
    const CharData& cell = (*this)[index];
    return cell.code() != 0 || cell.attribute != CharData::defaultAttr;
}

bool BufferLine::hasAnyContent() const {
    return std::any_of(data_.begin(), data_.end(), [](const CharData& cell) {
        return cell.code() != 0 || cell.attribute != CharData::defaultAttr;
    });
}

std::string BufferLine::translateToString(const CellTables& tables, bool trimRight, int startCol,
                                          int endCol) const {
    startCol = std::max(startCol, 0);
    int end = endCol == -1 ? count() : std::min(endCol, count());
    if (trimRight) end = std::max(std::min(getTrimmedLength(), end), startCol);
    std::string text;
    for (int i = startCol; i < end; ++i)
        data_[static_cast<std::size_t>(i)].appendCharacter(text, tables);
    return text;
}

} // namespace tarvik
