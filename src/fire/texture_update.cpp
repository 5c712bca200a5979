#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "row_kernels.h"
#include "vector_path.h"

// One spring step of the mesh. Each interior point pushes or pulls its eight
// neighbours towards their rest distance; then the interior points move by
// their damped velocities. Border points never move.
void FIRECLASS::Relax() {
    for (int r = 1; r < kMeshRows - 1; ++r) {
        for (int c = 1; c < kMeshColumns - 1; ++c) {
            const MESHPOINT& p = mesh[c][r];
            for (int rr = r - 1; rr <= r + 1; ++rr) {
                for (int cc = c - 1; cc <= c + 1; ++cc) {
                    if (rr == r && cc == c) continue;
                    MESHPOINT& n = mesh[cc][rr];
                    const float dx = n.x - p.x;
                    const float dy = n.y - p.y;
                    const float len = std::sqrt(dx * dx + dy * dy);
                    const float f = (restLength[abs(cc - c) * 3 + abs(rr - r)] - len) * 0.001f;
                    n.vx += dx * f;
                    n.vy += dy * f;
                }
            }
        }
    }
    for (int r = 1; r < kMeshRows - 1; ++r) {
        for (int c = 1; c < kMeshColumns - 1; ++c) {
            MESHPOINT& p = mesh[c][r];
            p.x += p.vx;
            p.y += p.vy;
            p.vx = float(p.vx * 0.9998);
            p.vy = float(p.vy * 0.9998);
        }
    }
}

namespace {

#if KINDORA_SSE2
// Clamps four sample coordinates into [lo, hi] (a NaN becomes lo) and
// truncates them towards zero.
inline __m128i ClampTrunc(__m128 v, __m128 lo, __m128 hi) {
    return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, lo), hi));
}

// Four rows of a block side by side, one to a lane: each row starts at
// (sx, sy) and moves on by (dx, dy) a sample. Only the first `lanes` rows
// lie inside the block; the others are sent to a spare row.
struct FOURROWS {
    __m128 sx, sy, dx, dy;
    int lanes;
    uint8_t* out[4];
};

// While the mesh sways a little, rows mostly read runs of neighbouring
// cells, broken where a sample skips a cell, reads one twice or crosses into
// the next row. So the cells of a block's samples are worked out first,
// noting where each row's runs start, and then each run is copied sixteen
// cells at a time.
static_assert(kMaxGridSide / 10 <= 64, "a block's samples fit the cells and a word of starts");

// Where the runs of a row start: bit c set where sample c does not read the
// cell after sample c - 1's. Sample 0 always starts one. Samples 1 to 31
// are told in `low`, 32 on in `high`.
inline void StoreRunStarts(__m128i low, __m128i high, uint64_t* starts) {
    alignas(16) uint32_t lo[4], hi[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lo), low);
    _mm_store_si128(reinterpret_cast<__m128i*>(hi), high);
    for (int k = 0; k < 4; ++k)
        starts[k] = lo[k] | uint64_t(hi[k]) << 32 | 1;
}

// The cells that `count` samples of N groups of four rows read, where the
// positions need no holding: cells[c][4g + k] for sample c of row k of group
// g; and where that row's runs start, in starts[4g + k]. The groups advance
// side by side, since each addition waits for the one before it in its lane.
template <int N>
inline void WorkOutRuns(__m128i shift, const FOURROWS* groups, int count, int32_t (*cells)[4 * N],
                        uint64_t* starts) {
    const __m128i one = _mm_set1_epi32(1);
    __m128 sx[N], sy[N];
    __m128i last[N], low[N], high[N];
    for (int g = 0; g < N; ++g) {
        sx[g] = groups[g].sx, sy[g] = groups[g].sy;
        last[g] = low[g] = high[g] = _mm_setzero_si128();
    }
    // Sample c of every row; with `bit`, the rows where it starts a run get
    // that bit in `found`.
    const auto sample = [&](int c, __m128i bit, __m128i* found) {
        for (int g = 0; g < N; ++g) {
            const __m128i cell = _mm_add_epi32(_mm_sll_epi32(_mm_cvttps_epi32(sy[g]), shift),
                                               _mm_cvttps_epi32(sx[g]));
            _mm_store_si128(reinterpret_cast<__m128i*>(cells[c] + 4 * g), cell);
            sx[g] = _mm_add_ps(sx[g], groups[g].dx);
            sy[g] = _mm_add_ps(sy[g], groups[g].dy);
            const __m128i next = _mm_cmpeq_epi32(cell, _mm_add_epi32(last[g], one));
            found[g] = _mm_or_si128(found[g], _mm_andnot_si128(next, bit));
            last[g] = cell;
        }
    };
    sample(0, _mm_setzero_si128(), low);
    __m128i bit = _mm_add_epi32(one, one);
    int c = 1;
    for (; c < std::min(count, 32); ++c, bit = _mm_add_epi32(bit, bit))
        sample(c, bit, low);
    for (bit = one; c < count; ++c, bit = _mm_add_epi32(bit, bit))
        sample(c, bit, high);
    for (int g = 0; g < N; ++g)
        StoreRunStarts(low[g], high[g], starts + 4 * g);
}

#if KINDORA_AVX2
KINDORA_AVX2_TARGET inline __m256 BothGroups(__m128 first, __m128 second) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(first), second, 1);
}

// Sample c of eight rows: its cells stored, the positions moved on a sample,
// and with `bit`, the rows where it starts a run given that bit in `found`.
KINDORA_AVX2_TARGET inline void SampleEightRows(__m128i shift, __m256* sx, __m256* sy, __m256 dx,
                                                __m256 dy, int32_t* cells, __m256i* last,
                                                __m256i bit, __m256i* found) {
    const __m256i cell = _mm256_add_epi32(_mm256_sll_epi32(_mm256_cvttps_epi32(*sy), shift),
                                          _mm256_cvttps_epi32(*sx));
    _mm256_store_si256(reinterpret_cast<__m256i*>(cells), cell);
    *sx = _mm256_add_ps(*sx, dx);
    *sy = _mm256_add_ps(*sy, dy);
    const __m256i next = _mm256_cmpeq_epi32(cell, _mm256_add_epi32(*last, _mm256_set1_epi32(1)));
    *found = _mm256_or_si256(*found, _mm256_andnot_si256(next, bit));
    *last = cell;
}

// WorkOutRuns for two groups, their eight rows in the lanes of one AVX2
// vector, each lane adding and truncating exactly as in the SSE2 form.
KINDORA_AVX2_TARGET void WorkOutEightRuns(__m128i shift, const FOURROWS* groups, int count,
                                          int32_t (*cells)[8], uint64_t* starts) {
    const __m256 dx = BothGroups(groups[0].dx, groups[1].dx);
    const __m256 dy = BothGroups(groups[0].dy, groups[1].dy);
    __m256 sx = BothGroups(groups[0].sx, groups[1].sx);
    __m256 sy = BothGroups(groups[0].sy, groups[1].sy);
    const __m256i one = _mm256_set1_epi32(1);
    __m256i last = _mm256_setzero_si256(), low = last, high = last;
    SampleEightRows(shift, &sx, &sy, dx, dy, cells[0], &last, _mm256_setzero_si256(), &low);
    __m256i bit = _mm256_add_epi32(one, one);
    int c = 1;
    for (; c < std::min(count, 32); ++c, bit = _mm256_add_epi32(bit, bit))
        SampleEightRows(shift, &sx, &sy, dx, dy, cells[c], &last, bit, &low);
    for (bit = one; c < count; ++c, bit = _mm256_add_epi32(bit, bit))
        SampleEightRows(shift, &sx, &sy, dx, dy, cells[c], &last, bit, &high);
    StoreRunStarts(_mm256_castsi256_si128(low), _mm256_castsi256_si128(high), starts);
    StoreRunStarts(_mm256_extracti128_si256(low, 1), _mm256_extracti128_si256(high, 1), starts + 4);
}
#endif

static_assert(kWarpCopy == 16, "a copy of the warp is one SSE2 vector");
inline void Copy16(uint8_t* to, const uint8_t* from) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}

// The samples of `groupCount` groups of four rows, row k of a group into its
// out[k], from the cells worked out for them (`stride` to a sample) and
// where their runs start. A run's copies may reach up to kWarpCopy - 1
// cells past its end, and so read as far past the plane; they write there
// only where a later run of the row, or with `roomRight` the cells to the
// right of the row, written later, take them.
inline void CopyRuns(const uint8_t* src, const FOURROWS* groups, int groupCount, int count,
                     const int32_t* cells, int stride, const uint64_t* starts, bool roomRight) {
    for (int g = 0; g < groupCount; ++g) {
        for (int r = 0; r < groups[g].lanes; ++r) {
            const int lane = 4 * g + r;
            uint8_t* o = groups[g].out[r];
            for (uint64_t rest = starts[lane]; rest;) {
                const int c = __builtin_ctzll(rest);
                rest &= rest - 1;
                const int end = rest ? __builtin_ctzll(rest) : count;
                // Sample c + j reads run[j], and writes to[j].
                const uint8_t* run = src + cells[c * stride + lane];
                uint8_t* to = o + c;
                const int length = end - c;
                int j = 0;
                for (; j + 16 <= length; j += 16)
                    Copy16(to + j, run + j);
                if (j == length) continue;
                if (roomRight || c + j + 16 <= count) {
                    Copy16(to + j, run + j);
                } else if (length >= 16) {
                    Copy16(to + length - 16, run + length - 16);
                } else {
                    for (; j < length; ++j)
                        to[j] = run[j];
                }
            }
        }
    }
}

// `count` samples of each row of N groups of four rows, where the positions
// need no holding, row k of a group into its out[k]. With `wide`, two
// groups work out their cells in the AVX2 form.
template <int N>
inline void SampleRowsInRuns(const uint8_t* src, __m128i shift, const FOURROWS* groups, int count,
                             bool wide, bool roomRight) {
    alignas(32) int32_t cells[64][4 * N];
    uint64_t starts[4 * N];
    bool workedOut = false;
#if KINDORA_AVX2
    if constexpr (N == 2) {
        if (wide) {
            WorkOutEightRuns(shift, groups, count, cells, starts);
            workedOut = true;
        }
    }
#endif
    (void)wide;
    if (!workedOut) WorkOutRuns<N>(shift, groups, count, cells, starts);
    CopyRuns(src, groups, N, count, cells[0], 4 * N, starts, roomRight);
}

// The least and the greatest of four lanes.
inline float LeastLane(__m128 v) {
    v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtss_f32(_mm_min_ss(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1))));
}

inline float GreatestLane(__m128 v) {
    v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_cvtss_f32(_mm_max_ss(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1))));
}

// The samples of four rows with every position held to columns 0 to W - 1
// and rows -2 to maxRow.
inline void SampleFourHeld(const uint8_t* src, __m128i shift, int W, float maxRow,
                           const FOURROWS& rows, int count) {
    const __m128 loX = _mm_set1_ps(0.0f), hiX = _mm_set1_ps(float(W - 1));
    const __m128 loY = _mm_set1_ps(-2.0f), hiY = _mm_set1_ps(maxRow);
    uint8_t *o0 = rows.out[0], *o1 = rows.out[1], *o2 = rows.out[2], *o3 = rows.out[3];
    __m128 sx = rows.sx, sy = rows.sy;
    for (int col = 0; col < count; ++col) {
        const __m128i cell =
            _mm_add_epi32(_mm_sll_epi32(ClampTrunc(sy, loY, hiY), shift), ClampTrunc(sx, loX, hiX));
        o0[col] = src[_mm_cvtsi128_si32(cell)];
        o1[col] = src[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 1))];
        o2[col] = src[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 2))];
        o3[col] = src[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 3))];
        sx = _mm_add_ps(sx, rows.dx);
        sy = _mm_add_ps(sy, rows.dy);
    }
}
#endif

#if !KINDORA_SSE2
// Where each of the B rows of a block starts sampling and its step along the
// row: the block's left and right edges walked down by repeated addition,
// each row's step its span over B.
void LayOutBlockRows(const MESHPOINT& q00, const MESHPOINT& q10, const MESHPOINT& q01,
                     const MESHPOINT& q11, int B, float* startX, float* startY, float* stepX,
                     float* stepY) {
    const float Bf = float(B);
    float endX[64], endY[64];
    float lx = q00.x, ly = q00.y;
    const float ldx = (q01.x - q00.x) / Bf, ldy = (q01.y - q00.y) / Bf;
    float rx = q10.x, ry = q10.y;
    const float rdx = (q11.x - q10.x) / Bf, rdy = (q11.y - q10.y) / Bf;
    for (int row = 0; row < B; ++row) {
        startX[row] = lx;
        startY[row] = ly;
        endX[row] = rx;
        endY[row] = ry;
        lx += ldx;
        ly += ldy;
        rx += rdx;
        ry += rdy;
    }
    for (int row = 0; row < B; ++row) {
        stepX[row] = (endX[row] - startX[row]) / Bf;
        stepY[row] = (endY[row] - startY[row]) / Bf;
    }
}
#endif

// One row of a block made cold. Blocks are 12, 25 or 51 cells wide; for the
// wider ones a few overlapping vector stores beat a call to memset.
inline void ZeroCells(uint8_t* cells, int count) {
#if KINDORA_SSE2
    if (count >= 16) {
        const __m128i zero = _mm_setzero_si128();
        for (int i = 0; i + 16 < count; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + i), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + count - 16), zero);
        return;
    }
#endif
    memset(cells, 0, size_t(count));
}

// Whether columns left to right of a row are all zero.
bool RowZero(const uint8_t* row, int left, int right) {
    int x = left;
#if KINDORA_SSE2
    __m128i any = _mm_setzero_si128();
    for (; x + 16 <= right + 1; x += 16)
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF) return false;
#endif
    uint8_t rest = 0;
    for (; x <= right; ++x)
        rest |= row[x];
    return rest == 0;
}

// Bits from..to - 1 of a word: runs or groups of heat of a row.
uint32_t BitRange(int from, int to) {
    const uint32_t below = to >= 32 ? ~0u : (1u << to) - 1;
    return from >= to ? 0 : below & ~((1u << from) - 1);
}

// The runs of a row whose flag is clear, one bit each.
uint32_t ClearedRuns(const uint8_t* runs, int count) {
    static_assert(kMaxGridSide / kImageRun <= 32, "a row's runs fit one word");
    uint32_t cleared = 0;
    int r = 0;
#if KINDORA_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; r + 16 <= count; r += 16) {
        const __m128i flags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(runs + r));
        cleared |= uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(flags, zero))) << r;
    }
    if (r + 8 <= count) {
        const __m128i flags = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(runs + r));
        cleared |= uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(flags, zero)) & 0xFF) << r;
        r += 8;
    }
#endif
    for (; r < count; ++r)
        cleared |= uint32_t(runs[r] == 0) << r;
    return cleared;
}

#if KINDORA_SSE2
PaintSetup PaintFor(const FIRECLASS& f) {
    const bool anyCold = f.coldHeat > 0;
    return {f.packedPalette, anyCold, _mm_set1_epi8(char(anyCold ? f.coldHeat - 1 : 0))};
}
#endif

// One cell of the fire image: the flame colour plus what shows under it,
// each byte saturating at 255.
inline void FireCell(uint32_t flame, const uint8_t* under, uint8_t* out) {
    for (int b = 0; b < 4; ++b) {
        const int sum = int((flame >> (8 * b)) & 255) + under[b];
        out[b] = uint8_t(sum < 255 ? sum : 255);
    }
}

// Bit k set where row k of `count` rows of groups of heat meets `columns`.
uint64_t RowsMeeting(const uint32_t* groups, int count, uint32_t columns) {
    uint64_t rows = 0;
    int k = 0;
#if KINDORA_SSE2
    const __m128i wanted = _mm_set1_epi32(int(columns)), zero = _mm_setzero_si128();
    for (; k + 4 <= count; k += 4) {
        const __m128i met =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(groups + k)), wanted);
        const int cold = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(met, zero)));
        rows |= uint64_t(~cold & 15) << k;
    }
#endif
    for (; k < count; ++k)
        rows |= uint64_t((groups[k] & columns) != 0) << k;
    return rows;
}

// Whether the rows that samples between y0 and y1 can reach, widened as the
// block's box was, all lie cold. Those rows lie inside the block's box; were
// they ever outside it, they count as hot.
bool RowsCold(const HEATROWS& rows, float y0, float y1) {
    if (rows.all) return false;
    const int top = std::max(rows.top, int(y0) - 1);
    const int bottom = std::min(rows.bottom, int(y1) + 1);
    if (top > bottom) return false;
    const uint64_t span = ~uint64_t(0) >> (63 - (bottom - top));
    return ((rows.bits >> (top - rows.top)) & span) == 0;
}

}  // namespace

// The rows of nextHeat with heat in columns left to right, top to bottom
// (the plane and its margin rows, at most 64 of them): bit y - top for row
// y. The rows that the propagation of this step wrote are told by their
// groups of heat. The others are read only where those told nothing: else
// they count as hot, as reading them would not save the block.
uint64_t FIRECLASS::HeatRows(int left, int right, int top, int bottom) const {
    // The rows told by their groups: none, or toldTop to toldBottom.
    int toldTop = top, toldBottom = top - 1;
    if (hotGroupsValid && std::max(top, -1) <= std::min(bottom, height - 2)) {
        toldTop = std::max(top, -1);
        toldBottom = std::min(bottom, height - 2);
    }
    uint64_t rows = 0;
    if (toldTop <= toldBottom) {
        const uint32_t columns = BitRange(left / kHeatGroup, right / kHeatGroup + 1);
        rows = RowsMeeting(hotGroups + toldTop + 1, toldBottom - toldTop + 1, columns)
               << (toldTop - top);
    }
    const bool known = rows != 0;
    const auto read = [&](int y) {
        const bool hot = known || !RowZero(nextHeat + ptrdiff_t(y) * width, left, right);
        return uint64_t(hot) << (y - top);
    };
    for (int y = top; y < toldTop; ++y)
        rows |= read(y);
    for (int y = toldBottom + 1; y <= bottom; ++y)
        rows |= read(y);
    return rows;
}

// The rows with heat around the float box [x0, x1] x [y0, y1] of a block's
// corners. Every sample lies in that box but for the rounding of the warp's
// sums, thousandths of a cell, and truncation keeps order: so the cell of a
// sample lies within one cell of the box's edges truncated. The box is
// widened by that cell and held to the plane and its margin rows.
HEATROWS FIRECLASS::HeatRowsAround(float x0, float x1, float y0, float y1) const {
    HEATROWS rows;
    rows.top = std::max(-2, int(y0) - 1);
    rows.bottom = std::min(LastSampledRow(), int(y1) + 1);
    rows.all = rows.bottom - rows.top > 63;
    rows.bits = rows.all ? ~uint64_t(0)
                         : HeatRows(std::max(0, int(x0) - 1), std::min(width - 1, int(x1) + 1),
                                    rows.top, rows.bottom);
    return rows;
}

// Fills block (bx, by) of `heat` from the quadrilateral that its four mesh
// corners span in `nextHeat`: corners interpolated bilinearly, cells sampled
// nearest, every position built up by repeated addition. Samples are held
// inside the plane and its margin rows, which a mesh in its normal range
// never leaves. The rows of a block are independent, so four rows advance
// side by side in the lanes of a vector, each lane adding exactly as a lone
// row would.
void FIRECLASS::TextureBlock(int bx, int by) {
    WarpBlockRows(bx, by, blockSize, false);
}

// The first `rows` rows of block (bx, by); see TextureBlock. With
// `roomRight`, the same rows of the kWarpCopy - 1 cells to the right of the
// block are written later, so the copies may run on into them.
//
// Every sample lies in the box of the four corners, give or take the rounding
// of the repeated additions (far below a cell). A block whose box lies well
// inside the plane needs no holding of its samples, since truncation there
// already gives what the held coordinates would; and where that box of
// nextHeat is all zero, so is the block.
void FIRECLASS::WarpBlockRows(int bx, int by, int rows, bool roomRight) {
    const int B = blockSize;
    const int W = width;
    const MESHPOINT& q00 = mesh[bx][by];
    const MESHPOINT& q10 = mesh[bx + 1][by];
    const MESHPOINT& q01 = mesh[bx][by + 1];
    const MESHPOINT& q11 = mesh[bx + 1][by + 1];

    const float maxRow = float(LastSampledRow());
    uint8_t* dst = heat + (B * by) * W + B * bx;
    const float minX = std::min(std::min(q00.x, q10.x), std::min(q01.x, q11.x));
    const float maxX = std::max(std::max(q00.x, q10.x), std::max(q01.x, q11.x));
    const float minY = std::min(std::min(q00.y, q10.y), std::min(q01.y, q11.y));
    const float maxY = std::max(std::max(q00.y, q10.y), std::max(q01.y, q11.y));
    const bool inside = minX > -0.5f && maxX < float(W) - 0.5f && minY > -2.5f &&
                        maxY < maxRow + 0.5f && q00.x == q00.x && q10.x == q10.x &&
                        q01.x == q01.x && q11.x == q11.x && q00.y == q00.y && q10.y == q10.y &&
                        q01.y == q01.y && q11.y == q11.y;
    HEATROWS heatRows = {~uint64_t(0), 0, 0, true};
    if (inside) heatRows = HeatRowsAround(minX, maxX, minY, maxY);
    if (!heatRows.all && heatRows.bits == 0) {
        for (int row = 0; row < rows; ++row)
            ZeroCells(dst + row * W, B);
        return;
    }
#if KINDORA_SSE2
    WarpRowsInLanes(q00, q10, q01, q11, inside, heatRows, rows, dst, roomRight);
#else
    (void)roomRight;  // the plain loops write each row exactly
    const float Bf = float(B);
    const uint8_t* const src = nextHeat;
    float startX[64], startY[64], stepX[64], stepY[64];
    LayOutBlockRows(q00, q10, q01, q11, B, startX, startY, stepX, stepY);
    for (int row = 0; row < rows; row += 4, dst += 4 * W) {
        const int lanes = std::min(4, rows - row);
        if (inside) {
            // Each row is a line from its start to B steps on.
            float y0 = startY[row], y1 = y0;
            for (int r = row; r < row + lanes; ++r) {
                const float ey = startY[r] + stepY[r] * Bf;
                y0 = std::min(y0, std::min(startY[r], ey));
                y1 = std::max(y1, std::max(startY[r], ey));
            }
            if (RowsCold(heatRows, y0, y1)) {
                for (int r = 0; r < lanes; ++r)
                    ZeroCells(dst + r * W, B);
                continue;
            }
        }
        for (int r = row; r < row + lanes; ++r) {
            float sx = startX[r], sy = startY[r];
            uint8_t* out = dst + (r - row) * W;
            for (int col = 0; col < B; ++col) {
                const int x = int(sx > 0.0f ? (sx < W - 1 ? sx : float(W - 1)) : 0.0f);
                const int y = int(sy > -2.0f ? (sy < maxRow ? sy : maxRow) : -2.0f);
                out[col] = src[y * W + x];
                sx += stepX[r];
                sy += stepY[r];
            }
        }
    }
#endif
}

#if KINDORA_SSE2
// The rows of a block four at a time, each lane one row. The block's left
// and right edges, walked down by repeated addition, travel together as
// (left x, left y, right x, right y); four rows of them, turned on their
// side, give the starts and ends of the four rows, each lane adding and
// dividing exactly as a lone row would. Two groups of four are sampled
// together where both have heat to read.
void FIRECLASS::WarpRowsInLanes(const MESHPOINT& q00, const MESHPOINT& q10, const MESHPOINT& q01,
                                const MESHPOINT& q11, bool inside, const HEATROWS& heatRows,
                                int rows, uint8_t* dst, bool roomRight) {
    const int B = blockSize, W = width;
    const float maxRow = float(LastSampledRow());
    const __m128 side = _mm_set1_ps(float(B));
    const __m128i shift = _mm_cvtsi32_si128(WidthShift());
    __m128 edges = _mm_setr_ps(q00.x, q00.y, q10.x, q10.y);
    const __m128 down =
        _mm_div_ps(_mm_sub_ps(_mm_setr_ps(q01.x, q01.y, q11.x, q11.y), edges), side);
    // Rows row to row + 3, and the edges moved on past them. Lanes past the
    // block's last row repeat it and write into `spare`.
    uint8_t spare[64];
    const auto nextFour = [&](int row, FOURROWS& four) {
        __m128 r0 = edges;
        __m128 r1 = row + 1 < B ? _mm_add_ps(r0, down) : r0;
        __m128 r2 = row + 2 < B ? _mm_add_ps(r1, down) : r1;
        __m128 r3 = row + 3 < B ? _mm_add_ps(r2, down) : r2;
        edges = _mm_add_ps(r3, down);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        four.sx = r0, four.sy = r1;
        four.dx = _mm_div_ps(_mm_sub_ps(r2, four.sx), side);
        four.dy = _mm_div_ps(_mm_sub_ps(r3, four.sy), side);
        four.lanes = std::min(4, rows - row);
        for (int k = 0; k < 4; ++k)
            four.out[k] = k < four.lanes ? dst + (row + k) * W : spare;
    };
    // Whether four rows can only read cold cells; if so they are made cold.
    const auto coldFour = [&](const FOURROWS& four) {
        // Each row is a line from its start to B steps on.
        const __m128 ey = _mm_add_ps(four.sy, _mm_mul_ps(four.dy, side));
        if (!RowsCold(heatRows, LeastLane(_mm_min_ps(four.sy, ey)),
                      GreatestLane(_mm_max_ps(four.sy, ey)))) {
            return false;
        }
        for (int r = 0; r < four.lanes; ++r)
            ZeroCells(four.out[r], B);
        return true;
    };
    for (int row = 0; row < rows; row += 4) {
        FOURROWS four[2];
        nextFour(row, four[0]);
        if (!inside) {
            SampleFourHeld(nextHeat, shift, W, maxRow, four[0], B);
            continue;
        }
        if (coldFour(four[0])) continue;
        bool pair = false;
        if (row + 4 < rows) {
            nextFour(row + 4, four[1]);
            row += 4;
            pair = !coldFour(four[1]);
        }
        if (pair) {
            SampleRowsInRuns<2>(nextHeat, shift, four, B, wideForms, roomRight);
        } else {
            SampleRowsInRuns<1>(nextHeat, shift, four, B, false, roomRight);
        }
    }
}
#endif

// The warp of the burn step. The mesh reaches below the plane, but of the
// rows below it only the first is ever read (by the next heat propagation),
// so the rows under that are left out.
void FIRECLASS::WarpVisibleRows() {
    const int needed = height + 1;
    for (int by = 0; by < kMeshRows - 1; ++by) {
        const int rows = std::min(blockSize, needed - blockSize * by);
        if (rows <= 0) break;
        WarpBlockRowAcross(by, rows);
    }
}

void FIRECLASS::TextureWarp() {
    for (int by = 0; by < kMeshRows - 1; ++by)
        WarpBlockRowAcross(by, blockSize);
}

// The first `rows` rows of every block of row by, left to right: a block's
// copies may run on into the blocks to its right, where there are enough
// cells of them.
void FIRECLASS::WarpBlockRowAcross(int by, int rows) {
    for (int bx = 0; bx < kMeshColumns - 1; ++bx)
        WarpBlockRows(bx, by, rows, (kMeshColumns - 2 - bx) * blockSize >= kWarpCopy - 1);
}

// The fire image: the palette colour of each cell's next heat, over the
// picture's burn state. Burnt cells (desktop alpha) cover the picture; with
// style 0 they show half the scorched colour under the flames. Both sums
// saturate at 255, so the whole image is built with byte-saturating adds,
// four cells at a time, in row order. This build takes the desk plane as it
// stands.
void FIRECLASS::BuildFireImage() {
    RebuildUnder();
    for (int y = 0; y < height; ++y)
        BuildImageRow(y, false);
    paintedLeft = paintedTop = 0;
    paintedRight = width - 1;
    paintedBottom = height - 1;
}

// The image build and upload of the step. Most of a fire's plane is cold,
// and most of the picture does not change from one step to the next: a run
// of sixteen cells that was cold when last painted, over a picture that has
// not changed since, and is cold still, already holds its bytes and is left
// as it is. The image goes up a band of rows at a time, each band's
// rectangle of painted runs as soon as it is built, while it is still in the
// cache.
void FIRECLASS::BuildChangedImage() {
    constexpr size_t kBandBytes = size_t(1) << 17;
    const int bandRows = std::max(16, int(kBandBytes / (size_t(width) * 4)));
    for (int top = 0; top < height; top += bandRows) {
        paintedLeft = width;
        paintedTop = height;
        paintedRight = paintedBottom = -1;
        for (int y = top; y < std::min(height, top + bandRows); ++y)
            BuildImageRow(y, true);
        UploadPaintedImage();
    }
}

void FIRECLASS::BuildImageRow(int y, bool keepColdRuns) {
    const int W = width, H = height, R = W / kImageRun;
    const uint8_t* k = nextHeat + size_t(y) * W;
    const uint8_t* runs = coldRuns + size_t(y) * size_t(R);
    // In the step the propagation noted which runs of this row have a
    // flame; else the heats are read.
    static_assert(kImageRun == kHeatGroup, "a run is a group of heat");
    uint32_t cold = 0;
    if (keepColdRuns && hotGroupsValid && coldHeat > 0 && y <= H - 2) {
        cold = BitRange(0, R) & ~flameGroups[y + 1];
    } else {
#if KINDORA_SSE2
        const PaintSetup paint = PaintFor(*this);
#endif
        for (int r = 0; r < R; ++r) {
            const int x = r * kImageRun;
#if KINDORA_SSE2
            cold |=
                uint32_t(Cold16(paint, _mm_loadu_si128(reinterpret_cast<const __m128i*>(k + x))))
                << r;
#else
            bool coldRun = true;
            for (int i = x; i < x + kImageRun; ++i)
                coldRun = coldRun && k[i] < coldHeat;
            cold |= uint32_t(coldRun) << r;
#endif
        }
    }
    // A cold run is kept where the picture under it has not changed since it
    // was painted cold: only those whose flag was cleared are painted.
    uint32_t toPaint = BitRange(0, R);
    if (keepColdRuns) toPaint &= ~(cold & ~ClearedRuns(runs, R));
    if (!toPaint) return;
    PaintRuns(y, toPaint, cold);
    paintedLeft = std::min(paintedLeft, kImageRun * __builtin_ctz(toPaint));
    paintedRight = std::max(paintedRight, kImageRun * (32 - __builtin_clz(toPaint)) - 1);
    paintedTop = std::min(paintedTop, y);
    paintedBottom = y;
}

// The runs of row y marked in `toPaint`, those marked in `cold` as what
// shows under them alone; each run's flag says whether it was painted cold.
void FIRECLASS::PaintRuns(int y, uint32_t toPaint, uint32_t cold) {
    const int W = width;
    const uint8_t* k = nextHeat + size_t(y) * W;
    const uint8_t* u = under ? under + size_t(y) * W * 4 : nullptr;
    const uint8_t* marks = under ? nullptr : underMarks + size_t(y) * W;
    uint8_t* out = fireImage + size_t(y) * W * 4;
    uint8_t* runs = coldRuns + size_t(y) * size_t(W / kImageRun);
#if KINDORA_AVX2
    if (wideForms) {
        PaintRunsWide(packedPalette, toPaint, cold, k, u, marks, out, runs);
        return;
    }
#endif
#if KINDORA_SSE2
    const PaintSetup paint = PaintFor(*this);
#endif
    for (uint32_t rest = toPaint; rest; rest &= rest - 1) {
        const int r = __builtin_ctz(rest), x = r * kImageRun;
        const bool coldRun = (cold >> r) & 1;
#if KINDORA_SSE2
        Paint16(paint, coldRun, k + x, u ? u + 4 * x : nullptr, marks ? marks + x : nullptr,
                out + 4 * x);
#else
        for (int i = x; i < x + kImageRun; ++i) {
            const uint8_t marked[4] = {0, 0, 0, marks ? marks[i] : uint8_t(0)};
            FireCell(packedPalette[k[i]], u ? u + 4 * i : marked, out + 4 * i);
        }
#endif
        runs[r] = coldRun;
    }
}

// The picture under the fire changed: what shows under the flames is taken
// from it again, and every run of the image is painted at the next step.
void FIRECLASS::DeskChanged() {
    RebuildUnder();
    RepaintEveryRun();
}

void FIRECLASS::RepaintEveryRun() {
    if (coldRuns) memset(coldRuns, 0, size_t(width) * size_t(height) / kImageRun);
}

// What shows under the flames, from the whole desk plane.
void FIRECLASS::RebuildUnder() {
    if (!under && !underMarks) return;
    const int W = width, H = height;
    for (int y = 0; y < H; ++y) {
        int x = 0;
#if KINDORA_SSE2
        const uint8_t* cell = desk + size_t(H - 1 - y) * W * 4;
        if (under) {
            uint8_t* shown = under + size_t(y) * W * 4;
            for (; x + 4 <= W; x += 4) {
                const __m128i cells =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(cell + 4 * x));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(shown + 4 * x), Under4(cells));
            }
        } else {
            uint8_t* marks = underMarks + size_t(y) * W;
            for (; x + 16 <= W; x += 16)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(marks + x), Marks16(cell + 4 * x));
        }
#endif
        for (; x < W; ++x)
            ShowUnder(H - 1 - y, x);
    }
}

// What shows under the flames of one cell of the desk plane.
void FIRECLASS::ShowUnder(int deskRow, int x) {
    const uint8_t* cell = desk + (ptrdiff_t(deskRow) * width + x) * 4;
    const ptrdiff_t shownCell = ptrdiff_t(height - 1 - deskRow) * width + x;
    if (!under) {
        underMarks[shownCell] = cell[3];
        return;
    }
    uint8_t* shown = under + shownCell * 4;
    for (int b = 0; b < 3; ++b)
        shown[b] = uint8_t(cell[b] >> 1);
    shown[3] = cell[3];
}

// The whole image goes up as it stands. Whoever wrote it may have changed
// any cell, so the next step paints every one again.
void FIRECLASS::UploadFireImage() {
    glBindTexture(GL_TEXTURE_2D, fireTexID);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, fireImage);
    RepaintEveryRun();
}

// The rectangle that the last image build painted; the rest of the texture
// already holds the image.
void FIRECLASS::UploadPaintedImage() {
    if (paintedRight < paintedLeft || paintedBottom < paintedTop) return;
    glBindTexture(GL_TEXTURE_2D, fireTexID);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, width);
    glTexSubImage2D(GL_TEXTURE_2D, 0, paintedLeft, paintedTop, paintedRight - paintedLeft + 1,
                    paintedBottom - paintedTop + 1, GL_RGBA, GL_UNSIGNED_BYTE,
                    fireImage + (size_t(paintedTop) * size_t(width) + size_t(paintedLeft)) * 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}
