#include "engine/keys/KeyFileIO.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

std::string reasonFromErrno() { return std::strerror(errno); }

} // namespace

bool readKeyFile(const std::string& path, size_t limit, SecretString& text, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = reasonFromErrno();
        return false;
    }
    struct stat info {};
    const size_t tooLarge = limit + 1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > limit) {
        close(fd);
        error = "the file is larger than " + std::to_string(limit >> 20) + " MiB";
        return false;
    }
    text.clear();
    text.reserve(S_ISREG(info.st_mode) ? static_cast<size_t>(info.st_size) + 1 : 4096);
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = reasonFromErrno();
            break;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() >= tooLarge) {
            error = "the file is larger than " + std::to_string(limit >> 20) + " MiB";
            break;
        }
    }
    explicit_bzero(buffer, sizeof buffer);
    close(fd);
    return error.empty();
}

bool writeKeyFile(const std::string& path, std::string_view data, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    // mkstemp creates the file with mode 0600.
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create " + path + ": " + reasonFromErrno();
        return false;
    }
    bool ok = writeAll(fd, data) && fsync(fd) == 0;
    if (!ok) error = "cannot write " + path + ": " + reasonFromErrno();
    if (close(fd) != 0 && ok) {
        ok = false;
        error = "cannot write " + path + ": " + reasonFromErrno();
    }
    if (ok && link(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno == EEXIST ? path + " already exists" : "cannot create " + path + ": " + reasonFromErrno();
    }
    unlink(temporary.c_str());
    return ok;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace tarvik
