#pragma once

#include <filesystem>

namespace tarvik {

// An exclusive advisory lock (flock) on a lock file beside the profile file,
// held for the lifetime of the object. Every writer of the profile file takes
// it, so two running programs never interleave a read-modify-write. The lock
// ends with the process too, so a killed writer never leaves it held.
class ProfileFileLock {
  public:
    // Blocks until the lock is free. Throws std::system_error.
    explicit ProfileFileLock(const std::filesystem::path& profileFile);
    ProfileFileLock(const ProfileFileLock&) = delete;
    ProfileFileLock& operator=(const ProfileFileLock&) = delete;
    ~ProfileFileLock();

    // ".profiles.json.lock" beside "profiles.json".
    static std::filesystem::path lockFileFor(const std::filesystem::path& profileFile);

  private:
    int fd_;
};

} // namespace tarvik
