// Resizing a screen: rows added or removed around the cursor, history capacity
// following the row count, and soft-wrapped text re-wrapped to the new width.
#include "terminal/Buffer.h"

#include <algorithm>

namespace tarvik {

void Buffer::resize(int newCols, int newRows) {
    newCols = std::max(newCols, 1);
    newRows = std::max(newRows, 1);
    if (marginRight > newCols - 1) marginRight = newCols - 1;
    if (marginLeft >= marginRight) marginLeft = marginRight;

    const int newMax = getCorrectBufferLength(newRows);
    if (lines_.maxLength() < newMax) lines_.setMaxLength(newMax);

    if (lines_.count() == 0) {
        scrollBottom_ = newRows - 1;
    } else {
        if (cols_ < newCols)
            lines_.forEachStoredLine([newCols](BufferLine& line) {
                if (line.count() < newCols) line.resize(newCols, CharData::Null);
            });
        int addToY = 0;
        resizeRows(newCols, newRows, addToY);
        if (newMax < lines_.maxLength()) {
            const int amount = lines_.count() - newMax;
            if (amount > 0) {
                lines_.trimStart(amount);
                yBase_ = std::max(yBase_ - amount, 0);
                yDisp_ = std::max(yDisp_ - amount, 0);
                savedY = std::max(savedY - amount, 0);
            }
            lines_.setMaxLength(newMax);
        }
        x_ = std::min(x_, newCols - 1);
        y_ = std::min(y_, newRows - 1) + addToY;
        savedX = std::min(savedX, newCols - 1);
        scrollTop_ = 0;
        scrollBottom_ = newRows - 1;
    }

    tabStops.resize(static_cast<std::size_t>(newCols), false);

    if (isReflowEnabled() && cols_ != newCols) {
        if (cols_ < newCols)
            reflowWider(newCols, newRows);
        else
            reflowNarrower(newCols, newRows);
        if (cols_ > newCols)
            lines_.forEachStoredLine([newCols](BufferLine& line) { line.resize(newCols, CharData::Null); });
    }
    cols_ = newCols;
    rows_ = newRows;
}

void Buffer::resizeRows(int newCols, int newRows, int& addToY) {
    if (rows_ < newRows) {
        for (int r = rows_; r < newRows; ++r) {
            if (lines_.count() >= newRows + yBase_) continue;
            if (yBase_ > 0 && lines_.count() <= yBase_ + r + addToY + 1) {
                // History above the screen comes back into view.
                --yBase_;
                ++addToY;
                if (yDisp_ > 0) --yDisp_;
            } else {
                lines_.push(BufferLine(newCols, CharData::Null));
            }
        }
    } else if (rows_ > newRows) {
        for (int r = rows_; r > newRows; --r) {
            if (lines_.count() <= newRows + yBase_) continue;
            if (lines_.count() > yBase_ + y_ + 1) {
                // Rows below the cursor go first.
                lines_.setCount(lines_.count() - 1);
            } else {
                // The cursor is on the last row: the top row moves into history.
                ++yBase_;
                ++yDisp_;
            }
        }
    }
}

int Buffer::getWrappedLineTrimmedLength(const WrappedGroup& lines, int i, int cols) {
    const int last = static_cast<int>(lines.size()) - 1;
    if (i >= last) return lines[static_cast<std::size_t>(std::clamp(i, 0, last))]->getTrimmedLength();
    // A wide character that did not fit left the last column empty; it is not text.
    const CharData& end = (*lines[static_cast<std::size_t>(i)])[cols - 1];
    const bool endsInNull = end.code() == 0 && end.attribute == CharData::defaultAttr && end.width() == 1;
    const bool nextStartsWide = (*lines[static_cast<std::size_t>(i) + 1])[0].width() == 2;
    return endsInNull && nextStartsWide ? cols - 1 : cols;
}

// ----- widening ------------------------------------------------------------------------

void Buffer::reflowWider(int newCols, int newRows) {
    const std::vector<int> toRemove = getLinesToRemove(cols_, newCols, yBase_ + y_, CharData::Null);
    if (toRemove.empty()) return;

    std::vector<int> layout;
    layout.reserve(static_cast<std::size_t>(lines_.count()));
    int countRemoved = 0;
    std::size_t nextPair = 0;
    for (int i = 0; i < lines_.count(); ++i) {
        if (nextPair + 1 < toRemove.size() && toRemove[nextPair] == i) {
            const int count = toRemove[nextPair + 1];
            i += count - 1;
            countRemoved += count;
            nextPair += 2;
        } else {
            layout.push_back(i);
        }
    }

    std::vector<BufferLine> kept;
    kept.reserve(layout.size());
    for (int index : layout) kept.push_back(std::move(lines_[index]));
    for (std::size_t i = 0; i < kept.size(); ++i) lines_[static_cast<int>(i)] = std::move(kept[i]);
    lines_.setCount(static_cast<int>(layout.size()));

    for (int k = 0; k < countRemoved; ++k) {
        if (yBase_ == 0) {
            if (y_ > 0) --y_;
            if (lines_.count() < newRows) lines_.push(BufferLine(newCols, CharData::Null));
        } else {
            if (yDisp_ == yBase_) --yDisp_;
            --yBase_;
        }
    }
    savedY = std::max(savedY - countRemoved, 0);
}

std::vector<int> Buffer::getLinesToRemove(int oldCols, int newCols, int bufferAbsoluteY, const CharData& nullChar) {
    std::vector<int> result;
    const int count = lines_.count();
    for (int y = 0; y < count - 1; ++y) {
        if (!lines_[y + 1].isWrapped) continue;
        WrappedGroup wrapped{&lines_[y]};
        int i = y + 1;
        while (i < count && lines_[i].isWrapped) wrapped.push_back(&lines_[i++]);
        const int size = static_cast<int>(wrapped.size());

        // The cursor's own group stays as it is: the program is still writing it.
        if (bufferAbsoluteY >= y && bufferAbsoluteY < y + size) {
            y += size - 1;
            continue;
        }

        int destRow = 0;
        int destCol = getWrappedLineTrimmedLength(wrapped, 0, oldCols);
        int srcRow = 1;
        int srcCol = 0;
        while (srcRow < size) {
            const int srcLength = getWrappedLineTrimmedLength(wrapped, srcRow, oldCols);
            const int n = std::min(srcLength - srcCol, newCols - destCol);
            wrapped[destRow]->copyFrom(*wrapped[srcRow], srcCol, destCol, n);
            destCol += n;
            if (destCol == newCols) {
                ++destRow;
                destCol = 0;
            }
            srcCol += n;
            if (srcCol >= srcLength) {
                ++srcRow;
                srcCol = 0;
            }
            // A wide character cannot end a row: it moves to the start of the next.
            if (destCol == 0 && destRow > 0 && destRow < size && (*wrapped[destRow - 1])[newCols - 1].width() == 2) {
                wrapped[destRow]->copyFrom(*wrapped[destRow - 1], newCols - 1, 0, 1);
                (*wrapped[destRow - 1])[newCols - 1] = nullChar;
                destCol = 1;
            }
        }
        if (destRow < size) wrapped[destRow]->replaceCells(destCol, newCols, nullChar);

        int countToRemove = 0;
        for (int ix = size - 1; ix > 0; --ix) {
            if (ix > destRow || wrapped[ix]->getTrimmedLength() == 0)
                ++countToRemove;
            else
                break;
        }
        if (countToRemove > 0) {
            result.push_back(y + size - countToRemove);
            result.push_back(countToRemove);
        }
        y += size - 1;
    }
    return result;
}

// ----- narrowing -----------------------------------------------------------------------

void Buffer::reflowNarrower(int newCols, int newRows) {
    std::vector<InsertionSet> toInsert;
    int countToInsert = 0;
    for (int y = lines_.count() - 1; y >= 0; --y) {
        BufferLine* line = &lines_[y];
        if (!line->isWrapped && line->getTrimmedLength() <= newCols) continue;
        WrappedGroup wrapped{line};
        while (line->isWrapped && y > 0) {
            line = &lines_[--y];
            wrapped.insert(wrapped.begin(), line);
        }
        const int absoluteY = yBase_ + y_;
        if (absoluteY >= y && absoluteY < y + static_cast<int>(wrapped.size())) continue;
        reflowNarrowerGroup(wrapped, y, newCols, newRows, toInsert, countToInsert);
    }
    rearrange(toInsert, countToInsert);
}

void Buffer::reflowNarrowerGroup(WrappedGroup& wrapped, int groupStart, int newCols, int newRows,
                                 std::vector<InsertionSet>& toInsert, int& countToInsert) {
    const int ownRows = static_cast<int>(wrapped.size());
    const int lastLength = wrapped.back()->getTrimmedLength();
    const std::vector<int> lengths = getNewLineLengths(wrapped, cols_, newCols);
    if (lengths.empty()) return;
    const int linesToAdd = static_cast<int>(lengths.size()) - ownRows;
    const int maxLength = lines_.maxLength();
    const int trimmedLines = (yBase_ == 0 && y_ != lines_.count() - 1)
                                 ? std::max(0, y_ - maxLength + linesToAdd)
                                 : std::max(0, lines_.count() - maxLength + linesToAdd);

    if (linesToAdd > 0) {
        InsertionSet set;
        set.start = groupStart + ownRows + countToInsert;
        for (int i = 0; i < linesToAdd; ++i) set.lines.push_back(getBlankLine(CharData::defaultAttr, true));
        toInsert.push_back(std::move(set));
        countToInsert += linesToAdd;
        for (BufferLine& added : toInsert.back().lines) wrapped.push_back(&added);
    }

    // Copy backwards so that no cell is overwritten before it has moved.
    int destRow = static_cast<int>(lengths.size()) - 1;
    int destCol = lengths[static_cast<std::size_t>(destRow)];
    if (destCol == 0 && destRow > 0) destCol = lengths[static_cast<std::size_t>(--destRow)];
    int srcRow = ownRows - 1;
    int srcCol = lastLength;
    while (srcRow >= 0 && destRow >= 0) {
        const int n = std::min(srcCol, destCol);
        wrapped[static_cast<std::size_t>(destRow)]->copyFrom(*wrapped[static_cast<std::size_t>(srcRow)], srcCol - n,
                                                             destCol - n, n);
        destCol -= n;
        if (destCol == 0 && --destRow >= 0) destCol = lengths[static_cast<std::size_t>(destRow)];
        srcCol -= n;
        if (srcCol == 0) {
            --srcRow;
            srcCol = getWrappedLineTrimmedLength(wrapped, std::max(srcRow, 0), cols_);
        }
    }
    // A wide character moved to the next row leaves no half behind.
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] < newCols) (*wrapped[i])[lengths[i]] = CharData::Null;

    for (int k = linesToAdd - trimmedLines; k > 0; --k) {
        if (yBase_ == 0) {
            if (y_ < newRows - 1) {
                ++y_;
                lines_.setCount(lines_.count() - 1);
            } else {
                ++yBase_;
                ++yDisp_;
            }
        } else if (yBase_ < std::min(maxLength, lines_.count() + countToInsert) - newRows) {
            if (yBase_ == yDisp_) ++yDisp_;
            ++yBase_;
        }
    }
    savedY = std::min(savedY + linesToAdd, yBase_ + newRows - 1);
}

std::vector<int> Buffer::getNewLineLengths(const WrappedGroup& wrappedLines, int oldCols, int newCols) {
    std::vector<int> lengths;
    const int size = static_cast<int>(wrappedLines.size());
    long long cellsNeeded = 0;
    for (int i = 0; i < size; ++i) cellsNeeded += getWrappedLineTrimmedLength(wrappedLines, i, oldCols);
    if (cellsNeeded < 1) return lengths;

    int srcCol = 0;
    int srcLine = 0;
    long long available = 0;
    while (available < cellsNeeded) {
        if (cellsNeeded - available < newCols) {
            lengths.push_back(static_cast<int>(cellsNeeded - available));
            break;
        }
        srcCol += newCols;
        const int oldTrimmed = getWrappedLineTrimmedLength(wrappedLines, std::min(srcLine, size - 1), oldCols);
        if (srcCol > oldTrimmed) {
            srcCol -= oldTrimmed;
            ++srcLine;
        }
        const bool endsWide = srcLine < size && srcCol >= 1 && (*wrappedLines[srcLine])[srcCol - 1].width() == 2;
        if (endsWide) --srcCol;
        const int length = endsWide ? newCols - 1 : newCols;
        lengths.push_back(length);
        available += length;
    }
    return lengths;
}

void Buffer::rearrange(std::vector<InsertionSet>& toInsert, int countToInsert) {
    if (toInsert.empty()) return;
    const int oldCount = lines_.count();
    std::vector<BufferLine> saved;
    saved.reserve(static_cast<std::size_t>(oldCount));
    for (int i = 0; i < oldCount; ++i) saved.push_back(std::move(lines_[i]));

    const int maxLength = lines_.maxLength();
    const long long total = static_cast<long long>(oldCount) + countToInsert;
    lines_.setCount(static_cast<int>(std::min<long long>(maxLength, total)));

    int savedIndex = oldCount - 1;
    int insertedSoFar = 0;
    std::size_t next = 0;
    for (int i = static_cast<int>(std::min<long long>(maxLength - 1, total - 1)); i >= 0; --i) {
        if (next < toInsert.size() && toInsert[next].start > savedIndex + insertedSoFar) {
            auto& set = toInsert[next].lines;
            for (int k = static_cast<int>(set.size()) - 1; k >= 0 && i >= 0; --k)
                lines_[i--] = std::move(set[static_cast<std::size_t>(k)]);
            ++i;
            insertedSoFar += static_cast<int>(set.size());
            ++next;
        } else if (savedIndex >= 0) {
            lines_[i] = std::move(saved[static_cast<std::size_t>(savedIndex--)]);
        }
    }
}

} // namespace tarvik
