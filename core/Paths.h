#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

// The current user's home folder from the password database, else $HOME.
std::filesystem::path homeDirectory();

// The home folder of a named user, or nothing when the user is unknown.
std::optional<std::filesystem::path> homeDirectoryOf(const std::string& user);

// "~" and "~/x" use the current user's home, "~name" and "~name/x" that
// user's; anything else, and a tilde naming an unknown user, is returned unchanged.
std::string expandTilde(std::string_view path);

// Like create_directories, but every folder made here gets mode 0700 exactly
// (the umask does not apply); folders that already exist are left as they are.
// Throws std::filesystem::filesystem_error.
void createPrivateDirectories(const std::filesystem::path& folder);

} // namespace tarvik
