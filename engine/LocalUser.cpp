#include "engine/LocalUser.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tarvik {

std::string localUserName() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name) return entry->pw_name;
    if (const char* user = std::getenv("USER"); user && *user) return user;
    return "unknown";
}

std::string terminalType() {
    const char* term = std::getenv("TERM");
    return term && *term ? term : "dumb";
}

} // namespace tarvik
