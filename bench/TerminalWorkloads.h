#pragma once

// Deterministic terminal output for benchmarks and fuzzing seeds. Each workload stands
// for one kind of program output; the same arguments always give the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::workloads {

enum class Workload {
    plainAscii,
    denseSgr,
    altScreenCursor,
    unicodeMix,
    editorSession,
    regionBelowTop,
    regionAboveStatus,
    regionMiddle,
    cursorMotion,
    denseCells,
    mediumCells,
};

inline constexpr Workload allWorkloads[] = {
    Workload::plainAscii,     Workload::denseSgr,          Workload::altScreenCursor, Workload::unicodeMix,
    Workload::editorSession,  Workload::regionBelowTop,    Workload::regionAboveStatus,
    Workload::regionMiddle,   Workload::cursorMotion,      Workload::denseCells,      Workload::mediumCells,
};

inline std::string_view name(Workload w) {
    switch (w) {
    case Workload::plainAscii:
        return "ascii_scroll";
    case Workload::denseSgr:
        return "dense_sgr";
    case Workload::altScreenCursor:
        return "alt_cursor";
    case Workload::unicodeMix:
        return "unicode_mix";
    case Workload::editorSession:
        return "editor";
    case Workload::regionBelowTop:
        return "region_below_top";
    case Workload::regionAboveStatus:
        return "region_above_status";
    case Workload::regionMiddle:
        return "region_middle";
    case Workload::cursorMotion:
        return "cursor_motion";
    case Workload::denseCells:
        return "dense_cells";
    case Workload::mediumCells:
        return "medium_cells";
    }
    return "?";
}

// A small fixed-seed generator: identical streams on every machine and run.
class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ >> 11);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

  private:
    uint64_t state_;
};

namespace detail {

inline void utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

inline void word(std::string& out, Rng& rng, int length) {
    for (int i = 0; i < length; ++i)
        out += static_cast<char>('a' + rng.below(26));
}

inline void moveTo(std::string& out, int row, int col) {
    out += "\x1b[" + std::to_string(row) + ';' + std::to_string(col) + 'H';
}

inline void plainAscii(std::string& out, Rng& rng, int cols) {
    const int length = rng.below(cols + 1);
    for (int i = 0; i < length; ++i)
        out += static_cast<char>(0x20 + rng.below(95));
    out += "\r\n";
}

inline void denseSgr(std::string& out, Rng& rng, int cols) {
    int column = 0;
    while (column < cols - 3) {
        if (rng.below(2))
            out += "\x1b[38;5;" + std::to_string(rng.below(256)) + 'm';
        else
            out += "\x1b[48;2;" + std::to_string(rng.below(256)) + ';' + std::to_string(rng.below(256)) +
                   ';' + std::to_string(rng.below(256)) + 'm';
        const int run = rng.between(1, 3);
        word(out, rng, run);
        column += run;
    }
    out += "\x1b[0m\r\n";
}

inline void altScreenCursor(std::string& out, Rng& rng, int cols, int rows) {
    moveTo(out, rng.between(1, rows), rng.between(1, cols));
    out += "\x1b[3" + std::to_string(rng.below(8)) + 'm';
    word(out, rng, rng.between(2, 10));
    out += "\x1b[m";
}

inline void unicodeMix(std::string& out, Rng& rng, int cols, int rows) {
    moveTo(out, rng.between(1, rows), rng.between(1, cols));
    for (int i = rng.between(4, 16); i > 0; --i) {
        switch (rng.below(5)) {
        case 0:
            utf8(out, 0x4E00 + rng.below(0x5000));
            break; // CJK, two columns
        case 1:
            utf8(out, 0x1F600 + rng.below(0x40));
            break; // emoji, two columns
        case 2:    // letter with combining mark
            out += static_cast<char>('a' + rng.below(26));
            utf8(out, 0x0300 + rng.below(0x20));
            break;
        case 3:
            utf8(out, 0x2500 + rng.below(0x80));
            break; // box drawing
        default:
            word(out, rng, 2);
            break;
        }
    }
}

// A screenful of text edited the way a full-screen editor does: scroll region above a
// status line, insert/delete lines, line erases and status redraws.
inline void editorSession(std::string& out, Rng& rng, int cols, int rows) {
    const int textRows = rows - 1;
    switch (rng.below(6)) {
    case 0: // scroll the text area one line and fill the new bottom line
        out += "\x1b[1;" + std::to_string(textRows) + 'r';
        moveTo(out, textRows, 1);
        out += "\n";
        word(out, rng, rng.below(cols));
        out += "\x1b[r";
        break;
    case 1: // open or close lines inside the region
        out += "\x1b[1;" + std::to_string(textRows) + 'r';
        moveTo(out, rng.between(1, textRows), 1);
        out += "\x1b[" + std::to_string(rng.between(1, 3)) + (rng.below(2) ? 'L' : 'M');
        word(out, rng, rng.below(cols));
        out += "\x1b[r";
        break;
    case 2: // retype part of a line
        moveTo(out, rng.between(1, textRows), rng.between(1, cols / 2));
        out += "\x1b[K";
        out += "\x1b[1m";
        word(out, rng, rng.between(3, 8));
        out += "\x1b[m ";
        word(out, rng, rng.below(cols / 2));
        break;
    case 3: // status line redraw
        moveTo(out, rows, 1);
        out += "\x1b[7m -- INSERT -- line " + std::to_string(rng.below(10000)) + " col " +
               std::to_string(rng.below(cols)) + "\x1b[K\x1b[m";
        break;
    case 4:
        if (rng.below(20) == 0) out += "\x1b[H\x1b[2J";
        moveTo(out, rng.between(1, textRows), 1);
        out += "\x1b[2K";
        word(out, rng, rng.below(cols));
        break;
    default:
        moveTo(out, rng.between(1, textRows), rng.between(1, cols));
        out += "\x1b[J";
        break;
    }
}

// Short lines scrolled inside a region that the prefix of the stream sets up.
inline void shortLine(std::string& out, Rng& rng) {
    word(out, rng, rng.between(5, 30));
    out += "\r\n";
}

// One character at a scattered position, as a program repainting a screen does.
inline void cursorMotion(std::string& out, Rng& rng, int cols, int rows) {
    moveTo(out, rng.between(1, rows), rng.between(1, cols));
    out += static_cast<char>('a' + rng.below(26));
}

// Every cell its own 256-colour foreground and true-colour background.
inline void denseCells(std::string& out, Rng& rng, int cols) {
    for (int column = 0; column < cols - 1; ++column) {
        out += "\x1b[38;5;" + std::to_string(rng.below(256)) + ";48;2;" + std::to_string(rng.below(256)) + ';' +
               std::to_string(rng.below(256)) + ';' + std::to_string(rng.below(256)) + 'm';
        out += static_cast<char>('a' + rng.below(26));
    }
    out += "\x1b[0m\r\n";
}

// A few attribute changes per line, as in a coloured listing or a highlighted source file.
inline void mediumCells(std::string& out, Rng& rng, int cols) {
    int column = 0;
    for (int changes = rng.between(2, 5); changes > 0 && column < cols - 12; --changes) {
        out += "\x1b[" + std::to_string(rng.below(2)) + ';' + std::to_string(31 + rng.below(7)) + 'm';
        const int run = rng.between(3, 12);
        word(out, rng, run);
        out += "\x1b[m ";
        column += run + 1;
    }
    out += "\r\n";
}

// What a stream sets up before its body: a screen, a scroll region, a cursor.
inline std::string prefix(Workload w, int rows) {
    const auto region = [](int top, int bottom) {
        return "\x1b[" + std::to_string(top) + ';' + std::to_string(bottom) + "r\x1b[" + std::to_string(bottom) +
               ";1H";
    };
    switch (w) {
    case Workload::altScreenCursor:
    case Workload::editorSession:
    case Workload::cursorMotion:
        return "\x1b[?1049h\x1b[H\x1b[2J";
    case Workload::regionBelowTop:
        return region(2, rows);
    case Workload::regionAboveStatus:
        return region(1, rows - 1);
    case Workload::regionMiddle:
        return region(rows / 3, rows / 3 + std::max(rows / 4, 3));
    default:
        return "";
    }
}

} // namespace detail

// About `size` bytes of the workload for a screen of cols x rows.
inline std::string generate(Workload w, int cols, int rows, std::size_t size, uint64_t seed = 1) {
    Rng rng(seed + static_cast<uint64_t>(w));
    std::string out;
    out.reserve(size + 512);
    out += detail::prefix(w, rows);
    while (out.size() < size) {
        switch (w) {
        case Workload::plainAscii:
            detail::plainAscii(out, rng, cols);
            break;
        case Workload::denseSgr:
            detail::denseSgr(out, rng, cols);
            break;
        case Workload::altScreenCursor:
            detail::altScreenCursor(out, rng, cols, rows);
            break;
        case Workload::unicodeMix:
            detail::unicodeMix(out, rng, cols, rows);
            break;
        case Workload::editorSession:
            detail::editorSession(out, rng, cols, rows);
            break;
        case Workload::regionBelowTop:
        case Workload::regionAboveStatus:
        case Workload::regionMiddle:
            detail::shortLine(out, rng);
            break;
        case Workload::cursorMotion:
            detail::cursorMotion(out, rng, cols, rows);
            break;
        case Workload::denseCells:
            detail::denseCells(out, rng, cols);
            break;
        case Workload::mediumCells:
            detail::mediumCells(out, rng, cols);
            break;
        }
    }
    return out;
}

} // namespace tarvik::workloads
