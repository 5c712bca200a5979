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

// Uploads the record's pixels as an RGBA texture (8 bits a channel) whose
// alpha follows `mode` (a 32-bit image keeps its stored alpha instead and is
// uploaded as it lies, with no working copy), then frees the pixels.
// Returns false, leaving the pixels in place, when the working buffer cannot
// be allocated or the record holds no pixels of a sensible size.
bool BuildTexture(Texture* tex, int mode);

// The same texture made in bands of rows, for pictures too large to hold
// twice: Begin makes `texID` (bound, parameters as BuildTexture's) with room
// for width x height texels; each band of `rows` 4-byte RGBA rows from
// `firstRow` on is then uploaded as it lies. The record's other fields are
// not touched. Begin is false, making nothing, for a size BuildTexture would
// refuse.
bool BeginTextureRows(Texture* tex, uint32_t width, uint32_t height);
void UploadTextureRows(const Texture& tex, uint32_t firstRow, uint32_t width, uint32_t rows,
                       const uint8_t* rgba);

#endif
