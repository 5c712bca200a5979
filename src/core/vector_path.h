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

#endif
