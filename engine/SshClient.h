#pragma once

#include "engine/Console.h"
#include "engine/Options.h"

namespace tarvik {

// Runs an SSH session on the terminal; returns the remote command's exit
// status. Throws Failure when the connection or the login fails.
int runSsh(Console& console, const Options& options);

} // namespace tarvik
