#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fireclass.h"
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
#endif

// One cell of the fire image: the flame colour plus what lies under it, each
// byte saturating at 255.
inline void FireCell(uint32_t flame, const uint8_t* cell, bool charred, uint8_t* out) {
    for (int b = 0; b < 4; ++b) {
        const int under = b == 3 ? cell[3] : charred ? cell[b] >> 1 : 0;
        const int sum = int((flame >> (8 * b)) & 255) + under;
        out[b] = uint8_t(sum < 255 ? sum : 255);
    }
}

}  // namespace

// Fills block (bx, by) of `heat` from the quadrilateral that its four mesh
// corners span in `nextHeat`: corners interpolated bilinearly, cells sampled
// nearest, every position built up by repeated addition. Samples are held
// inside the plane and its margin rows, which a mesh in its normal range
// never leaves. The rows of a block are independent, so four rows advance
// side by side in the lanes of a vector, each lane adding exactly as a lone
// row would.
void FIRECLASS::TextureBlock(int bx, int by) {
    WarpBlockRows(bx, by, blockSize);
}

// The first `rows` rows of block (bx, by); see TextureBlock.
void FIRECLASS::WarpBlockRows(int bx, int by, int rows) {
    const int B = blockSize;
    const int W = width;
    const float Bf = float(B);
    const MESHPOINT& q00 = mesh[bx][by];
    const MESHPOINT& q10 = mesh[bx + 1][by];
    const MESHPOINT& q01 = mesh[bx][by + 1];
    const MESHPOINT& q11 = mesh[bx + 1][by + 1];

    // Where each destination row starts sampling, and its step along the row.
    float startX[64], startY[64], stepX[64], stepY[64];
    float lx = q00.x, ly = q00.y;
    const float ldx = (q01.x - q00.x) / Bf, ldy = (q01.y - q00.y) / Bf;
    float rx = q10.x, ry = q10.y;
    const float rdx = (q11.x - q10.x) / Bf, rdy = (q11.y - q10.y) / Bf;
    for (int row = 0; row < B; ++row) {
        startX[row] = lx;
        startY[row] = ly;
        stepX[row] = (rx - lx) / Bf;
        stepY[row] = (ry - ly) / Bf;
        lx += ldx;
        ly += ldy;
        rx += rdx;
        ry += rdy;
    }

    const float maxRow = float(height + 2 * B - 3);
    uint8_t* dst = heat + (B * by) * W + B * bx;
    int row = 0;
#if KINDORA_SSE2
    const __m128 loX = _mm_set1_ps(0.0f), hiX = _mm_set1_ps(float(W - 1));
    const __m128 loY = _mm_set1_ps(-2.0f), hiY = _mm_set1_ps(maxRow);
    const __m128i shift = _mm_cvtsi32_si128(W == 128 ? 7 : W == 256 ? 8 : 9);
    for (; row + 4 <= rows; row += 4, dst += 4 * W) {
        __m128 sx = _mm_loadu_ps(startX + row), sy = _mm_loadu_ps(startY + row);
        const __m128 dx = _mm_loadu_ps(stepX + row), dy = _mm_loadu_ps(stepY + row);
        for (int col = 0; col < B; ++col) {
            const __m128i cell = _mm_add_epi32(_mm_sll_epi32(ClampTrunc(sy, loY, hiY), shift),
                                               ClampTrunc(sx, loX, hiX));
            dst[col] = nextHeat[_mm_cvtsi128_si32(cell)];
            dst[W + col] = nextHeat[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 1))];
            dst[2 * W + col] = nextHeat[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 2))];
            dst[3 * W + col] = nextHeat[_mm_cvtsi128_si32(_mm_shuffle_epi32(cell, 3))];
            sx = _mm_add_ps(sx, dx);
            sy = _mm_add_ps(sy, dy);
        }
    }
#endif
    for (; row < rows; ++row, dst += W) {
        float sx = startX[row], sy = startY[row];
        for (int col = 0; col < B; ++col) {
            const int x = int(sx > 0.0f ? (sx < W - 1 ? sx : float(W - 1)) : 0.0f);
            const int y = int(sy > -2.0f ? (sy < maxRow ? sy : maxRow) : -2.0f);
            dst[col] = nextHeat[y * W + x];
            sx += stepX[row];
            sy += stepY[row];
        }
    }
}

// The warp of the burn step. The mesh reaches below the plane, but of the
// rows below it only the first is ever read (by the next heat propagation),
// so the rows under that are left out.
void FIRECLASS::WarpVisibleRows() {
    const int needed = height + 1;
    for (int by = 0; by < kMeshRows - 1; ++by) {
        const int rows = std::min(blockSize, needed - blockSize * by);
        if (rows <= 0) break;
        for (int bx = 0; bx < kMeshColumns - 1; ++bx)
            WarpBlockRows(bx, by, rows);
    }
}

void FIRECLASS::TextureWarp() {
    for (int by = 0; by < kMeshRows - 1; ++by) {
        for (int bx = 0; bx < kMeshColumns - 1; ++bx)
            TextureBlock(bx, by);
    }
}

// The fire image: the palette colour of each cell's next heat, over the
// picture's burn state. Burnt cells (desktop alpha) cover the picture; with
// style 0 they show half the scorched colour under the flames. Both sums
// saturate at 255, so the whole image is built with byte-saturating adds,
// four cells at a time, in row order.
void FIRECLASS::BuildFireImage() {
    for (int y = 0; y < height; ++y)
        BuildImageRow(y);
}

void FIRECLASS::BuildImageRow(int y) {
    const int W = width, H = height;
    const bool charred = BURNSTYLE == 0;
    const uint8_t* __restrict k = nextHeat + size_t(y) * W;
    const uint8_t* __restrict d = desk + size_t(H - 1 - y) * W * 4;
    uint8_t* __restrict out = fireImage + size_t(y) * W * 4;
#if !KINDORA_SSE2
    for (int x = 0; x < W; ++x) {
        FireCell(packedPalette[k[x]], d + 4 * x, charred, out + 4 * x);
    }
#else
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000u));
    const __m128i halfMask = _mm_set1_epi32(0x007F7F7F);
    const __m128i zero = _mm_setzero_si128();
    // Sixteen cells all below coldHeat have no flame: only the picture part.
    const bool anyCold = coldHeat > 0;
    const __m128i coldTop = _mm_set1_epi8(char(anyCold ? coldHeat - 1 : 0));
    for (int x = 0; x < W; x += 16) {
        const __m128i heats = _mm_loadu_si128(reinterpret_cast<const __m128i*>(k + x));
        const bool cold = anyCold && _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(heats, coldTop),
                                                                      zero)) == 0xFFFF;
        for (int q = x; q < x + 16; q += 4) {
            const __m128i cells = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * q));
            __m128i under = _mm_and_si128(cells, alphaMask);
            if (charred) {
                // Halve the colour bytes: a 16-bit shift, then drop the bit
                // that slid in from the neighbouring byte.
                const __m128i half = _mm_and_si128(_mm_srli_epi16(cells, 1), halfMask);
                under = _mm_or_si128(under, half);
            }
            if (!cold) {
                const __m128i flame =
                    _mm_set_epi32(int(packedPalette[k[q + 3]]), int(packedPalette[k[q + 2]]),
                                  int(packedPalette[k[q + 1]]), int(packedPalette[k[q]]));
                under = _mm_adds_epu8(flame, under);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * q), under);
        }
    }
#endif
}

void FIRECLASS::UploadFireImage() {
    glBindTexture(GL_TEXTURE_2D, fireTexID);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, fireImage);
}
