#ifndef KINDORA_FIRE_ROW_KERNELS_H
#define KINDORA_FIRE_ROW_KERNELS_H

// The vector kernels of the heat propagation and the image build, shared by
// the passes that run them alone and the pass that runs them together.

#include <cstdint>

#include "vector_path.h"

#if KINDORA_SSE2

// Sixteen cells of the heat rule: the average of the four neighbours less the
// cooling, held at 0 from below. A neighbourhood without heat gives 0 whatever
// the cooling, which most of a fire's plane is.
inline __m128i Rise16(const uint8_t* src, const uint8_t* cool, int W) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src - 1));
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 1));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + W));
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src - W));
    const __m128i any = _mm_or_si128(_mm_or_si128(l, r), _mm_or_si128(d, u));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF) return zero;
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cool));
    __m128i lo =
        _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                      _mm_add_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(u, zero)));
    __m128i hi =
        _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                      _mm_add_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(u, zero)));
    lo = _mm_sub_epi16(_mm_srli_epi16(lo, 2), _mm_unpacklo_epi8(c, zero));
    hi = _mm_sub_epi16(_mm_srli_epi16(hi, 2), _mm_unpackhi_epi8(c, zero));
    // Saturating pack: negative values become 0.
    return _mm_packus_epi16(lo, hi);
}

// What the image build needs of the fire, fixed for a whole pass.
struct PaintSetup {
    const uint32_t* palette;  // packed RGBA words
    bool charred;             // style 0: half the picture's colour shows
    bool anyCold;             // some heat values have no flame at all
    __m128i coldTop;          // the highest of them
};

// Whether none of sixteen heats has a flame.
inline bool Cold16(const PaintSetup& s, __m128i heats) {
    return s.anyCold && _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(heats, s.coldTop),
                                                         _mm_setzero_si128())) == 0xFFFF;
}

// Sixteen cells of the fire image from their heats k[0..15] and desktop
// cells d, stored at out. Where none of the sixteen has a flame (`cold`),
// only the picture's part is formed.
inline void Paint16(const PaintSetup& s, bool cold, const uint8_t* k, const uint8_t* d,
                    uint8_t* out) {
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000u));
    const __m128i halfMask = _mm_set1_epi32(0x007F7F7F);
    for (int q = 0; q < 16; q += 4) {
        const __m128i cells = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * q));
        __m128i under = _mm_and_si128(cells, alphaMask);
        if (s.charred) {
            // Halve the colour bytes: a 16-bit shift, then drop the bit
            // that slid in from the neighbouring byte.
            under = _mm_or_si128(under, _mm_and_si128(_mm_srli_epi16(cells, 1), halfMask));
        }
        if (!cold) {
            const __m128i flame = _mm_set_epi32(int(s.palette[k[q + 3]]), int(s.palette[k[q + 2]]),
                                                int(s.palette[k[q + 1]]), int(s.palette[k[q]]));
            under = _mm_adds_epu8(flame, under);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * q), under);
    }
}

#endif

#endif
