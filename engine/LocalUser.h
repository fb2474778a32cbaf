#pragma once

#include <string>

namespace tarvik {

// The name of the user running the engine, for protocols that need one when -l is absent.
std::string localUserName();

// $TERM, or "dumb" when the environment gives none.
std::string terminalType();

} // namespace tarvik
