// Sixel images.
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installImageHandlers(Terminal& /*terminal*/) {}

} // namespace tarvik
