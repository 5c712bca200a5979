#ifndef KINDORA_CORE_VECTOR_PATH_H
#define KINDORA_CORE_VECTOR_PATH_H

// The hot loops (the burn step, the picture scaling) have an SSE2 form beside
// the plain one; both give the same bytes. KINDORA_SCALAR (the CMake option)
// forces the plain form, as does any target without SSE2.
#if defined(__SSE2__) && !defined(KINDORA_SCALAR)
#define KINDORA_SSE2 1
#include <emmintrin.h>
#else
#define KINDORA_SSE2 0
#endif

// With GCC or Clang on x86-64, the heat propagation also has an AVX2 form,
// compiled for that target alone and run only where the processor has it:
// the build still runs on any x86-64.
#if KINDORA_SSE2 && defined(__x86_64__) && defined(__GNUC__)
#define KINDORA_AVX2 1
#define KINDORA_AVX2_TARGET __attribute__((target("avx2")))
#include <immintrin.h>
#else
#define KINDORA_AVX2 0
#endif

// Whether this processor, and the system under it, runs AVX2 code.
inline bool CpuRunsAvx2() {
#if KINDORA_AVX2
    // A caller may run before the static constructor that fills in what
    // the processor has.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

#endif
