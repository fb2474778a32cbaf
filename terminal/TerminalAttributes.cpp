// Character attributes (SGR) and the colour OSCs.
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installAttributeHandlers(Terminal& /*terminal*/) {}

} // namespace tarvik
