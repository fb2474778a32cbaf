#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

// What the store distribution needs from the shell: the remembered ssh folder
// and the persistent file grants. The shell supplies the real services; this
// base answers "nothing remembered, nothing granted".
class SandboxAccess {
  public:
    virtual ~SandboxAccess() = default;
    // The "sshDirectory" preference, when the user has chosen an ssh folder.
    virtual std::optional<std::string> sshDirectory() const { return std::nullopt; }
    // A usable location for a granted path; nothing when no usable grant exists.
    virtual std::optional<std::filesystem::path> resolve(const std::string& path);
};

namespace StoreSupport {

// True only in the sandboxed store distribution.
bool enabled();

// OpenSSH options that precede a profile's own; empty outside the store
// distribution, where nothing is created either.
std::vector<std::string> sshArgumentsPrefix(SandboxAccess& access);
std::vector<std::string> sshArgumentsPrefix();

// The store distribution's options for a given home folder: a private
// known-hosts list in home/.ssh (created 0700) and only the granted ssh
// configuration, never the system-wide default one.
std::vector<std::string> sandboxedSshArguments(const std::filesystem::path& home, SandboxAccess& access);

} // namespace StoreSupport

} // namespace tarvik
