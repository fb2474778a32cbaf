#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "terminal/Attribute.h"
#include "terminal/Buffer.h"
#include "terminal/BufferLine.h"
#include "terminal/CellTables.h"
#include "terminal/CharData.h"
#include "terminal/CharSets.h"
#include "terminal/EditingModes.h"
#include "terminal/Color.h"
#include "terminal/EscapeSequenceParser.h"
#include "terminal/TerminalDelegate.h"

namespace tarvik {

// Text extraction types (TextExtraction.h); declared here only so that including the
// terminal does not bring the extraction helpers into every file.
struct Line;
enum class TextEncoding : std::uint8_t;

struct TerminalOptions {
    int cols = 80;
    int rows = 25;
    bool convertEol = false;
    std::string termName = "xterm-256color";
    CursorStyle cursorStyle = CursorStyle::blinkBlock;
    bool screenReaderMode = false;
    int scrollback = 500;
    int tabStopWidth = 8;
    bool enableSixelReported = true;
};

enum class Conformance : uint8_t { vt100, vt200, vt300, vt400, vt500 };
enum class MouseMode : uint8_t { off, x10, vt200, buttonEventTracking, anyEvent };
enum class MouseProtocolEncoding : uint8_t { x10, utf8, sgr, urxvt, sgrPixel };
enum class BufferKind : uint8_t { active, normal, alt };

// How replies introduce their C1 controls: ESC-prefixed 7-bit pairs or single 8-bit bytes.
struct ControlCodes {
    bool send8bit = false;
    std::string_view csi() const { return send8bit ? "\x9b" : "\x1b["; }
    std::string_view osc() const { return send8bit ? "\x9d" : "\x1b]"; }
    std::string_view dcs() const { return send8bit ? "\x90" : "\x1bP"; }
    std::string_view st() const { return send8bit ? "\x9c" : "\x1b\\"; }
};

// The bytes of a UTF-8 sequence cut by the end of a print run, completed by the next run.
struct ReadingBuffer {
    std::array<uint8_t, 4> putbackBuffer{};
    int putbackLength = 0;
};

// The emulator's state machine: owns the parser and both screens, interprets every
// handler call and tells its host what changed. It draws nothing. Not thread-safe;
// every call comes from the thread that feeds it.
//
// The editing modes (insertMode, marginMode, wraparound) are the terminal's EditingModes
// part, which both screens read while printing.
class Terminal : public EditingModes {
public:
    static constexpr int MINIMUM_COLS = 2;
    static constexpr int MINIMUM_ROWS = 1;

    // The delegate must outlive the terminal (the host owns both).
    explicit Terminal(TerminalDelegate& delegate, TerminalOptions options = {});
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal();

    void feed(std::span<const uint8_t> buffer);
    void feed(const std::vector<uint8_t>& byteArray) { feed(std::span<const uint8_t>(byteArray)); }
    void feed(std::string_view text) {
        feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }

    void resize(int cols, int rows);
    void resetToInitialState();

    // Dirty rows since the last clear, as (first, last); none when clean.
    std::optional<std::pair<int, int>> getUpdateRange() const;
    std::optional<std::pair<int, int>> getScrollInvariantUpdateRange() const;
    void clearUpdateRange();
    void updateFullScreen();
    void refresh(int startRow, int endRow);
    // Rows first..last (first <= last, neither negative) in one go: a cursor move marks
    // the row it leaves and the row it reaches.
    void updateRows(int first, int last) {
        refreshStart_ = std::min<int64_t>(refreshStart_, first);
        refreshEnd_ = std::max<int64_t>(refreshEnd_, last);
        const int64_t top = buffer_->yDisp();
        scrollInvariantRefreshStart_ = std::min(scrollInvariantRefreshStart_, top + first);
        scrollInvariantRefreshEnd_ = std::max(scrollInvariantRefreshEnd_, top + last);
    }
    // Marks row y dirty. Called for nearly every command and print run, so it is inline.
    void updateRange(int y, bool scrolling = false) {
        if (y < 0) return;
        refreshStart_ = std::min<int64_t>(refreshStart_, y);
        refreshEnd_ = std::max<int64_t>(refreshEnd_, y);
        if (scrolling) return;
        const int64_t absolute = int64_t(y) + buffer_->yDisp();
        if (absolute < 0) return;
        scrollInvariantRefreshStart_ = std::min(scrollInvariantRefreshStart_, absolute);
        scrollInvariantRefreshEnd_ = std::max(scrollInvariantRefreshEnd_, absolute);
    }

    void showCursor();
    void hideCursor();
    void setTitle(const std::string& text);
    void setIconTitle(const std::string& text);

    // Queries on the active screen.
    std::pair<int, int> getDims() const { return {cols_, rows_}; }
    std::pair<int, int> getCursorLocation() const { return {buffer_->x(), buffer_->y()}; }
    int getTopVisibleRow() const { return buffer_->yDisp(); }
    bool isCurrentBufferAlternate() const { return buffer_ == altBuffer_.get(); }
    const Attribute& currentAttribute() const { return curAttr; }
    const BufferLine* getLine(int row) const;
    const BufferLine* getScrollInvariantLine(int row) const;
    const CharData* getCharData(int col, int row) const;

    // The tables behind this terminal's cells: read a cell's grapheme with
    // cell.getCharacter(tables()) / appendCharacter / copyScalars, its hyperlink payload
    // with cell.getPayload(tables()). Unused entries are reclaimed when a table fills, so
    // a code or atom means something only while a cell of this terminal holds it.
    CellTables& tables() { return tables_; }
    const CellTables& tables() const { return tables_; }
    std::optional<std::string> getCharacter(int col, int row) const;

    void installPalette(std::span<const Color> colors);

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    const TerminalOptions& options() const { return options_; }
    Buffer& buffer() { return *buffer_; }
    const Buffer& buffer() const { return *buffer_; }
    Buffer& normalBuffer() { return *normalBuffer_; }
    Buffer& altBuffer() { return *altBuffer_; }
    EscapeSequenceParser& parser() { return parser_; }
    TerminalDelegate& delegate() { return *tdel_; }
    const std::string& terminalTitle() const { return terminalTitle_; }
    const std::string& iconTitle() const { return iconTitle_; }
    bool silentLog() const { return silentLog_; }
    void setSilentLog(bool value);
    // The table designated to G0-G3; per terminal, so sessions cannot change each other's sets.
    const CharSets::Table* designation(int slot) const { return gDesignations_[slot & 3]; }

    // Mode flags.
    bool applicationKeypad = false;
    bool applicationCursor = false;
    bool sendFocus = false;
    bool cursorHidden = false;
    bool originMode = false;
    bool bracketedPasteMode = false;
    bool reverseWraparound = false;
    bool cursorBlink = false;
    bool allow80To132 = true;
    bool userScrolling = false;
    bool lineFeedMode = false;
    bool smoothScroll = false;
    // DECSCA: cells printed now are protected from selective erase.
    bool characterProtection() const { return pen_.isProtected(); }
    void setCharacterProtection(bool value) { pen_.setProtected(value); }

    // DECSCNM: the whole screen is drawn with the default foreground and background
    // exchanged. A display mode, not a pen: cells keep their own attributes. A change
    // marks every row dirty.
    bool reverseVideo() const { return reverseVideo_; }
    void setReverseVideo(bool value);

    const CharSets::Table* charset = nullptr;
    int gcharset = 0;
    uint8_t gLevel = 0;

  private:
    // What every printed cell starts from: the current attribute, the open link and the
    // protection flag, kept together as one cell so that printing copies it whole
    // instead of assembling it field by field.
    CharData pen_{CharData::defaultAttr, U' ', 1};

  public:
    Attribute& curAttr = pen_.attribute;

    std::vector<Color> installedColors;
    std::vector<Color> defaultAnsiColors;
    std::vector<Color> ansiColors;
    ControlCodes cc;
    std::optional<std::string> hostCurrentDirectory;
    std::optional<std::string> hostCurrentDocument;
    MouseProtocolEncoding mouseProtocol = MouseProtocolEncoding::x10;
    bool settingFgColor = false;
    bool settingBgColor = false;
    bool settingCursorColor = false;
    Color foregroundColor = Color::defaultForeground;
    Color backgroundColor = Color::defaultBackground;
    std::optional<Color> cursorColor;
    MouseMode mouseMode = MouseMode::off;
    bool xtermTitleSetUtf = false;
    bool xtermTitleSetHex = false;
    bool xtermTitleQueryUtf = false;
    bool xtermTitleQueryHex = false;
    Conformance conformance = Conformance::vt500;
    // An open OSC 8 link: where it started and its payload.
    std::optional<std::pair<Position, std::string>> hyperLinkTracking;
    // The interned payload of the open link, stamped onto every cell printed while it is
    // open; none when no link is open.
    TinyAtom& currentLink = pen_.payload;
    std::vector<std::string> terminalTitleStack;
    std::vector<std::string> terminalIconStack;

    // Interpreter operations shared by the command families.
    void setgLevel(uint8_t n);
    void cmdLineFeedBasic();
    void cmdIndex();
    void reverseIndex();
    void cmdBackspace();
    void scroll(bool isWrapped = false);
    void cmdSaveCursor();
    void cmdRestoreCursor();
    void cmdReset();
    void cmdNextLine();
    void cmdTab();
    void cmdCarriageReturn();
    void cmdSetTabStopAtCursor();
    // Where a tab from the cursor lands (the pending-wrap column stays where it is).
    int nextTabColumn() const;
    // Whether the cursor is between the left and right margins (always, without them).
    bool cursorInsideMargins() const;
    void cmdSelectDefaultCharset();
    void designateCharset(uint8_t intermediate, uint8_t final);
    // Clamps the cursor into the screen; x may stay at cols (pending wrap) unless
    // limitToLastColumn. In origin mode y is kept inside the scroll region.
    void restrictCursor(bool limitToLastColumn = true);
    // The attribute blanked cells get: the default with the current background.
    Attribute eraseAttr() const;
    // Cursor placement shared by the editing, mode and report families. setCursor takes
    // 0-based positions relative to the origin (scroll region and margins in origin mode);
    // the forward and backward moves stop at the margins. Inline in the handlers of
    // TerminalEditing.cpp, which defines it; code elsewhere goes through those handlers.
    [[gnu::always_inline]] inline void setCursor(int col, int row);
    // A cell already on the screen (and inside the region in origin mode): the cursor goes
    // there and the rows it leaves and reaches are marked.
    [[gnu::always_inline]] inline void placeCursor(int col, int row);
    void cursorForward(int64_t count);
    void cursorBackward(int64_t count);
    // Hands reply bytes to the host for the child process.
    void sendResponse(std::string_view bytes);
    // Writes one diagnostic line to standard output when silentLog is off.
    void log(const std::string& line) const;

    // Modes, soft reset, conformance level and cursor style (TerminalModes.cpp).
    void setMode(int64_t mode, std::span<const uint8_t> collect);
    void resetMode(int64_t mode, std::span<const uint8_t> collect);
    void cmdDecRqm(std::span<const int64_t> parameters, bool decMode);
    void csiPHandler(std::span<const int64_t> parameters, std::span<const uint8_t> collect);
    void cmdSoftReset();
    // Writes what a full (soft false) or soft reset leaves in every mode kept as a flag.
    void applyModeResets(bool soft);
    // Every one of G0-G3 back to ASCII, as leaving VT52 mode does.
    void cmdDesignateDefaultCharsets();
    void cmdSetColumnMode(int columns);
    void cmdSelectCharacterProtection(std::span<const int64_t> parameters);
    void cmdSetConformanceLevel(std::span<const int64_t> parameters);
    void cmdSetCursorStyle(std::span<const int64_t> parameters, std::span<const uint8_t> collect);
    // fillAttr: the attribute of the blank lines a never-used or cleared alternate screen gets.
    void activateAltBuffer(std::optional<Attribute> fillAttr = std::nullopt);
    void activateNormalBuffer(bool clearAlt);

    // Text extraction (TextExtraction.cpp). Positions are line indexes of the active
    // buffer; the end column is exclusive. Soft-wrapped rows join without a break, empty
    // trailing rows are dropped.
    std::vector<Line> getSelectedLines(Position start, Position end) const;
    std::vector<Line> _getSelectedLines(Position start, Position end) const;
    std::string getText(Position start, Position end) const;
    // Every line of a buffer's ring up to its last character, each followed by a line feed.
    std::vector<uint8_t> getBufferAsData(BufferKind kind, TextEncoding encoding) const;
    std::vector<uint8_t> getBufferAsData(BufferKind kind = BufferKind::active) const; // UTF-8

private:
    void setup(bool isReset);
    void installHandlers();
    void installEscHandlers();
    void installFallbacks();
    // A lone character between two sequences (addressing, a colour per cell) is the
    // commonest run of all: it needs no decoding and touches only its own row.
    // A run of printable ASCII (a line of plain output) goes straight into the row,
    // without the general path's setting up.
    void print(std::span<const uint8_t> run, bool ascii) {
        if (run.size() == 1 && readingBuffer_.putbackLength == 0 && run[0] >= 0x20 && run[0] < 0x7F &&
            !charset && buffer_->putNarrowAscii(run[0], pen_)) {
            updateRows(buffer_->y(), buffer_->y());
            return;
        }
        printRun(run, ascii);
    }
    // Out of line, so that the lone character above is written without saving registers.
    [[gnu::noinline]] void printRun(std::span<const uint8_t> run, bool ascii);
    void printAscii(std::span<const uint8_t> run);
    // `ascii`: every byte of data is known to be printable ASCII.
    void handlePrint(std::span<const uint8_t> data, bool ascii = false);
    void printCluster(std::span<const char32_t> cluster);
    bool combineWithLastCell(std::span<const char32_t> cluster, bool onlyWithinGrapheme);
    void resizeBuffers(int newColumns, int newRows);
    std::unique_ptr<Buffer> makeBuffer(std::optional<int> scrollback) const;
    void checkInvariants() const;
    void markLiveCells(CellTables& tables);
    // A cell printed now: the pen (attribute, open link, protection) holding `scalar`.
    CharData printed(char32_t scalar, int width = 1) const {
        CharData cell = pen_;
        cell.setValue(scalar, width);
        return cell;
    }
    bool scrollsBetweenMargins() const;
    void shiftMarginArea(bool up);
    void scrollRegionDown();
    void blankRotatedLine(BufferLine& line, bool isWrapped);

    TerminalOptions options_;
    // Declared before the buffers, so that it outlives every cell that names it.
    CellTables tables_;
    int cols_;
    int rows_;
    int tabStopWidth_;
    TerminalDelegate* tdel_;
    EscapeSequenceParser parser_;
    std::unique_ptr<Buffer> normalBuffer_;
    std::unique_ptr<Buffer> altBuffer_;
    Buffer* buffer_ = nullptr;
    std::array<const CharSets::Table*, 4> gDesignations_{};
    ReadingBuffer readingBuffer_;
    BufferLine blankLine_;
    bool silentLog_ = true;
    bool reverseVideo_ = false;
    std::string terminalTitle_;
    std::string iconTitle_;

    static constexpr int64_t noRange = std::numeric_limits<int64_t>::max();
    int64_t refreshStart_ = noRange;
    int64_t refreshEnd_ = -1;
    int64_t scrollInvariantRefreshStart_ = noRange;
    int64_t scrollInvariantRefreshEnd_ = -1;
};

} // namespace tarvik
