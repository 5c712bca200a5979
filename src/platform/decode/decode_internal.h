#ifndef KINDORA_PLATFORM_DECODE_INTERNAL_H
#define KINDORA_PLATFORM_DECODE_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "picture_decoder.h"

// One decoder per format, each over a whole file in memory. Each checks the
// picture's size with PictureSizeAllowed before allocating its pixels and
// fills `out` only on success. A JPEG over the pixel cap is decoded smaller
// rather than refused.
bool DecodeJpeg(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
// The smallest of 1, 2, 4 and 8 that brings a wide x high JPEG within
// `maxPixels` when decoded at 1/denominator of each side; 0 when none does.
unsigned JpegScaleDenominator(uint64_t wide, uint64_t high, uint64_t maxPixels);
// DecodeJpeg with a pixel cap of `maxPixels` (DecodeJpeg's is
// kMaxPicturePixels): a larger picture is decoded at a reduced scale.
bool DecodeJpegWithin(const uint8_t* data, size_t size, uint64_t maxPixels, PictureBitmap* out,
                      PictureReason* reason);
bool DecodePng(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
bool DecodeGif(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
bool DecodeWebp(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
// `gzipped`: a .svgz, unpacked first.
bool DecodeSvg(const uint8_t* data, size_t size, bool gzipped, PictureBitmap* out,
               PictureReason* reason);

#endif
