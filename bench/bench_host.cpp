// The time from a view's creation to its first drawn frame at 1920 x 1080
// (capture, pack, set-up, upload, one frame), beside a plain capture of the
// same screen in the same run. The counter `x_capture` is the first
// frame's time over the capture's.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "headless_host.h"
#include "kindora_view.h"
#include "pack_loader.h"
#include "picfile.h"
#include "ssmain.h"
#include "x11_capture.h"

namespace {

constexpr int kW = 1920, kH = 1080;

HEADLESSHOST& Host() {
    static HEADLESSHOST host;
    if (!host.gl.width) {
        if (!CreateHeadlessHost(&host, kW, kH)) {
            fprintf(stderr, "bench_host: no OpenGL context: %s\n", host.gl.error);
            exit(1);
        }
        host.screens = {HeadlessScreen(0, 0, 0, kW, kH)};
        HEADLESSHOST::Capture screen = SolidCapture(kW, kH, 0, 0, 0);
        for (size_t i = 0; i < screen.rgba.size(); i += 4) {
            screen.rgba[i] = uint8_t(i / 4 % kW);
            screen.rgba[i + 1] = uint8_t(i / 4 / kW);
            screen.rgba[i + 2] = uint8_t(i * 7);
        }
        host.captures[0] = screen;
        SETTINGS settings;
        settings.FIRERES = 1;
        settings.BURNSTYLE = 0;
        settings.BURNSPEED = 20;
        settings.BURNDELAY = 20;
        settings.BGRES = 2;  // the screen's own size
        settings.BGTYPE = 0;
        StoreSettings(&host, settings, false);
    }
    return host;
}

double PlainCapture(HEADLESSHOST* host) {
    const HOSTPLATFORM platform = HeadlessHostPlatform(host);
    const auto start = std::chrono::steady_clock::now();
    uint8_t* rgba = nullptr;
    uint32_t w = 0, h = 0;
    platform.ReadScreen(platform.context, 0, &rgba, &w, &h);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    free(rgba);
    return spent.count();
}

void BM_FirstFrame(benchmark::State& state) {
    HEADLESSHOST& host = Host();
    HOSTRECT frame;
    frame.width = kW;
    frame.height = kH;
    double capture = 0, first = 0;
    for (auto _ : state) {
        capture += PlainCapture(&host);
        const auto start = std::chrono::steady_clock::now();
        {
            KindoraView view;
            view.initWithFrame(frame, false, HeadlessHostPlatform(&host));
            view.startAnimation();
            view.animateOneFrame();  // set-up
            host.clock += 1.0 / 60.0;
            view.animateOneFrame();  // the first drawn frame
            glFinish();
            const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
            first += spent.count();
            state.SetIterationTime(spent.count());
            view.dealloc();
        }
    }
    const double n = double(state.iterations());
    state.counters["first_frame_ms"] = first / n * 1e3;
    state.counters["capture_ms"] = capture / n * 1e3;
    state.counters["x_capture"] = first / capture;
}

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The steps of the first frame one by one, as the view runs them for the
// screen as background: each counter is that step's mean time in ms.
void BM_FirstFrameSteps(benchmark::State& state) {
    HEADLESSHOST& host = Host();
    const HOSTPLATFORM platform = HeadlessHostPlatform(&host);
    char pack[1024] = "";
    platform.ResourcePath(platform.context, "zarnish", "vellumry", pack, sizeof pack);
    const uint32_t texW = TextureSideFor(kW, 16384), texH = TextureSideFor(kH, 16384);
    double read = 0, scale = 0, upload = 0, fireCopy = 0, packLoad = 0, setup = 0, draw = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        uint8_t* rgba = nullptr;
        uint32_t w = 0, h = 0;
        platform.ReadScreen(platform.context, 0, &rgba, &w, &h);
        read += MsSince(start);

        start = Clock::now();
        uint8_t* texels = static_cast<uint8_t*>(malloc(size_t(texW) * texH * 4));
        ScaleRGBA(rgba, w, h, texels, texW, texH);
        scale += MsSince(start);

        start = Clock::now();
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(texW), GLsizei(texH), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, texels);
        glFinish();
        upload += MsSince(start);

        start = Clock::now();
        uint8_t* copy = new uint8_t[256 * 256 * 4];
        ScaleRGBA(texels, texW, texH, copy, 256, 256);
        fireCopy += MsSince(start);

        start = Clock::now();
        SSMAIN* main = new SSMAIN;
        SETTINGS settings;
        settings.FIRERES = 1;
        main->Setup(false, kW, kH, &settings);
        setup += MsSince(start);

        start = Clock::now();
        LoadTexturesFromDataFile(pack, &main->textures, &main->texCount);
        glFinish();
        packLoad += MsSince(start);

        start = Clock::now();
        main->deskTex = name;
        glViewport(0, 0, kW, kH);
        main->Update(1.0 / 60.0);
        main->Draw();
        glFinish();
        draw += MsSince(start);

        main->Cleanup();
        delete main;
        delete[] copy;
        free(texels);
        free(rgba);
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = read / n;
    state.counters["scale_ms"] = scale / n;
    state.counters["upload_ms"] = upload / n;
    state.counters["fire_copy_ms"] = fireCopy / n;
    state.counters["setup_ms"] = setup / n;
    state.counters["pack_ms"] = packLoad / n;
    state.counters["draw_ms"] = draw / n;
}

// Where an X display of at least 1920 x 1080 is at hand: the X11 host's
// capture of that much of its root (XGetImage and the colour conversion).
void BM_X11Capture(benchmark::State& state) {
    Display* display = XOpenDisplay(nullptr);
    if (!display || DisplayWidth(display, 0) < kW || DisplayHeight(display, 0) < kH) {
        if (display) XCloseDisplay(display);
        state.SkipWithError("no X display of 1920 x 1080 or more");
        return;
    }
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    for (auto _ : state) {
        uint8_t* rgba = nullptr;
        ReadDrawableArea(display, DefaultRootWindow(display), visual, 0, 0, kW, kH, &rgba);
        free(rgba);
    }
    XCloseDisplay(display);
}

}  // namespace

BENCHMARK(BM_X11Capture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_FirstFrameSteps)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
