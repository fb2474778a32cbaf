#include "core/StoreSupport.h"

#include "core/Paths.h"

#include <BuildInfo.h>

namespace tarvik {

std::optional<std::filesystem::path> SandboxAccess::resolve(const std::string&) {
    return std::nullopt;
}

namespace StoreSupport {

namespace fs = std::filesystem;

bool enabled() {
    return BuildInfo::storeDistribution;
}

std::vector<std::string> sshArgumentsPrefix(SandboxAccess& access) {
    if (!enabled()) return {};
    return sandboxedSshArguments(homeDirectory(), access);
}

std::vector<std::string> sshArgumentsPrefix() {
    SandboxAccess nothingGranted;
    return sshArgumentsPrefix(nothingGranted);
}

std::vector<std::string> sandboxedSshArguments(const fs::path& home, SandboxAccess& access) {
    const fs::path privateFolder = home / ".ssh";
    createPrivateDirectories(privateFolder);
    std::string configFile = "/dev/null";
    if (const auto folder = access.sshDirectory())
        if (const auto location = access.resolve(*folder)) configFile = (*location / "config").string();
    return {"-F", configFile, "-o", "UserKnownHostsFile=" + (privateFolder / "known_hosts").string()};
}

} // namespace StoreSupport

} // namespace tarvik
