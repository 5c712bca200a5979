#ifndef KINDORA_FIRE_ROW_KERNELS_H
#define KINDORA_FIRE_ROW_KERNELS_H

// The vector kernels of the heat propagation and the image build, shared by
// the passes that run them alone and the pass that runs them together.

#include <cstdint>
#include <cstring>

#include "vector_path.h"

#if KINDORA_SSE2

// Sixteen cells of the heat rule: the average of the four neighbours less the
// cooling, held at 0 from below. There is no early way out for a cold
// neighbourhood: at the edges of the flames, which move every step, that
// branch mispredicts and costs more than the arithmetic it saves.
//
// The sum of four bytes needs ten bits, but its quarter, rounded down, can be
// formed in bytes: with x and y the halves (rounded down) of l + r and d + u,
// the quarter is (x + y + c) / 2 rounded down, where c is 1 when both pairs
// had odd sums. _mm_avg_epu8 rounds up, so each halving takes back the bit
// that rounding added.
inline __m128i Rise16(const uint8_t* src, const uint8_t* cool, int W) {
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src - 1));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 1));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + W));
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src - W));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cool));
    const __m128i one = _mm_set1_epi8(1);
    const __m128i lr = _mm_xor_si128(l, r), du = _mm_xor_si128(d, u);
    const __m128i x = _mm_sub_epi8(_mm_avg_epu8(l, r), _mm_and_si128(lr, one));
    const __m128i y = _mm_sub_epi8(_mm_avg_epu8(d, u), _mm_and_si128(du, one));
    const __m128i bothOdd = _mm_and_si128(_mm_and_si128(lr, du), one);
    const __m128i oddXY = _mm_and_si128(_mm_xor_si128(x, y), one);
    const __m128i quarter = _mm_sub_epi8(_mm_avg_epu8(x, y), _mm_andnot_si128(bothOdd, oddXY));
    // Saturating subtraction: a cooling above the average gives 0.
    return _mm_subs_epu8(quarter, c);
}

#if KINDORA_AVX2
// Rise16 over thirty-two cells, with the same steps.
KINDORA_AVX2_TARGET inline __m256i Rise32(const uint8_t* src, const uint8_t* cool, int W) {
    const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src - 1));
    const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 1));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + W));
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src - W));
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cool));
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i lr = _mm256_xor_si256(l, r), du = _mm256_xor_si256(d, u);
    const __m256i x = _mm256_sub_epi8(_mm256_avg_epu8(l, r), _mm256_and_si256(lr, one));
    const __m256i y = _mm256_sub_epi8(_mm256_avg_epu8(d, u), _mm256_and_si256(du, one));
    const __m256i bothOdd = _mm256_and_si256(_mm256_and_si256(lr, du), one);
    const __m256i oddXY = _mm256_and_si256(_mm256_xor_si256(x, y), one);
    const __m256i quarter =
        _mm256_sub_epi8(_mm256_avg_epu8(x, y), _mm256_andnot_si256(bothOdd, oddXY));
    return _mm256_subs_epu8(quarter, c);
}
#endif

// What the image build needs of the fire, fixed for a whole pass.
struct PaintSetup {
    const uint32_t* palette;  // packed RGBA words
    bool anyCold;             // some heat values have no flame at all
    __m128i coldTop;          // the highest of them
};

// Whether none of sixteen heats has a flame.
inline bool Cold16(const PaintSetup& s, __m128i heats) {
    return s.anyCold && _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(heats, s.coldTop),
                                                         _mm_setzero_si128())) == 0xFFFF;
}

// Four cells of which only the burn marks show under the flames: each mark
// alone in the alpha byte of its word.
inline __m128i MarksUnder4(const uint8_t* marks) {
    int four;
    memcpy(&four, marks, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(zero, _mm_unpacklo_epi8(zero, _mm_cvtsi32_si128(four)));
}

// Sixteen cells of the fire image from their heats k[0..15] and what shows
// under them, stored at out: the RGBA cells at u or, where u is null, the
// burn marks alone at `marks`. Where none of the sixteen has a flame
// (`cold`), what shows under them is all there is.
inline void Paint16(const PaintSetup& s, bool cold, const uint8_t* k, const uint8_t* u,
                    const uint8_t* marks, uint8_t* out) {
    for (int q = 0; q < 16; q += 4) {
        __m128i cells = u ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + 4 * q))
                          : MarksUnder4(marks + q);
        if (!cold) {
            const __m128i flame = _mm_set_epi32(int(s.palette[k[q + 3]]), int(s.palette[k[q + 2]]),
                                                int(s.palette[k[q + 1]]), int(s.palette[k[q]]));
            cells = _mm_adds_epu8(flame, cells);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * q), cells);
    }
}

#if KINDORA_AVX2
// The flame colours of four heats, packed in a word from the first.
KINDORA_AVX2_TARGET inline __m128i FourFlames(const uint32_t* palette, uint32_t heats) {
    const uint32_t upper = heats >> 16;
    __m128i flames = _mm_cvtsi32_si128(int(palette[heats & 255]));
    flames = _mm_insert_epi32(flames, int(palette[(heats >> 8) & 255]), 1);
    flames = _mm_insert_epi32(flames, int(palette[upper & 255]), 2);
    return _mm_insert_epi32(flames, int(palette[upper >> 8]), 3);
}

// The runs of a row marked in `toPaint`, each as Paint16 paints it, and
// their flags set as `cold` says; eight cells to a vector, their flame
// colours inserted straight from the palette. The heats come four to a word:
// sixteen loads of a byte each would leave the loads, not the arithmetic, to
// set the pace.
KINDORA_AVX2_TARGET inline void PaintRunsWide(const uint32_t* palette, uint32_t toPaint,
                                              uint32_t cold, const uint8_t* k, const uint8_t* u,
                                              const uint8_t* marks, uint8_t* out, uint8_t* runs) {
    for (uint32_t rest = toPaint; rest; rest &= rest - 1) {
        const int r = __builtin_ctz(rest), x = r * 16;
        const bool coldRun = (cold >> r) & 1;
        for (int q = x; q < x + 16; q += 8) {
            __m256i cells;
            if (u) {
                cells = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + 4 * q));
            } else {
                const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(marks + q));
                cells = _mm256_slli_epi32(_mm256_cvtepu8_epi32(eight), 24);
            }
            if (!coldRun) {
                uint32_t h[2];
                memcpy(h, k + q, 8);
                const __m128i lo = FourFlames(palette, h[0]), hi = FourFlames(palette, h[1]);
                const __m256i flame = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
                cells = _mm256_adds_epu8(flame, cells);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * q), cells);
        }
        runs[r] = coldRun;
    }
}
#endif

// Four desktop cells as they show under style 0's flames: the burn mark and
// half the colour (a 16-bit shift, then the bit that slid in from the
// neighbouring byte dropped).
inline __m128i Under4(__m128i cells) {
    const __m128i mark = _mm_and_si128(cells, _mm_set1_epi32(int(0xFF000000u)));
    return _mm_or_si128(mark, _mm_and_si128(_mm_srli_epi16(cells, 1), _mm_set1_epi32(0x007F7F7F)));
}

// The burn marks (alpha bytes) of sixteen desktop cells, in order.
inline __m128i Marks16(const uint8_t* cells) {
    __m128i quarters[4];
    for (int q = 0; q < 4; ++q) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 16 * q));
        quarters[q] = _mm_srli_epi32(four, 24);
    }
    return _mm_packus_epi16(_mm_packs_epi32(quarters[0], quarters[1]),
                            _mm_packs_epi32(quarters[2], quarters[3]));
}

#endif

#endif
