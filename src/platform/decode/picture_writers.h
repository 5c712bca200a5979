#ifndef KINDORA_PLATFORM_PICTURE_WRITERS_H
#define KINDORA_PLATFORM_PICTURE_WRITERS_H

#include <cstdint>

// Encoders for tests, benchmarks and tools that need picture files of their
// own. Pixels are packed rows, top row first. Each returns false, leaving no
// promise about the file, when encoding or writing fails.

enum class JpegLayout {
    kRgb,   // 3 bytes a pixel
    kGrey,  // 1 byte a pixel
    kCmyk,  // 4 bytes a pixel, stored inverted as Adobe does (255: no ink)
};

enum class JpegScans {
    kBaseline,
    kProgressive,  // libjpeg's usual progressive script
    // A progressive scan for every coefficient, component and bit: hundreds
    // of scans, for decoders' limits.
    kEveryCoefficient,
};

bool WriteJpegFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                   JpegLayout layout, int quality, JpegScans scans);

enum class PngLayout {
    kRgb,      // 3 bytes a pixel
    kRgba,     // 4 bytes a pixel
    kGrey,     // 1 byte a pixel
    kRgb16,    // 3 bytes a pixel, widened to 16 bits (v * 257), no gamma chunk
    kPalette,  // 1 index a pixel into `palette`
};

// `palette` (R, G, B triples, `colours` of them, at most 256) is used only
// for kPalette.
bool WritePngFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                  PngLayout layout, const uint8_t* palette = nullptr, int colours = 0);

// RGBA pixels stored bottom row first (as glReadPixels gives them) to a PNG
// file. False, with a line on stderr, when it cannot.
bool WritePngBottomUp(const char* path, const uint8_t* rgba, int width, int height);

// One frame of palette indices; `colours` (at most 256) R, G, B triples.
bool WriteGifFile(const char* path, const uint8_t* indices, uint32_t wide, uint32_t high,
                  const uint8_t* palette, int colours, bool interlaced);

// Lossless WebP: 3 bytes a pixel, or 4 with `alpha`.
bool WriteWebpFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                   bool alpha);

// An animated WebP of `count` lossless RGBA frames, 100 ms each.
bool WriteWebpAnimationFile(const char* path, const uint8_t* const* frames, int count,
                            uint32_t wide, uint32_t high);

#endif
