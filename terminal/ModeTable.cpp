// Every ANSI and DEC private mode the terminal knows, in one table.
#include "terminal/ModeTable.h"

#include <algorithm>
#include <array>

#include "terminal/Terminal.h"

namespace tarvik {

namespace {

using enum ModeKind;
using enum ModeAfter;

template <MouseMode mode>
void trackMouse(Terminal& t) {
    t.mouseMode = mode;
    t.delegate().mouseModeChanged(t);
}

void stopMouse(Terminal& t) {
    trackMouse<MouseMode::off>(t);
}

template <MouseMode mode>
bool tracksMouse(const Terminal& t) {
    return t.mouseMode == mode;
}

template <MouseProtocolEncoding encoding>
void encodeMouse(Terminal& t) {
    t.mouseProtocol = encoding;
}

// A program that drops its encoding is done with the mouse altogether.
void dropMouseEncoding(Terminal& t) {
    t.mouseProtocol = MouseProtocolEncoding::x10;
    stopMouse(t);
}

template <MouseProtocolEncoding encoding>
bool encodesMouse(const Terminal& t) {
    return t.mouseProtocol == encoding;
}

constexpr ModeDeclaration fixed(ModeKind kind, int number, int status, bool quiet = false) {
    return {.kind = kind, .number = number, .fixedStatus = status, .quietSet = quiet, .quietReset = quiet};
}

const std::array table{
    // ANSI modes.
    fixed(ansi, 1, permanentlyReset),
    fixed(ansi, 2, ModeStatus::reset, true),
    fixed(ansi, 3, ModeStatus::reset),
    ModeDeclaration{.kind = ansi, .number = 4, .flag = &Terminal::insertMode, .afterReset = off, .afterSoftReset = off},
    fixed(ansi, 5, permanentlyReset),
    fixed(ansi, 7, permanentlyReset),
    fixed(ansi, 10, permanentlyReset),
    fixed(ansi, 11, permanentlyReset),
    fixed(ansi, 12, ModeStatus::set),
    fixed(ansi, 13, permanentlyReset),
    fixed(ansi, 14, permanentlyReset),
    fixed(ansi, 15, permanentlyReset),
    fixed(ansi, 16, permanentlyReset),
    fixed(ansi, 17, permanentlyReset),
    fixed(ansi, 18, permanentlyReset),
    fixed(ansi, 19, permanentlyReset),
    // After either reset the options (convertEol) decide line feed mode.
    ModeDeclaration{.kind = ansi, .number = 20, .flag = &Terminal::lineFeedMode, .afterReset = off, .afterSoftReset = off},

    // DEC private modes.
    ModeDeclaration{.kind = dec, .number = 1, .flag = &Terminal::applicationCursor, .afterReset = off,
                    .afterSoftReset = off},
    // Leaving VT52 mode; there is no way back into it.
    ModeDeclaration{.kind = dec, .number = 2, .onSet = [](Terminal& t) { t.cmdDesignateDefaultCharsets(); },
                    .fixedStatus = ModeStatus::set},
    ModeDeclaration{.kind = dec,
                    .number = 3,
                    .onSet = [](Terminal& t) { t.cmdSetColumnMode(132); },
                    .onReset = [](Terminal& t) { t.cmdSetColumnMode(80); },
                    .isSet = [](const Terminal& t) { return t.buffer().cols() == 132; }},
    ModeDeclaration{.kind = dec, .number = 4, .flag = &Terminal::smoothScroll},
    ModeDeclaration{.kind = dec,
                    .number = 5,
                    .onSet = [](Terminal& t) { t.setReverseVideo(true); },
                    .onReset = [](Terminal& t) { t.setReverseVideo(false); },
                    .isSet = [](const Terminal& t) { return t.reverseVideo(); }},
    ModeDeclaration{.kind = dec, .number = 6, .flag = &Terminal::originMode, .afterReset = off, .afterSoftReset = off},
    ModeDeclaration{.kind = dec, .number = 7, .flag = &Terminal::wraparound, .afterReset = on, .afterSoftReset = on},
    fixed(dec, 8, ModeStatus::set),
    ModeDeclaration{.kind = dec,
                    .number = 9,
                    .onSet = trackMouse<MouseMode::x10>,
                    .onReset = stopMouse,
                    .isSet = tracksMouse<MouseMode::x10>},
    fixed(dec, 10, permanentlyReset),
    ModeDeclaration{.kind = dec, .number = 12, .flag = &Terminal::cursorBlink, .afterReset = off},
    fixed(dec, 13, ModeStatus::reset),
    fixed(dec, 14, ModeStatus::reset),
    fixed(dec, 18, ModeStatus::set),
    fixed(dec, 19, ModeStatus::set),
    ModeDeclaration{.kind = dec,
                    .number = 25,
                    .onSet = [](Terminal& t) { t.showCursor(); },
                    .onReset = [](Terminal& t) { t.hideCursor(); },
                    .isSet = [](const Terminal& t) { return !t.cursorHidden; }},
    fixed(dec, 30, ModeStatus::reset),
    ModeDeclaration{.kind = dec, .number = 40, .flag = &Terminal::allow80To132, .afterReset = on},
    ModeDeclaration{.kind = dec, .number = 41, .fixedStatus = ModeStatus::reset, .quietReset = true},
    fixed(dec, 42, permanentlyReset),
    fixed(dec, 44, permanentlyReset),
    // Reverse wrap means nothing without wraparound, so it is set only together with it.
    ModeDeclaration{.kind = dec,
                    .number = 45,
                    .flag = &Terminal::reverseWraparound,
                    .afterSoftReset = off,
                    .onSet = [](Terminal& t) { t.reverseWraparound = t.wraparound; }},
    fixed(dec, 46, permanentlyReset),
    ModeDeclaration{.kind = dec,
                    .number = 47,
                    .onSet = [](Terminal& t) { t.activateAltBuffer(); },
                    .onReset = [](Terminal& t) { t.activateNormalBuffer(false); },
                    .isSet = [](const Terminal& t) { return t.isCurrentBufferAlternate(); }},
    ModeDeclaration{.kind = dec, .number = 63, .quietSet = true},
    ModeDeclaration{.kind = dec,
                    .number = 66,
                    .flag = &Terminal::applicationKeypad,
                    .afterReset = off,
                    .afterSoftReset = off,
                    .onSet = [](Terminal& t) { t.log("Info: Serial port requested application keypad."); },
                    .onReset = [](Terminal& t) { t.log("Info: Switching back to normal keypad."); }},
    fixed(dec, 67, permanentlyReset),
    ModeDeclaration{.kind = dec, .number = 69, .flag = &Terminal::marginMode, .afterReset = off, .afterSoftReset = off},
    fixed(dec, 80, permanentlyReset),
    fixed(dec, 95, ModeStatus::set, true),
    ModeDeclaration{.kind = dec,
                    .number = 1000,
                    .onSet = trackMouse<MouseMode::vt200>,
                    .onReset = stopMouse,
                    .isSet = tracksMouse<MouseMode::vt200>},
    fixed(dec, 1001, ModeStatus::reset),
    ModeDeclaration{.kind = dec,
                    .number = 1002,
                    .onSet = trackMouse<MouseMode::buttonEventTracking>,
                    .onReset = stopMouse,
                    .isSet = tracksMouse<MouseMode::buttonEventTracking>},
    ModeDeclaration{.kind = dec,
                    .number = 1003,
                    .onSet = trackMouse<MouseMode::anyEvent>,
                    .onReset = stopMouse,
                    .isSet = tracksMouse<MouseMode::anyEvent>},
    ModeDeclaration{.kind = dec, .number = 1004, .flag = &Terminal::sendFocus},
    ModeDeclaration{.kind = dec,
                    .number = 1005,
                    .onSet = encodeMouse<MouseProtocolEncoding::utf8>,
                    .onReset = dropMouseEncoding,
                    .isSet = encodesMouse<MouseProtocolEncoding::utf8>},
    ModeDeclaration{.kind = dec,
                    .number = 1006,
                    .onSet = encodeMouse<MouseProtocolEncoding::sgr>,
                    .onReset = dropMouseEncoding,
                    .isSet = encodesMouse<MouseProtocolEncoding::sgr>},
    ModeDeclaration{.kind = dec,
                    .number = 1015,
                    .onSet = encodeMouse<MouseProtocolEncoding::urxvt>,
                    .onReset = dropMouseEncoding,
                    .isSet = encodesMouse<MouseProtocolEncoding::urxvt>},
    ModeDeclaration{.kind = dec,
                    .number = 1016,
                    .onSet = encodeMouse<MouseProtocolEncoding::sgrPixel>,
                    .onReset = dropMouseEncoding,
                    .isSet = encodesMouse<MouseProtocolEncoding::sgrPixel>},
    fixed(dec, 1034, permanentlyReset, true),
    // The screen switches with save and clear have no state of their own to report.
    ModeDeclaration{.kind = dec,
                    .number = 1047,
                    .onSet = [](Terminal& t) { t.activateAltBuffer(); },
                    .onReset = [](Terminal& t) { t.activateNormalBuffer(true); }},
    ModeDeclaration{.kind = dec,
                    .number = 1048,
                    .onSet = [](Terminal& t) { t.cmdSaveCursor(); },
                    .onReset = [](Terminal& t) { t.cmdRestoreCursor(); }},
    ModeDeclaration{.kind = dec,
                    .number = 1049,
                    .onSet =
                        [](Terminal& t) {
                            t.cmdSaveCursor();
                            t.activateAltBuffer();
                        },
                    .onReset =
                        [](Terminal& t) {
                            t.activateNormalBuffer(true);
                            t.cmdRestoreCursor();
                        }},
    ModeDeclaration{.kind = dec, .number = 2004, .flag = &Terminal::bracketedPasteMode, .afterReset = off},
};

} // namespace

int ModeDeclaration::status(const Terminal& terminal) const {
    if (flag) return terminal.*flag ? ModeStatus::set : ModeStatus::reset;
    if (isSet) return isSet(terminal) ? ModeStatus::set : ModeStatus::reset;
    return fixedStatus;
}

std::span<const ModeDeclaration> modeTable() {
    return table;
}

const ModeDeclaration* findMode(ModeKind kind, std::int64_t number) {
    const auto found = std::find_if(table.begin(), table.end(), [&](const ModeDeclaration& mode) {
        return mode.kind == kind && mode.number == number;
    });
    return found == table.end() ? nullptr : &*found;
}

} // namespace tarvik
