#include "damage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

int64_t Area(const PIXELRECT& r) {
    return RectIsEmpty(r) ? 0 : int64_t(r.x1 - r.x0) * (r.y1 - r.y0);
}

PIXELRECT Clip(PIXELRECT r, int w, int h) {
    r.x0 = std::max(r.x0, 0);
    r.y0 = std::max(r.y0, 0);
    r.x1 = std::min(r.x1, int32_t(w));
    r.y1 = std::min(r.y1, int32_t(h));
    return r;
}

// Pixels first .. last - 1 of a view `pixels` long over which `texels`
// texels are stretched, whose centres lie within half a texel of texels
// a .. b - 1, with one pixel more each side.
void TexelSpan(int a, int b, int texels, int pixels, int32_t* first, int32_t* last) {
    const double scale = double(pixels) / texels;
    *first = int32_t(std::floor((a - 0.5) * scale - 0.5)) - 1;
    *last = int32_t(std::ceil((b + 0.5) * scale - 0.5)) + 1;
}

// A run of marked cells or changed tiles, c0 .. c1 - 1; as an open
// rectangle it reaches down from row r0.
struct RUN {
    int c0, c1, r0;
};

// The runs of set flags in `flags`.
int FindRuns(const uint8_t* flags, int count, RUN* runs) {
    int found = 0;
    for (int c = 0; c < count; ++c) {
        if (!flags[c]) continue;
        if (found && runs[found - 1].c1 == c) {
            runs[found - 1].c1 = c + 1;
        } else {
            runs[found++] = {c, c + 1, 0};
        }
    }
    return found;
}

// Marks the tiles of one tile row whose texels differ and brings the
// differing rows of `shown` up to date.
bool CompareTileRow(const uint8_t* current, uint8_t* shown, int side, int ty, uint8_t* dirty) {
    const int tiles = side / kDamageTile;
    const size_t rowBytes = size_t(side) * 4, tileBytes = kDamageTile * 4;
    bool any = false;
    memset(dirty, 0, size_t(tiles));
    for (int y = ty * kDamageTile; y < (ty + 1) * kDamageTile; ++y) {
        const uint8_t* now = current + size_t(y) * rowBytes;
        uint8_t* was = shown + size_t(y) * rowBytes;
        if (memcmp(now, was, rowBytes) == 0) continue;
        for (int tx = 0; tx < tiles; ++tx) {
            if (!dirty[tx] && memcmp(now + tx * tileBytes, was + tx * tileBytes, tileBytes) != 0)
                dirty[tx] = 1;
        }
        memcpy(was, now, rowBytes);
        any = true;
    }
    return any;
}

PIXELRECT CellsOnScreen(const DAMAGEGRID& grid, const RUN& run, int r1, int w, int h) {
    return Clip({run.c0 * grid.cell, run.r0 * grid.cell, run.c1 * grid.cell, r1 * grid.cell}, w, h);
}

}  // namespace

bool RectIsEmpty(const PIXELRECT& r) {
    return r.x1 <= r.x0 || r.y1 <= r.y0;
}

PIXELRECT UnionRect(const PIXELRECT& a, const PIXELRECT& b) {
    if (RectIsEmpty(a)) return b;
    if (RectIsEmpty(b)) return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

void AddDamage(FRAMEDAMAGE* damage, PIXELRECT r, int w, int h) {
    r = Clip(r, w, h);
    if (RectIsEmpty(r)) return;
    if (damage->count < kDamageRects) {
        damage->rects[damage->count++] = r;
        return;
    }
    int best = 0;
    int64_t bestGrowth = INT64_MAX;
    for (int i = 0; i < damage->count; ++i) {
        const int64_t growth = Area(UnionRect(damage->rects[i], r)) - Area(damage->rects[i]);
        if (growth < bestGrowth) best = i, bestGrowth = growth;
    }
    damage->rects[best] = UnionRect(damage->rects[best], r);
}

// A sweep over the bands between the rectangles' horizontal edges, adding
// up the union of the spans that cover each band.
int64_t DamageArea(const FRAMEDAMAGE& damage, int w, int h) {
    if (damage.whole) return int64_t(w) * h;
    int32_t edges[2 * kDamageRects];
    int edgeCount = 0;
    for (int i = 0; i < damage.count; ++i) {
        edges[edgeCount++] = damage.rects[i].y0;
        edges[edgeCount++] = damage.rects[i].y1;
    }
    std::sort(edges, edges + edgeCount);
    int64_t area = 0;
    for (int e = 0; e + 1 < edgeCount; ++e) {
        const int32_t y0 = edges[e], y1 = edges[e + 1];
        if (y1 == y0) continue;
        std::pair<int32_t, int32_t> spans[kDamageRects];
        int spanCount = 0;
        for (int i = 0; i < damage.count; ++i) {
            const PIXELRECT& r = damage.rects[i];
            if (r.y0 <= y0 && r.y1 >= y1) spans[spanCount++] = {r.x0, r.x1};
        }
        std::sort(spans, spans + spanCount);
        int32_t covered = 0, reach = INT32_MIN;
        for (int s = 0; s < spanCount; ++s) {
            const int32_t from = std::max(spans[s].first, reach);
            if (spans[s].second > from) covered += spans[s].second - from;
            reach = std::max(reach, spans[s].second);
        }
        area += int64_t(covered) * (y1 - y0);
    }
    return area;
}

PIXELRECT TexelsOnScreen(int tx0, int ty0, int tx1, int ty1, int side, int w, int h) {
    PIXELRECT r;
    TexelSpan(tx0, tx1, side, w, &r.x0, &r.x1);
    int32_t top = 0, bottom = 0;  // counted down from the top row
    TexelSpan(ty0, ty1, side, h, &top, &bottom);
    r.y0 = h - bottom;
    r.y1 = h - top;
    return Clip(r, w, h);
}

void StartGrid(DAMAGEGRID* grid, int w, int h) {
    const int longest = std::max(std::max(w, h), 1);
    grid->cell = std::max(kDamageCellPixels, (longest + kDamageCellsMax - 1) / kDamageCellsMax);
    grid->cols = (std::max(w, 0) + grid->cell - 1) / grid->cell;
    grid->rows = (std::max(h, 0) + grid->cell - 1) / grid->cell;
    memset(grid->marks, 0, size_t(grid->cols) * size_t(grid->rows));
}

void MarkPixels(DAMAGEGRID* grid, const PIXELRECT& r) {
    const PIXELRECT c = Clip(r, grid->cols * grid->cell, grid->rows * grid->cell);
    if (RectIsEmpty(c)) return;
    const int c0 = c.x0 / grid->cell, c1 = (c.x1 - 1) / grid->cell;
    for (int row = c.y0 / grid->cell; row <= (c.y1 - 1) / grid->cell; ++row)
        memset(grid->marks + size_t(row) * grid->cols + c0, 1, size_t(c1 - c0 + 1));
}

bool MarkChangedTexels(const uint8_t* current, uint8_t* shown, int side, int w, int h,
                       DAMAGEGRID* grid) {
    const int tiles = side / kDamageTile;
    if (side <= 0 || side % kDamageTile != 0) return false;
    uint8_t dirty[512 / kDamageTile];
    RUN runs[512 / kDamageTile];
    if (tiles > int(sizeof dirty)) return false;
    for (int ty = 0; ty < tiles; ++ty) {
        if (!CompareTileRow(current, shown, side, ty, dirty)) continue;
        const int count = FindRuns(dirty, tiles, runs);
        for (int i = 0; i < count; ++i) {
            MarkPixels(
                grid, TexelsOnScreen(runs[i].c0 * kDamageTile, ty * kDamageTile,
                                     runs[i].c1 * kDamageTile, (ty + 1) * kDamageTile, side, w, h));
        }
    }
    return true;
}

// Runs of marked cells row by row; a run that lies exactly under an open
// rectangle extends it, so the rectangles never overlap.
void GridRects(const DAMAGEGRID& grid, int w, int h, FRAMEDAMAGE* damage) {
    RUN open[kDamageCellsMax], runs[kDamageCellsMax];
    int openCount = 0;
    for (int row = 0; row <= grid.rows; ++row) {
        const int count =
            row < grid.rows ? FindRuns(grid.marks + size_t(row) * grid.cols, grid.cols, runs) : 0;
        bool taken[kDamageCellsMax] = {};
        int kept = 0;
        for (int o = 0; o < openCount; ++o) {
            int match = -1;
            for (int r = 0; r < count && match < 0; ++r) {
                if (runs[r].c0 == open[o].c0 && runs[r].c1 == open[o].c1) match = r;
            }
            if (match >= 0) {
                taken[match] = true;
                open[kept++] = open[o];
            } else {
                AddDamage(damage, CellsOnScreen(grid, open[o], row, w, h), w, h);
            }
        }
        for (int r = 0; r < count; ++r) {
            if (!taken[r]) open[kept++] = {runs[r].c0, runs[r].c1, row};
        }
        openCount = kept;
    }
}
