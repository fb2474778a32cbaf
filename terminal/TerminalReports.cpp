// Device reports, window operations, titles and the host-control OSCs.
#include "terminal/Terminal.h"
#include "terminal/TerminalHandlers.h"

namespace tarvik {

void installReportHandlers(Terminal& /*terminal*/) {}

} // namespace tarvik
