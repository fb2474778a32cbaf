#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tarvik {

// The optional log of one session: the raw output bytes, appended. The file is
// created 0600 from its first byte and never truncated, so an existing log keeps
// what earlier sessions wrote.
class SessionLog {
  public:
    // Expands a leading "~". Throws AppError: "File not found: PATH" (translated
    // prefix, expanded path) when the file cannot be created, or the system's
    // reason when it cannot be opened for appending.
    explicit SessionLog(const std::string& path);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Appends every byte or throws std::system_error (a full disk, say); after a
    // failure the caller drops the log.
    void append(std::span<const std::uint8_t> bytes);

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    int descriptor_ = -1;
};

} // namespace tarvik
