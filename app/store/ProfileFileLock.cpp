#include "app/store/ProfileFileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace tarvik {

ProfileFileLock::ProfileFileLock(const std::filesystem::path& profileFile) {
    const auto path = lockFileFor(profileFile);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "Cannot open " + path.string());
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd_);
        throw std::system_error(error, std::generic_category(), "Cannot lock " + path.string());
    }
}

ProfileFileLock::~ProfileFileLock() {
    ::close(fd_);  // closing releases the lock
}

std::filesystem::path ProfileFileLock::lockFileFor(const std::filesystem::path& profileFile) {
    return profileFile.parent_path() / ("." + profileFile.filename().string() + ".lock");
}

} // namespace tarvik
