#include "terminal/BufferLine.h"

#include "terminal/CellVectors.h"
#include "terminal/CpuFeatures.h"

#include <algorithm>
#include <bit>
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

// Four cells per store where the processor has 64-byte stores; the last few cells take
// one store that masks off what lies past the range.
__attribute__((target("avx512f"))) void fillCellsInFours(CharData* first, CharData* last,
                                                         const CharData& cell) {
    const __m512i four = simd::fourCopies(cell);
    const auto count = static_cast<std::size_t>(last - first);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        _mm512_storeu_si512(first + i, four);
        _mm512_storeu_si512(first + i + 4, four);
        _mm512_storeu_si512(first + i + 8, four);
        _mm512_storeu_si512(first + i + 12, four);
    }
    for (; i + 4 <= count; i += 4)
        _mm512_storeu_si512(first + i, four);
    if (i < count)
        _mm512_mask_storeu_epi32(first + i, static_cast<__mmask16>((1u << (4 * (count - i))) - 1), four);
}
#endif

// Every cell of a range made a copy of one cell. The cell is copied as one block from a
// local, so each store is a single 16-byte move; a cell of the range itself is allowed.
void fillCells(CharData* first, CharData* last, const CharData& cell) {
    static_assert(std::is_trivially_copyable_v<CharData> && sizeof(CharData) == 16);
#if defined(__x86_64__)
    if (cpu::hasAvx512()) return fillCellsInFours(first, last, cell);
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
    const auto& data = cells();
    if (data.empty()) return CharData::Null;
    return data[static_cast<std::size_t>(clampIndex(index))];
}

CharData& BufferLine::operator[](int index) {
    auto& data = cells();
    if (data.empty()) return scratchCell();
    return data[static_cast<std::size_t>(clampIndex(index))];
}

void BufferLine::copyFrom(const BufferLine& line) {
    isPacked_ = false;
    packed_.clearCodes();
    data_ = line.cells();
    isWrapped = line.isWrapped;
}

void BufferLine::copyFrom(const BufferLine& src, int srcCol, int dstCol, int len) {
    if (srcCol < 0 || dstCol < 0) return;
    len = std::min({len, src.count() - srcCol, count() - dstCol});
    if (len <= 0) return;
    const auto from = src.cells().begin() + srcCol;
    const auto to = cells().begin() + dstCol;
    // The source may be this line with overlapping ranges.
    if (&src == this && dstCol > srcCol)
        std::copy_backward(from, from + len, to + len);
    else
        std::copy(from, from + len, to);
}

void BufferLine::fill(const CharData& cell) {
    auto& data = cells();
    fillCells(data.data(), data.data() + data.size(), cell);
}

void BufferLine::fill(const CharData& cell, int atCol, int len) {
    replaceCells(atCol, atCol + len, cell);
}

void BufferLine::replaceCells(int start, int end, const CharData& fillData) {
    start = std::max(start, 0);
    end = std::min(end, count());
    if (start >= end) return;
    CharData* const data = cells().data();
    fillCells(data + start, data + end, fillData);
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fillData) {
    rightMargin = std::min(rightMargin, count() - 1);
    if (rightMargin < 0 || n <= 0) return;
    const int width = rightMargin + 1;
    pos = std::max(pos, 0) % width;
    const auto first = cells().begin() + pos;
    const auto end = first + (width - pos);
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
    const auto first = cells().begin() + pos;
    const auto end = first + (width - pos);
    if (width - pos <= n) {
        std::fill(first, end, fillData);
        return;
    }
    std::copy(first + n, end, first);
    std::fill(end - n, end, fillData);
}

void BufferLine::resize(int cols, const CharData& fillData) {
    cells().resize(static_cast<std::size_t>(std::max(cols, 0)), fillData);
}

int BufferLine::getTrimmedLength() const {
    const auto& data = cells();
    for (int i = count(); i > 0; --i)
        if (data[static_cast<std::size_t>(i - 1)].code() != 0) return i;
    return 0;
}

bool BufferLine::hasContent(int index) const {
    const CharData& cell = (*this)[index];
    return cell.code() != 0 || cell.attribute != CharData::defaultAttr;
}

bool BufferLine::hasAnyContent() const {
    const auto& data = cells();
    return std::any_of(data.begin(), data.end(), [](const CharData& cell) {
        return cell.code() != 0 || cell.attribute != CharData::defaultAttr;
    });
}

std::string BufferLine::translateToString(const CellTables& tables, bool trimRight, int startCol,
                                          int endCol) const {
    startCol = std::max(startCol, 0);
    int end = endCol == -1 ? count() : std::min(endCol, count());
    if (trimRight) end = std::max(std::min(getTrimmedLength(), end), startCol);
    const auto& data = cells();
    std::string text;
    for (int i = startCol; i < end; ++i)
        data[static_cast<std::size_t>(i)].appendCharacter(text, tables);
    return text;
}

namespace {

// A cell read as two words; its code is the low half of the first (little-endian).
struct CellWords {
    std::uint64_t head;
    std::uint64_t rest;

    explicit CellWords(const CharData& cell) {
        static_assert(std::is_trivially_copyable_v<CharData> && sizeof(CharData) == 16);
        std::memcpy(this, &cell, sizeof *this);
    }
    // The same but for the code.
    bool sameLook(const CellWords& other) const {
        return ((head ^ other.head) >> 32) == 0 && rest == other.rest;
    }
};
static_assert(std::endian::native == std::endian::little);

// Copies codes out of a row one run at a time.
class CodeScan {
  public:
    CodeScan(const CharData* cells, std::int32_t* codes) : cells_(cells), codes_(codes) {}

    // Copies the codes of the cells from `start` up to `end` that look as cells[start]
    // does; returns the index of the first cell that looks different (or `end`).
    int sameLookFrom(int start, int end) const {
        const CellWords look(cells_[start]);
        // Where the look changes at all it often changes again within a few cells; the
        // blocks pay off only on a long run.
        int i = sameLookOneByOne(look, start, std::min(end, start + 8));
#if defined(__x86_64__)
        if (i == start + 8 && cpu::hasAvx2()) i = sameLookInBlocks(cells_[start], i, end);
#endif
        return sameLookOneByOne(look, i, end);
    }

#if defined(__x86_64__)
    // Copies the codes of a row whose cells all look as the first does, and says whether
    // it was one, in the widest blocks the processor has (false where it has none, or the
    // row is narrower than a block). Plain text is such a row: it is read in blocks to
    // the end, with no exit that depends on the text (how far a line of text reaches
    // varies from line to line, and a branch on it mispredicts); a last partial block
    // overlaps the one before. A row whose first block differs is left at once to the
    // search for runs.
    bool wholeRowOneLookInBlocks(int cols) const {
        if (cols >= 16 && cpu::hasAvx512()) return wholeRowOneLookInFours(cols);
        return cols >= 8 && cpu::hasAvx2() && wholeRowOneLook(cols);
    }
#endif

  private:
#if defined(__x86_64__)
    // Eight cells a block, two to a register.
    __attribute__((target("avx2"))) bool wholeRowOneLook(int cols) const {
        const __m256i look = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells_)));
        // Locals: the code stores could otherwise alias the pointers, reloaded each turn.
        const CharData* const cells = cells_;
        std::int32_t* const codes = codes_;
        __m256i differ = blockDiffers(cells, codes, look, 0);
        if (!_mm256_testz_si256(differ, butCode())) return false;
        int i = 8;
        for (; i + 8 <= cols; i += 8)
            differ = _mm256_or_si256(differ, blockDiffers(cells, codes, look, i));
        if (i < cols) differ = _mm256_or_si256(differ, blockDiffers(cells, codes, look, cols - 8));
        return _mm256_testz_si256(differ, butCode());
    }

    // Sixteen cells a block, four to a register.
    __attribute__((target("avx512f"))) bool wholeRowOneLookInFours(int cols) const {
        const __m512i look = simd::fourCopies(*cells_);
        const CharData* const cells = cells_;
        std::int32_t* const codes = codes_;
        __m512i differ = blockOf16Differs(cells, codes, look, 0, _mm512_setzero_si512());
        if (_mm512_test_epi32_mask(differ, butCodeOfFour()) != 0) return false;
        int i = 16;
        for (; i + 16 <= cols; i += 16)
            differ = blockOf16Differs(cells, codes, look, i, differ);
        if (i < cols) differ = blockOf16Differs(cells, codes, look, cols - 16, differ);
        return _mm512_test_epi32_mask(differ, butCodeOfFour()) == 0;
    }
#endif

    int sameLookOneByOne(const CellWords& look, int i, int end) const {
        for (; i < end; ++i) {
            const CellWords cell(cells_[i]);
            if (!cell.sameLook(look)) break;
            codes_[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(cell.head));
        }
        return i;
    }

#if defined(__x86_64__)
    __attribute__((target("avx2"))) static __m256i load(const CharData* at) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    }

    // Every bit but those of the codes, of two cells.
    __attribute__((target("avx2"))) static __m256i butCode() {
        return _mm256_setr_epi32(0, -1, -1, -1, 0, -1, -1, -1);
    }

    // Eight cells from i, two to a register: their codes gathered from the four
    // registers into one store, and where they differ from `look` returned.
    __attribute__((target("avx2"))) static __m256i blockDiffers(const CharData* cells, std::int32_t* codes,
                                                                __m256i look, int i) {
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        const __m256i a = load(cells + i), b = load(cells + i + 2);
        const __m256i c = load(cells + i + 4), d = load(cells + i + 6);
        const __m256i gathered = _mm256_unpacklo_epi64(_mm256_unpacklo_epi32(a, b), _mm256_unpacklo_epi32(c, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(codes + i), _mm256_permutevar8x32_epi32(gathered, order));
        return _mm256_or_si256(_mm256_or_si256(_mm256_xor_si256(a, look), _mm256_xor_si256(b, look)),
                               _mm256_or_si256(_mm256_xor_si256(c, look), _mm256_xor_si256(d, look)));
    }

    __attribute__((target("avx512f"))) static __m512i butCodeOfFour() {
        return _mm512_set4_epi32(-1, -1, -1, 0);
    }

    // Sixteen cells from i, four to a register: their codes gathered into one store, and
    // where they differ from `look` ORed into `differ`.
    __attribute__((target("avx512f"))) static __m512i
    blockOf16Differs(const CharData* cells, std::int32_t* codes, __m512i look, int i, __m512i differ) {
        const __m512i firstWords =
            _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 0, 4, 8, 12, 16, 20, 24, 28);
        const __m512i a = _mm512_loadu_si512(cells + i), b = _mm512_loadu_si512(cells + i + 4);
        const __m512i c = _mm512_loadu_si512(cells + i + 8), d = _mm512_loadu_si512(cells + i + 12);
        const __m512i low = _mm512_permutex2var_epi32(a, firstWords, b);
        const __m512i high = _mm512_permutex2var_epi32(c, firstWords, d);
        _mm512_storeu_si512(codes + i, _mm512_mask_blend_epi32(0xFF00, low, high));
        // (x ^ look) | (y ^ look), then the three ORed together.
        const __m512i ab = _mm512_ternarylogic_epi32(a, b, look, 0x7E);
        const __m512i cd = _mm512_ternarylogic_epi32(c, d, look, 0x7E);
        return _mm512_ternarylogic_epi32(differ, ab, cd, 0xFE);
    }

    // Eight cells a turn while all eight look alike. The codes of the block that
    // differs are written too; the cell-by-cell scan after it writes them again.
    __attribute__((target("avx2"))) int sameLookInBlocks(const CharData& cell, int i, int end) const {
        const __m256i look = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell)));
        for (; i + 8 <= end; i += 8)
            if (!_mm256_testz_si256(blockDiffers(cells_, codes_, look, i), butCode())) break;
        return i;
    }
#endif

    const CharData* cells_;
    std::int32_t* codes_;
};

// Calls visit(col, cell) for each cell that has a code of its own, in order.
template <typename Visit> void forEachPackedCell(const PackedCells& packed, Visit&& visit) {
    const std::span<const std::int32_t> codes = packed.codes();
    const int end = static_cast<int>(codes.size());
    for (std::size_t r = 0; r < packed.runs.size(); ++r) {
        const int stop = r + 1 < packed.runs.size() ? packed.runs[r + 1].start : end;
        CharData cell = packed.runs[r].cell;
        for (int col = packed.runs[r].start; col < stop; ++col) {
            cell.restoreCode(codes[static_cast<std::size_t>(col)]);
            visit(col, cell);
        }
    }
}

} // namespace

PackedCells::PackedCells(const PackedCells& other) : runs(other.runs) {
    std::copy(other.codes().begin(), other.codes().end(), writeCodes(other.codeCount_));
}

PackedCells& PackedCells::operator=(const PackedCells& other) {
    if (this != &other) {
        runs = other.runs;
        std::copy(other.codes().begin(), other.codes().end(), writeCodes(other.codeCount_));
    }
    return *this;
}

std::int32_t* PackedCells::writeCodes(int count) {
    if (count > codeCapacity_) {
        codes_ = std::make_unique_for_overwrite<std::int32_t[]>(static_cast<std::size_t>(count));
        codeCapacity_ = count;
    }
    codeCount_ = count;
    return codes_.get();
}

void PackedCells::release() {
    codes_.reset();
    codeCount_ = codeCapacity_ = 0;
    runs = {};
}

bool BufferLine::pack(std::vector<CharData>& spare, PackedCells& spareCodes) {
    if (isPacked_ || data_.empty()) return false;
    if (packed_.storageBytes() == 0) std::swap(packed_, spareCodes);
    const int cols = count();
    const CharData* const cells = data_.data();
    // Codes take 4 bytes a cell and a run a record of its own. Plain text is one run; a
    // coloured prompt, or coloured text before blank cells, a few. A row where the look
    // changes more often (colour every few cells; a wide character starts one run, its
    // second half another) is left as it is, and the search for its runs stops early:
    // runs of a few cells end where no branch can predict them.
    const std::size_t maxRuns = std::min<std::size_t>(static_cast<std::size_t>(cols) / 8, 4);
    const CodeScan scan(cells, packed_.writeCodes(cols));
    packed_.runs.clear();
#if defined(__x86_64__)
    if (scan.wholeRowOneLookInBlocks(cols)) {
        packed_.runs.emplace_back(0, cells[0]);
        return packedInto(spare);
    }
#endif
    for (int at = 0; at < cols;) {
        if (packed_.runs.size() == maxRuns) {
            // The row stays as it is in the history, without code storage, which waits
            // for the next row to pack (one in hand is enough).
            packed_.clearCodes();
            if (spareCodes.storageBytes() == 0)
                std::swap(packed_, spareCodes);
            else
                packed_.release();
            return false;
        }
        packed_.runs.emplace_back(at, cells[at]);
        at = scan.sameLookFrom(at, cols);
    }
    return packedInto(spare);
}

bool BufferLine::packedInto(std::vector<CharData>& spare) {
    isPacked_ = true;
    spare = std::move(data_);
    data_ = std::vector<CharData>{};
    return true;
}

void BufferLine::unpack() const {
    data_.resize(packed_.codes().size());
    forEachPackedCell(packed_, [this](int col, const CharData& cell) { data_[static_cast<std::size_t>(col)] = cell; });
    // A row unpacked to be read or edited seldom packs again soon: its storage goes.
    packed_.release();
    isPacked_ = false;
}

void BufferLine::reset(int cols, const CharData& cell, std::vector<CharData>& spare) {
    if (isPacked_) {
        isPacked_ = false;
        packed_.clearCodes();
        data_ = std::move(spare);
        spare = std::vector<CharData>{};
    }
    data_.resize(static_cast<std::size_t>(std::max(cols, 0)));
    fill(cell);
}

void BufferLine::forEachCell(const std::function<void(const CharData&)>& visit) const {
    if (!isPacked_) {
        for (const CharData& cell : data_)
            visit(cell);
        return;
    }
    forEachPackedCell(packed_, [&visit](int, const CharData& cell) { visit(cell); });
}

namespace {

void prefetchForWriting(const void* start, std::size_t size) {
    if (!start) return;
    const auto* bytes = static_cast<const char*>(start);
    for (std::size_t offset = 0; offset < size; offset += 64)
        __builtin_prefetch(bytes + offset, 1, 3);
}

} // namespace

void BufferLine::prefetchCells() const {
    if (!isPacked_) prefetchForWriting(data_.data(), data_.size() * sizeof(CharData));
}

void BufferLine::prefetchCodes() const {
    // A row that never went into the history has no code storage yet.
    prefetchForWriting(packed_.storage(), std::min(packed_.storageBytes(), data_.size() * sizeof(std::int32_t)));
}

void BufferLine::prefetchRecord() const {
    prefetchForWriting(this, sizeof(BufferLine));
}

} // namespace tarvik
