#pragma once

#include <array>
#include <string>
#include <string_view>

#include "view/KeyEvent.h"

namespace tarvik {

// The byte sequences keys send. "App" variants are used while the terminal's
// application cursor mode is on, "Normal" variants otherwise.
struct EscapeSequences {
    static constexpr std::string_view cmdNewLine = "\n";
    static constexpr std::string_view cmdRet = "\r";
    static constexpr std::string_view cmdEsc = "\x1b";
    static constexpr std::string_view cmdDel = "\x7f";
    static constexpr std::string_view cmdDelKey = "\x1b[3~";
    static constexpr std::string_view moveUpApp = "\x1bOA";
    static constexpr std::string_view moveUpNormal = "\x1b[A";
    static constexpr std::string_view moveDownApp = "\x1bOB";
    static constexpr std::string_view moveDownNormal = "\x1b[B";
    static constexpr std::string_view moveLeftApp = "\x1bOD";
    static constexpr std::string_view moveLeftNormal = "\x1b[D";
    static constexpr std::string_view moveRightApp = "\x1bOC";
    static constexpr std::string_view moveRightNormal = "\x1b[C";
    static constexpr std::string_view moveHomeApp = "\x1bOH";
    static constexpr std::string_view moveHomeNormal = "\x1b[H";
    static constexpr std::string_view moveEndApp = "\x1bOF";
    static constexpr std::string_view moveEndNormal = "\x1b[F";
    static constexpr std::string_view cmdTab = "\t";
    static constexpr std::string_view cmdBackTab = "\x1b[Z";
    static constexpr std::string_view cmdPageUp = "\x1b[5~";
    static constexpr std::string_view cmdPageDown = "\x1b[6~";
    static constexpr std::string_view cmdInsert = "\x1b[2~";
    static constexpr std::string_view emacsBack = "\x1b" "b";
    static constexpr std::string_view emacsForward = "\x1b" "f";
    static constexpr std::string_view controlLeft = "\x1b[1;5D";
    static constexpr std::string_view controlRight = "\x1b[1;5C";
    static constexpr std::array<std::string_view, 12> cmdF = {
        "\x1bOP",   "\x1bOQ",   "\x1bOR",   "\x1bOS",   "\x1b[15~", "\x1b[17~",
        "\x1b[18~", "\x1b[19~", "\x1b[20~", "\x1b[21~", "\x1b[23~", "\x1b[24~",
    };
    static constexpr std::string_view bracketedPasteStart = "\x1b[200~";
    static constexpr std::string_view bracketedPasteEnd = "\x1b[201~";

    // The modifier parameter of the modified key forms: 1 + Shift 1 + Alt 2 + Control 4.
    static int modifierParameter(KeyModifiers modifiers);
    // The modified form of a special key: ESC [ 1 ; m X for the arrows, Home, End and
    // F1-F4, ESC [ n ; m ~ for the others. Empty for keys that have none.
    static std::string modifiedKey(Key key, KeyModifiers modifiers);
    // The application-keypad sequence of a keypad key typing `text` (ESC O p for "0",
    // ESC O M for Enter); empty when the key has none.
    static std::string_view applicationKeypad(std::string_view text, Key key);
};

} // namespace tarvik
