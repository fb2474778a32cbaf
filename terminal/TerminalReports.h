#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/TerminalDelegate.h"

namespace tarvik {

// Environment a child started under this terminal should see: TERM (the terminal
// name, or "xterm-256color"), COLORTERM when true colour is on, LANG, then those of
// LOGNAME, USER, DISPLAY, LC_TYPE and HOME that this process has.
std::vector<std::string> getEnvironmentVariables(std::optional<std::string_view> termName, bool trueColor);

// key=value pairs separated by ';' from an inline-image request. Reading stops at the
// first empty item or item without '='; a repeated key keeps its last value.
std::map<std::string, std::string> parseKeyValues(std::string_view text);

// An inline image's width or height: "auto" or absent, "N" cells, "Npx" pixels, "N%".
// Anything that is not a number is taken as "auto".
ImageSizeRequest parseDimension(std::optional<std::string_view> text);

// Titles pushed with CSI 22 t beyond this many push the oldest out, so a program cannot
// grow the stacks without bound.
inline constexpr std::size_t titleStackLimit = 10;

} // namespace tarvik
