#include "core/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace tarvik {

namespace {

// Runs a reentrant password-database lookup, growing the buffer until the entry fits.
template <class Lookup> std::optional<std::filesystem::path> homeFromPasswordDatabase(Lookup lookup) {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0')
            return std::nullopt;
        return std::filesystem::path(found->pw_dir);
    }
}

std::string joinHome(const std::filesystem::path& home, std::string_view rest) {
    std::string text = home.string();
    // rest is empty or begins with '/'; a home of "/" must not yield "//x".
    if (!rest.empty() && !text.empty() && text.back() == '/') text.pop_back();
    if (text.empty() && rest.empty()) return "/";
    return text + std::string(rest);
}

} // namespace

std::filesystem::path homeDirectory() {
    const uid_t uid = getuid();
    auto home =
        homeFromPasswordDatabase([uid](passwd* entry, char* buffer, std::size_t size, passwd** found) {
            return getpwuid_r(uid, entry, buffer, size, found);
        });
    if (home) return *home;
    const char* variable = std::getenv("HOME");
    return variable != nullptr ? std::filesystem::path(variable) : std::filesystem::path("/");
}

std::optional<std::filesystem::path> homeDirectoryOf(const std::string& user) {
    return homeFromPasswordDatabase([&user](passwd* entry, char* buffer, std::size_t size, passwd** found) {
        return getpwnam_r(user.c_str(), entry, buffer, size, found);
    });
}

std::string expandTilde(std::string_view path) {
    if (!path.starts_with('~')) return std::string(path);
    const std::size_t slash = path.find('/');
    const std::string_view user = path.substr(1, slash == std::string_view::npos ? slash : slash - 1);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    if (user.empty()) return joinHome(homeDirectory(), rest);
    // The password database takes C strings; an embedded NUL would look up a different user.
    if (user.find('\0') != std::string_view::npos) return std::string(path);
    const auto home = homeDirectoryOf(std::string(user));
    return home ? joinHome(*home, rest) : std::string(path);
}

void createPrivateDirectories(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    if (folder.empty() || fs::is_directory(folder)) return;
    if (folder.parent_path() != folder) createPrivateDirectories(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) == 0) {
        if (::chmod(folder.c_str(), 0700) != 0)
            throw fs::filesystem_error("Cannot set permissions", folder, {errno, std::generic_category()});
        return;
    }
    const std::error_code error(errno, std::generic_category());
    if (error.value() == EEXIST && fs::is_directory(folder)) return;
    throw fs::filesystem_error("Cannot create folder", folder, error);
}

} // namespace tarvik
