// Clearing the upper halves of the vector registers on entry to a codec.
// Code elsewhere in the host's process may leave 256- or 512-bit state dirty
// (a routine built for AVX that returns without vzeroupper); the legacy-encoded
// 128-bit instructions that compilers emit for plain copies and fills then pay
// a merge with those halves on every instruction, which halves the speed of a
// hot loop. One vzeroupper per call puts the processor back in the clean state.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZAR_VECTOR_STATE_X86 1
#endif

namespace zar::codec {

#ifdef ZAR_VECTOR_STATE_X86
__attribute__((target("avx"))) inline void zeroUpperHalves() { _mm256_zeroupper(); }
#endif

// Leaves the upper halves clean on processors with AVX; a no-op elsewhere.
inline void clearUpperVectorState() {
#ifdef ZAR_VECTOR_STATE_X86
    if (__builtin_cpu_supports("avx")) zeroUpperHalves();
#endif
}

}  // namespace zar::codec
