#pragma once

#include "engine/Console.h"

#include <libssh/libssh.h>

namespace tarvik {

// Loads an OPK key file for signing in, asking for its passphrase in the
// terminal. Returns null, after one line naming the file and the reason, when
// the key cannot be used.
ssh_key loadOpkIdentity(Console& console, const std::string& path);

} // namespace tarvik
