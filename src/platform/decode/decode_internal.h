#ifndef KINDORA_PLATFORM_DECODE_INTERNAL_H
#define KINDORA_PLATFORM_DECODE_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "picture_decoder.h"

// One decoder per format, each over a whole file in memory. Each checks the
// picture's size with PictureSizeAllowed before allocating its pixels and
// fills `out` only on success.
bool DecodeJpeg(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
bool DecodePng(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
bool DecodeGif(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
bool DecodeWebp(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason);
// `gzipped`: a .svgz, unpacked first.
bool DecodeSvg(const uint8_t* data, size_t size, bool gzipped, PictureBitmap* out,
               PictureReason* reason);

#endif
