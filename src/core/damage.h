#ifndef KINDORA_CORE_DAMAGE_H
#define KINDORA_CORE_DAMAGE_H

#include <cstdint>

// Which parts of the view a frame has to draw again. A surface that keeps its
// pixels between frames needs only the pixels whose inputs changed; the rest
// already hold what a whole redraw would give them.

// Pixels x0 .. x1 - 1 by y0 .. y1 - 1, y counted up from the bottom row as
// OpenGL counts it. Empty when x1 <= x0 or y1 <= y0.
struct PIXELRECT {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
};

constexpr int kDamageRects = 48;       // more passes cost more than they save
constexpr int kDamageTile = 4;         // texels a side of the fire image's compared tiles
constexpr int kDamageCellsMax = 128;   // cells a side of the grid of changed pixels
constexpr int kDamageCellPixels = 32;  // the smallest cell

// The rectangles of one frame, or the whole view.
struct FRAMEDAMAGE {
    bool whole = true;
    int32_t count = 0;
    PIXELRECT rects[kDamageRects];
};

// The view in cells of `cell` x `cell` pixels, each marked when some pixel
// of it must be drawn again; the cells give rectangles that do not overlap.
struct DAMAGEGRID {
    int32_t cell = kDamageCellPixels;
    int32_t cols = 0;
    int32_t rows = 0;
    uint8_t marks[kDamageCellsMax * kDamageCellsMax];
};

bool RectIsEmpty(const PIXELRECT& r);
PIXELRECT UnionRect(const PIXELRECT& a, const PIXELRECT& b);

// Adds `r`, clipped to the w x h view; an empty one adds nothing. When the
// list is full, `r` joins the rectangle that grows least by it, so every
// pixel added stays covered.
void AddDamage(FRAMEDAMAGE* damage, PIXELRECT r, int w, int h);

// Pixels covered by the rectangles (overlaps counted once); w * h for a
// whole frame.
int64_t DamageArea(const FRAMEDAMAGE& damage, int w, int h);

// The pixels of a w x h view that a linearly filtered side x side texture,
// stretched over the view with its first row at the top, can change when
// its texels tx0 .. tx1 - 1 of rows ty0 .. ty1 - 1 change: those whose
// centres lie within half a texel of them (where the filter reaches), and
// one pixel more each side for the rounding of the texture coordinates.
PIXELRECT TexelsOnScreen(int tx0, int ty0, int tx1, int ty1, int side, int w, int h);

// An unmarked grid over a w x h view.
void StartGrid(DAMAGEGRID* grid, int w, int h);
// Marks every cell that `r` (clipped to the view) touches.
void MarkPixels(DAMAGEGRID* grid, const PIXELRECT& r);

// Compares the side x side RGBA image `current` (first row at the top) with
// `shown`, tile by tile, copies the rows that differ into `shown` and marks
// the pixels the changed tiles reach. False, with nothing done, when side is
// not a whole number of tiles.
bool MarkChangedTexels(const uint8_t* current, uint8_t* shown, int side, int w, int h,
                       DAMAGEGRID* grid);

// The marked cells as rectangles of the w x h view, added to `damage`.
void GridRects(const DAMAGEGRID& grid, int w, int h, FRAMEDAMAGE* damage);

#endif
