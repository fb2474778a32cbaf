#include "view/KeyEncoder.h"

#include <iostream>

#include "view/EscapeSequences.h"
#include "view/TerminalViewCore.h"

namespace tarvik {

namespace {

using Seq = EscapeSequences;

bool isFunctionKey(Key key) {
    return key >= Key::f1 && key <= Key::f12;
}

// Keys that have an ESC [ ... ; m form when pressed with Shift, Alt or Control.
bool hasModifiedForm(Key key) {
    return !EscapeSequences::modifiedKey(key, {}).empty();
}

bool onlyShift(KeyModifiers m) {
    return m.shift && !m.control && !m.alt && !m.super;
}

// Ctrl+Shift stands for the Command key: exactly those two, Super not held.
bool onlyCommand(KeyModifiers m) {
    return m.shift && m.control && !m.alt && !m.super;
}

bool isOneOf(std::string_view text, std::initializer_list<std::string_view> choices) {
    for (std::string_view choice : choices)
        if (text == choice) return true;
    return false;
}

} // namespace

std::string KeyEncoder::applyControlToEventCharacters(std::string_view chars) {
    if (chars.size() != 1) return {};
    const char c = chars[0];
    if (c >= 'A' && c <= 'Z') return std::string(1, static_cast<char>(c - 64));
    if (c >= 'a' && c <= 'z') return std::string(1, static_cast<char>(c - 96));
    switch (c) {
    case '[': return "\x1b";
    case '\\': return "\x1c";
    case ']': return "\x1d";
    case '^':
    case '6': return "\x1e";
    case '_': return "\x1f";
    case ' ': return std::string(1, '\0');
    default: return {};
    }
}

std::optional<std::string_view> KeyEncoder::commandFor(const KeyEvent& event) {
    switch (event.key) {
    case Key::enter: return "insertNewline:";
    case Key::escape: return "cancelOperation:";
    case Key::backspace: return "deleteBackward:";
    case Key::up: return "moveUp:";
    case Key::down: return "moveDown:";
    case Key::left: return "moveLeft:";
    case Key::right: return "moveRight:";
    case Key::tab: return "insertTab:";
    case Key::backtab: return "insertBacktab:";
    case Key::home: return "moveToBeginningOfLine:";
    case Key::end: return "moveToEndOfLine:";
    case Key::pageUp: return "scrollPageUp:";
    case Key::pageDown: return event.modifiers.shift ? "pageDownAndModifySelection:" : "scrollPageDown:";
    default: return std::nullopt;
    }
}

bool KeyEncoder::performClipboardShortcut(const KeyEvent& event) {
    const KeyModifiers m = event.modifiers;
    if (event.key == Key::insert && onlyShift(m)) {
        view_->paste();
        return true;
    }
    if (!onlyCommand(m)) return false;
    const std::string_view text = event.text;
    const std::uint32_t code = event.scanCode;
    // The Cyrillic letters sit on the C, V and A keys of a Russian layout.
    if (isOneOf(text, {"c", "C"}) || (code == ScanCode::c && isOneOf(text, {"с", "С"}))) {
        view_->copy();
        return true;
    }
    if (isOneOf(text, {"v", "V"}) || (code == ScanCode::v && isOneOf(text, {"м", "М"}))) {
        view_->paste();
        return true;
    }
    if (isOneOf(text, {"a", "A"}) || (code == ScanCode::a && isOneOf(text, {"ф", "Ф"}))) {
        view_->selectAll();
        return true;
    }
    return false;
}

std::string KeyEncoder::keyCharacters(const KeyEvent& event) const {
    switch (event.key) {
    case Key::none: return event.text;
    case Key::enter: return "\r";
    case Key::tab: return "\t";
    case Key::escape: return "\x1b";
    case Key::backspace: return view_->options.backspaceSendsControlH ? "\b" : "\x7f";
    default: return {};
    }
}

void KeyEncoder::keyDown(const KeyEvent& event) {
    if (performClipboardShortcut(event)) return;
    view_->selectNone();
    const KeyModifiers m = event.modifiers;

    if (m.control && m.shift && m.alt) {
        if (isOneOf(event.text, {"o", "O"})) view_->options.optionAsMetaKey = !view_->options.optionAsMetaKey;
        // A Command combination types no text; special keys still reach the program.
        if (event.key != Key::none && !sendModifiedKey(event)) interpretKey(event);
        return;
    }
    if (view_->options.optionAsMetaKey && m.alt && sendMetaKey(event)) return;
    if (m.control && sendControlKey(event)) return;
    if (sendFunctionKey(event) || sendKeypadKey(event) || sendModifiedKey(event)) return;
    interpretKey(event);
}

bool KeyEncoder::sendMetaKey(const KeyEvent& event) {
    if (event.key == Key::right) {
        send(Seq::emacsForward);
        return true;
    }
    if (event.key == Key::left) {
        send(Seq::emacsBack);
        return true;
    }
    if (sendModifiedKey(event)) return true;
    const std::string chars = keyCharacters(event);
    if (chars.empty()) return false;
    send(Seq::cmdEsc);
    send(chars);
    return true;
}

bool KeyEncoder::sendControlKey(const KeyEvent& event) {
    if (event.key == Key::right) {
        send(Seq::controlRight);
        return true;
    }
    if (event.key == Key::left) {
        send(Seq::controlLeft);
        return true;
    }
    if (sendModifiedKey(event)) return true;
    if (event.key == Key::backtab) return false;
    // The Control mapping decides, even when it yields nothing (Control+ä).
    send(applyControlToEventCharacters(keyCharacters(event)));
    return true;
}

bool KeyEncoder::sendFunctionKey(const KeyEvent& event) {
    const KeyModifiers m = event.modifiers;
    if (m.shift || m.alt || m.control) return false;
    if (isFunctionKey(event.key)) {
        send(Seq::cmdF[static_cast<std::size_t>(static_cast<int>(event.key) - static_cast<int>(Key::f1))]);
        return true;
    }
    switch (event.key) {
    case Key::deleteKey: send(Seq::cmdDelKey); return true;
    case Key::pageUp: view_->scroller().pageUp(); return true;
    case Key::pageDown: view_->scroller().pageDown(); return true;
    default: return false;
    }
}

bool KeyEncoder::sendKeypadKey(const KeyEvent& event) {
    if (!event.keypad || !view_->terminal().applicationKeypad) return false;
    if (event.modifiers.control || event.modifiers.alt) return false;
    const std::string_view bytes = Seq::applicationKeypad(event.text, event.key);
    if (bytes.empty()) return false;
    send(bytes);
    return true;
}

bool KeyEncoder::sendModifiedKey(const KeyEvent& event) {
    KeyModifiers m = event.modifiers;
    m.super = false;
    if (!(m.shift || m.alt || m.control) || !hasModifiedForm(event.key)) return false;
    // Shift+Page Down keeps its editing command.
    if (event.key == Key::pageDown && onlyShift(m)) return false;
    send(Seq::modifiedKey(event.key, m));
    return true;
}

void KeyEncoder::interpretKey(const KeyEvent& event) {
    if (const auto command = commandFor(event)) {
        doCommand(*command);
        return;
    }
    if (event.key == Key::insert) {
        send(Seq::cmdInsert);
        return;
    }
    if (event.key == Key::none && !event.text.empty()) insertText(event.text);
}

void KeyEncoder::doCommand(std::string_view command) {
    const Terminal& terminal = view_->terminal();
    const bool app = terminal.applicationCursor;
    if (command == "insertNewline:") {
        send(Seq::cmdRet);
    } else if (command == "cancelOperation:") {
        send(Seq::cmdEsc);
    } else if (command == "deleteBackward:") {
        send(view_->options.backspaceSendsControlH ? "\b" : Seq::cmdDel);
    } else if (command == "moveUp:") {
        send(app ? Seq::moveUpApp : Seq::moveUpNormal);
    } else if (command == "moveDown:") {
        send(app ? Seq::moveDownApp : Seq::moveDownNormal);
    } else if (command == "moveLeft:") {
        send(app ? Seq::moveLeftApp : Seq::moveLeftNormal);
    } else if (command == "moveRight:") {
        send(app ? Seq::moveRightApp : Seq::moveRightNormal);
    } else if (command == "insertTab:") {
        send(Seq::cmdTab);
    } else if (command == "insertBacktab:") {
        send(Seq::cmdBackTab);
    } else if (command == "moveToBeginningOfLine:") {
        send(app ? Seq::moveHomeApp : Seq::moveHomeNormal);
    } else if (command == "moveToEndOfLine:") {
        send(app ? Seq::moveEndApp : Seq::moveEndNormal);
    } else if (command == "scrollPageUp:" || command == "pageUp:") {
        if (app)
            send(Seq::cmdPageUp);
        else
            view_->scroller().pageUp();
    } else if (command == "scrollPageDown:" || command == "pageDown:") {
        if (app)
            send(Seq::cmdPageDown);
        else
            view_->scroller().pageDown();
    } else if (command == "pageDownAndModifySelection:") {
        if (!app) send(Seq::cmdPageDown);
    } else if (command == "moveToLeftEndOfLine:") {
        send(Seq::emacsBack);
    } else if (command == "moveToRightEndOfLine:") {
        send(Seq::emacsForward);
    } else if (!terminal.silentLog()) {
        std::cout << "Unhandle selector " << command << '\n';
    }
}

void KeyEncoder::insertText(std::string_view text) {
    send(text);
}

void KeyEncoder::send(std::string_view bytes) {
    if (bytes.empty()) return;
    view_->send(bytes);
}

} // namespace tarvik
