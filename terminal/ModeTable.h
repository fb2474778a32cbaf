#pragma once

#include <cstdint>
#include <span>

namespace tarvik {

class Terminal;

enum class ModeKind : std::uint8_t { ansi, dec };

// What a full or a soft reset leaves in a mode kept as a flag.
enum class ModeAfter : std::uint8_t { kept, off, on };

// DECRPM status values.
enum ModeStatus : int { notRecognised = 0, set = 1, reset = 2, permanentlySet = 3, permanentlyReset = 4 };

// One ANSI or DEC private mode: where its state lives and what setting, resetting,
// reporting and the two resets do with it. Every mode the terminal knows is declared
// once, in modeTable().
struct ModeDeclaration {
    ModeKind kind = ModeKind::dec;
    int number = 0;
    // A Boolean of the terminal: set writes true, reset false, the report reads it and the
    // resets write what afterReset / afterSoftReset say.
    bool Terminal::*flag = nullptr;
    ModeAfter afterReset = ModeAfter::kept;
    ModeAfter afterSoftReset = ModeAfter::kept;
    // What setting or resetting does besides writing the flag; for a mode without a flag,
    // everything it does. A direction with neither does nothing and is logged as
    // unhandled unless marked quiet.
    void (*onSet)(Terminal&) = nullptr;
    void (*onReset)(Terminal&) = nullptr;
    // The state of a mode kept elsewhere (mouse, screens, cursor); without it and without
    // a flag the report is fixedStatus.
    bool (*isSet)(const Terminal&) = nullptr;
    int fixedStatus = ModeStatus::notRecognised;
    bool quietSet = false;
    bool quietReset = false;

    int status(const Terminal& terminal) const;
};

std::span<const ModeDeclaration> modeTable();
// Null for a mode the terminal does not know.
const ModeDeclaration* findMode(ModeKind kind, std::int64_t number);

} // namespace tarvik
