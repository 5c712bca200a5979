// Frames (SSMAIN::Draw) at 1920 x 1080 in the headless context, each beside
// one plain textured full-view quad drawn just before it, so that drift
// cancels. The counter `x_quad` is the frames' time over the quads'.
//
// BM_DrawFrame: one whole frame, drawn again and again.
// BM_DrawSequence: the frames of a running sequence as the user meets them,
// on a surface that keeps its pixels (keeps:1), or one that does not, where
// every frame is drawn whole (keeps:0): a burning picture with flames and char
// on it, the banner arriving, a caption fading in. `redrawn_share` is the
// mean share of the view's pixels redrawn per frame, `whole_share` the share
// of frames drawn whole.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "bench_context.h"
#include "damage.h"
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

double Seconds(std::chrono::steady_clock::time_point since) {
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - since;
    return spent.count();
}

double TimedQuad(GLuint texture) {
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    PlainQuad(texture);
    glFinish();
    return Seconds(start);
}

double TimedFrame(SSMAIN& main) {
    glFinish();
    const auto start = std::chrono::steady_clock::now();
    main.Draw();
    glFinish();
    return Seconds(start);
}

// A view as the host sets it up: the picture, its fire-sized copy to burn,
// and the banner's and caption's pictures.
void SetUpView(SSMAIN& main, int fireRes) {
    SETTINGS settings = FireSettingsRecord(fireRes, 0);
    main.Setup(false, kW, kH, &settings);
    main.deskTex = MakePicture(1024);
    const int side = main.fire->width;
    for (int i = 0; i < side * side * 4; ++i)
        main.fire->desk[i] = uint8_t(i * 7);
    main.fire->ResetDesktop();
    for (int record : {kBannerCorner, kMessageFirst, kMessageFirst + 1})
        main.textures[record].texID = MakePicture(64);
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
    double frames = 0, quads = 0;
    for (auto _ : state) {
        quads += TimedQuad(quadTexture);
        const double frame = TimedFrame(main);
        frames += frame;
        state.SetIterationTime(frame);
    }
    const double n = double(state.iterations());
    state.counters["quad_ms"] = quads / n * 1e3;
    state.counters["x_quad"] = frames / quads;
    glDeleteTextures(1, &quadTexture);
}

constexpr double kTick = 1.0 / 60.0;
constexpr int kSequenceFrames = 480;  // 8 s

// 20 s of burning first so that flames and char are on the picture; then
// the banner arrives after 0.5 s and the caption fades in from 5.5 s to
// 7.5 s (a quarter of the frames, all drawn whole).
void BM_DrawSequence(benchmark::State& state) {
    Context();
    glViewport(0, 0, kW, kH);
    srand(1);
    GLuint quadTexture = MakePicture(1024);
    double frames = 0, quads = 0, share = 0, whole = 0;
    for (auto _ : state) {
        SSMAIN main;
        SetUpView(main, int(state.range(0)));
        for (int i = 0; i < 1200; ++i)
            main.Update(kTick);
        main.bannerTimer = 0.5f;
        main.captionTimer = -34.5f;
        main.keepsPixels = state.range(1) != 0;
        double spent = 0;
        for (int i = 0; i < kSequenceFrames; ++i) {
            main.Update(kTick);
            // The quad overwrites the frame's pixels; what a frame costs
            // does not depend on them.
            quads += TimedQuad(quadTexture);
            const double frame = TimedFrame(main);
            spent += frame;
            share += double(DamageArea(main.damage, kW, kH)) / (double(kW) * kH);
            whole += main.damage.whole ? 1 : 0;
        }
        frames += spent;
        state.SetIterationTime(spent / kSequenceFrames);
    }
    const double n = double(state.iterations()) * kSequenceFrames;
    state.counters["frame_ms"] = frames / n * 1e3;
    state.counters["quad_ms"] = quads / n * 1e3;
    state.counters["x_quad"] = frames / quads;
    state.counters["redrawn_share"] = share / n;
    state.counters["whole_share"] = whole / n;
    glDeleteTextures(1, &quadTexture);
}

}  // namespace

BENCHMARK(BM_DrawFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DrawSequence)
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({2, 1})
    ->Args({2, 0})
    ->ArgNames({"fireres", "keeps"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
