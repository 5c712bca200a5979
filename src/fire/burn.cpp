#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "vector_path.h"

void FIRECLASS::Burn(double elapsed) {
    if (!heatMem) return;
    AdvanceSpawnTimer(elapsed);
    if (BURNSTYLE != 0) AdvanceResetTimer(elapsed);
    ScrollCoolMap();
    PropagateHeat();
    if (warpPhase == 1) {
        WarpVisibleRows();
    } else {
        Relax();
        memcpy(heat, nextHeat, size_t(width) * size_t(height));
    }
    warpPhase = 1 - warpPhase;
    BuildFireImage();
    UploadFireImage();
    RemoveDeadHotzones();
    AdvanceHotzones(elapsed);
    StartSpark();
    AdvanceSparks();
}

void FIRECLASS::AdvanceSpawnTimer(double elapsed) {
    spawnTimer = float(spawnTimer - elapsed);
    if (spawnTimer < 0) {
        AddHotzone();
        spawnTimer = float(rand() % BURNDELAY + 5);
    }
}

// Restores the picture: every burn mark goes, the live flames die, and the
// next hot zone follows shortly.
void FIRECLASS::AdvanceResetTimer(double elapsed) {
    resetTimer = float(resetTimer - elapsed);
    if (!(resetTimer < 0)) return;
    ClearDesktopAlpha();
    resetTimer = float(rand() % 600 + 600.0);
    for (int n = 0; n < numHotzones; ++n)
        hotzones[n].life = -1.0f;
    spawnTimer = 2.0f;
}

// The cooling map moves up one row and wraps around.
void FIRECLASS::ScrollCoolMap() {
    uint8_t saved[512];
    const size_t W = size_t(width);
    memcpy(saved, coolMap, W);
    memmove(coolMap, coolMap + W, W * W - W);
    memcpy(coolMap + W * W - W, saved, W);
}

// The heat rises one row: each cell of the next plane gets the average of the
// four neighbours of the cell below it, less that cell's cooling. The plane is
// read as one flat array, so row ends wrap into the neighbouring rows and the
// first and last rows read the margins.
void FIRECLASS::PropagateHeat() {
    const int W = width;
    const int cells = width * height;
    const uint8_t* __restrict src = heat;
    const uint8_t* __restrict cool = coolMap;
    uint8_t* __restrict dst = nextHeat - W;
    int i = 0;
#if KINDORA_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= cells; i += 16) {
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i - 1));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 1));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + W));
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i - W));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cool + i));
        __m128i lo =
            _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(l, zero), _mm_unpacklo_epi8(r, zero)),
                          _mm_add_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(u, zero)));
        __m128i hi =
            _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(l, zero), _mm_unpackhi_epi8(r, zero)),
                          _mm_add_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(u, zero)));
        lo = _mm_sub_epi16(_mm_srli_epi16(lo, 2), _mm_unpacklo_epi8(c, zero));
        hi = _mm_sub_epi16(_mm_srli_epi16(hi, 2), _mm_unpackhi_epi8(c, zero));
        // Saturating pack: negative values become 0.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < cells; ++i) {
        const int v = ((src[i - 1] + src[i + 1] + src[i + W] + src[i - W]) >> 2) - cool[i];
        dst[i] = uint8_t(v > 0 ? v : 0);
    }
}
