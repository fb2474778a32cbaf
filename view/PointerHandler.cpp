#include "view/PointerHandler.h"

#include "view/TerminalViewCore.h"

namespace tarvik {

MouseHit PointerHandler::calculateMouseHit(double /*x*/, double /*y*/) const { return {}; }
int PointerHandler::encodeMouseEvent(const PointerEvent& /*event*/, bool /*release*/) const { return 0; }
bool PointerHandler::mouseDown(const PointerEvent& /*event*/) { return false; }
bool PointerHandler::mouseDragged(const PointerEvent& /*event*/) { return false; }
bool PointerHandler::mouseUp(const PointerEvent& /*event*/) { return false; }
bool PointerHandler::mouseMoved(const PointerEvent& /*event*/) { return false; }
void PointerHandler::scrollWheel(double /*deltaY*/) {}
int PointerHandler::wheelStep(double /*deltaY*/, int /*rows*/) { return 1; }
void PointerHandler::setCommandActive(bool active) { commandActive_ = active; }
std::optional<Hyperlink> PointerHandler::linkAt(double /*x*/, double /*y*/) const { return std::nullopt; }
void PointerHandler::mouseExited() {}

} // namespace tarvik
