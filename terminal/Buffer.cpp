#include "terminal/Buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <iostream>

#include "terminal/ByteScan.h"
#include "terminal/CellTables.h"
#include "terminal/CellVectors.h"
#include "terminal/CpuFeatures.h"
#include "terminal/UnicodeUtil.h"
#include "terminal/Utf8.h"

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvik {

Buffer::Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback)
    : marginRight(std::max(cols, 1) - 1), cols_(std::max(cols, 1)), rows_(std::max(rows, 1)),
      scrollback_(scrollback ? std::optional<int>(std::max(*scrollback, 0)) : std::nullopt),
      lines_(makeRing()), scrollBottom_(rows_ - 1) {
    setupTabStops(-1, tabStopWidth);
}

CircularBufferLineList Buffer::makeRing() const {
    CircularBufferLineList ring(getCorrectBufferLength(rows_),
                                [this](int) { return getBlankLine(CharData::defaultAttr, false); });
    ring.silentLog = silentLog_;
    return ring;
}

int Buffer::getCorrectBufferLength(int rows) const {
    if (!scrollback_) return rows;
    return static_cast<int>(std::min<long long>(static_cast<long long>(rows) + *scrollback_, INT_MAX));
}

BufferLine Buffer::getBlankLine(const Attribute& attribute, bool isWrapped) const {
    return BufferLine(cols_, CharData(attribute, U'\0', 1), isWrapped);
}

CharData Buffer::getNullCell(const Attribute& attribute) {
    return CharData(attribute, U' ', 1);
}

void Buffer::fillViewportRows(const Attribute& attribute) {
    if (lines_.count() != 0) return;
    for (int i = 0; i < rows_; ++i)
        lines_.push(getBlankLine(attribute, false));
}

const CharData& Buffer::getChar(Position at) const {
    return getCharBufferRelative(
        {at.col, static_cast<int>(std::min<long long>(static_cast<long long>(at.row) + yDisp_, INT_MAX))});
}

const CharData& Buffer::getCharBufferRelative(Position at) const {
    if (at.row < 0 || at.row >= lines_.count()) return CharData::Null;
    const BufferLine& line = lines_[at.row];
    if (at.col < 0 || at.col >= line.count()) return CharData::Null;
    return line[at.col];
}

void Buffer::clear() {
    yDisp_ = 0;
    x_ = 0;
    y_ = 0;
    linesTop = 0;
    auto onTrim = std::move(lines_.onTrim);
    lines_ = makeRing();
    lines_.onTrim = std::move(onTrim);
    scrollTop_ = 0;
    scrollBottom_ = rows_ - 1;
}

void Buffer::softReset() {
    savedAttr = CharData::defaultAttr;
    savedX = 0;
    savedY = 0;
    savedCharset = CharSets::defaultCharset;
    marginLeft = 0;
    marginRight = cols_ - 1;
    savedOriginMode = false;
    savedMarginMode = false;
    savedWraparound = false;
    savedReverseWraparound = false;
    savedCharacterProtection = false;
}

void Buffer::setupTabStops(int index, int tabStopWidth) {
    int start = 0;
    if (index < 0) {
        tabStops.assign(static_cast<std::size_t>(cols_), false);
    } else {
        // After a width change the table is cut or extended to the new width; stops below
        // the old width stay, and the pattern continues from the last of them.
        tabStops.resize(static_cast<std::size_t>(cols_), false);
        const int i = std::min(index, cols_ - 1);
        start = tabStops[static_cast<std::size_t>(i)] ? i : previousTabStop(i);
    }
    // A width below 1 would never advance: only the first stop is laid.
    const long long step = tabStopWidth < 1 ? cols_ : tabStopWidth;
    for (long long column = start; column < cols_; column += step)
        tabStops[static_cast<std::size_t>(column)] = true;
}

int Buffer::previousTabStop(int index) const {
    if (index == -1) index = x_;
    if (index <= 0) return std::max(index, 0);
    int column = std::min(index - 1, static_cast<int>(tabStops.size()) - 1);
    while (column > 0 && !tabStops[static_cast<std::size_t>(column)])
        --column;
    return std::clamp(column, 0, cols_ - 1);
}

int Buffer::nextTabStop(bool marginMode, int index) const {
    if (index == -1) index = x_;
    // A tab never leaves the screen, whatever the right margin says.
    const int limit = std::clamp(marginMode ? marginRight : cols_ - 1, 0, cols_ - 1);
    const int from = std::max(index, -1) + 1;
    if (from > limit) return limit;
    int column = from;
    while (column < limit && !(static_cast<std::size_t>(column) < tabStops.size() &&
                               tabStops[static_cast<std::size_t>(column)]))
        ++column;
    return column;
}

void Buffer::scroll(bool isWrapped) {
    if (scroll_) {
        scroll_(isWrapped);
        return;
    }
    // Without the terminal's scroll the cursor stays on the bottom row and the next text
    // overwrites it: lost output beats a dead session.
    if (!silentLog_) std::cout << "This should be set after creating a buffer\n";
}

void Buffer::insertCharacter(const CharData& charData) {
    const EditingModes& modes = *modes_;
    const int right = std::clamp(modes.marginMode ? marginRight : cols_ - 1, 0, cols_ - 1);
    const int width = charData.width();

    // x may sit one past the right edge: the wrap is pending until a character arrives.
    if (x_ + width - 1 > right) {
        if (modes.wraparound) {
            x_ = modes.marginMode ? std::clamp(marginLeft, 0, cols_ - 1) : 0;
            if (y_ >= scrollBottom_) {
                scroll(true);
            } else {
                ++y_;
                cursorLine().isWrapped = true;
            }
        } else {
            // Half a wide character cannot be shown; a narrow one overwrites the edge.
            if (width >= 2) return;
            x_ = right;
        }
    }

    BufferLine& line = cursorLine();
    // The second half of a wide character is protected as its first half is.
    CharData filler(curAttr, U'\0', 1);
    filler.setProtected(charData.isProtected());
    if (modes.insertMode) {
        line.insertCells(x_, width, right, filler);
        // A wide character pushed to the edge would be cut in half there.
        if (line.count() >= cols_ && line[cols_ - 1].width() == 2) line[cols_ - 1] = filler;
    }

    lastBufferStorage_ = InsertionPoint{yBase_ + y_, x_, cols_, rows_};
    if (x_ >= cols_) x_ = cols_ - 1;
    if (line.count() == cols_) {
        // A row of full width, the normal case: x is a valid index from here on.
        CharData* cells = line.getData().data();
        cells[x_++] = charData;
        for (int i = 1; i < width && x_ < cols_; ++i)
            cells[x_++] = filler;
        return;
    }
    line[x_] = charData;
    ++x_;
    for (int i = 1; i < width && x_ < cols_; ++i) {
        line[x_] = filler;
        ++x_;
    }
}

namespace {

#if defined(__SSE2__)
// The code is the cell's first four bytes, least significant first: a byte below 0x80
// ORed into a pattern whose code is 0 makes the cell in a register, stored once.
constexpr bool codeLeadsTheCell = [] {
    CharData cell;
    cell.setAscii(0x41);
    return std::bit_cast<std::array<uint8_t, sizeof(CharData)>>(cell)[0] == 0x41;
}();
static_assert(codeLeadsTheCell);
#endif

#if defined(__x86_64__)
// Two cells per 32-byte store. The bytes are widened to 16 bits, so each group of four
// bytes reads b, 0, b', 0; widening those four to 64 bits each puts b and b' at the
// start of the register's two halves, where the two cells keep their codes.
__attribute__((target("avx2"))) inline void putAsciiPair(CharData* at, const CharData* pattern, __m128i pair) {
    const __m256i base = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pattern)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm256_or_si256(base, _mm256_cvtepu8_epi64(pair)));
}

__attribute__((target("avx2"))) void writeAsciiInPairs(CharData* cells, const uint8_t* bytes, std::size_t count,
                                                       const CharData& pattern) {
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m128i wide =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + k)), _mm_setzero_si128());
        putAsciiPair(cells + k, &pattern, wide);
        putAsciiPair(cells + k + 2, &pattern, _mm_srli_si128(wide, 4));
        putAsciiPair(cells + k + 4, &pattern, _mm_srli_si128(wide, 8));
        putAsciiPair(cells + k + 6, &pattern, _mm_srli_si128(wide, 12));
    }
    for (; k + 2 <= count; k += 2)
        putAsciiPair(cells + k, &pattern, _mm_cvtsi32_si128(bytes[k] | bytes[k + 1] << 16));
    const __m128i base = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&pattern));
    if (k < count)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + k), _mm_or_si128(base, _mm_cvtsi32_si128(bytes[k])));
}

// Four cells per 64-byte store: sixteen bytes widened to 32 bits each, every fourth word
// of the pattern replaced by one of them. The bytes and cells past the run's end are
// masked off, so a short run takes a single pass. (The zero-masked widening with a full
// mask is the plain one; GCC 12's plain form warns of an undefined register.)
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
writeAsciiInFours(CharData* cells, const uint8_t* bytes, std::size_t count, const CharData& pattern) {
    const __m512i base = simd::fourCopies(pattern);
    const __m512i spread[4] = {
        _mm512_setr_epi32(0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0),
        _mm512_setr_epi32(4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0),
        _mm512_setr_epi32(8, 0, 0, 0, 9, 0, 0, 0, 10, 0, 0, 0, 11, 0, 0, 0),
        _mm512_setr_epi32(12, 0, 0, 0, 13, 0, 0, 0, 14, 0, 0, 0, 15, 0, 0, 0),
    };
    constexpr __mmask16 codes = 0x1111;
    std::size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const __m512i wide =
            _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + k)));
        for (int g = 0; g < 4; ++g)
            _mm512_storeu_si512(cells + k + 4 * g,
                                _mm512_mask_permutexvar_epi32(base, codes, spread[g], wide));
    }
    if (k == count) return;
    const std::size_t rest = count - k;
    const __m512i wide = _mm512_maskz_cvtepu8_epi32(
        0xFFFF, _mm_maskz_loadu_epi8(static_cast<__mmask16>((1u << rest) - 1), bytes + k));
    for (std::size_t g = 0; 4 * g < rest; ++g) {
        const std::size_t inGroup = std::min<std::size_t>(rest - 4 * g, 4);
        _mm512_mask_storeu_epi32(cells + k + 4 * g, static_cast<__mmask16>((1u << (4 * inGroup)) - 1),
                                 _mm512_mask_permutexvar_epi32(base, codes, spread[g], wide));
    }
}
#endif

// Cells for printable ASCII bytes, each the pattern holding its byte.
void writeAscii(CharData* cells, const uint8_t* bytes, std::size_t count, CharData pattern) {
#if defined(__SSE2__)
    pattern.setAscii(0);
#if defined(__x86_64__)
    if (cpu::hasAvx512()) return writeAsciiInFours(cells, bytes, count, pattern);
    if (cpu::hasAvx2()) return writeAsciiInPairs(cells, bytes, count, pattern);
#endif
    const __m128i base = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&pattern));
    const auto put = [&](std::size_t k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + k),
                         _mm_or_si128(base, _mm_cvtsi32_si128(bytes[k])));
    };
    // Four cells a turn: the loop's own bookkeeping is a good part of a cell's cost.
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        put(k);
        put(k + 1);
        put(k + 2);
        put(k + 3);
    }
    for (; k < count; ++k)
        put(k);
#else
    // The whole pattern, then its code, straight into the row: a cell assembled in a
    // local first would be stored in pieces and reloaded whole, which stalls.
    for (std::size_t k = 0; k < count; ++k) {
        std::memcpy(static_cast<void*>(cells + k), &pattern, sizeof(CharData));
        cells[k].setAscii(bytes[k]);
    }
#endif
}

} // namespace

std::size_t Buffer::putAsciiInRow(std::span<const uint8_t> bytes, const CharData& pen) {
    int right;
    CharData* const cells = rowForDirectWrite(right);
    if (!cells || bytes.empty()) return 0;
    const std::size_t take = std::min(bytes.size(), static_cast<std::size_t>(right - x_ + 1));
    writeAscii(cells + x_, bytes.data(), take, pen);
    x_ += static_cast<int>(take);
    lastBufferStorage_ = InsertionPoint{yBase_ + y_, x_ - 1, cols_, rows_};
    return take;
}

std::size_t Buffer::putTextInRow(std::span<const uint8_t> bytes, const CharData& pen, CellTables& tables,
                                 bool ascii) {
    int right;
    CharData* const cells = rowForDirectWrite(right);
    if (!cells) return 0;
    const uint8_t* const p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    int x = x_;
    int last = -1;
    while (i < n && x <= right) {
        const uint8_t b = p[i];
        if (b >= 0x20 && b < 0x7F) {
            const std::size_t run = ascii ? n - i : 1 + asciiRunLength(p + i + 1, n - i - 1);
            const std::size_t take = std::min(run, static_cast<std::size_t>(right - x + 1));
            writeAscii(cells + x, p + i, take, pen);
            i += take;
            x += static_cast<int>(take);
            last = x - 1;
            continue;
        }
        // Anything but a whole, well-formed scalar that takes a cell or two of its own
        // (a mark that joins the cell before, a control, a cut sequence) is left to the
        // general path.
        const int length = utf8::leadLength[b];
        char32_t scalar;
        if (length < 2 || n - i < static_cast<std::size_t>(length) ||
            !utf8::decodeWellFormed(p + i, length, scalar) || scalar < 0xA0)
            break;
        const auto properties = UnicodeUtil::printProperties(scalar);
        if (properties.width == 0 && last >= 0 && cells[last].isSimpleRune() && cells[last].code() != 0) {
            // A character of no width joins the character written just before it.
            const char32_t pair[] = {static_cast<char32_t>(cells[last].code()), scalar};
            cells[last].setValue(std::u32string_view(pair, 2), cells[last].width(), tables);
            i += static_cast<std::size_t>(length);
            continue;
        }
        if (properties.combines || properties.width == 0 || x + properties.width - 1 > right) break;
        CharData cell = pen;
        cell.setValue(scalar, properties.width);
        cells[x] = cell;
        last = x;
        if (properties.width == 2) {
            // The second half of a wide character is protected as its first half is.
            CharData filler(curAttr, U'\0', 1);
            filler.setProtected(pen.isProtected());
            cells[x + 1] = filler;
        }
        x += properties.width;
        i += static_cast<std::size_t>(length);
    }
    if (last >= 0) {
        x_ = x;
        lastBufferStorage_ = InsertionPoint{yBase_ + y_, last, cols_, rows_};
    }
    return i;
}

void Buffer::setSilentLog(bool value) {
    silentLog_ = value;
    lines_.silentLog = value;
}

} // namespace tarvik
