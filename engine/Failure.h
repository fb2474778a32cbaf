#pragma once

#include <stdexcept>
#include <string>

namespace tarvik {

// A reason to stop the engine: the message is printed after "skiv: " and the
// process exits with the code carried here.
class Failure : public std::runtime_error {
  public:
    Failure(std::string message, int exitCode = 1)
        : std::runtime_error(std::move(message)), code_(exitCode) {}
    int exitCode() const noexcept { return code_; }

  private:
    int code_;
};

// A malformed command line: printed with the usage text, exit status 2.
class UsageError : public Failure {
  public:
    explicit UsageError(std::string message) : Failure(std::move(message), 2) {}
};

} // namespace tarvik
