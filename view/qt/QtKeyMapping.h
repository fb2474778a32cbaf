#pragma once

#include "view/KeyEvent.h"

class QKeyEvent;

namespace tarvik {

// Qt key events as the view logic's key records. The text is what the key types
// ignoring Control and Alt (Qt puts control characters there while Control is held, so
// those are rebuilt from the key code, with Shift still applied to letters).
KeyEvent toKeyEvent(const QKeyEvent& event);
// Shift, Control, Alt, AltGr, Super, Caps Lock ... pressed alone.
bool isModifierKey(int qtKey);

} // namespace tarvik
