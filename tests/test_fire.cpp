// Fire simulation: small cases worked out by hand from the rules of the
// field, the burn step, the texture updates and the hot zones and sparks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fireclass.h"
#include "gl_support.h"
#include "tables.h"
#include "vector_path.h"

namespace {

class FireTest : public ::testing::Test {
   protected:
    void SetUp() override { REQUIRE_GL(); }

    FIRECLASS& Make(int fireRes = 0, int style = 0, int colours = 0, int speed = 20,
                    int delay = 20) {
        srand(7);
        fire.reset(new FIRECLASS);
        fire->Setup(FireSettingsRecord(fireRes, style, colours, speed, delay));
        return *fire;
    }

    // Puts every mesh point on its grid position, velocities 0.
    static void RestMesh(FIRECLASS& f) {
        for (int c = 0; c < kMeshColumns; ++c) {
            for (int r = 0; r < kMeshRows; ++r) {
                f.mesh[c][r] = {float(f.blockSize * c), float(f.blockSize * r), 0.0f, 0.0f};
            }
        }
    }

    static uint8_t* DeskCell(FIRECLASS& f, int x, int deskRow) {
        return f.desk + (size_t(deskRow) * f.width + x) * 4;
    }

    std::unique_ptr<FIRECLASS> fire;
};

// ---------------------------------------------------------------- set-up

TEST_F(FireTest, ResolutionFollowsFireRes) {
    const struct {
        int fireRes, side, block;
    } cases[] = {{0, 128, 12}, {1, 256, 25},  {2, 512, 51},
                 {3, 256, 25}, {-1, 256, 25}, {7, 256, 25}};
    for (const auto& c : cases) {
        FIRECLASS& f = Make(c.fireRes);
        EXPECT_EQ(f.width, c.side) << c.fireRes;
        EXPECT_EQ(f.height, c.side) << c.fireRes;
        EXPECT_EQ(f.blockSize, c.block) << c.fireRes;
        EXPECT_EQ(f.heat, f.heatMem + 2 * c.side);
        EXPECT_EQ(f.nextHeat, f.nextMem + 2 * c.side);
        EXPECT_EQ(f.desk, f.deskMem + 2 * c.side);
        EXPECT_NE(f.fireTexID, 0u);
    }
    EXPECT_FLOAT_EQ(Make(0).restLength[6], 25.0f);
    EXPECT_FLOAT_EQ(Make(0).restLength[4], 16.97057f);
    EXPECT_FLOAT_EQ(Make(2).restLength[8], 144.24983f);
}

TEST_F(FireTest, SetupStartsTimersAndResolvesRandomStyle) {
    for (int seed = 1; seed < 40; ++seed) {
        srand(seed);
        FIRECLASS f;
        f.Setup(FireSettingsRecord(0, 4));
        EXPECT_GE(f.BURNSTYLE, 0);
        EXPECT_LE(f.BURNSTYLE, 3);
        EXPECT_FLOAT_EQ(f.spawnTimer, 0.5f);
        EXPECT_GE(f.resetTimer, 600.0f);
        EXPECT_LE(f.resetTimer, 1199.0f);
        EXPECT_EQ(f.numHotzones, 0);
        EXPECT_EQ(f.numSparks, 0);
    }
    EXPECT_EQ(Make(0, 2).BURNSTYLE, 2);
    EXPECT_EQ(Make(0, 9).BURNSTYLE, 9);  // kept as it is; acts as style 0 where styles differ
}

TEST_F(FireTest, DivisorsBelowOneAreRaisedToOne) {
    FIRECLASS& f = Make(0, 0, 0, 0, -5);
    EXPECT_EQ(f.BURNSPEED, 1);
    EXPECT_EQ(f.BURNDELAY, 1);
    for (int i = 0; i < 400; ++i)
        f.Burn(0.05);  // would divide by zero otherwise
    EXPECT_GT(f.numHotzones, 0);
}

TEST_F(FireTest, PaletteEndsAndSchemes) {
    uint16_t scheme[8][256][4];
    for (int colours : {0, 1, 2, 3, 7})
        memcpy(scheme[colours], Make(0, 0, colours).palette, sizeof scheme[0]);
    const uint16_t zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(scheme[0][0], zero, sizeof zero));
    const uint16_t top[4][4] = {
        {248, 240, 55, 248}, {55, 240, 248, 248}, {240, 248, 55, 248}, {248, 55, 240, 248}};
    for (int colours = 0; colours < 4; ++colours) {
        EXPECT_EQ(0, memcmp(scheme[colours][255], top[colours], sizeof top[0])) << colours;
    }
    EXPECT_EQ(0, memcmp(scheme[7], scheme[0], sizeof scheme[0]));
    // Heat 100: red 34 * 4, green 11 * 4, blue 0; alpha follows red.
    EXPECT_EQ(scheme[0][100][0], 136);
    EXPECT_EQ(scheme[0][100][1], 44);
    EXPECT_EQ(scheme[0][100][3], 136);
    // Cool cells (heat below 28) are fully transparent.
    for (int k = 0; k < 28; ++k)
        EXPECT_EQ(scheme[0][k][3], 0) << k;
    EXPECT_EQ(scheme[0][28][3], 4);
}

TEST(FireTables, RampsAreMonotonicAndBounded) {
    for (int k = 1; k < 256; ++k) {
        EXPECT_GE(FireRed[k], FireRed[k - 1]);
        EXPECT_GE(FireGreen[k], FireGreen[k - 1]);
        EXPECT_GE(FireBlue[k], FireBlue[k - 1]);
    }
    EXPECT_EQ(FireRed[255], 62);
    EXPECT_EQ(FireGreen[255], 60);
    EXPECT_EQ(FireBlue[255], 11);
    EXPECT_EQ(FireRed[73], 16);
    EXPECT_EQ(FireGreen[249], 59);
    EXPECT_EQ(FireBlue[109], 0);
    EXPECT_EQ(FireBlue[110], 1);
}

TEST(FireSmooth, SumsWrapBeforeTheShift) {
    unsigned char one = 200, out = 0;
    Smooth(&one, &out, 1, 1);
    EXPECT_EQ(out, 200 % 64);

    std::vector<unsigned char> all255(16 * 16, 255), dst(16 * 16, 9);
    Smooth(all255.data(), dst.data(), 16, 16);
    for (unsigned char v : dst)
        EXPECT_EQ(v, 63);

    // Three neighbours of 127 and one of 0 give 381 mod 256 = 125, shifted: 31.
    unsigned char plane[9] = {0, 127, 0, 127, 5, 127, 0, 0, 0};
    unsigned char result[9] = {};
    Smooth(plane, result, 3, 3);
    EXPECT_EQ(result[4], 31);

    // Small values average plainly, and neighbours wrap around the edges:
    // cell (0, 0) of a 4x4 plane sees (1, 0), (3, 0), (0, 1) and (0, 3).
    unsigned char small[16] = {}, avg[16] = {};
    small[1] = 4, small[3] = 8, small[4] = 12, small[12] = 16;
    Smooth(small, avg, 4, 4);
    EXPECT_EQ(avg[0], (4 + 8 + 12 + 16) / 4);

    Smooth(nullptr, avg, 4, 4);
    Smooth(small, nullptr, 4, 4);
    EXPECT_EQ(avg[0], 10);
}

TEST_F(FireTest, CoolMapIsSmoothedNoise) {
    FIRECLASS& f = Make(1);
    int maxValue = 0, nonZero = 0;
    for (int i = 0; i < f.width * f.height; ++i) {
        maxValue = std::max<int>(maxValue, f.coolMap[i]);
        nonZero += f.coolMap[i] != 0;
    }
    EXPECT_LE(maxValue, 63);
    EXPECT_GT(nonZero, f.width * f.height / 4);
    // The smoothing's scratch rows at the top of nextHeat start cleared.
    for (int i = 0; i < f.width * 2 * f.blockSize; ++i)
        ASSERT_EQ(f.nextHeat[i], 0);
}

TEST_F(FireTest, MeshStartsNearItsGrid) {
    for (int res = 0; res < 3; ++res) {
        FIRECLASS& f = Make(res);
        const float B = float(f.blockSize);
        for (int c = 0; c < kMeshColumns; ++c) {
            for (int r = 0; r < kMeshRows; ++r) {
                const MESHPOINT& p = f.mesh[c][r];
                EXPECT_EQ(p.vx, 0.0f);
                EXPECT_EQ(p.vy, 0.0f);
                if (c == 0 || c == 10 || r == 0 || r == 12) {
                    EXPECT_EQ(p.x, B * c);
                    EXPECT_EQ(p.y, B * r);
                } else {
                    EXPECT_LE(std::fabs(p.x - B * c), 4.0f);
                    EXPECT_LE(std::fabs(p.y - B * r), 4.0f);
                }
            }
        }
    }
    // Point (1, 1) is the 13th laid out: a1 = 13 * 0.081 and a3 = 13 * 0.085,
    // accumulated in single precision.
    FIRECLASS& f = Make(0);
    float a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    for (int i = 0; i < 13; ++i)
        a1 += 0.081f, a2 += 0.083f, a3 += 0.085f, a4 += 0.087f;
    const double dx = std::sin(double(a3 - 1.0f)) + std::cos(double(1.0f + a3)) +
                      std::sin(double(a1 - 1.0f)) - std::cos(double(1.0f + a1));
    const double dy = std::sin(double(a2 - 1.0f)) + std::cos(double(1.0f + a4)) +
                      std::sin(double(a4 - 1.0f)) - std::cos(double(1.0f + a2));
    EXPECT_EQ(f.mesh[1][1].x, float(12.0 + dx));
    EXPECT_EQ(f.mesh[1][1].y, float(12.0 + dy));
}

TEST_F(FireTest, ResetDesktopClearsOnlyAlpha) {
    FIRECLASS& f = Make(0);
    for (int i = 0; i < f.width * f.height * 4; ++i)
        f.desk[i] = uint8_t(i * 7 + 3);
    f.ResetDesktop();
    for (int i = 0; i < f.width * f.height * 4; ++i) {
        ASSERT_EQ(f.desk[i], (i % 4 == 3) ? 0 : uint8_t(i * 7 + 3)) << i;
    }
}

TEST_F(FireTest, CleanupIsSafeTwiceAndOnAnEmptyObject) {
    FIRECLASS empty;
    empty.Cleanup();
    empty.Cleanup();
    EXPECT_EQ(empty.heatMem, nullptr);

    FIRECLASS& f = Make(1);
    f.Cleanup();
    EXPECT_EQ(f.heatMem, nullptr);
    EXPECT_EQ(f.heat, nullptr);
    EXPECT_EQ(f.desk, nullptr);
    EXPECT_EQ(f.fireTexID, 0u);
    f.Cleanup();
    f.Burn(0.1);  // an emptied fire does nothing
}

// ---------------------------------------------------------------- burn step

// The heat rule over the flat plane, as first written: cell i of `out` gets
// the average of the four neighbours of heat cell i, less its cooling.
void FlatRule(const FIRECLASS& f, uint8_t* out) {
    const int W = f.width;
    const uint8_t* h = f.heat;
    for (int i = 0; i < W * f.height; ++i) {
        const int v = ((h[i - 1] + h[i + 1] + h[i + W] + h[i - W]) >> 2) - f.coolMap[i];
        out[i] = uint8_t(v > 0 ? v : 0);
    }
}

TEST_F(FireTest, HeatRisesOneRowAsTheNeighbourAverage) {
    FIRECLASS& f = Make(0);
    const int W = f.width;
    memset(f.coolMap, 0, size_t(W) * f.height);
    memset(f.heatMem, 0, size_t(f.height + 2 * f.blockSize) * W);
    const int x = 40, y = 60;
    f.heat[y * W + x] = 255;
    f.PropagateHeat();
    EXPECT_EQ(f.nextHeat[(y - 2) * W + x], 63);
    EXPECT_EQ(f.nextHeat[(y - 1) * W + x - 1], 63);
    EXPECT_EQ(f.nextHeat[(y - 1) * W + x + 1], 63);
    EXPECT_EQ(f.nextHeat[y * W + x], 63);
    EXPECT_EQ(f.nextHeat[(y - 1) * W + x], 0);
    int hot = 0;
    for (int i = -W; i < W * (f.height - 1); ++i)
        hot += f.nextHeat[i] != 0;
    EXPECT_EQ(hot, 4);

    // A cold plane stays cold, whatever the cooling map holds.
    memset(f.heatMem, 0, size_t(f.height + 2 * f.blockSize) * W);
    for (int i = 0; i < W * f.height; ++i)
        f.coolMap[i] = uint8_t(i % 64);
    memset(f.nextMem, 77, size_t(f.height + 2 * f.blockSize) * W);
    f.PropagateHeat();
    for (int i = -W; i < W * (f.height - 1); ++i)
        ASSERT_EQ(f.nextHeat[i], 0) << i;
    EXPECT_EQ(f.nextHeat[W * (f.height - 1)], 77);  // the last row is never written
}

// The vector forms of the propagation and the image build that this
// processor runs: SSE2, and AVX2 where it has it (the plain form has a build
// of its own).
std::vector<bool> VectorForms() {
    if (CpuRunsAvx2()) return {false, true};
    return {false};
}

// Random heats, and heats at both ends of the byte (the largest and smallest
// sums, every low bit) over no cooling and random cooling, in each form.
TEST_F(FireTest, HeatPropagationMatchesTheFlatRuleEverywhere) {
    for (int res = 0; res < 12; ++res) {
        FIRECLASS& f = Make(res % 3);
        f.wideForms = VectorForms().back() && res >= 6;
        const int W = f.width, H = f.height;
        const size_t rows = size_t(H + 2 * f.blockSize);
        const bool extremes = res % 6 >= 3;
        for (size_t i = 0; i < rows * W; ++i)
            f.heatMem[i] = uint8_t(!extremes ? rand() : rand() % 2 ? 255 - rand() % 4 : rand() % 4);
        if (extremes) memset(f.coolMap, 0, size_t(W) * (H / 2));
        std::vector<uint8_t> expected(size_t(W) * H);
        FlatRule(f, expected.data());
        f.PropagateHeat();
        ASSERT_EQ(0, memcmp(expected.data(), f.nextHeat - W, expected.size()))
            << res << (f.wideForms ? " wide" : "");
    }
}

// One hot cell at a time, at the ends of groups of sixteen and of rows and
// in the margin rows, over a next plane full of stale bytes: every cell that
// reads it and no other comes out as the rule says, with or without the copy
// into heat, and the groups of heat and flame say which groups came out so.
TEST_F(FireTest, PropagationFollowsEveryLoneHotCell) {
    for (int res = 0; res < 3; ++res) {
        for (bool wide : VectorForms()) {
            FIRECLASS& f = Make(res);
            f.wideForms = wide;
            const int W = f.width, H = f.height;
            const size_t rows = size_t(H + 2 * f.blockSize);
            for (int i = 0; i < W * H; ++i)
                f.coolMap[i] = uint8_t(i % 3 == 0 ? 70 : i % 5);
            // Every other cell is just hot enough for the cooling to leave its
            // neighbours either side of the lowest heat with a flame.
            const auto lone = [&](int x, int y) {
                return uint8_t((x + y) % 2 ? 255 : std::min(255, 4 * f.coldHeat + 8));
            };
            for (int y : {-1, 0, 1, H / 2, H - 2, H - 1, H}) {
                for (int x : {0, 1, 15, 16, 17, 31, W / 2, W - 17, W - 16, W - 2, W - 1}) {
                    for (bool copy : {false, true}) {
                        memset(f.heatMem, 0, rows * W);
                        memset(f.nextMem, 0x5A, rows * W);
                        f.heat[y * W + x] = lone(x, y);
                        std::vector<uint8_t> expected(size_t(W) * (H + 1), 0x5A);
                        FlatRule(f, expected.data());
                        if (copy) {
                            f.PropagateAndCopy();
                        } else {
                            f.PropagateHeat();
                        }
                        const std::string where = std::to_string(res) + " " + std::to_string(x) +
                                                  "," + std::to_string(y) + (copy ? " copy" : "") +
                                                  (wide ? " wide" : "");
                        // Rows -1 to H - 2 of next, and the untouched row under them.
                        ASSERT_EQ(0, memcmp(expected.data(), f.nextHeat - W, expected.size()))
                            << where;
                        if (copy) {
                            ASSERT_EQ(0, memcmp(f.heat, f.nextHeat, size_t(W) * H)) << where;
                            ASSERT_EQ(f.heat[y * W + x],
                                      y >= 0 && y < H ? f.nextHeat[y * W + x] : lone(x, y))
                                << where;
                        }
                        for (int row = -1; row < H - 1; ++row) {
                            uint32_t hot = 0, flame = 0;
                            for (int c = 0; c < W; ++c) {
                                const uint8_t v = f.nextHeat[row * W + c];
                                hot |= uint32_t(v != 0) << (c / kHeatGroup);
                                flame |= uint32_t(v >= f.coldHeat) << (c / kHeatGroup);
                            }
                            ASSERT_EQ(hot, f.hotGroups[row + 1]) << where << " row " << row;
                            if (f.coldHeat > 0) {
                                ASSERT_EQ(flame, f.flameGroups[row + 1]) << where << " row " << row;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST_F(FireTest, CoolMapScrollsUpAndWraps) {
    FIRECLASS& f = Make(0);
    const int W = f.width;
    std::vector<uint8_t> before(f.coolMap, f.coolMap + W * W);
    f.ScrollCoolMap();
    EXPECT_EQ(0, memcmp(f.coolMap, before.data() + W, size_t(W) * (W - 1)));
    EXPECT_EQ(0, memcmp(f.coolMap + W * (W - 1), before.data(), size_t(W)));
}

TEST_F(FireTest, ZeroElapsedFreezesTimersButNotTheHeat) {
    FIRECLASS& f = Make(0, 1);
    f.heat[50 * f.width + 50] = 255;
    const float spawn = f.spawnTimer, reset = f.resetTimer;
    std::vector<uint8_t> cool(f.coolMap, f.coolMap + f.width * f.height);
    f.Burn(0.0);
    EXPECT_EQ(f.spawnTimer, spawn);
    EXPECT_EQ(f.resetTimer, reset);
    EXPECT_EQ(f.warpPhase, 1);
    EXPECT_NE(0, memcmp(cool.data(), f.coolMap, cool.size()));
    f.Burn(0.0);
    EXPECT_EQ(f.warpPhase, 0);
}

TEST_F(FireTest, FirstHotZoneAfterHalfASecondThenByTheDelay) {
    FIRECLASS& f = Make(0, 0, 0, 20, 1);
    int call = 0;
    while (f.numHotzones == 0 && call < 100) {
        f.Burn(1.0 / 60.0);
        ++call;
    }
    EXPECT_EQ(call, 30);  // the float timer reaches below 0 at the 30th step
    // With a delay of 1 every interval is exactly 5 s.
    EXPECT_EQ(f.spawnTimer, 5.0f);
    f.Burn(4.9);
    EXPECT_EQ(f.numHotzones, 1);
    f.Burn(0.2);
    EXPECT_EQ(f.numHotzones, 2);
    EXPECT_EQ(f.spawnTimer, 5.0f);
}

TEST_F(FireTest, StyleZeroNeverRestoresThePicture) {
    FIRECLASS& f = Make(0, 0);
    const float reset = f.resetTimer;
    for (int i = 0; i < 50; ++i)
        f.Burn(100.0);
    EXPECT_EQ(f.resetTimer, reset);
}

TEST_F(FireTest, ResetRestoresThePictureAndEndsTheLiveZones) {
    FIRECLASS& f = Make(0, 1);
    for (int i = 0; i < 3; ++i)
        f.AddHotzone();
    for (int i = 0; i < f.width * f.height; ++i)
        f.desk[4 * i + 3] = 200;
    f.resetTimer = 0.01f;
    f.spawnTimer = 100.0f;
    f.Burn(0.02);
    for (int i = 0; i < f.width * f.height; ++i)
        ASSERT_EQ(f.desk[4 * i + 3], 0) << i;
    EXPECT_EQ(f.numHotzones, 1);  // zone 2 moved into slot 0 and waits a step
    EXPECT_LT(f.hotzones[0].life, 0.0f);
    EXPECT_FLOAT_EQ(f.spawnTimer, 2.0f);
    EXPECT_GE(f.resetTimer, 600.0f);
    f.Burn(0.02);
    EXPECT_EQ(f.numHotzones, 0);
    for (int i = 0; i < 120; ++i)
        f.Burn(1.0 / 60.0);
    EXPECT_EQ(f.numHotzones, 1);
}

// ---------------------------------------------------------------- mesh and image

TEST_F(FireTest, WarpAtRestCopiesEveryBlock) {
    for (int res = 0; res < 3; ++res) {
        FIRECLASS& f = Make(res);
        RestMesh(f);
        const int W = f.width, B = f.blockSize;
        for (int i = 0; i < 12 * B * W; ++i)
            f.nextHeat[i] = uint8_t(i * 31 + 7);
        memset(f.heat, 0, size_t(12 * B) * W);
        f.TextureWarp();
        for (int y = 0; y < 12 * B; ++y) {
            for (int x = 0; x < 10 * B; ++x) {
                ASSERT_EQ(f.heat[y * W + x], f.nextHeat[y * W + x]) << res << " " << x << "," << y;
            }
            for (int x = 10 * B; x < W; ++x)
                ASSERT_EQ(f.heat[y * W + x], 0);
        }
    }
}

TEST_F(FireTest, StepWarpFillsEveryRowThatIsRead) {
    for (int res = 0; res < 3; ++res) {
        FIRECLASS& f = Make(res);
        for (int i = 0; i < 500; ++i)
            f.Relax();                               // a swaying mesh
        const int W = f.width, rows = f.height + 1;  // the plane and the row below it
        for (int i = 0; i < 12 * f.blockSize * W; ++i)
            f.nextHeat[i] = uint8_t(i * 13 + 5);
        f.TextureWarp();
        std::vector<uint8_t> full(f.heat, f.heat + size_t(rows) * W);
        memset(f.heat, 0, size_t(rows) * W);
        f.WarpVisibleRows();
        ASSERT_EQ(0, memcmp(full.data(), f.heat, full.size())) << res;
    }
}

// In the step the warp tells cold rows from the propagation's notes, and
// reads only the rows that no propagation writes. Heat in bands of rows, so
// that blocks meet cold rows beside hot ones, and heat in the margin rows
// below the plane: the warp must write what it writes reading every row.
TEST_F(FireTest, StepWarpTellsColdRowsAsReadingThemWould) {
    for (int res = 0; res < 3; ++res) {
        FIRECLASS& f = Make(res);
        for (int i = 0; i < 500; ++i)
            f.Relax();
        const int W = f.width, H = f.height, B = f.blockSize;
        for (int first = 0; first < 13; first += 3) {
            memset(f.heatMem, 0, size_t(H + 2 * B) * W);
            for (int y = first; y < H; y += 13)
                for (int x = 0; x < W; ++x)
                    f.heat[y * W + x] = (x / 16 + y) % 3 ? 0 : 255;
            f.PropagateHeat();
            for (int y = H - 1; y <= H + 2 * B - 3; ++y)
                memset(f.nextHeat + y * W, y % 2 ? 0 : 200, size_t(W));
            f.hotGroupsValid = true;
            f.WarpVisibleRows();
            const std::vector<uint8_t> told(f.heat, f.heat + size_t(H + 1) * W);
            f.hotGroupsValid = false;
            f.WarpVisibleRows();
            ASSERT_EQ(0, memcmp(told.data(), f.heat, told.size())) << res << " " << first;
        }
    }
}

TEST_F(FireTest, WarpSamplesTheQuadOfItsCorners) {
    FIRECLASS& f = Make(0);
    RestMesh(f);
    const int W = f.width, B = f.blockSize;
    for (int i = 0; i < 12 * B * W; ++i)
        f.nextHeat[i] = uint8_t(i % 251);
    // Shift the whole block (1, 1) right by 3 cells: its interior corners
    // move, so each sampled row slides.
    for (int c = 1; c <= 2; ++c)
        for (int r = 1; r <= 2; ++r)
            f.mesh[c][r].x += 3.0f;
    f.TextureBlock(1, 1);
    for (int y = 0; y < B; ++y)
        for (int x = 0; x < B; ++x)
            ASSERT_EQ(f.heat[(B + y) * W + B + x], f.nextHeat[(B + y) * W + B + x + 3]);
}

TEST_F(FireTest, WarpStaysInsideThePlanesWhateverTheMesh) {
    FIRECLASS& f = Make(0);
    const float wild[] = {1e9f, -1e9f, NAN, INFINITY, -3.0f, 500.0f};
    for (int c = 1; c < 10; ++c)
        for (int r = 1; r < 12; ++r)
            f.mesh[c][r] = {wild[(c + r) % 6], wild[(c * r) % 6], 0, 0};
    f.TextureWarp();  // the sanitizer build checks every read
    for (int i = 0; i < 100; ++i)
        f.Burn(0.02);
}

TEST_F(FireTest, RelaxPushesNeighboursAndKeepsTheBorder) {
    FIRECLASS& f = Make(1);
    RestMesh(f);
    f.mesh[5][5].x += 1.0f;  // now 24 cells from (6, 5) and 26 from (4, 5)
    f.Relax();
    // The spring from (5, 5) to (6, 5) is 1 cell short: it pushes (6, 5)
    // away with dx * (25 - 24) * 0.001, and (4, 5) is pulled with -26 * -1 * 0.001.
    EXPECT_NEAR(f.mesh[6][5].vx, 24 * 0.001f, 1e-5f);
    EXPECT_NEAR(f.mesh[4][5].vx, 26 * 0.001f, 1e-5f);
    EXPECT_NEAR(f.mesh[6][5].x, 150.0f + 24 * 0.001f, 1e-4f);
    for (int i = 0; i < 2000; ++i)
        f.Relax();
    for (int c = 0; c < kMeshColumns; ++c) {
        for (int r = 0; r < kMeshRows; ++r) {
            if (c == 0 || c == 10 || r == 0 || r == 12) {
                ASSERT_EQ(f.mesh[c][r].x, 25.0f * c);
                ASSERT_EQ(f.mesh[c][r].y, 25.0f * r);
            } else {
                ASSERT_LT(std::fabs(f.mesh[c][r].x - 25.0f * c), 6.0f);
            }
        }
    }
}

// Scalar statement of the image rule, to hold the vector build to it.
void ExpectImageFollowsTheRule(FIRECLASS& f) {
    const int W = f.width, H = f.height;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint16_t* p = f.palette[f.nextHeat[y * W + x]];
            const uint8_t* d = f.desk + (size_t(H - 1 - y) * W + x) * 4;
            const uint8_t* out = f.fireImage + (size_t(y) * W + x) * 4;
            for (int i = 0; i < 3; ++i) {
                const int v = f.BURNSTYLE == 0 ? std::min(255, p[i] + (d[i] >> 1)) : p[i];
                ASSERT_EQ(out[i], v) << x << "," << y;
            }
            ASSERT_EQ(out[3], std::min(255, d[3] + p[3])) << x << "," << y;
        }
    }
}

TEST_F(FireTest, ImageCombinesFlamesWithTheBurntPicture) {
    for (int style = 0; style < 4; ++style) {
        FIRECLASS& f = Make(0, style);
        const int cells = f.width * f.height;
        for (int i = 0; i < cells; ++i)
            f.nextHeat[i] = uint8_t(rand());
        for (int i = 0; i < cells * 4; ++i)
            f.desk[i] = uint8_t(rand());
        f.BuildFireImage();
        ExpectImageFollowsTheRule(f);
    }
    // Cold heat over an unburnt picture: transparent, and with style 0 the
    // colours are half the picture's.
    FIRECLASS& f = Make(0, 0);
    memset(f.nextHeat, 0, size_t(f.width) * f.height);
    for (int i = 0; i < f.width * f.height; ++i) {
        uint8_t* d = f.desk + 4 * i;
        d[0] = 255, d[1] = 100, d[2] = 7, d[3] = 0;
    }
    f.BuildFireImage();
    const uint8_t expected[4] = {127, 50, 3, 0};
    EXPECT_EQ(0, memcmp(f.fireImage, expected, 4));
    // Full heat (248, 240, 55) over a burnt white picture saturates at 255,
    // never wraps: blue is 55 + 127.
    memset(f.nextHeat, 255, size_t(f.width) * f.height);
    memset(f.desk, 255, size_t(f.width) * f.height * 4);
    f.BuildFireImage();
    const uint8_t hot[4] = {255, 255, 182, 255};
    EXPECT_EQ(0, memcmp(f.fireImage + 400, hot, 4));
}

TEST_F(FireTest, ImageReachesTheTexture) {
    FIRECLASS& f = Make(0, 1);
    for (int i = 0; i < f.width * f.height; ++i)
        f.nextHeat[i] = uint8_t(i);
    memset(f.desk, 0, size_t(f.width) * f.height * 4);
    f.BuildFireImage();
    f.UploadFireImage();
    std::vector<uint8_t> texels(size_t(f.width) * f.height * 4);
    glBindTexture(GL_TEXTURE_2D, f.fireTexID);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(0, memcmp(texels.data(), f.fireImage, texels.size()));
}

// ---------------------------------------------------------------- hot zones

TEST_F(FireTest, AddHotzoneDrawsAZoneAndStopsAtFifteen) {
    FIRECLASS& f = Make(1, 0, 0, 20);
    f.AddHotzone();
    const HOTZONE& z = f.hotzones[0];
    EXPECT_EQ(z.left, z.right);
    EXPECT_GE(z.life, 30.0f);
    EXPECT_LE(z.life, 89.0f);
    EXPECT_GE(z.spread, 20.0f);
    EXPECT_LE(z.spread, 59.0f);
    EXPECT_GE(z.row[0], 1.0f);
    EXPECT_LE(z.row[0], 256.0f);
    for (int i = 0; i < f.width; ++i) {
        EXPECT_GE(z.fuel[i], 225);
        EXPECT_LE(z.fuel[i], 254);
        EXPECT_LE(std::fabs(z.speed[i]), 1.9f + 1e-6f);
        if (i > 0) {
            EXPECT_LE(std::fabs(z.row[i] - z.row[i - 1]), 2.0f);
        }
    }
    for (int i = f.width; i < kZoneColumns; ++i)
        EXPECT_EQ(z.fuel[i], 0);

    while (f.numHotzones < kMaxHotzones)
        f.AddHotzone();
    HOTZONE last = f.hotzones[14];
    srand(99);
    f.AddHotzone();
    EXPECT_EQ(f.numHotzones, 15);
    EXPECT_EQ(0, memcmp(&last, &f.hotzones[14], sizeof last));
    const int next = rand();
    srand(99);
    EXPECT_EQ(next, rand());  // no number was drawn
}

TEST_F(FireTest, SpeedOneHoldsTheFlamesInPlace) {
    FIRECLASS& f = Make(0, 1, 0, 1);
    for (int i = 0; i < f.width * f.height; ++i)
        f.desk[4 * i + 3] = 0;
    f.AddHotzone();
    for (int i = 0; i < f.width; ++i)
        ASSERT_EQ(f.hotzones[0].speed[i], 0.0f);
    HOTZONE start = f.hotzones[0];
    for (int i = 0; i < 20; ++i)
        f.AdvanceHotzones(0.1);
    const HOTZONE& z = f.hotzones[0];
    EXPECT_GT(z.right - z.left, 0.0f);
    for (int i = 0; i < f.width; ++i) {
        ASSERT_EQ(z.fuel[i], start.fuel[i]);
        ASSERT_EQ(z.row[i], start.row[i]);
    }
    for (int i = 0; i < f.width * f.height; ++i)
        ASSERT_EQ(f.desk[4 * i + 3], 0);
}

TEST_F(FireTest, RemovalMovesTheLastZoneIntoTheGap) {
    FIRECLASS& f = Make(0);
    for (int i = 0; i < 3; ++i)
        f.AddHotzone();
    f.hotzones[0].life = -0.5f;
    const float thirdSpread = f.hotzones[2].spread;
    const float thirdRow = f.hotzones[2].row[5];
    f.RemoveDeadHotzones();
    EXPECT_EQ(f.numHotzones, 2);
    EXPECT_EQ(f.hotzones[0].spread, thirdSpread);
    EXPECT_EQ(f.hotzones[0].row[5], thirdRow);

    // Out of fuel in every column is dead too, whatever life is left.
    for (int i = 0; i < f.width; ++i)
        f.hotzones[1].fuel[i] = i % 2 ? 0 : -3;
    f.RemoveDeadHotzones();
    EXPECT_EQ(f.numHotzones, 1);
}

// One burning column, set up by hand.
HOTZONE& OneColumnZone(FIRECLASS& f, int x, float row, float speed) {
    f.numHotzones = 1;
    HOTZONE& z = f.hotzones[0];
    memset(&z, 0, sizeof z);
    z.life = 50.0f;
    z.left = float(x);
    z.right = float(x + 1);
    z.fuel[x] = 100;
    z.row[x] = row;
    for (int i = 0; i < f.width; ++i)
        z.speed[i] = speed;
    return z;
}

// The plain rule of a zone's step, for a style whose scorch draws no number
// of its own beyond the two of every scorch (style 1).
void ReferenceAdvanceHotzone(HOTZONE& z, uint8_t* heat, int W, int H, double elapsed) {
    const auto hold = [](double v, int lo, int hi) {
        return !(v > lo) ? lo : v > hi ? hi : int(v);
    };
    z.life = float(z.life - elapsed);
    if (!(z.life > 0)) return;
    if (z.left > 0) z.left = std::max(0.0f, float(z.left - z.spread * elapsed));
    if (z.right < W) z.right = std::min(float(W), float(z.right + z.spread * elapsed));
    if (rand() % 256 > 228) z.shift = rand() % W;
    for (int x = hold(z.left, 0, W); x < hold(z.right, 0, W); ++x) {
        if (z.fuel[x] <= 0) continue;
        const float y1 = float(z.row[x] - z.speed[(x + z.shift) % W] * elapsed);
        const int c1 = hold(y1, -(1 << 20), 1 << 20), c0 = hold(z.row[x], -(1 << 20), 1 << 20);
        if (c1 < 0 || c1 > H + 1) {
            z.fuel[x] = 0;
        } else {
            for (int r = c1 - 1; r <= c1 + 1; ++r)
                heat[r * W + x] = 255;
        }
        if (c1 != c0) {
            z.fuel[x] -= rand() % 5;
            rand(), rand();
        }
        z.row[x] = y1;
    }
}

// Zones whose columns run out of fuel, cross rows, leave the grid or stand
// far off it (or at no row at all), with shifts that wrap between
// neighbouring columns: the zones' step stamps, moves and draws what the
// plain rule does.
TEST_F(FireTest, HotZonesAdvanceAsThePlainRuleSays) {
    FIRECLASS& f = Make(1, 1);
    const int W = f.width, H = f.height;
    const size_t planeBytes = size_t(H + 2 * f.blockSize) * W;
    const float odd[] = {0.01f, 0.99f, H + 1.5f, H + 2.0f, -0.5f, -1.5f, 1e30f, NAN, 120.98f};
    srand(5);
    f.numHotzones = 4;
    for (int n = 0; n < 4; ++n) {
        HOTZONE& z = f.hotzones[n];
        memset(&z, 0, sizeof z);
        z.life = 30.0f;
        z.left = float(rand() % W);
        z.right = z.left + 10.0f;
        z.spread = 40.0f;
        z.shift = W - 1 - n;
        for (int x = 0; x < W; ++x) {
            z.fuel[x] = rand() % 8 ? 200 : -(rand() % 2);
            z.row[x] = rand() % 3 ? float(rand() % (H + 2)) + float(rand() % 100) / 100.0f
                                  : odd[rand() % 9];
            z.speed[x] = float(rand() % 40 - 10) / 10.0f;
        }
    }
    memset(f.heatMem, 0, planeBytes);
    std::vector<uint8_t> heat(f.heatMem, f.heatMem + planeBytes);
    HOTZONE zones[4];
    memcpy(zones, f.hotzones, sizeof zones);
    for (int step = 0; step < 120; ++step) {
        srand(unsigned(step));
        f.AdvanceHotzones(1.0 / 60.0);
        const int next = rand();
        srand(unsigned(step));
        for (HOTZONE& z : zones)
            ReferenceAdvanceHotzone(z, heat.data() + 2 * W, W, H, 1.0 / 60.0);
        ASSERT_EQ(next, rand()) << step;
        ASSERT_EQ(0, memcmp(heat.data(), f.heatMem, planeBytes)) << step;
        ASSERT_EQ(0, memcmp(zones, f.hotzones, sizeof zones)) << step;
    }
}

TEST_F(FireTest, FlameLeavingTheGridScorchesItsOldRowOnly) {
    FIRECLASS& f = Make(0, 1);
    const int W = f.width, H = f.height, x = 40;
    for (int i = 0; i < W * H; ++i) {
        uint8_t* d = f.desk + 4 * i;
        d[0] = d[1] = d[2] = 200, d[3] = 0;
    }
    HOTZONE& z = OneColumnZone(f, x, 3.2f, 4.7f);  // 3.2 -> -1.5 in one second
    f.AdvanceHotzones(1.0);
    EXPECT_LE(z.fuel[x], 0);
    EXPECT_GE(z.fuel[x], -4);
    EXPECT_FLOAT_EQ(z.row[x], -1.5f);
    EXPECT_EQ(DeskCell(f, x, H - 3)[3], 255);  // the row above row 3
    EXPECT_EQ(DeskCell(f, x, H - 3)[0], 190);  // 200 * 0.95
    int burnt = 0;
    for (int i = 0; i < W * H; ++i)
        burnt += f.desk[4 * i + 3] != 0;
    EXPECT_EQ(burnt, 1);

    FIRECLASS& g = Make(0, 1);
    HOTZONE& w = OneColumnZone(g, x, 0.4f, 1.6f);  // 0.4 -> -1.2: its target row is outside
    g.AdvanceHotzones(1.0);
    EXPECT_LE(w.fuel[x], 0);
    for (int i = 0; i < W * H; ++i)
        ASSERT_EQ(g.desk[4 * i + 3], 0);
}

TEST_F(FireTest, FlameStampsThreeRowsOfHeat) {
    FIRECLASS& f = Make(0, 1);
    const int W = f.width, x = 10;
    memset(f.heatMem, 0, size_t(f.height + 2 * f.blockSize) * W);
    OneColumnZone(f, x, 50.5f, 0.0f);
    f.AdvanceHotzones(0.1);
    for (int y = 48; y <= 52; ++y)
        EXPECT_EQ(f.heat[y * W + x], (y >= 49 && y <= 51) ? 255 : 0);
    // A flame in the last rows stamps into the margin below the plane.
    OneColumnZone(f, x, float(f.height + 1), 0.0f);
    f.AdvanceHotzones(0.1);
    EXPECT_EQ(f.heat[(f.height + 2) * W + x], 255);
}

TEST_F(FireTest, ScorchAlphaFollowsTheStyle) {
    struct Case {
        int style;
        uint8_t before;
        int lo, hi;
    } cases[] = {
        {0, 0, 226, 255}, {1, 17, 255, 255}, {2, 240, 12, 15}, {2, 10, 38, 41}, {3, 40, 215, 215}};
    for (const Case& c : cases) {
        FIRECLASS& f = Make(0, c.style);
        const int H = f.height, x = 30;
        for (int i = 0; i < f.width * H; ++i)
            f.desk[4 * i + 3] = c.before;
        OneColumnZone(f, x, 60.9f, 1.0f);
        f.AdvanceHotzones(0.5);  // row 60.9 -> 60.4: no crossing yet
        EXPECT_EQ(DeskCell(f, x, H - 60)[3], c.before);
        f.AdvanceHotzones(0.5);  // 60.4 -> 59.9: crosses, scorching desktop row H - 60
        const int alpha = DeskCell(f, x, H - 60)[3];
        EXPECT_GE(alpha, c.lo) << c.style;
        EXPECT_LE(alpha, c.hi) << c.style;
    }
    // Style 3 scorched twice is back where it started.
    FIRECLASS& f = Make(0, 3);
    const int H = f.height, x = 30;
    for (int i = 0; i < f.width * H; ++i)
        f.desk[4 * i + 3] = 40;
    OneColumnZone(f, x, 60.5f, 1.0f);
    f.AdvanceHotzones(1.0);
    EXPECT_EQ(DeskCell(f, x, H - 60)[3], 215);
    f.hotzones[0].row[x] = 60.5f;
    f.AdvanceHotzones(1.0);
    EXPECT_EQ(DeskCell(f, x, H - 60)[3], 40);
}

// ---------------------------------------------------------------- sparks

TEST_F(FireTest, SparkWithoutGlowDiesUnstamped) {
    FIRECLASS& f = Make(0);
    memset(f.heatMem, 0, size_t(f.height + 2 * f.blockSize) * f.width);
    f.numSparks = 1;
    f.sparks[0] = {50.0f, 60.0f, 0.0f, 0.0f, 1};
    f.AdvanceSparks();
    EXPECT_EQ(f.numSparks, 0);
    for (int i = 0; i < f.width * f.height; ++i)
        ASSERT_EQ(f.heat[i], 0);
}

TEST_F(FireTest, SparkStampsItsCrossOfHeat) {
    FIRECLASS& f = Make(0);
    const int W = f.width;
    f.numSparks = 1;
    f.sparks[0] = {50.5f, 61.0f, 0.0f, 0.0f, 104};  // glow falls to 100..103, y to 60
    const int p = 60 * W + 50;
    f.heat[p] = 200;
    f.heat[p + 1] = f.heat[p - 1] = f.heat[p + W] = f.heat[p - W] = 3;
    f.AdvanceSparks();
    ASSERT_EQ(f.numSparks, 1);
    EXPECT_GE(f.sparks[0].glow, 100);
    EXPECT_EQ(f.sparks[0].y, 60.0f);
    for (int n : {p + 1, p - 1, p + W, p - W})
        EXPECT_EQ(f.heat[n], 250);
    EXPECT_EQ(f.heat[p], 255);
}

TEST_F(FireTest, DeadSparkGivesItsSlotToTheLastOne) {
    FIRECLASS& f = Make(0);
    f.numSparks = 3;
    f.sparks[0] = {50.0f, 1.5f, 0.0f, 0.0f, 50};  // rises to row 0.5: out of the grid
    f.sparks[1] = {60.0f, 80.0f, 0.0f, 0.0f, 50};
    f.sparks[2] = {70.0f, 90.0f, 0.0f, 0.0f, 50};
    f.AdvanceSparks();
    ASSERT_EQ(f.numSparks, 2);
    EXPECT_EQ(f.sparks[0].x, 70.0f);
    EXPECT_EQ(f.sparks[0].y, 90.0f);  // moved into the slot, not moved this step
    EXPECT_EQ(f.sparks[1].y, 79.0f);
}

TEST_F(FireTest, SparksStartInsideABurningZone) {
    FIRECLASS& f = Make(1);
    f.AddHotzone();
    f.hotzones[0].left = 0.0f;
    f.hotzones[0].right = float(f.width);
    for (int i = 0; i < 2000; ++i)
        f.StartSpark();
    EXPECT_EQ(f.numSparks, kMaxSparks);
    for (int i = 0; i < f.numSparks; ++i) {
        const SPARK& s = f.sparks[i];
        EXPECT_GT(s.y, 0.0f);
        EXPECT_LT(s.y, f.height - 1.0f);
        EXPECT_LE(s.vy, 0.0f);
        EXPECT_GE(s.glow, 0);
        EXPECT_LE(s.glow, 127);
    }
}

// ---------------------------------------------------------------- long runs

TEST_F(FireTest, LongRunsStayInsideTheirArrays) {
    const double steps[] = {1.0 / 60.0, 0.0, 1e-9, 2.0, 37.5};
    for (int res = 0; res < 3; ++res) {
        for (int style = 0; style < 4; ++style) {
            FIRECLASS& f = Make(res, style);
            for (int i = 0; i < 300; ++i)
                f.Burn(steps[(i / 30) % 5]);
            EXPECT_LE(f.numHotzones, kMaxHotzones);
            EXPECT_LE(f.numSparks, kMaxSparks);
        }
    }
}

// ---------------------------------------------------------------- reference step

// The step as first written: pass after pass, each over the whole plane.
void ReferenceWarp(FIRECLASS& g) {
    const int W = g.width, B = g.blockSize;
    const float maxRow = float(g.height + 2 * B - 3);
    for (int by = 0; by < kMeshRows - 1; ++by) {
        const int rows = std::min(B, g.height + 1 - B * by);
        for (int bx = 0; bx < kMeshColumns - 1 && rows > 0; ++bx) {
            const MESHPOINT &q00 = g.mesh[bx][by], &q10 = g.mesh[bx + 1][by];
            const MESHPOINT &q01 = g.mesh[bx][by + 1], &q11 = g.mesh[bx + 1][by + 1];
            float lx = q00.x, ly = q00.y, rx = q10.x, ry = q10.y;
            const float Bf = float(B);
            const float ldx = (q01.x - q00.x) / Bf, ldy = (q01.y - q00.y) / Bf;
            const float rdx = (q11.x - q10.x) / Bf, rdy = (q11.y - q10.y) / Bf;
            for (int row = 0; row < rows; ++row) {
                float sx = lx, sy = ly;
                const float dx = (rx - lx) / Bf, dy = (ry - ly) / Bf;
                for (int col = 0; col < B; ++col) {
                    // Held to the plane and its margins; a NaN goes to the low end.
                    const int x = int(sx > 0.0f ? (sx < W - 1 ? sx : float(W - 1)) : 0.0f);
                    const int y = int(sy > -2.0f ? (sy < maxRow ? sy : maxRow) : -2.0f);
                    g.heat[(B * by + row) * W + B * bx + col] = g.nextHeat[y * W + x];
                    sx += dx;
                    sy += dy;
                }
                lx += ldx, ly += ldy, rx += rdx, ry += rdy;
            }
        }
    }
}

// Meshes squeezed and stretched, so that rows read each cell twice, skip
// cells or read them in runs of every length, sheared across rows, and
// thrown partly off the plane: the warp writes what the passes one by one
// write, and nothing right of the blocks.
TEST_F(FireTest, WarpMatchesThePassesOverSqueezedAndStretchedMeshes) {
    const float scales[] = {0.5f, 0.9f, 1.0f, 1.06f, 1.5f, 2.3f};
    for (int res = 0; res < 3; ++res) {
        for (bool wide : VectorForms()) {
            for (float scale : scales) {
                FIRECLASS& f = Make(res);
                f.wideForms = wide;
                const int W = f.width, H = f.height, B = f.blockSize;
                const size_t planeBytes = size_t(H + 2 * B) * W;
                for (size_t i = 0; i < planeBytes; ++i)
                    f.nextMem[i] = uint8_t(rand() | 1);
                for (int c = 0; c < kMeshColumns; ++c) {
                    for (int r = 0; r < kMeshRows; ++r) {
                        const float shear = float((c * 7 + r * 3) % 5) * 0.37f;
                        f.mesh[c][r] = {B * c * scale + shear, B * r * (2.0f - scale) + shear * c,
                                        0.0f, 0.0f};
                    }
                }
                FIRECLASS g;
                g.Setup(FireSettingsRecord(res, 0));
                memcpy(g.nextMem, f.nextMem, planeBytes);
                memcpy(g.heatMem, f.heatMem, planeBytes);
                memcpy(g.mesh, f.mesh, sizeof f.mesh);
                ReferenceWarp(g);
                f.hotGroupsValid = false;
                f.WarpVisibleRows();
                ASSERT_EQ(0, memcmp(g.heatMem, f.heatMem, planeBytes))
                    << res << " " << wide << " " << scale;
            }
        }
    }
}

void ReferenceBurn(FIRECLASS& g, double elapsed) {
    const int W = g.width, H = g.height;
    g.AdvanceSpawnTimer(elapsed);
    if (g.BURNSTYLE != 0) g.AdvanceResetTimer(elapsed);
    std::vector<uint8_t> top(g.coolMap, g.coolMap + W);
    memmove(g.coolMap, g.coolMap + W, size_t(W) * (H - 1));
    memcpy(g.coolMap + W * (H - 1), top.data(), size_t(W));
    FlatRule(g, g.nextHeat - W);
    if (g.warpPhase == 1) {
        ReferenceWarp(g);
    } else {
        g.Relax();
        memcpy(g.heat, g.nextHeat, size_t(W) * H);
    }
    g.warpPhase = 1 - g.warpPhase;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint16_t* p = g.palette[g.nextHeat[y * W + x]];
            const uint8_t* d = g.desk + (size_t(H - 1 - y) * W + x) * 4;
            uint8_t* out = g.fireImage + (size_t(y) * W + x) * 4;
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t(g.BURNSTYLE == 0 ? std::min(255, p[c] + (d[c] >> 1)) : p[c]);
            out[3] = uint8_t(std::min(255, d[3] + p[3]));
        }
    }
    g.UploadFireImage();
    g.RemoveDeadHotzones();
    g.AdvanceHotzones(elapsed);
    g.StartSpark();
    g.AdvanceSparks();
}

// Random planes, cold patches and meshes thrown far out (and back) on some
// steps: the step as it runs gives every byte the passes one by one give.
// `sparse` scatters lone hot cells instead, so that rows hold heat in a few
// groups of sixteen with cold ones between them.
void CheckStepAgainstThePasses(bool sparse) {
    for (int res = 0; res < 3; ++res) {
        for (int style = 0; style < 4; ++style) {
            srand(11 + res);
            auto fp = std::make_unique<FIRECLASS>(), gp = std::make_unique<FIRECLASS>();
            FIRECLASS &f = *fp, &g = *gp;
            f.Setup(FireSettingsRecord(res, style, 0, 20, 2));
            f.wideForms = VectorForms().back() && (style + res) % 2 == 0;  // both forms, by turns
            srand(11 + res);
            g.Setup(FireSettingsRecord(res, style, 0, 20, 2));
            const int W = f.width, H = f.height, B = f.blockSize;
            const size_t planeBytes = size_t(H + 2 * B) * W;
            // The margin rows of the next plane, which no propagation writes,
            // hold heat too: the warp samples them under the bottom row.
            for (uint8_t* plane : {f.heatMem, f.nextMem}) {
                uint8_t* twin = plane == f.heatMem ? g.heatMem : g.nextMem;
                for (size_t i = 0; i < planeBytes; ++i) {
                    const bool cold = sparse ? rand() % 97 != 0 : (i / W) % 7 < 3;
                    plane[i] = twin[i] = cold ? 0 : uint8_t(rand() | (sparse ? 0xC0 : 0));
                }
            }
            for (int i = 0; i < W * H * 4; ++i)
                f.desk[i] = g.desk[i] = uint8_t(rand());
            f.DeskChanged();
            for (int step = 0; step < 2 * H + 5; ++step) {
                if (step % 37 == 5) {  // a mesh point well off the plane
                    const int c = 1 + step % 9, r = 1 + step % 11;
                    const float off = step % 2 ? 300.0f : -300.0f;
                    f.mesh[c][r].x = g.mesh[c][r].x = f.mesh[c][r].x + off;
                    f.mesh[c][r].y = g.mesh[c][r].y = f.mesh[c][r].y - off;
                }
                if (step == H / 2) {  // a new picture under the fire
                    for (int i = 0; i < W * H * 4; ++i)
                        f.desk[i] = g.desk[i] = uint8_t(rand() | 0x80);
                    f.DeskChanged();
                }
                if (step == H) f.resetTimer = g.resetTimer = 0.01f;
                srand(unsigned(step));
                f.Burn(0.05);
                srand(unsigned(step));
                ReferenceBurn(g, 0.05);
                ASSERT_EQ(0, memcmp(f.heatMem, g.heatMem, planeBytes)) << res << " " << step;
                ASSERT_EQ(0, memcmp(f.nextMem, g.nextMem, planeBytes)) << res << " " << step;
                ASSERT_EQ(0, memcmp(f.coolMap, g.coolMap, size_t(W) * H)) << res << " " << step;
                ASSERT_EQ(0, memcmp(f.fireImage, g.fireImage, size_t(W) * H * 4)) << res;
                ASSERT_EQ(0, memcmp(f.desk, g.desk, size_t(W) * H * 4)) << res << " " << step;
                if (step % 50 != 7) continue;
                // The texture holds the whole image, though only a part was sent.
                std::vector<uint8_t> texels(size_t(W) * H * 4);
                glBindTexture(GL_TEXTURE_2D, f.fireTexID);
                glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
                ASSERT_EQ(0, memcmp(texels.data(), g.fireImage, texels.size()))
                    << res << " " << step;
            }
        }
    }
}

TEST_F(FireTest, StepMatchesThePassesRunOneByOne) {
    CheckStepAgainstThePasses(false);
}

TEST_F(FireTest, StepMatchesThePassesRunOneByOneOverLoneHotCells) {
    CheckStepAgainstThePasses(true);
}

}  // namespace
