#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

// A 128-bit identifier. Profiles and forwarding rules are told apart by it,
// so a decoded identifier must round-trip to exactly the same value.
class Uuid {
  public:
    using Bytes = std::array<unsigned char, 16>;

    // The nil identifier; use random() for a fresh one.
    Uuid() = default;
    explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

    static Uuid random();
    // Accepts the 36-character hyphenated form in either letter case.
    static std::optional<Uuid> parse(std::string_view text);

    // Canonical hyphenated form with upper-case digits.
    std::string text() const;
    const Bytes& bytes() const { return bytes_; }

    friend bool operator==(const Uuid&, const Uuid&) = default;

  private:
    Bytes bytes_{};
};

} // namespace tarvik
