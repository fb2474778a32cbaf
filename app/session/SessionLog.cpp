#include "app/session/SessionLog.h"

#include "app/settings/Localization.h"
#include "core/AppError.h"
#include "core/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace tarvik {

namespace {

std::system_error lastError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}

} // namespace

SessionLog::SessionLog(const std::string& path) : path_(expandTilde(path)) {
    // O_NONBLOCK: a FIFO at the log path must not hang the window while opening.
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    descriptor_ = ::open(path_.c_str(), flags);
    if (descriptor_ < 0 && errno == ENOENT) {
        descriptor_ = ::open(path_.c_str(), flags | O_CREAT | O_EXCL, 0600);
        if (descriptor_ < 0 && errno != EEXIST)
            throw AppError((L("File not found:") + " ").toStdString() + path_);
        if (descriptor_ < 0)
            descriptor_ = ::open(path_.c_str(), flags);
    }
    if (descriptor_ < 0)
        throw AppError(lastError(path_).what());
    // Regular files never block; the flag only guarded the open itself.
    ::fcntl(descriptor_, F_SETFL, O_WRONLY | O_APPEND);
}

SessionLog::~SessionLog() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void SessionLog::append(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw lastError(path_);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

} // namespace tarvik
