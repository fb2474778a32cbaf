// Cursor motion, scroll regions, insert, delete and erase.
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installCursorAndEditingHandlers(Terminal& /*terminal*/) {}

} // namespace tarvik
