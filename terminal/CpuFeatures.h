#pragma once

namespace tarvik::cpu {

// Whether the processor has AVX2's 32-byte integer operations, which store two cells at
// once. Probed on first use and asked explicitly: a static initialiser may run before
// the run-time library has probed the processor.
inline bool hasAvx2() {
#if defined(__x86_64__)
    static const bool value = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return value;
#else
    return false;
#endif
}

// Whether the processor has AVX-512's 64-byte integer operations, with masks down to
// bytes: four cells to a register, and a row's ragged end written without a loop.
inline bool hasAvx512() {
#if defined(__x86_64__)
    static const bool value =
        (__builtin_cpu_init(), __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                   __builtin_cpu_supports("avx512vl"));
    return value;
#else
    return false;
#endif
}

} // namespace tarvik::cpu
