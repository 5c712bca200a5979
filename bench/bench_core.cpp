// One whole frame (SSMAIN::Draw) at 1920 x 1080 in the headless context,
// beside one plain textured full-view quad drawn in the same run. The
// counter `x_quad` is the frame's time over the quad's.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "bench_context.h"
#include "fireclass.h"
#include "ssmain.h"
#include "texture.h"

namespace {

constexpr int kW = 1920, kH = 1080;

HeadlessGL& Context() {
    return BenchContext("bench_core", kW, kH);
}

GLuint MakePicture(int side) {
    Texture t;
    t.width = t.height = uint32_t(side);
    t.bpp = 24;
    t.imageData = static_cast<uint8_t*>(malloc(size_t(side) * side * 3));
    for (int i = 0; i < side * side * 3; ++i)
        t.imageData[i] = uint8_t(i * 7);
    BuildTexture(&t, kAlphaOpaque);
    const GLuint name = t.texID;
    t.texID = 0;
    return name;
}

void PlainQuad(GLuint texture) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kW, 0, kH, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(0, 0, 0);
    glTexCoord2f(1, 0);
    glVertex3f(kW, 0, 0);
    glTexCoord2f(1, 1);
    glVertex3f(kW, kH, 0);
    glTexCoord2f(0, 1);
    glVertex3f(0, kH, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

double SecondsPer(void (*draw)(void*), void* arg, int rounds) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        draw(arg);
        glFinish();
    }
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / rounds;
}

void BM_DrawFrame(benchmark::State& state) {
    Context();
    glViewport(0, 0, kW, kH);
    srand(1);
    SSMAIN main;
    SETTINGS settings = FireSettingsRecord(1, 0);
    main.Setup(false, kW, kH, &settings);
    main.deskTex = MakePicture(1024);
    for (int i = 0; i < 120; ++i)
        main.Update(1.0 / 60.0);
    main.frameTime = 1.0 / 60.0;

    GLuint quadTexture = MakePicture(1024);
    const double quad =
        SecondsPer([](void* t) { PlainQuad(*static_cast<GLuint*>(t)); }, &quadTexture, 10);
    double spent = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        main.Draw();
        glFinish();
        std::chrono::duration<double> frame = std::chrono::steady_clock::now() - start;
        spent += frame.count();
        state.SetIterationTime(frame.count());
    }
    state.counters["quad_ms"] = quad * 1e3;
    state.counters["x_quad"] = (spent / double(state.iterations())) / quad;
    glDeleteTextures(1, &quadTexture);
}

}  // namespace

BENCHMARK(BM_DrawFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
