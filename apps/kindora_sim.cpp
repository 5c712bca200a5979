// kindora-sim: runs the fire simulation headless and prints hashes of its
// state, for regression checks and profiling. The output format is fixed:
// other tools compare it.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli.h"
#include "fireclass.h"
#include "headless_gl.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: kindora-sim [--seed N] [--fire-res N] [--burn-style N] [--colours N] "
            "[--burn-speed N] [--burn-delay N] [--steps N] [--dt SECONDS] [--every K]\n");
}

uint64_t Fnv1a(uint64_t h, const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001b3ULL;
    }
    return h;
}

constexpr uint64_t kFnvBasis = 0xcbf29ce484222325ULL;

uint64_t Hash(const void* data, size_t n) {
    return Fnv1a(kFnvBasis, data, n);
}

uint64_t MeshHash(const FIRECLASS& fire) {
    uint64_t h = kFnvBasis;
    for (int c = 0; c < kMeshColumns; ++c) {
        for (int r = 0; r < kMeshRows; ++r) {
            const MESHPOINT& p = fire.mesh[c][r];
            const float values[4] = {p.x, p.y, p.vx, p.vy};
            h = Fnv1a(h, values, sizeof values);  // x86-64 stores floats little-endian
        }
    }
    return h;
}

void Report(const FIRECLASS& fire, long step) {
    const size_t cells = size_t(fire.width) * size_t(fire.height);
    printf("step %ld\n", step);
    printf("heat %016llx\n", (unsigned long long)Hash(fire.heat, cells));
    printf("nextHeat %016llx\n", (unsigned long long)Hash(fire.nextHeat, cells));
    printf("coolMap %016llx\n", (unsigned long long)Hash(fire.coolMap, cells));
    printf("desk %016llx\n", (unsigned long long)Hash(fire.desk, cells * 4));
    printf("fireImage %016llx\n", (unsigned long long)Hash(fire.fireImage, cells * 4));
    printf("mesh %016llx\n", (unsigned long long)MeshHash(fire));
    printf("hotzones %d\n", fire.numHotzones);
    printf("sparks %d\n", fire.numSparks);
    printf("spawnTimer %.9g\n", double(fire.spawnTimer));
    printf("resetTimer %.9g\n", double(fire.resetTimer));
    printf("burnStyle %d\n", fire.BURNSTYLE);
}

// The test picture: a red and green gradient with an XOR pattern in blue.
void FillTestPicture(FIRECLASS* fire) {
    const int W = fire->width;
    for (int i = 0; i < W * W; ++i) {
        const int x = i % W, y = i / W;
        uint8_t* cell = fire->desk + 4 * size_t(i);
        cell[0] = uint8_t((x * 255) / (W - 1));
        cell[1] = uint8_t((y * 255) / (W - 1));
        cell[2] = uint8_t((x ^ y) & 255);
        cell[3] = 255;
    }
}

}  // namespace

int main(int argc, char** argv) {
    FireOptions options;
    long steps = 600, every = 0;
    double dt = 0.016666666666666666;
    std::vector<CliOption> table = {
        {"--steps", CliOption::kInteger, &steps, 0, LONG_MAX},
        {"--dt", CliOption::kReal, &dt},
        {"--every", CliOption::kInteger, &every, 0, LONG_MAX},
    };
    AddFireOptions(&options, &table);
    if (!ParseCli(argc, argv, table)) {
        Usage();
        return 2;
    }
    HeadlessGL gl;
    if (!gl.Create(16, 16)) {
        fprintf(stderr, "kindora-sim: no OpenGL context: %s\n", gl.error);
        return 1;
    }
    srand(unsigned(options.seed));
    static FIRECLASS fire;  // large: keep it off the stack
    SETTINGS settings = FireSettings(options, 1);
    fire.Setup(settings);
    if (!fire.heatMem) {
        fprintf(stderr, "kindora-sim: out of memory setting up the fire\n");
        return 1;
    }
    FillTestPicture(&fire);
    fire.ResetDesktop();
    for (long step = 1; step <= steps; ++step) {
        fire.Burn(dt);
        if ((every > 0 && step % every == 0) || step == steps) Report(fire, step);
    }
    if (steps == 0) Report(fire, 0);
    fire.Cleanup();
    return 0;
}
