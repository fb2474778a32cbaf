#include "terminal/TinyAtom.h"

namespace tarvik {

std::optional<TinyAtom> TinyAtomRegistry::lookup(std::string_view payload) {
    if (auto found = atoms_.find(payload); found != atoms_.end()) return TinyAtom(found->second);
    if (atoms_.size() >= capacity_) return std::nullopt;
    std::uint16_t atom = 0;
    if (!free_.empty()) {
        atom = free_.back();
        free_.pop_back();
        payloads_[atom - 1u].emplace(payload);
    } else {
        payloads_.emplace_back(std::string(payload));
        atom = static_cast<std::uint16_t>(payloads_.size());
    }
    atoms_.emplace(std::string_view(*payloads_[atom - 1u]), atom);
    return TinyAtom(atom);
}

const std::string* TinyAtomRegistry::target(TinyAtom atom) const {
    if (atom.isNone() || atom.value() > payloads_.size()) return nullptr;
    const auto& payload = payloads_[atom.value() - 1u];
    return payload ? &*payload : nullptr;
}

void TinyAtomRegistry::beginSweep() {
    marked_.assign(payloads_.size(), false);
}

void TinyAtomRegistry::mark(TinyAtom atom) {
    if (!atom.isNone() && atom.value() <= marked_.size()) marked_[atom.value() - 1u] = true;
}

std::size_t TinyAtomRegistry::endSweep() {
    std::size_t freed = 0;
    for (std::size_t i = 0; i < payloads_.size() && i < marked_.size(); ++i) {
        if (marked_[i] || !payloads_[i]) continue;
        atoms_.erase(std::string_view(*payloads_[i]));
        payloads_[i].reset();
        free_.push_back(static_cast<std::uint16_t>(i + 1));
        ++freed;
    }
    marked_.clear();
    return freed;
}

} // namespace tarvik
