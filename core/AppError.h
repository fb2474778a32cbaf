#pragma once

#include <stdexcept>
#include <string>

namespace tarvik {

// A failure the user sees: the message is final text (translated by the shell
// when shown), with no reason, suggestion or help anchor attached.
class AppError : public std::runtime_error {
  public:
    explicit AppError(std::string message) : std::runtime_error(message), message_(std::move(message)) {}
    const std::string& message() const noexcept { return message_; }

  private:
    std::string message_;
};

} // namespace tarvik
