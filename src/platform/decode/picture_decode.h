#ifndef KINDORA_PLATFORM_PICTURE_DECODE_H
#define KINDORA_PLATFORM_PICTURE_DECODE_H

#include <cstddef>
#include <cstdint>

#include "picture_decoder.h"
#include "posix_services.h"

// Files larger than this are not read.
constexpr uint64_t kMaxPictureFileBytes = uint64_t(256) << 20;

// Decodes a JPEG (libjpeg-turbo), PNG (libpng), GIF (giflib, first frame),
// WebP (libwebp, an animation's first frame) or SVG/SVGZ (librsvg) picked by
// its first bytes, never by its name. Grey, palette, 16-bit and CMYK pictures
// come out as 24-bit RGB, pictures with alpha as 32-bit RGBA (an SVG only
// when some pixel is not opaque).
// Only regular files are read; the file is opened without blocking. On
// failure returns false, leaves `out` untouched and says why in `reason`
// (may be null). Fits PictureDecodeFn.
bool DecodePictureFile(const char* path, PictureBitmap* out, PictureReason* reason);

// The same for a picture held in memory.
bool DecodePictureMemory(const uint8_t* data, size_t size, PictureBitmap* out,
                         PictureReason* reason);

// The size SVG pictures are drawn at: the smallest of their own proportions
// that covers wide x high. Process-wide, 1920 x 1080 until set; a zero side
// restores that.
void SetVectorPictureSize(uint32_t wide, uint32_t high);

// Makes DecodePictureFile the loaders' decoder, and installs the POSIX
// folder listing and executable location that the picture choice and the
// resource search rely on (InstallPosixServices).
inline void InstallPlatformPictureDecoder() {
    SetPictureDecoder(DecodePictureFile);
    InstallPosixServices();
}

#endif
