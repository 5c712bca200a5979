#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "vector_path.h"

void FIRECLASS::Burn(double elapsed) {
    if (!heatMem) return;
    AdvanceSpawnTimer(elapsed);
    if (BURNSTYLE != 0) AdvanceResetTimer(elapsed);
    ScrollCoolMap();
    // The image is built from nextHeat and the picture, which neither the
    // warp nor the relaxation touches, so it is built with the propagation
    // while each row is still in cache; the relaxing half copies the new
    // rows into heat on the way too.
    const bool relaxing = warpPhase == 0;
    PropagateAndBuild(relaxing);
    if (relaxing) {
        Relax();
    } else {
        WarpVisibleRows();
    }
    warpPhase = 1 - warpPhase;
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

// The cooling map moves up one row and wraps around. Rather than moving the
// plane, the window moves down one row through storage twice its size: the
// row that leaves the top is copied below the bottom. Once the window reaches
// the second half, it is copied back to the start, one plane every H steps.
void FIRECLASS::ScrollCoolMap() {
    const size_t W = size_t(width), cells = W * size_t(height);
    memcpy(coolMap + cells, coolMap, W);
    coolMap += W;
    if (coolMap == coolMem + cells) {
        memcpy(coolMem, coolMap, cells);
        coolMap = coolMem;
    }
}

// The heat rises one row: each cell of the next plane gets the average of the
// four neighbours of the cell below it, less that cell's cooling. The plane is
// read as one flat array, so row ends wrap into the neighbouring rows and the
// first and last rows read the margins.
void FIRECLASS::PropagateHeat() {
    for (int y = 0; y < height; ++y)
        PropagateRow(y);
}

// Row y of the flat rule: cells y * W .. y * W + W - 1, written one row up.
void FIRECLASS::PropagateRow(int y) {
    const int W = width;
    const size_t start = size_t(y) * size_t(W);
    const uint8_t* __restrict src = heat + start;
    const uint8_t* __restrict cool = coolMap + start;
    uint8_t* __restrict dst = nextHeat + start - W;
    int i = 0;
#if KINDORA_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= W; i += 16) {
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
    for (; i < W; ++i) {
        const int v = ((src[i - 1] + src[i + 1] + src[i + W] + src[i - W]) >> 2) - cool[i];
        dst[i] = uint8_t(v > 0 ? v : 0);
    }
}

// Row y of heat is last read when row y + 1 is propagated, so from then on
// it can take its copy from nextHeat; the last row, never written, is
// copied as it stands.
void FIRECLASS::PropagateAndBuild(bool copyToHeat) {
    const int W = width, H = height;
    for (int y = 0; y <= H; ++y) {
        if (y < H) PropagateRow(y);
        if (y == 0) continue;
        const size_t row = size_t(y - 1) * size_t(W);
        if (copyToHeat) memcpy(heat + row, nextHeat + row, size_t(W));
        BuildImageRow(y - 1);
    }
}
