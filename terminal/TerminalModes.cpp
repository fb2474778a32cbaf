// ANSI and DEC private modes, soft reset and cursor style.
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installModeHandlers(Terminal& /*terminal*/) {}

} // namespace tarvik
