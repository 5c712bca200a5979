#ifndef KINDORA_BENCH_BENCH_CONTEXT_H
#define KINDORA_BENCH_BENCH_CONTEXT_H

#include <cstdio>
#include <cstdlib>

#include "headless_gl.h"

// The one headless context of a benchmark program, made on first use at the
// given size; a benchmark without OpenGL measures nothing, so it exits.
inline HeadlessGL& BenchContext(const char* program, int width, int height) {
    static HeadlessGL gl;
    if (!gl.width && !gl.Create(width, height)) {
        fprintf(stderr, "%s: no OpenGL context: %s\n", program, gl.error);
        exit(1);
    }
    return gl;
}

#endif
