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

}  // namespace

bool BuildTexture(Texture* tex, int mode) {
    if (!tex || !tex->imageData || tex->width == 0 || tex->height == 0) return false;
    const uint64_t pixels = uint64_t(tex->width) * tex->height;
    if (pixels > kMaxImagePixels) return false;
    const bool storedAlpha = tex->bpp == 32;
    const size_t stride = storedAlpha ? 4 : 3;
    uint8_t key[3];
    memcpy(key, tex->imageData, 3);

    glGenTextures(1, &tex->texID);
    glBindTexture(GL_TEXTURE_2D, tex->texID);
    uint8_t* rgba = static_cast<uint8_t*>(malloc(size_t(pixels) * 4));
    if (!rgba) return false;

    const uint8_t* src = tex->imageData;
    for (size_t i = 0; i < size_t(pixels); ++i, src += stride) {
        rgba[4 * i + 0] = src[0];
        rgba[4 * i + 1] = src[1];
        rgba[4 * i + 2] = src[2];
        rgba[4 * i + 3] = storedAlpha ? src[3] : AlphaFor(src, key, mode);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(tex->width), GLsizei(tex->height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    free(tex->imageData);
    tex->imageData = nullptr;
    free(rgba);
    return true;
}
