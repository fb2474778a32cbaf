#include "core/ProfileFile.h"

#include "core/ConnectionJSON.h"
#include "core/DecodeError.h"
#include "core/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tarvik::ProfileFile {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closing can report a deferred write error, so the caller must see it.
    int release() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

[[noreturn]] void throwTooLarge(std::uintmax_t maxBytes) {
    throw DecodeError("Invalid profile data: the file is larger than " + std::to_string(maxBytes >> 20) + " MB.");
}

// Reads at most maxBytes; a longer file (even one still growing) is refused.
std::string readAll(const fs::path& path, std::uintmax_t maxBytes = UINTMAX_MAX) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throwErrno("Cannot open " + path.string());
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        throwTooLarge(maxBytes);
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, static_cast<std::size_t>(n));
            if (bytes.size() > maxBytes) throwTooLarge(maxBytes);
        } else if (n == 0) {
            return bytes;
        } else if (errno != EINTR) {
            throwErrno("Cannot read " + path.string());
        }
    }
}

// The file a path finally names: symbolic links are followed, so that
// replacing the file keeps the link and writes its target.
fs::path writeTarget(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path link = fs::read_symlink(path);
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    throw fs::filesystem_error("Cannot follow links", path, std::make_error_code(std::errc::too_many_symbolic_link_levels));
}

// Makes the rename durable: without this a power loss could leave the folder
// entry pointing at neither the old nor the new file.
void syncFolder(const fs::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) throwErrno("Cannot open " + folder.string());
    // Some file systems cannot sync a folder at all; there is nothing more to do there.
    if (::fsync(dir.get()) != 0 && errno != EINVAL) throwErrno("Cannot sync " + folder.string());
}

void writeAll(int fd, std::string_view bytes, const fs::path& temporary) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwErrno("Cannot write " + temporary.string());
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Writes the temporary file completely and then renames it over the target,
// so readers see either the old or the new file. The temporary file is
// removed again on every failure.
void replaceAtomically(const fs::path& path, std::string_view bytes) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    // mkostemp opens with O_CREAT|O_EXCL and mode 0600: no other user can read even the first byte.
    FileDescriptor file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.get() < 0) throwErrno("Cannot create a temporary file in " + folder.string());
    const fs::path temporary(pattern);
    try {
        // The umask may have narrowed the mode; set it before any content exists.
        if (::fchmod(file.get(), 0600) != 0) throwErrno("Cannot set permissions of " + temporary.string());
        writeAll(file.get(), bytes, temporary);
        if (::fsync(file.get()) != 0) throwErrno("Cannot write " + temporary.string());
        if (file.release() != 0) throwErrno("Cannot write " + temporary.string());
        if (::rename(temporary.c_str(), path.c_str()) != 0) throwErrno("Cannot replace " + path.string());
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    syncFolder(folder);
}

} // namespace

std::vector<Connection> load(const std::filesystem::path& path) {
    if (!fs::exists(path)) return {};
    return decodeConnections(nlohmann::json::parse(readAll(path)));
}

std::vector<Connection> load(const std::filesystem::path& path, const LoadLimits& limits) {
    if (!fs::exists(path)) return {};
    const std::string bytes = readAll(path, limits.maxBytes);
    // Refused while parsing, before the document is built any deeper.
    const auto depthGuard = [&limits](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > limits.maxDepth)
            throw DecodeError("Invalid profile data: nested deeper than " + std::to_string(limits.maxDepth) +
                              " levels.");
        return true;
    };
    return decodeConnections(nlohmann::json::parse(bytes, depthGuard));
}

void save(const std::vector<Connection>& connections, const std::filesystem::path& path) {
    createPrivateDirectories(path.parent_path());
    // Encoded before the temporary file exists: text that cannot be encoded writes nothing.
    const std::string bytes = encodeConnections(connections).dump(2) + "\n";
    const fs::path target = writeTarget(path);
    if (target != path) createPrivateDirectories(target.parent_path());
    replaceAtomically(target, bytes);
}

} // namespace tarvik::ProfileFile
