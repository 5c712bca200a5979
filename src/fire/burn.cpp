#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "row_kernels.h"
#include "vector_path.h"

void FIRECLASS::Burn(double elapsed) {
    if (!heatMem) return;
    AdvanceSpawnTimer(elapsed);
    if (BURNSTYLE != 0) AdvanceResetTimer(elapsed);
    ScrollCoolMap();
    // Nothing writes nextHeat from the propagation to the end of the image
    // build, so the groups of heat that the propagation notes hold until
    // then. The relaxation moves only the mesh, so in that half the copy of
    // the new heat into heat can ride along with the propagation.
    if (warpPhase == 1) {
        PropagateHeat();
        hotGroupsValid = true;
        WarpVisibleRows();
    } else {
        PropagateAndCopy();
        hotGroupsValid = true;
        Relax();
    }
    warpPhase = 1 - warpPhase;
    BuildChangedImage();
    hotGroupsValid = false;
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
    PropagateRows(false);
}

// PropagateHeat, then W * H bytes of nextHeat copied into heat. Row y - 1 of
// heat is read for the last time while row y is propagated, so it takes its
// copy then; the last row, which the propagation never writes, is copied as
// it stands.
void FIRECLASS::PropagateAndCopy() {
    const size_t W = size_t(width), last = (size_t(height) - 1) * W;
    PropagateRows(true);
    memcpy(heat + last, nextHeat + last, W);
}

#if KINDORA_SSE2
namespace {

// Bit g set for each group g of `count` whose sixteen cold-cell bits are not
// all set: the groups that hold heat.
uint32_t HotGroups(const uint16_t* coldCells, int count) {
    const __m128i allCold = _mm_set1_epi16(-1);
    uint32_t hot = 0;
    int g = 0;
    for (; g + 8 <= count; g += 8) {
        const __m128i notes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coldCells + g));
        const __m128i cold = _mm_cmpeq_epi16(notes, allCold);
        hot |= uint32_t(~_mm_movemask_epi8(_mm_packs_epi16(cold, cold)) & 0xFF) << g;
    }
    for (; g < count; ++g)
        hot |= uint32_t(coldCells[g] != 0xFFFF) << g;
    return hot;
}

}  // namespace
#endif

// What the propagation of a row notes: by groups of sixteen cells, which
// came out cold and which without a flame; and for the cells past the last
// whole group, their groups of heat and of flame.
struct ROWNOTES {
    uint16_t coldCells[kMaxGridSide / kHeatGroup];
    uint16_t flamelessCells[kMaxGridSide / kHeatGroup];
    uint32_t tailHot, tailFlame;
};

#if KINDORA_AVX2
namespace {

// PropagateRow's vector loop in the AVX2 form, two groups at a time: the
// cells of the row it did. The notes of both groups come from one mask, the
// first group's in its low half.
KINDORA_AVX2_TARGET int RiseGroupPairs(const uint8_t* src, const uint8_t* cool, int W, uint8_t* dst,
                                       uint8_t* copy, uint8_t noFlameHeat, ROWNOTES* notes) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i noFlame = _mm256_set1_epi8(char(noFlameHeat));
    int i = 0;
    for (; i + 32 <= W; i += 32) {
        const __m256i v = Rise32(src + i, cool + i, W);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), v);
        if (copy) _mm256_storeu_si256(reinterpret_cast<__m256i*>(copy + i), v);
        const uint32_t cold = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, zero)));
        const uint32_t flameless =
            uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_subs_epu8(v, noFlame), zero)));
        memcpy(notes->coldCells + i / kHeatGroup, &cold, sizeof cold);
        memcpy(notes->flamelessCells + i / kHeatGroup, &flameless, sizeof flameless);
    }
    return i;
}

}  // namespace
#endif

// Every row of the flat rule, each noting its groups of heat and of flame.
// A row's notes are read one row later: read at once, the wide loads would
// wait for the narrow stores that wrote them to land.
void FIRECLASS::PropagateRows(bool copyToHeat) {
    ROWNOTES notes[2];
    for (int y = 0; y <= height; ++y) {
        if (y < height) PropagateRow(y, copyToHeat && y > 0, &notes[y & 1]);
        if (y == 0) continue;
        const ROWNOTES& last = notes[(y - 1) & 1];
        uint32_t hot = last.tailHot, flame = last.tailFlame;
#if KINDORA_SSE2
        hot |= HotGroups(last.coldCells, width / kHeatGroup);
        flame |= HotGroups(last.flamelessCells, width / kHeatGroup);
#endif
        hotGroups[y - 1] = hot;
        flameGroups[y - 1] = flame;
    }
}

// Row y of the flat rule: cells y * W .. y * W + W - 1, written one row up,
// into nextHeat and, with copyToHeat, into heat as well, with its notes.
void FIRECLASS::PropagateRow(int y, bool copyToHeat, ROWNOTES* notes) {
    const int W = width;
    const size_t start = size_t(y) * size_t(W);
    const uint8_t* src = heat + start;
    const uint8_t* cool = coolMap + start;
    uint8_t* dst = nextHeat + start - W;
    uint8_t* copy = heat + start - W;
    static_assert(kMaxGridSide / kHeatGroup <= 32, "a row's groups fit one word");
    notes->tailHot = notes->tailFlame = 0;
    int i = 0;
#if KINDORA_SSE2
    // Cell j reads the cell above it only for itself, before its result is
    // stored there. Where heat and cold alternate from step to step a branch
    // would mispredict, so each group of sixteen notes which of its cells
    // are cold or have no flame, and the groups are read from those notes
    // later.
    static_assert(kHeatGroup == 16, "a group is one vector of cells");
    const __m128i zero = _mm_setzero_si128();
    const uint8_t noFlameHeat = uint8_t(coldHeat > 0 ? coldHeat - 1 : 0);
    const __m128i noFlame = _mm_set1_epi8(char(noFlameHeat));
#if KINDORA_AVX2
    if (wideForms)
        i = RiseGroupPairs(src, cool, W, dst, copyToHeat ? copy : nullptr, noFlameHeat, notes);
#endif
    int groups = i / kHeatGroup;
    for (; i + 16 <= W; i += 16, ++groups) {
        const __m128i v = Rise16(src + i, cool + i, W);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
        if (copyToHeat) _mm_storeu_si128(reinterpret_cast<__m128i*>(copy + i), v);
        notes->coldCells[groups] = uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
        notes->flamelessCells[groups] =
            uint16_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(v, noFlame), zero)));
    }
#endif
    for (; i < W; ++i) {
        const int v = ((src[i - 1] + src[i + 1] + src[i + W] + src[i - W]) >> 2) - cool[i];
        dst[i] = uint8_t(v > 0 ? v : 0);
        if (copyToHeat) copy[i] = dst[i];
        notes->tailHot |= uint32_t(v > 0) << (i / kHeatGroup);
        notes->tailFlame |= uint32_t(v >= coldHeat) << (i / kHeatGroup);
    }
}
