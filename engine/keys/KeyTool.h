#pragma once

#include <string>
#include <vector>

namespace tarvik {

// tarvik-key: shows OPK key files and converts keys between OPK and the
// OpenSSH private-key format. Returns the exit status: 0, 1 on failure (one
// line on standard error), 2 on a usage error.
int runKeyTool(const std::vector<std::string>& args);

} // namespace tarvik
