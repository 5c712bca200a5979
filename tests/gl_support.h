#ifndef KINDORA_TESTS_GL_SUPPORT_H
#define KINDORA_TESTS_GL_SUPPORT_H

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "headless_gl.h"

// One headless GL context for a whole test binary. Under CI=true a missing
// context is a failure; elsewhere the GL tests are skipped with the reason.
inline HeadlessGL& SharedGL() {
    static HeadlessGL gl;
    static bool tried = false;
    if (!tried) {
        tried = true;
        gl.Create(256, 256);
    }
    return gl;
}

inline bool RunningInCI() {
    const char* ci = getenv("CI");
    return ci && strcmp(ci, "true") == 0;
}

#define REQUIRE_GL()                                                              \
    do {                                                                          \
        HeadlessGL& gl_ = SharedGL();                                             \
        if (!gl_.width) {                                                         \
            if (RunningInCI()) FAIL() << "no headless GL context: " << gl_.error; \
            GTEST_SKIP() << "no headless GL context: " << gl_.error;              \
        }                                                                         \
        gl_.MakeCurrent();                                                        \
    } while (0)

// Reads the RGBA pixels of the current framebuffer, bottom row first.
inline std::vector<unsigned char> ReadPixels(int x, int y, int w, int h) {
    std::vector<unsigned char> pixels(size_t(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

#endif
