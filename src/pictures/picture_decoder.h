#ifndef KINDORA_PICTURES_PICTURE_DECODER_H
#define KINDORA_PICTURES_PICTURE_DECODER_H

#include <cstddef>
#include <cstdint>

#include "texture.h"

// A decoded picture as the loader needs it: packed rows from the top of the
// picture down, `bytesPerRow` apart, each pixel R, G, B (24 bits) or
// R, G, B, A (32 bits). `pixels` is allocated with malloc; whoever receives
// the record releases it with free.
struct PictureBitmap {
    uint32_t bitsPerPixel = 0;  // 24 or 32
    size_t bytesPerRow = 0;     // at least pixelsWide * bitsPerPixel / 8
    uint32_t pixelsWide = 0;
    uint32_t pixelsHigh = 0;
    uint8_t* pixels = nullptr;
};

// Pictures of more pixels are refused before anything is allocated; a side
// may be any length (a panorama) as long as the count is within the cap.
constexpr uint64_t kMaxPicturePixels = kMaxImagePixels;

// Why a load failed, in a few words, for tools that tell the user.
struct PictureReason {
    char text[256] = "";
};

// Writes a printf-style reason; a null `reason` is ignored.
void SetReason(PictureReason* reason, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// True when the sides are at least 1 and the pixel count is within the cap
// in force; otherwise says why in `reason`.
bool PictureSizeAllowed(uint64_t wide, uint64_t high, PictureReason* reason);

// The cap in force: kMaxPicturePixels unless lowered, as a fuzzer does so
// that its memory limit holds for every picture the cap lets through. Held
// to 1 .. kMaxPicturePixels.
uint64_t PictureSizeCap();
void SetPictureSizeCap(uint64_t pixels);

// The platform's decoder: fills `out` and returns true, or returns false,
// leaving `out` untouched, with the reason (if `reason` is not null). It must
// not block on, or read without limit from, whatever `path` names.
using PictureDecodeFn = bool (*)(const char* path, PictureBitmap* out, PictureReason* reason);

// The decoder that the picture loaders use; none is installed at first, and
// then every load fails. The platform layer installs its own at start-up;
// tests install in-memory stand-ins.
void SetPictureDecoder(PictureDecodeFn decoder);
PictureDecodeFn CurrentPictureDecoder();

#endif
