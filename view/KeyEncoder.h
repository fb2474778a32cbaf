#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "view/KeyEvent.h"

namespace tarvik {

class TerminalViewCore;

// Turns key presses into the bytes the program expects, or into view actions (the
// clipboard shortcuts, scrolling by pages, the Alt-as-Meta toggle).
//
// The Command key of the original design is Ctrl+Shift here and Option is Alt.
class KeyEncoder {
  public:
    explicit KeyEncoder(TerminalViewCore& view) : view_(&view) {}

    // Every key press enters here.
    void keyDown(const KeyEvent& event);
    // Ctrl+Shift+C copies, Ctrl+Shift+V and Shift+Insert paste, Ctrl+Shift+A selects
    // all (C, V and A also by their physical keys under a Cyrillic layout). True when
    // the event was one of them.
    bool performClipboardShortcut(const KeyEvent& event);
    // The editing commands keys map to ("insertNewline:", "moveUp:" ...).
    void doCommand(std::string_view command);
    // Text typed or committed by an input method, sent as UTF-8.
    void insertText(std::string_view text);

    // The Control mapping of a one-byte text ("c" -> 0x03); empty for anything else.
    static std::string applyControlToEventCharacters(std::string_view chars);
    // The editing command an unmodified (or Shift+Page Down) special key maps to.
    static std::optional<std::string_view> commandFor(const KeyEvent& event);

  private:
    bool sendMetaKey(const KeyEvent& event);
    bool sendControlKey(const KeyEvent& event);
    bool sendFunctionKey(const KeyEvent& event);
    bool sendKeypadKey(const KeyEvent& event);
    bool sendModifiedKey(const KeyEvent& event);
    void interpretKey(const KeyEvent& event);
    // What a special key types where one exists (Return, Tab, Backspace, Escape).
    std::string keyCharacters(const KeyEvent& event) const;
    void send(std::string_view bytes);

    TerminalViewCore* view_;
};

} // namespace tarvik
