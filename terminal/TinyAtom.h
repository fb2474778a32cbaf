#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvik {

// A 16-bit handle that lets a cell carry a hyperlink without growing: the payload text
// lives in its terminal's registry, the cell keeps only the number. 0 means "no payload".
class TinyAtom {
  public:
    constexpr TinyAtom() = default;
    constexpr explicit TinyAtom(std::uint16_t value) : value_(value) {}

    // The largest atom ever handed out; one value short of the type's range.
    static constexpr std::uint16_t maxAtom = 65534;

    constexpr std::uint16_t value() const { return value_; }
    constexpr bool isNone() const { return value_ == 0; }

    friend constexpr bool operator==(TinyAtom, TinyAtom) = default;

  private:
    std::uint16_t value_ = 0;
};

// The hyperlink payloads of one terminal. Interning gives an identical payload its old
// atom, so repeats of one link cost nothing. When the registry is full, its owner sweeps
// it (beginSweep, mark the atoms still held by cells, endSweep) and the unmarked atoms are
// handed out again.
class TinyAtomRegistry {
  public:
    explicit TinyAtomRegistry(std::uint16_t capacity = TinyAtom::maxAtom)
        : capacity_(capacity < 1 ? 1 : (capacity < TinyAtom::maxAtom ? capacity : TinyAtom::maxAtom)) {}

    // None once the registry is full.
    std::optional<TinyAtom> lookup(std::string_view payload);
    // The payload of an atom, or nullptr for 0 and atoms not held. Valid until the next
    // sweep that frees the atom.
    const std::string* target(TinyAtom atom) const;
    // Live payloads.
    std::size_t size() const { return atoms_.size(); }

    void beginSweep();
    void mark(TinyAtom atom);
    // Frees every atom not marked since beginSweep; returns how many.
    std::size_t endSweep();

  private:
    std::uint16_t capacity_;
    // A deque keeps element addresses stable, so the keys below can view the payloads.
    std::deque<std::optional<std::string>> payloads_; // atom n at index n - 1
    std::unordered_map<std::string_view, std::uint16_t> atoms_;
    std::vector<std::uint16_t> free_;
    std::vector<bool> marked_;
};

} // namespace tarvik
