#pragma once

#include "engine/Console.h"
#include "engine/Options.h"

#include <libssh/libssh.h>

namespace tarvik {

// Logs in with, in turn: the agent, the key file, keyboard-interactive and
// password; every question is asked in the terminal. Throws Failure when
// nothing is left to try.
void authenticate(ssh_session session, Console& console, const Options& options, const std::string& user);

// Keys in the application's own format begin with this text or carry the ".opk" suffix.
bool isOpkKeyFile(const std::string& path);

} // namespace tarvik
