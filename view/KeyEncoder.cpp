#include "view/KeyEncoder.h"

#include "view/TerminalViewCore.h"

namespace tarvik {

void KeyEncoder::keyDown(const KeyEvent& /*event*/) {}
bool KeyEncoder::performClipboardShortcut(const KeyEvent& /*event*/) { return false; }
void KeyEncoder::doCommand(std::string_view /*command*/) {}
void KeyEncoder::insertText(std::string_view text) { send(text); }
std::string KeyEncoder::applyControlToEventCharacters(std::string_view /*chars*/) { return {}; }
std::optional<std::string_view> KeyEncoder::commandFor(const KeyEvent& /*event*/) { return std::nullopt; }
void KeyEncoder::send(std::string_view bytes) { view_->send(bytes); }

} // namespace tarvik
