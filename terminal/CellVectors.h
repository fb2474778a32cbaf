#pragma once

#if defined(__x86_64__)
#include <immintrin.h>

#include "terminal/CharData.h"

namespace tarvik::simd {

// A cell copied into each quarter of a 64-byte register: four cells to write or compare
// at once. The zero-masked broadcast with a full mask is the plain one; GCC 12's plain
// form starts from an undefined register and warns that it is used uninitialised.
__attribute__((target("avx512f"))) inline __m512i fourCopies(const CharData& cell) {
    return _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell)));
}

} // namespace tarvik::simd
#endif
