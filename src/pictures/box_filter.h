#ifndef KINDORA_PICTURES_BOX_FILTER_H
#define KINDORA_PICTURES_BOX_FILTER_H

#include <cstdint>

// GLU's box filter without GLU: the bytes that gluScaleImage gives for
// tightly packed unsigned bytes of `components` (3 or 4) a pixel, scaling
// `in` (inWide x inHigh) into `out` (outWide x outHigh). GLU widens each
// byte to 16 bits, averages the box of source pixels under each output pixel
// in single precision (wrapping at the edges when enlarging), or halves
// exactly when both sides are halved, and narrows back to bytes; this does
// the same arithmetic in the same order.
//
// False, with `out` untouched, for what is not covered here (other component
// counts, a zero or overly large side, no memory for the working rows): the
// caller then asks GLU. Needs no OpenGL context.
bool BoxFilterScale(const uint8_t* in, uint32_t inWide, uint32_t inHigh, int components,
                    uint8_t* out, uint32_t outWide, uint32_t outHigh);

// BoxFilterScale row by row for shrinking each side by a whole number (the
// source sides multiples of the output's): the source rows are fed in order,
// and each output row is written once its last source row has come, so the
// source never needs to be whole in memory. Begin is false (nothing to end)
// where this form does not apply or the working row cannot be allocated.
struct BoxShrink {
    int components = 0;
    uint32_t inWide = 0;
    uint32_t outWide = 0;
    uint32_t kx = 0;  // source pixels an output pixel, across and down
    uint32_t ky = 0;
    uint32_t rowsIn = 0;       // source rows taken so far
    uint8_t* out = nullptr;    // the next output row
    uint16_t* sums = nullptr;  // column sums of the current band, for small boxes
    float* totals = nullptr;   // running totals of each output value, for large ones
    bool wide = false;         // the sums run in the AVX2 form
};
bool BeginBoxShrink(BoxShrink* box, uint32_t inWide, uint32_t inHigh, int components, uint8_t* out,
                    uint32_t outWide, uint32_t outHigh);
void AddBoxShrinkRow(BoxShrink* box, const uint8_t* row);
void EndBoxShrink(BoxShrink* box);

// Whether the picture loops (the column sums here, the resampling of the
// loader) run their AVX2 forms where the processor has it: on by default.
// Both forms give the same bytes; tests turn it off to check the other.
void UseWidePictureForms(bool wide);
bool WidePictureForms();

// The largest side BoxFilterScale takes (in or out).
constexpr uint32_t kBoxFilterMaxSide = 16384;

#endif
