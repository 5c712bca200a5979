#include "picfile.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

uint32_t TextureSideFor(uint32_t pixels, uint32_t maxSide) {
    if (pixels < 1) pixels = 1;
    const double n = std::floor(std::log(double(pixels)) / std::log(2.0) + 0.5);
    const uint32_t side = n >= 31 ? (uint32_t(1) << 31) : (uint32_t(1) << int(n));
    return side > maxSide ? maxSide : side;
}

void PictureTextureSize(int sizeChoice, uint32_t wide, uint32_t high, uint32_t maxSide,
                        uint32_t* texWide, uint32_t* texHigh) {
    if (sizeChoice == kTextureSize512) {
        *texWide = *texHigh = 512;
    } else if (sizeChoice == kTextureSize1024) {
        *texWide = *texHigh = 1024;
    } else {
        *texWide = TextureSideFor(wide, maxSide);
        *texHigh = TextureSideFor(high, maxSide);
    }
}

int FireSideFor(int fireRes) {
    return FireGridSide(fireRes);
}

namespace {

bool BitmapUsable(const PictureBitmap& bitmap, PictureReason* reason) {
    if (bitmap.bitsPerPixel != 24 && bitmap.bitsPerPixel != 32) {
        SetReason(reason, "unsupported depth (%u bits per pixel)", bitmap.bitsPerPixel);
        return false;
    }
    if (!bitmap.pixels) {
        SetReason(reason, "the decoder returned no pixels");
        return false;
    }
    if (!PictureSizeAllowed(bitmap.pixelsWide, bitmap.pixelsHigh, reason)) return false;
    if (uint64_t(bitmap.pixelsWide) * (bitmap.bitsPerPixel / 8) > bitmap.bytesPerRow) {
        SetReason(reason, "the decoder's rows are shorter than the picture");
        return false;
    }
    return true;
}

// The OpenGL maximum, read as unsigned (a negative answer sets no limit).
uint32_t MaxTextureSide() {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    return uint32_t(maxSide);
}

// Source column or row of texture column or row `i`: the float product
// truncated, kept inside the picture.
uint32_t SourceIndex(uint32_t i, float scale, uint32_t limit) {
    const uint32_t source = uint32_t(float(i) * scale);
    return source < limit ? source : limit - 1;
}

void CopyRow(const uint8_t* source, const size_t* columns, uint32_t texWide, size_t texelBytes,
             uint8_t* out) {
    for (uint32_t x = 0; x < texWide; ++x, out += texelBytes) {
        const uint8_t* pixel = source + columns[x];
        out[0] = pixel[0];
        out[1] = pixel[1];
        out[2] = pixel[2];
        if (texelBytes == 4) out[3] = 255;
    }
}

// Nearest neighbour with the rows reversed: texture row 0 holds the bottom of
// the picture, as OpenGL draws it. Only R, G, B are copied; a 4-byte texel
// gets an opaque alpha so that nothing unwritten is read later.
bool ResampleFlipped(const PictureBitmap& bitmap, uint32_t texWide, uint32_t texHigh,
                     size_t texelBytes, uint8_t* texels) {
    size_t* columns = new (std::nothrow) size_t[texWide];
    if (!columns) return false;
    const float sx = float(bitmap.pixelsWide) / float(texWide);
    const float sy = float(bitmap.pixelsHigh) / float(texHigh);
    for (uint32_t x = 0; x < texWide; ++x) {
        columns[x] = size_t(SourceIndex(x, sx, bitmap.pixelsWide)) * texelBytes;
    }
    const size_t rowBytes = size_t(texWide) * texelBytes;
    const uint8_t* previous = nullptr;
    uint32_t previousSource = 0;
    for (uint32_t y = 0; y < texHigh; ++y) {
        const uint32_t cy = SourceIndex(y, sy, bitmap.pixelsHigh);
        uint8_t* out = texels + size_t(texHigh - 1 - y) * rowBytes;
        if (previous && cy == previousSource) {
            memcpy(out, previous, rowBytes);  // an enlarged picture repeats its rows
        } else {
            CopyRow(bitmap.pixels + size_t(cy) * bitmap.bytesPerRow, columns, texWide, texelBytes,
                    out);
        }
        previous = out;
        previousSource = cy;
    }
    delete[] columns;
    return true;
}

// GLU reads and writes through the pixel-store state; the buffers here are
// tightly packed.
void UsePackedPixelStore() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
}

bool ScaleTexels(GLenum format, const uint8_t* texels, uint32_t texWide, uint32_t texHigh,
                 uint32_t outWide, uint32_t outHigh, uint8_t* out) {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    UsePackedPixelStore();
    const bool scaled =
        gluScaleImage(format, GLint(texWide), GLint(texHigh), GL_UNSIGNED_BYTE, texels,
                      GLint(outWide), GLint(outHigh), GL_UNSIGNED_BYTE, out) == 0;
    glPopClientAttrib();
    return scaled;
}

// The texture-sized texels scaled to side x side RGBA by GLU's box filter.
// 3-byte texels are scaled as RGB and then widened with an opaque alpha.
uint8_t* MakeFireCopy(const uint8_t* texels, uint32_t texWide, uint32_t texHigh, size_t texelBytes,
                      int side) {
    const size_t count = size_t(side) * size_t(side);
    uint8_t* copy = new (std::nothrow) uint8_t[count * 4];
    if (!copy) return nullptr;
    bool scaled = false;
    if (texelBytes == 4) {
        scaled = ScaleRGBA(texels, texWide, texHigh, copy, uint32_t(side), uint32_t(side));
    } else {
        uint8_t* rgb = new (std::nothrow) uint8_t[count * 3];
        scaled = rgb &&
                 ScaleTexels(GL_RGB, texels, texWide, texHigh, uint32_t(side), uint32_t(side), rgb);
        for (size_t i = 0; scaled && i < count; ++i) {
            memcpy(copy + 4 * i, rgb + 3 * i, 3);
            copy[4 * i + 3] = 255;
        }
        delete[] rgb;
    }
    if (!scaled) {
        delete[] copy;
        return nullptr;
    }
    return copy;
}

// Hands the texels to the record and uploads them. `bpp` follows the texels,
// since the upload reads 4-byte texels only from a 32-bit record.
bool UploadTexels(Texture* texture, uint8_t* texels, bool rgba, uint32_t texWide,
                  uint32_t texHigh) {
    free(texture->imageData);
    texture->imageData = texels;
    texture->bpp = rgba ? 32 : 24;
    texture->type = rgba ? GL_RGBA : GL_RGB;
    texture->width = texWide;
    texture->height = texHigh;
    return BuildTexture(texture, kAlphaOpaque);
}

}  // namespace

bool ScaleRGBA(const uint8_t* source, uint32_t sourceWide, uint32_t sourceHigh, uint8_t* out,
               uint32_t outWide, uint32_t outHigh) {
    if (sourceWide == outWide && sourceHigh == outHigh) {
        // GLU's box filter at the same size can round a byte; a copy cannot.
        memcpy(out, source, size_t(outWide) * outHigh * 4);
        return true;
    }
    return ScaleTexels(GL_RGBA, source, sourceWide, sourceHigh, outWide, outHigh, out);
}

bool BuildBackground(uint8_t* texels, bool rgba, uint32_t texWide, uint32_t texHigh, int fireRes,
                     Texture* texture, uint8_t** scaledOut) {
    if (scaledOut) {
        *scaledOut = MakeFireCopy(texels, texWide, texHigh, rgba ? 4 : 3, FireSideFor(fireRes));
    }
    return UploadTexels(texture, texels, rgba, texWide, texHigh);
}

bool LoadPicFileWithReason(const char* path, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                           int fireRes, PictureReason* reason) {
    const PictureDecodeFn decode = CurrentPictureDecoder();
    if (!path || !texture || !decode) {
        SetReason(reason, decode ? "no picture file named" : "no picture decoder installed");
        return false;
    }
    PictureBitmap bitmap;
    if (!decode(path, &bitmap, reason)) return false;
    if (!BitmapUsable(bitmap, reason)) {
        free(bitmap.pixels);
        return false;
    }
    const bool rgba = bitmap.bitsPerPixel == 32;
    const size_t texelBytes = rgba ? 4 : 3;
    const bool ownSize = sizeChoice != kTextureSize512 && sizeChoice != kTextureSize1024;
    uint32_t texWide = 0, texHigh = 0;
    PictureTextureSize(sizeChoice, bitmap.pixelsWide, bitmap.pixelsHigh,
                       ownSize ? MaxTextureSide() : UINT32_MAX, &texWide, &texHigh);
    if (!texWide || !texHigh) {
        SetReason(reason, "OpenGL reports no texture size (no current context?)");
        free(bitmap.pixels);
        return false;
    }
    uint8_t* texels = static_cast<uint8_t*>(malloc(size_t(texWide) * texHigh * texelBytes));
    if (!texels || !ResampleFlipped(bitmap, texWide, texHigh, texelBytes, texels)) {
        SetReason(reason, "no memory for a %u x %u texture", texWide, texHigh);
        free(texels);
        free(bitmap.pixels);
        return false;
    }
    free(bitmap.pixels);

    const bool built = BuildBackground(texels, rgba, texWide, texHigh, fireRes, texture, scaledOut);
    if (!built) SetReason(reason, "could not upload a %u x %u texture", texWide, texHigh);
    texture->width = bitmap.pixelsWide;
    texture->height = bitmap.pixelsHigh;
    return built;
}

bool loadPicFile(const char* path, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                 int fireRes) {
    return LoadPicFileWithReason(path, texture, sizeChoice, scaledOut, fireRes, nullptr);
}
