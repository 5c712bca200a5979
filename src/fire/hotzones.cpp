#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "vector_path.h"

namespace {

// Truncates towards zero, holding the result inside [lo, hi] (a NaN gives
// lo), so that no elapsed time, however odd, makes a conversion overflow.
int TruncWithin(double v, int lo, int hi) {
    if (!(v > lo)) return lo;
    if (v > hi) return hi;
    return int(v);
}

constexpr int kFarAway = 1 << 20;  // far outside every grid, inside int range

}  // namespace

void FIRECLASS::AddHotzone() {
    if (numHotzones >= kMaxHotzones) return;
    const int W = width, H = height;
    HOTZONE& zone = hotzones[numHotzones];
    memset(&zone, 0, sizeof zone);
    zone.life = float(rand() % 60 + 30);
    zone.shift = 0;
    zone.left = zone.right = float(rand() % W);
    zone.spread = float(rand() % 40 + 20);
    const int direction = rand() % 2 == 1 ? 1 : -1;
    for (int i = 0; i < W; ++i) {
        zone.fuel[i] = rand() % 30 + 225;
        zone.speed[i] = float(((rand() % BURNSPEED) * direction) / 10.0);
        if (i == 0) {
            zone.row[0] = float(H - rand() % H);
        } else {
            zone.row[i] = zone.row[i - 1] + float(rand() % 5) - 2.0f;
        }
    }
    // Smooth the speeds once around a ring of the first 256 columns (the
    // other grids see the zeroed entries beyond their width).
    float smoothed[kZoneColumns];
    for (int i = 0; i < W; ++i) {
        const float left = i == 0 ? zone.speed[255] : zone.speed[i - 1];
        const float right = i == 255 ? zone.speed[0] : zone.speed[i + 1];
        smoothed[i] = (zone.speed[i] + left + right) / 3.0f;
    }
    memcpy(zone.speed, smoothed, sizeof(float) * size_t(W));
    ++numHotzones;
}

// A zone is dead once its life is below 0 or every column is out of fuel.
// The last live zone takes a dead one's slot and is looked at next step.
void FIRECLASS::RemoveDeadHotzones() {
    for (int n = 0; n < numHotzones; ++n) {
        const HOTZONE& zone = hotzones[n];
        bool dead = zone.life < 0;
        if (!dead) {
            dead = true;
            for (int i = 0; i < width && dead; ++i)
                dead = zone.fuel[i] <= 0;
        }
        if (!dead) continue;
        --numHotzones;
        if (n == numHotzones) break;
        hotzones[n] = hotzones[numHotzones];
    }
}

void FIRECLASS::AdvanceHotzones(double elapsed) {
    for (int n = 0; n < numHotzones; ++n)
        AdvanceHotzone(&hotzones[n], elapsed);
}

void FIRECLASS::AdvanceHotzone(HOTZONE* zone, double elapsed) {
    const int W = width, H = height;
    zone->life = float(zone->life - elapsed);
    if (!(zone->life > 0)) return;
    if (zone->left > 0) {
        zone->left = float(zone->left - zone->spread * elapsed);
        if (zone->left < 0) zone->left = 0.0f;
    }
    if (zone->right < W) {
        zone->right = float(zone->right + zone->spread * elapsed);
        if (zone->right > W) zone->right = float(W);
    }
    if (rand() % 256 > 228) zone->shift = rand() % W;

    const int first = TruncWithin(zone->left, 0, W);
    const int end = TruncWithin(zone->right, 0, W);
    // Held in locals: the byte stores into the plane could otherwise alias
    // any of them, and each would be read again after every store.
    uint8_t* const plane = heat;
    const int shift = zone->shift % W;  // never negative: 0 or rand() % W
    int32_t* const fuel = zone->fuel;
    float* const rows = zone->row;
    const float* const speeds = zone->speed;
    const auto advanceColumn = [&](int x) {
        if (fuel[x] <= 0) return;
        const float y0 = rows[x];
        // x and the shift are both below W, so one subtraction wraps the sum.
        int column = x + shift;
        if (column >= W) column -= W;
        const float y1 = float(y0 - speeds[column] * elapsed);
        const int c1 = TruncWithin(y1, -kFarAway, kFarAway);
        const int c0 = TruncWithin(y0, -kFarAway, kFarAway);
        if (c1 < 0 || c1 > H + 1) {
            fuel[x] = 0;  // the flame has left the grid
        } else {
            plane[(c1 - 1) * W + x] = 255;
            plane[c1 * W + x] = 255;
            plane[(c1 + 1) * W + x] = 255;
        }
        if (c1 != c0) {
            fuel[x] -= rand() % 5;
            Scorch(x, c0);
        }
        rows[x] = y1;
    };
    int x = first;
#if KINDORA_SSE2
    // Four columns at once where all four burn on inside the grid without
    // crossing a row: the common case, which draws no random number. Each
    // lane computes as the lone column would; any other group of four goes
    // column by column.
    const __m128d step = _mm_set1_pd(elapsed);
    const __m128 lowest = _mm_set1_ps(float(-kFarAway)), highest = _mm_set1_ps(float(kFarAway));
    const __m128i noRow = _mm_set1_epi32(-1), pastRows = _mm_set1_epi32(H + 2);
    const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i widthShift = _mm_cvtsi32_si128(WidthShift());
    // A byte stored into the plane may alias anything in memory, so what
    // the stores need is taken by value and held in locals: read through a
    // reference, each would be read again after every store.
    const auto advanceQuietFour = [=](int x) {
        int column = x + shift;
        if (column >= W) column -= W;
        const __m128i fuels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fuel + x));
        if (column + 4 > W ||
            _mm_movemask_epi8(_mm_cmpgt_epi32(fuels, _mm_setzero_si128())) != 0xFFFF) {
            return false;
        }
        const __m128 y0 = _mm_loadu_ps(rows + x), speed = _mm_loadu_ps(speeds + column);
        const __m128d low = _mm_sub_pd(_mm_cvtps_pd(y0), _mm_mul_pd(_mm_cvtps_pd(speed), step));
        const __m128d high =
            _mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(y0, y0)),
                       _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(speed, speed)), step));
        const __m128 y1 = _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
        // Held as TruncWithin holds them: a NaN takes the lower bound.
        const __m128i c1 = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(y1, lowest), highest));
        const __m128i c0 = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(y0, lowest), highest));
        const __m128i quiet =
            _mm_and_si128(_mm_cmpeq_epi32(c1, c0),
                          _mm_and_si128(_mm_cmpgt_epi32(c1, noRow), _mm_cmplt_epi32(c1, pastRows)));
        if (_mm_movemask_epi8(quiet) != 0xFFFF) return false;
        const __m128i firstCells =
            _mm_add_epi32(_mm_sll_epi32(c1, widthShift), _mm_add_epi32(_mm_set1_epi32(x), lane));
        uint8_t* const p = plane;
        const ptrdiff_t w = W;
        uint8_t* const cell0 = p + _mm_cvtsi128_si32(firstCells);
        uint8_t* const cell1 = p + _mm_cvtsi128_si32(_mm_shuffle_epi32(firstCells, 1));
        uint8_t* const cell2 = p + _mm_cvtsi128_si32(_mm_shuffle_epi32(firstCells, 2));
        uint8_t* const cell3 = p + _mm_cvtsi128_si32(_mm_shuffle_epi32(firstCells, 3));
        cell0[-w] = cell0[0] = cell0[w] = 255;
        cell1[-w] = cell1[0] = cell1[w] = 255;
        cell2[-w] = cell2[0] = cell2[w] = 255;
        cell3[-w] = cell3[0] = cell3[w] = 255;
        _mm_storeu_ps(rows + x, y1);
        return true;
    };
    for (; x + 4 <= end; x += 4) {
        if (advanceQuietFour(x)) continue;
        for (int k = x; k < x + 4; ++k)
            advanceColumn(k);
    }
#endif
    for (; x < end; ++x)
        advanceColumn(x);
}

// The flame crossed a row: darken the picture cell above its old row from a
// random neighbour, and mark it burnt as the style says.
void FIRECLASS::Scorch(int x, int c0) {
    const int W = width, H = height;
    const int r1 = rand();
    const int r2 = rand();
    const int target = H - c0;
    const int source = H - c0 + 1 - r2 % 3;
    if (target < 0 || target > H - 1 || source < 0 || source > H - 1) return;
    // Flat addressing: a source column of -1 or W falls on the edge cell of
    // the neighbouring row, or on the zeroed margin around the plane.
    uint8_t* to = desk + (ptrdiff_t(target) * W + x) * 4;
    const uint8_t* from = desk + (ptrdiff_t(source) * W + x + r1 % 3 - 1) * 4;
    for (int i = 0; i < 3; ++i)
        to[i] = uint8_t(from[i] * 0.95);
    coldRuns[ptrdiff_t(H - 1 - target) * (W / kImageRun) + x / kImageRun] = 0;
    switch (BURNSTYLE) {
        case 1:
            to[3] = 255;
            break;
        case 2:
            to[3] = uint8_t(to[3] + rand() % 4 + 28);
            break;
        case 3:
            to[3] = uint8_t(255 - to[3]);
            break;
        default:
            to[3] = uint8_t(255 - rand() % 30);
            break;
    }
    // The cell's colour and mark show under its flames from the next image on.
    ShowUnder(target, x);
}

void FIRECLASS::StartSpark() {
    if (numHotzones <= 0) return;
    if (!(rand() % 256 > 128 && numSparks < kMaxSparks)) return;
    const HOTZONE& zone = hotzones[rand() % numHotzones];
    if (!(zone.life > 0)) return;
    SPARK& spark = sparks[numSparks];
    const int column = rand() % width;
    spark.x = float(column);
    spark.y = zone.row[column] - float(rand() % 25);
    spark.vx = float((rand() % 256 - 128) * 0.001);
    spark.vy = float(-(rand() % 256) * 0.001);
    spark.glow = (rand() % 256) / 2;
    if (0 < spark.y && spark.y < height - 1 && zone.left < spark.x && spark.x < zone.right) {
        ++numSparks;
    }
}

bool FIRECLASS::SparkAlive(const SPARK& spark) const {
    const int x = TruncWithin(spark.x, -1, width);
    const int y = TruncWithin(spark.y, -1, height);
    return spark.glow > 0 && 0 < x && x < width - 1 && y > 0;
}

void FIRECLASS::StampSpark(const SPARK& spark) {
    const int W = width;
    const int p = int(spark.y) * W + int(spark.x);
    const int v = heat[p] + spark.glow / 2;
    const uint8_t around = uint8_t(v > 255 ? 255 : v);
    heat[p + 1] = heat[p + W] = heat[p - 1] = heat[p - W] = around;
    const int centre = heat[p] + spark.glow;
    heat[p] = uint8_t(centre > 255 ? 255 : centre);
}

// Sparks rise and cool. A dead spark's slot takes the last live spark, which
// is tested and stamped where it stands, without moving, in this step.
void FIRECLASS::AdvanceSparks() {
    int i = 0;
    while (i < numSparks) {
        SPARK& spark = sparks[i];
        spark.x += spark.vx;
        spark.y = float(double(spark.y) + double(spark.vy) - 1.0);
        spark.vx = float(spark.vx * 0.998);
        spark.vy = float(spark.vy * 0.998);
        spark.glow -= rand() % 4 + 1;
        for (;;) {
            if (SparkAlive(sparks[i])) {
                StampSpark(sparks[i]);
                ++i;
                break;
            }
            sparks[i].glow = 0;
            --numSparks;
            if (i == numSparks) return;
            sparks[i] = sparks[numSparks];
        }
    }
}
