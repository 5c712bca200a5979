// The time from a view's creation to its first drawn frame at 1920 x 1080
// (capture, pack, set-up, upload, one frame), beside a plain capture of the
// same screen in the same run. The counter `x_capture` is the first
// frame's time over the capture's.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "headless_host.h"
#include "kindora_view.h"
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

BENCHMARK_MAIN();
