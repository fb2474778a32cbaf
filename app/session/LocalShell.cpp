#include "app/session/LocalShell.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace tarvik {

namespace {

// Service accounts name a program that only refuses the login; a terminal
// running it would close at once, so the next choice is taken instead.
bool usable(const char* path) {
    if (path == nullptr || path[0] != '/' || ::access(path, X_OK) != 0)
        return false;
    const std::string name = std::filesystem::path(path).filename().string();
    return name != "nologin" && name != "false";
}

} // namespace

std::string LocalShell::name() const {
    return std::filesystem::path(path).filename().string();
}

LocalShell LocalShell::detect() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && usable(entry->pw_shell))
        return {entry->pw_shell};
    if (const char* shell = std::getenv("SHELL"); usable(shell))
        return {shell};
    return {"/bin/sh"};
}

} // namespace tarvik
