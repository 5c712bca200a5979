#ifndef KINDORA_ASSETS_TEXTURE_H
#define KINDORA_ASSETS_TEXTURE_H

#include <cstdint>

// A picture in memory and the OpenGL texture made from it. The record owns
// `imageData` (malloc'd) until BuildTexture uploads it, and the texture
// named by `texID`. Rows are stored first row first, without gaps.
struct Texture {
    uint8_t* imageData = nullptr;
    uint32_t bpp = 0;  // 24 (R, G, B) or 32 (R, G, B, A)
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t texID = 0;  // 0 when no texture has been made
    uint32_t type = 0;   // GL_RGB or GL_RGBA

    Texture() = default;
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
};

// The most pixels any picture may have, whatever its source: 16384 x 16384,
// 1 GiB of RGBA.
constexpr uint64_t kMaxImagePixels = uint64_t(1) << 28;

// Alpha modes of BuildTexture.
constexpr int kAlphaOpaque = 0;
constexpr int kAlphaColourKey = 1;   // transparent where the colour equals the first pixel's
constexpr int kAlphaBrightness = 2;  // the largest of R, G and B

// Uploads the record's pixels as an RGBA texture whose alpha follows `mode`
// (a 32-bit image keeps its stored alpha instead), then frees the pixels.
// Returns false, leaving the pixels in place, when the working buffer cannot
// be allocated or the record holds no pixels of a sensible size.
bool BuildTexture(Texture* tex, int mode);

#endif
