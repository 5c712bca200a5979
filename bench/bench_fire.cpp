// One burn step at each resolution, beside a baseline measured in the same
// run: a memcpy that streams as many bytes as the step's planes hold (both
// heat planes, the cooling map, the desktop plane and the fire image). The
// counter `x_memcpy` is the step's time over the baseline's.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_context.h"
#include "fireclass.h"
#include "vector_path.h"

namespace {

constexpr int kStretchSteps = 4200;

HeadlessGL& Context() {
    return BenchContext("bench_fire", 16, 16);
}

size_t PlaneBytes(int side) {
    return size_t(side) * side * 11;
}

double SecondsPerCopy(size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    const int rounds = 200;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / rounds;
}

// A fire in full swing: set up over a patterned picture and burnt for ten
// seconds of frames.
std::unique_ptr<FIRECLASS> BurningFire(int fireRes, int style) {
    Context();
    srand(1);
    auto fire = std::make_unique<FIRECLASS>();
    fire->Setup(FireSettingsRecord(fireRes, style));
    for (int i = 0; i < fire->width * fire->height * 4; ++i)
        fire->desk[i] = uint8_t(i * 13);
    fire->ResetDesktop();
    for (int i = 0; i < 600; ++i)
        fire->Burn(1.0 / 60.0);
    return fire;
}

void BM_BurnStep(benchmark::State& state) {
    auto fire = BurningFire(int(state.range(0)), int(state.range(1)));
    const double copy = SecondsPerCopy(PlaneBytes(fire->width));
    double spent = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        fire->Burn(1.0 / 60.0);
        glFinish();
        std::chrono::duration<double> step = std::chrono::steady_clock::now() - start;
        spent += step.count();
        state.SetIterationTime(step.count());
    }
    state.counters["memcpy_us"] = copy * 1e6;
    state.counters["x_memcpy"] = (spent / double(state.iterations())) / copy;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PlaneBytes(fire->width)));
}

// The parts of the step, at the largest grid, to see where the time goes.
void BM_StepPart(benchmark::State& state) {
    auto fire = BurningFire(2, 0);
    for (auto _ : state) {
        switch (state.range(0)) {
            case 0:
                fire->PropagateHeat();
                break;
            case 1:
                fire->WarpVisibleRows();
                break;
            case 2:
                fire->BuildFireImage();
                break;
            case 3:
                fire->UploadFireImage();
                glFinish();
                break;
            case 4:
                fire->ScrollCoolMap();
                break;
            case 5:
                fire->Relax();
                break;
            case 6:  // the propagation with the copy into heat, as the relaxing half runs it
                fire->PropagateAndCopy();
                break;
        }
        benchmark::ClobberMemory();
    }
}

// The propagation alone in each of its vector forms: wide 1 is the AVX2
// form, which the step runs where the processor has it.
void BM_Propagation(benchmark::State& state) {
    auto fire = BurningFire(int(state.range(0)), 0);
    if (state.range(1) && !CpuRunsAvx2()) {
        state.SkipWithError("no AVX2 here");
        return;
    }
    fire->wideForms = state.range(1) != 0;
    for (auto _ : state) {
        fire->PropagateHeat();
        benchmark::ClobberMemory();
    }
}

}  // namespace

// The same stretch of the fire every run, whatever the speed: a step costs
// more as the fire spreads, so a count of steps fitted to a time would
// measure a faster build over hotter states. These 4200 steps (seventy
// seconds of fire at sixty frames a second) are about as many as the timed
// runs took before.
BENCHMARK(BM_BurnStep)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"fireRes", "style"})
    ->Iterations(kStretchSteps)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Propagation)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->ArgNames({"fireRes", "wide"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepPart)->DenseRange(0, 6)->ArgName("part")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
