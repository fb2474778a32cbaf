#pragma once

#include "engine/Console.h"

#include <libssh/libssh.h>
#include <string>

namespace tarvik {

// The file of accepted host keys: $ORVELDIR/known_hosts when the
// environment names a state folder, else ~/.ssh/known_hosts.
std::string knownHostsPath();

// Checks the server's key against the file. An unknown key is shown with its
// SHA256 fingerprint and stored if the user answers yes; a changed key is
// refused. Throws Failure when the connection must not go on.
void verifyHostKey(ssh_session session, Console& console, const std::string& host, const std::string& path);

} // namespace tarvik
