#pragma once

namespace tarvik {

class Terminal;

// Each family of control functions registers its handlers into the terminal's parser
// once, at construction. The families live in their own files.
void installCursorAndEditingHandlers(Terminal& terminal);
void installAttributeHandlers(Terminal& terminal);
void installModeHandlers(Terminal& terminal);
void installReportHandlers(Terminal& terminal);
void installImageHandlers(Terminal& terminal);

} // namespace tarvik
