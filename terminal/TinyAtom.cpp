#include "terminal/TinyAtom.h"

namespace tarvik {

std::optional<TinyAtom> TinyAtom::lookup(std::string_view payload) {
    return TinyAtomRegistry::shared().lookup(payload);
}

const std::string* TinyAtom::target() const {
    return TinyAtomRegistry::shared().target(*this);
}

TinyAtomRegistry& TinyAtomRegistry::shared() {
    static TinyAtomRegistry registry;
    return registry;
}

std::optional<TinyAtom> TinyAtomRegistry::lookup(std::string_view payload) {
    std::lock_guard lock(mutex_);
    if (auto found = atoms_.find(payload); found != atoms_.end()) return TinyAtom(found->second);
    if (payloads_.size() >= capacity_) return std::nullopt;
    const std::string& stored = payloads_.emplace_back(payload);
    const auto atom = static_cast<std::uint16_t>(payloads_.size());
    atoms_.emplace(std::string_view(stored), atom);
    return TinyAtom(atom);
}

const std::string* TinyAtomRegistry::target(TinyAtom atom) const {
    std::lock_guard lock(mutex_);
    if (atom.isNone() || atom.value() > payloads_.size()) return nullptr;
    return &payloads_[atom.value() - 1];
}

std::uint16_t TinyAtomRegistry::lastAtom() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint16_t>(payloads_.size());
}

} // namespace tarvik
