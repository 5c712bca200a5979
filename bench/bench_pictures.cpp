// Loading a 4K photograph as the background (size choice 2, fire resolution
// 1) beside decoding the same file alone. The resampling, the fire-sized
// copy and the upload should cost well under the decode; the ratio of the
// two is printed at the end.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_context.h"
#include "box_filter.h"
#include "picfile.h"
#include "picture_decode.h"
#include "picture_writers.h"

namespace {

constexpr uint32_t kWide = 3840;
constexpr uint32_t kHigh = 2160;
std::string picturePath;

// Smooth shapes with fine grain, so that the file compresses like a photograph.
std::vector<uint8_t> PhotoLike() {
    std::vector<uint8_t> pixels(size_t(kWide) * kHigh * 3);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < kHigh; ++y) {
        for (uint32_t x = 0; x < kWide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            const double u = x / double(kWide), v = y / double(kHigh);
            const int base[3] = {int(128 + 100 * std::sin(6 * u + 2 * v)),
                                 int(128 + 90 * std::cos(4 * v - 3 * u)),
                                 int(128 + 80 * std::sin(9 * u * v))};
            for (int c = 0; c < 3; ++c) {
                const int value = base[c] + grain;
                pixels[(size_t(y) * kWide + x) * 3 + c] = uint8_t(value < 0     ? 0
                                                                  : value > 255 ? 255
                                                                                : value);
            }
        }
    }
    return pixels;
}

// One decode of the picture, its pixels released.
bool DecodeOnce() {
    PictureBitmap bitmap;
    if (!DecodePictureFile(picturePath.c_str(), &bitmap, nullptr)) return false;
    benchmark::DoNotOptimize(bitmap.pixels);
    free(bitmap.pixels);
    return true;
}

// One load of the picture as the background, texture and fire copy released.
bool LoadOnce() {
    Texture texture;
    uint8_t* copy = nullptr;
    const bool loaded = loadPicFile(picturePath.c_str(), &texture, 2, &copy, 1);
    glFinish();
    delete[] copy;
    return loaded;
}

void BM_DecodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        if (!DecodeOnce()) {
            state.SkipWithError("decode failed");
            break;
        }
    }
}

void BM_LoadPicFile(benchmark::State& state) {
    for (auto _ : state) {
        if (!LoadOnce()) {
            state.SkipWithError("load failed");
            break;
        }
    }
}

// Both again as a saver meets them when it starts: in a fresh process every
// page of a new buffer is new, while above the same buffers come back from
// the allocator's free store after the first round. The memory freed is
// handed back to the system between rounds, outside the time.
void ColdRounds(benchmark::State& state, bool (*round)(), const char* failure) {
    for (auto _ : state) {
        malloc_trim(0);
        const auto start = std::chrono::steady_clock::now();
        if (!round()) {
            state.SkipWithError(failure);
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

void BM_DecodeOnlyCold(benchmark::State& state) {
    ColdRounds(state, DecodeOnce, "decode failed");
}

void BM_LoadPicFileCold(benchmark::State& state) {
    ColdRounds(state, LoadOnce, "load failed");
}

// The loader's two largest steps on their own, at the sizes this picture
// gives (a 4096 x 2048 texture, a 256 x 256 fire copy).
void BM_FireCopyAlone(benchmark::State& state) {
    std::vector<uint8_t> texels(size_t(4096) * 2048 * 3, 77), copy(256 * 256 * 3);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (auto _ : state) {
        gluScaleImage(GL_RGB, 4096, 2048, GL_UNSIGNED_BYTE, texels.data(), 256, 256,
                      GL_UNSIGNED_BYTE, copy.data());
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_UploadAlone(benchmark::State& state) {
    for (auto _ : state) {
        Texture texture;
        texture.width = 4096;
        texture.height = 2048;
        texture.bpp = 24;
        texture.imageData = static_cast<uint8_t*>(malloc(size_t(4096) * 2048 * 3));
        memset(texture.imageData, 77, size_t(4096) * 2048 * 3);
        BuildTexture(&texture, kAlphaOpaque);
        glFinish();
    }
}

// The same fire copy by our own box filter from the RGBA texels the loader
// now makes (GLU's bytes, proven in the tests).
void BM_FireCopyBoxFilter(benchmark::State& state) {
    std::vector<uint8_t> texels(size_t(4096) * 2048 * 4, 77), copy(256 * 256 * 4);
    for (auto _ : state) {
        BoxFilterScale(texels.data(), 4096, 2048, 4, copy.data(), 256, 256);
        benchmark::DoNotOptimize(copy.data());
    }
}

// What the renderer spends making a new 4096 x 2048 texture's storage,
// before any texel is copied: the floor of any load of this picture.
void BM_TextureStorageAlone(benchmark::State& state) {
    for (auto _ : state) {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4096, 2048, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glFinish();
        glDeleteTextures(1, &name);
    }
}

BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPicFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FireCopyAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UploadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FireCopyBoxFilter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextureStorageAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeOnlyCold)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LoadPicFileCold)->Unit(benchmark::kMillisecond)->UseManualTime();

// Prints as usual and keeps each benchmark's time for the ratio: the median
// of the repetitions where there are several, else the one run's mean.
class RatioReporter : public benchmark::ConsoleReporter {
   public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration && !medians.count(name)) {
                times[name] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[name] = run.GetAdjustedRealTime();
                medians[name] = true;
            }
        }
    }
    std::map<std::string, double> times;
    std::map<std::string, bool> medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    BenchContext("bench_pictures", 64, 64);
    InstallPlatformPictureDecoder();
    char folder[] = "/tmp/kindora-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    picturePath = std::string(folder) + "/photo.jpg";
    const std::vector<uint8_t> pixels = PhotoLike();
    if (!WriteJpegFile(picturePath.c_str(), pixels.data(), kWide, kHigh, JpegLayout::kRgb, 90,
                       JpegScans::kBaseline)) {
        fprintf(stderr, "bench_pictures: cannot write %s\n", picturePath.c_str());
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double decode = reporter.times["BM_DecodeOnly"];
    const double load = reporter.times["BM_LoadPicFile"];
    if (decode > 0 && load > 0) {
        printf(
            "loadPicFile / decode alone: %.2f (the loader's own work: %.1f ms of %.1f ms;\n"
            "  of it the fire copy alone %.1f ms and the upload alone %.1f ms)\n",
            load / decode, load - decode, load, reporter.times["BM_FireCopyAlone"],
            reporter.times["BM_UploadAlone"]);
        const double storage = reporter.times["BM_TextureStorageAlone"];
        printf(
            "  the renderer's new texture storage alone %.1f ms; the rest over decode alone: "
            "%.2f;\n"
            "  the fire copy by our box filter %.1f ms\n",
            storage, (load - storage) / decode, reporter.times["BM_FireCopyBoxFilter"]);
    }
    const double coldDecode = reporter.times["BM_DecodeOnlyCold"];
    const double coldLoad = reporter.times["BM_LoadPicFileCold"];
    if (coldDecode > 0 && coldLoad > 0) {
        printf(
            "as in a fresh process (every page new): loadPicFile %.1f ms / decode %.1f ms: %.2f\n",
            coldLoad, coldDecode, coldLoad / coldDecode);
    }
    unlink(picturePath.c_str());
    rmdir(folder);
    return 0;
}
