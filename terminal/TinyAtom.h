#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvik {

class TinyAtomRegistry;

// A 16-bit handle that lets a cell carry a hyperlink without growing: the payload text
// lives in a registry, the cell keeps only the number. 0 means "no payload".
class TinyAtom {
  public:
    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(std::uint16_t value) : value_(value) {}

    // The largest atom ever handed out; one value short of the type's range.
    static constexpr std::uint16_t maxAtom = 65534;

    // Interns a payload in the process-wide registry. None once the registry is full.
    static std::optional<TinyAtom> lookup(std::string_view payload);

    constexpr std::uint16_t value() const { return value_; }
    constexpr bool isNone() const { return value_ == 0; }

    // The payload behind this atom in the process-wide registry, or nullptr for 0 and for
    // atoms it never handed out. The pointer stays valid for the life of the process.
    const std::string* target() const;

    friend constexpr bool operator==(TinyAtom, TinyAtom) = default;

  private:
    std::uint16_t value_ = 0;
};

// Payloads are never released, so a hostile program could otherwise exhaust the 16-bit
// space with repeats of the same link; interning gives an identical payload its old atom.
// Guarded by a mutex because the process-wide instance is shared by every terminal.
class TinyAtomRegistry {
  public:
    explicit TinyAtomRegistry(std::uint16_t capacity = TinyAtom::maxAtom)
        : capacity_(capacity < TinyAtom::maxAtom ? capacity : TinyAtom::maxAtom) {}

    static TinyAtomRegistry& shared();

    std::optional<TinyAtom> lookup(std::string_view payload);
    const std::string* target(TinyAtom atom) const;
    std::uint16_t lastAtom() const;

  private:
    mutable std::mutex mutex_;
    std::uint16_t capacity_;
    // A deque keeps element addresses stable, so target() can hand out pointers.
    std::deque<std::string> payloads_;
    std::unordered_map<std::string_view, std::uint16_t> atoms_;
};

} // namespace tarvik
