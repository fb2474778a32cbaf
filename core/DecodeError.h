#pragma once

#include <stdexcept>
#include <string>

namespace tarvik {

// A JSON document that parsed but does not describe profiles: a missing host,
// a value of the wrong type, a bad identifier or an unknown enumeration value.
// Syntax errors stay the JSON library's own exceptions.
class DecodeError : public std::runtime_error {
  public:
    explicit DecodeError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace tarvik
