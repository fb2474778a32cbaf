#include "view/qt/QtKeyMapping.h"

#include <QKeyEvent>

namespace tarvik {

namespace {

Key specialKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Escape: return Key::escape;
    case Qt::Key_Tab: return Key::tab;
    case Qt::Key_Backtab: return Key::backtab;
    case Qt::Key_Backspace: return Key::backspace;
    case Qt::Key_Return:
    case Qt::Key_Enter: return Key::enter;
    case Qt::Key_Insert: return Key::insert;
    case Qt::Key_Delete: return Key::deleteKey;
    case Qt::Key_Home: return Key::home;
    case Qt::Key_End: return Key::end;
    case Qt::Key_Left: return Key::left;
    case Qt::Key_Up: return Key::up;
    case Qt::Key_Right: return Key::right;
    case Qt::Key_Down: return Key::down;
    case Qt::Key_PageUp: return Key::pageUp;
    case Qt::Key_PageDown: return Key::pageDown;
    default: break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return static_cast<Key>(static_cast<int>(Key::f1) + (qtKey - Qt::Key_F1));
    return Key::none;
}

bool isControlText(const QString& text) {
    if (text.isEmpty()) return true;
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f) return false;
    return true;
}

} // namespace

bool isModifierKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock: return true;
    default: return false;
    }
}

KeyEvent toKeyEvent(const QKeyEvent& event) {
    KeyEvent key;
    const Qt::KeyboardModifiers mods = event.modifiers();
    key.modifiers.shift = mods.testFlag(Qt::ShiftModifier);
    key.modifiers.control = mods.testFlag(Qt::ControlModifier);
    key.modifiers.alt = mods.testFlag(Qt::AltModifier);
    key.modifiers.super = mods.testFlag(Qt::MetaModifier);
    key.keypad = mods.testFlag(Qt::KeypadModifier);
    key.scanCode = event.nativeScanCode();
    key.key = specialKey(event.key());
    if (key.key != Key::none) return key; // special keys type nothing of their own here
    QString text = event.text();
    if (isControlText(text)) {
        const int code = event.key();
        text.clear();
        if (code >= 0x20 && code <= 0x10FFFF && !QChar::isSurrogate(static_cast<char32_t>(code))) {
            const char32_t scalar = static_cast<char32_t>(code);
            text = QString::fromUcs4(&scalar, 1);
            // Qt reports letters by their upper-case code; Shift decides what was typed.
            if (!key.modifiers.shift) text = text.toLower();
        }
    }
    key.text = text.toStdString();
    return key;
}

} // namespace tarvik
