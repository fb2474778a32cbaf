#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Key material lives in these buffers; every block they give back is wiped
// first, including the ones left behind when a vector grows.
template <class T> struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U> WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, size_t n) noexcept;
    template <class U> bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

void wipe(void* data, size_t size);

template <class T> void WipingAllocator<T>::deallocate(T* p, size_t n) noexcept {
    wipe(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
}

using Bytes = std::vector<uint8_t, WipingAllocator<uint8_t>>;
using ByteView = std::span<const uint8_t>;

// Text that may hold a secret (passphrases, decoded key files).
using SecretString = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

// A short string keeps its characters inside the object, where the allocator
// never sees them to wipe them; reserving past that buffer keeps a secret on
// the heap.
inline SecretString secretWithRoom(size_t size) {
    SecretString secret;
    secret.reserve(std::max<size_t>(size, 64));
    return secret;
}

inline ByteView view(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
inline std::string_view text(ByteView bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
inline void append(Bytes& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

} // namespace tarvik
