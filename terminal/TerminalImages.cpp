// Sixel images.
#include <memory>

#include "terminal/SixelDcsHandler.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installImageHandlers(Terminal& terminal) {
    terminal.parser().dcsHandlers["q"] = std::make_unique<SixelDcsHandler>(terminal);
}

} // namespace tarvik
