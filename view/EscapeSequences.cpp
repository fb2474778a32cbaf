#include "view/EscapeSequences.h"

namespace tarvik {

int EscapeSequences::modifierParameter(KeyModifiers modifiers) {
    return 1 + (modifiers.shift ? 1 : 0) + (modifiers.alt ? 2 : 0) + (modifiers.control ? 4 : 0);
}

namespace {

// The final byte of the ESC [ 1 ; m X form, or 0 for keys using ESC [ n ; m ~.
char letterFinal(Key key) {
    switch (key) {
    case Key::up: return 'A';
    case Key::down: return 'B';
    case Key::right: return 'C';
    case Key::left: return 'D';
    case Key::home: return 'H';
    case Key::end: return 'F';
    case Key::f1: return 'P';
    case Key::f2: return 'Q';
    case Key::f3: return 'R';
    case Key::f4: return 'S';
    default: return 0;
    }
}

// The number of the ESC [ n ; m ~ form, or 0.
int tildeNumber(Key key) {
    static constexpr int functionNumbers[] = {15, 17, 18, 19, 20, 21, 23, 24};
    switch (key) {
    case Key::insert: return 2;
    case Key::deleteKey: return 3;
    case Key::pageUp: return 5;
    case Key::pageDown: return 6;
    default: break;
    }
    if (key >= Key::f5 && key <= Key::f12)
        return functionNumbers[static_cast<int>(key) - static_cast<int>(Key::f5)];
    return 0;
}

} // namespace

std::string EscapeSequences::modifiedKey(Key key, KeyModifiers modifiers) {
    const std::string m = std::to_string(modifierParameter(modifiers));
    if (const char final = letterFinal(key)) return "\x1b[1;" + m + final;
    if (const int n = tildeNumber(key)) return "\x1b[" + std::to_string(n) + ";" + m + "~";
    return {};
}

std::string_view EscapeSequences::applicationKeypad(std::string_view text, Key key) {
    if (key == Key::enter) return "\x1bOM";
    if (text.size() != 1) return {};
    switch (text[0]) {
    case '0': return "\x1bOp";
    case '1': return "\x1bOq";
    case '2': return "\x1bOr";
    case '3': return "\x1bOs";
    case '4': return "\x1bOt";
    case '5': return "\x1bOu";
    case '6': return "\x1bOv";
    case '7': return "\x1bOw";
    case '8': return "\x1bOx";
    case '9': return "\x1bOy";
    case '*': return "\x1bOj";
    case '+': return "\x1bOk";
    case ',': return "\x1bOl";
    case '-': return "\x1bOm";
    case '.': return "\x1bOn";
    case '/': return "\x1bOo";
    case '=': return "\x1bOX";
    default: return {};
    }
}

} // namespace tarvik
