#pragma once

#include "core/Connection.h"

#include <string_view>
#include <vector>

namespace tarvik::SSHConfig {

// One SSH profile per alias named on the Host lines, in file order, with the
// alias as name and host and an empty port so that the client's own
// configuration decides the real host, user, port and key. Patterns,
// negations, repeats and aliases that fail validation are left out.
std::vector<Connection> aliases(std::string_view text);

} // namespace tarvik::SSHConfig
