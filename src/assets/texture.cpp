#include "texture.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>

Texture::~Texture() {
    if (imageData) {
        free(imageData);
        imageData = nullptr;
    }
    glDeleteTextures(1, &texID);
}

namespace {

uint8_t AlphaFor(const uint8_t* rgb, const uint8_t* key, int mode) {
    switch (mode) {
        case kAlphaColourKey:
            return (rgb[0] == key[0] && rgb[1] == key[1] && rgb[2] == key[2]) ? 0 : 255;
        case kAlphaBrightness: {
            uint8_t m = rgb[0] > rgb[1] ? rgb[0] : rgb[1];
            return m > rgb[2] ? m : rgb[2];
        }
        default:
            return 255;
    }
}

// Four bytes a texel from three, with the mode's alpha.
void WidenWithAlpha(const uint8_t* rgb, size_t pixels, int mode, uint8_t* rgba) {
    uint8_t key[3];
    memcpy(key, rgb, 3);
    for (size_t i = 0; i < pixels; ++i, rgb += 3, rgba += 4) {
        rgba[0] = rgb[0];
        rgba[1] = rgb[1];
        rgba[2] = rgb[2];
        rgba[3] = AlphaFor(rgb, key, mode);
    }
}

// The rows are read tightly packed whatever the caller's pixel-store state.
void PushPackedRows() {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
}

// The bound texture's image made from `rgba` (null: storage only). The sized
// internal format holds the same 8 bits a channel that the unsized 4 would.
void FillTexture(uint32_t width, uint32_t height, const uint8_t* rgba) {
    PushPackedRows();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(width), GLsizei(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    glPopClientAttrib();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

bool SizeAllowed(uint32_t width, uint32_t height) {
    return width && height && uint64_t(width) * height <= kMaxImagePixels;
}

}  // namespace

bool BuildTexture(Texture* tex, int mode) {
    if (!tex || !tex->imageData || !SizeAllowed(tex->width, tex->height)) return false;
    glGenTextures(1, &tex->texID);
    glBindTexture(GL_TEXTURE_2D, tex->texID);
    if (tex->bpp == 32) {
        // Stored alpha: the pixels are already the texture's four bytes.
        FillTexture(tex->width, tex->height, tex->imageData);
    } else {
        const size_t pixels = size_t(tex->width) * tex->height;
        uint8_t* rgba = static_cast<uint8_t*>(malloc(pixels * 4));
        if (!rgba) return false;
        WidenWithAlpha(tex->imageData, pixels, mode, rgba);
        FillTexture(tex->width, tex->height, rgba);
        free(rgba);
    }
    free(tex->imageData);
    tex->imageData = nullptr;
    return true;
}

bool BeginTextureRows(Texture* tex, uint32_t width, uint32_t height) {
    if (!tex || !SizeAllowed(width, height)) return false;
    glGenTextures(1, &tex->texID);
    glBindTexture(GL_TEXTURE_2D, tex->texID);
    FillTexture(width, height, nullptr);
    return true;
}

void UploadTextureRows(const Texture& tex, uint32_t firstRow, uint32_t width, uint32_t rows,
                       const uint8_t* rgba) {
    glBindTexture(GL_TEXTURE_2D, tex.texID);
    PushPackedRows();
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, GLint(firstRow), GLsizei(width), GLsizei(rows), GL_RGBA,
                    GL_UNSIGNED_BYTE, rgba);
    glPopClientAttrib();
}
