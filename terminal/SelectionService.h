#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "terminal/Buffer.h"
#include "terminal/Position.h"

namespace tarvik {

class Terminal;

// The user's selection over the terminal's active buffer. Positions are line indexes of
// the buffer (not viewport rows); the end column is exclusive. The selection does not
// follow the buffer when it scrolls or resizes: the view clears it when that matters.
class SelectionService {
  public:
    enum class Mode : std::uint8_t { character = 0, word = 1, line = 2 };

    static constexpr char32_t nullChar = U'\0';

    explicit SelectionService(Terminal& terminal) : terminal_(&terminal) {}

    bool active() const { return active_; }
    // Tells the delegate when the value changes; ending the selection forgets the pivot.
    void setActive(bool value);

    void startSelection();
    void setSoftStart(Position bufferPosition);
    // row is relative to the viewport.
    void shiftExtend(int row, int col);
    void shiftExtend(Position bufferPosition);
    void dragExtend(Position bufferPosition);
    void select(int row);
    void selectAll();
    void selectWordOrExpression(Position at, const Buffer& in);
    // Moves a position to the edge of the run (word, spaces or empty cells) it lies in:
    // the run's first column for direction < 0, the column after it otherwise.
    Position extendToWordBoundary(Position position, const Buffer& in, int direction) const;

    std::string getSelectedText() const;

    bool hasSelectionRange = false;
    Position start;
    std::optional<Position> pivot;
    Position end;
    bool selectingRows = false;
    Mode selectionMode = Mode::character;

  private:
    using Include = std::function<bool(Position)>;

    void notifyActive();
    void simpleScan(Position from, const Buffer& in, const Include& includeFunc);
    void balancedSearchForward(Position from, const Buffer& in);
    void balancedSearchBackward(Position from, const Buffer& in);
    void setRange(Position first, Position last);

    Terminal* terminal_;
    bool active_ = false;
};

} // namespace tarvik
