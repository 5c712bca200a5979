#include "picfile.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "box_filter.h"
#include "vector_path.h"

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

// One texture row: the picture's pixels at the given byte offsets, R, G, B
// and an opaque alpha. The first `wordColumns` pixels have four bytes of the
// row at their offset, so each is read as one word, its fourth byte then
// made the alpha.
void CopyRow(const uint8_t* source, const size_t* columns, uint32_t texWide, uint32_t wordColumns,
             uint8_t* out) {
    uint32_t x = 0;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; x < wordColumns; ++x, out += 4) {
        uint32_t word;
        memcpy(&word, source + columns[x], 4);
        word |= 0xFF000000u;
        memcpy(out, &word, 4);
    }
#else
    (void)wordColumns;
#endif
    for (; x < texWide; ++x, out += 4) {
        const uint8_t* pixel = source + columns[x];
        out[0] = pixel[0];
        out[1] = pixel[1];
        out[2] = pixel[2];
        out[3] = 255;
    }
}

#if KINDORA_AVX2
// Texture columns four at a time, where their pixels lie within the sixteen
// bytes of the row from the first one's: each four texels are one byte
// shuffle of those bytes, which also clears the alpha bytes for the opaque
// alpha to be set. `shuffles` holds one selector a group.
KINDORA_AVX2_TARGET void ShuffleGroups(const uint8_t* source, const size_t* columns,
                                       const uint8_t (*shuffles)[16], uint32_t groups,
                                       uint8_t* out) {
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    for (uint32_t g = 0; g < groups; ++g, columns += 4, out += 16) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + *columns));
        const __m128i texels = _mm_shuffle_epi8(
            pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(shuffles[g])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(texels, opaque));
    }
}
#endif

// Nearest neighbour with the rows reversed: texture row 0 holds the bottom of
// the picture, as OpenGL draws it. Only R, G, B are copied; every texel is
// four bytes with an opaque alpha, whatever the picture's depth, which is
// what both the upload and the fire copy read.
struct Resampling {
    const PictureBitmap* bitmap = nullptr;
    uint32_t texWide = 0;
    uint32_t texHigh = 0;
    float sy = 0;
    size_t* columns = nullptr;          // byte offset in a picture row of each texture column
    uint32_t wordColumns = 0;           // the columns whose pixel has four bytes of the row
    uint8_t (*shuffles)[16] = nullptr;  // for the first `groups` groups of four columns
    uint32_t groups = 0;
    const uint8_t* lastRow = nullptr;  // the row made last, and its picture row
    uint32_t lastSource = 0;
    ~Resampling() {
        delete[] columns;
        delete[] shuffles;
    }
};

// The groups of four columns, from the first, that can be shuffled, and
// their selectors; none where the processor has no AVX2 (or the memory is
// short).
void PlanShuffles(Resampling* r, size_t rowBytes) {
    if (!WidePictureForms()) return;
    uint32_t groups = 0;
    while (groups < r->texWide / 4) {
        const size_t first = r->columns[4 * groups];
        // Each pixel's word lies in the sixteen bytes, so all four are word columns.
        if (first + 16 > rowBytes || r->columns[4 * groups + 3] + 4 > first + 16) break;
        ++groups;
    }
    if (!groups) return;
    r->shuffles = new (std::nothrow) uint8_t[groups][16];
    if (!r->shuffles) return;
    r->groups = groups;
    for (uint32_t g = 0; g < groups; ++g) {
        const size_t* column = r->columns + 4 * g;
        for (int k = 0; k < 4; ++k) {
            for (int b = 0; b < 3; ++b)
                r->shuffles[g][4 * k + b] = uint8_t(column[k] - column[0] + size_t(b));
            r->shuffles[g][4 * k + 3] = 0x80;
        }
    }
}

bool BeginResampling(Resampling* r, const PictureBitmap& bitmap, uint32_t texWide,
                     uint32_t texHigh) {
    r->columns = new (std::nothrow) size_t[texWide];
    if (!r->columns) return false;
    r->bitmap = &bitmap;
    r->texWide = texWide;
    r->texHigh = texHigh;
    r->sy = float(bitmap.pixelsHigh) / float(texHigh);
    const size_t pixelBytes = bitmap.bitsPerPixel / 8;
    const float sx = float(bitmap.pixelsWide) / float(texWide);
    for (uint32_t x = 0; x < texWide; ++x) {
        r->columns[x] = size_t(SourceIndex(x, sx, bitmap.pixelsWide)) * pixelBytes;
    }
    // The offsets grow with x, so these columns come first.
    const size_t rowBytes = size_t(bitmap.pixelsWide) * pixelBytes;
    while (r->wordColumns < texWide && r->columns[r->wordColumns] + 4 <= rowBytes)
        ++r->wordColumns;
    PlanShuffles(r, rowBytes);
    return true;
}

// Texture row `row` (0 the bottom) into `out`. Rows are made in any order; an
// enlarged picture repeats the row made just before.
void ResampleRow(Resampling* r, uint32_t row, uint8_t* out) {
    const uint32_t source = SourceIndex(r->texHigh - 1 - row, r->sy, r->bitmap->pixelsHigh);
    if (r->lastRow && source == r->lastSource) {
        if (out != r->lastRow) memcpy(out, r->lastRow, size_t(r->texWide) * 4);
    } else {
        const uint8_t* pixels = r->bitmap->pixels + size_t(source) * r->bitmap->bytesPerRow;
        uint32_t done = 0;
#if KINDORA_AVX2
        if (r->groups) {
            ShuffleGroups(pixels, r->columns, r->shuffles, r->groups, out);
            done = 4 * r->groups;
        }
#endif
        CopyRow(pixels, r->columns + done, r->texWide - done, r->wordColumns - done,
                out + 4 * size_t(done));
    }
    r->lastRow = out;
    r->lastSource = source;
}

bool ResampleFlipped(const PictureBitmap& bitmap, uint32_t texWide, uint32_t texHigh,
                     uint8_t* texels) {
    Resampling r;
    if (!BeginResampling(&r, bitmap, texWide, texHigh)) return false;
    for (uint32_t row = 0; row < texHigh; ++row) {
        ResampleRow(&r, row, texels + size_t(row) * texWide * 4);
    }
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

// GLU's box filter on tightly packed RGBA: our own where it gives GLU's
// bytes, GLU itself elsewhere.
bool ScaleTexels(const uint8_t* texels, uint32_t texWide, uint32_t texHigh, uint32_t outWide,
                 uint32_t outHigh, uint8_t* out) {
    if (BoxFilterScale(texels, texWide, texHigh, 4, out, outWide, outHigh)) return true;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    UsePackedPixelStore();
    const bool scaled =
        gluScaleImage(GL_RGBA, GLint(texWide), GLint(texHigh), GL_UNSIGNED_BYTE, texels,
                      GLint(outWide), GLint(outHigh), GL_UNSIGNED_BYTE, out) == 0;
    glPopClientAttrib();
    return scaled;
}

// The texture-sized RGBA texels scaled to side x side by GLU's box filter.
uint8_t* MakeFireCopy(const uint8_t* texels, uint32_t texWide, uint32_t texHigh, int side) {
    uint8_t* copy = new (std::nothrow) uint8_t[size_t(side) * size_t(side) * 4];
    if (copy && !ScaleRGBA(texels, texWide, texHigh, copy, uint32_t(side), uint32_t(side))) {
        delete[] copy;
        return nullptr;
    }
    return copy;
}

// The record as the upload leaves it before the picture's own size goes in:
// `type` keeps the picture's format, `bpp` says the pixels handed over are
// 4 bytes, and pixels a loader left behind are released.
void PrepareRecord(Texture* texture, bool rgba, uint32_t texWide, uint32_t texHigh) {
    free(texture->imageData);
    texture->imageData = nullptr;
    texture->bpp = 32;
    texture->type = rgba ? GL_RGBA : GL_RGB;
    texture->width = texWide;
    texture->height = texHigh;
}

// Rows held at a time when the texture is made in bands: about a quarter of
// a megabyte, which stays in the cache from the resampling to the upload, so
// that a large picture never needs its texture whole beside its decoded
// pixels.
uint32_t BandRows(uint32_t texWide, uint32_t texHigh) {
    const uint32_t rows = uint32_t((size_t(1) << 18) / (size_t(texWide) * 4));
    return rows < 1 ? 1 : rows > texHigh ? texHigh : rows;
}

// The fire copy of a texture that shrinks to it by whole numbers, taken from
// the rows as they are made. Null (and nothing to end) when it cannot be
// allocated.
uint8_t* BeginFireCopy(BoxShrink* box, uint32_t texWide, uint32_t texHigh, int side) {
    uint8_t* copy = new (std::nothrow) uint8_t[size_t(side) * size_t(side) * 4];
    if (copy && !BeginBoxShrink(box, texWide, texHigh, 4, copy, uint32_t(side), uint32_t(side))) {
        delete[] copy;
        copy = nullptr;
    }
    return copy;
}

// The picture resampled a band of rows at a time, each band uploaded and
// added to the fire copy while it is fresh: the same texels and the same
// copy as the whole-image steps, with no texture-sized buffer. Once the
// upload is reached the record holds the picture's own size.
bool StreamBackground(const PictureBitmap& bitmap, uint32_t texWide, uint32_t texHigh, int fireRes,
                      Texture* texture, uint8_t** scaledOut, PictureReason* reason) {
    const uint32_t bandRows = BandRows(texWide, texHigh);
    const size_t rowBytes = size_t(texWide) * 4;
    uint8_t* band = new (std::nothrow) uint8_t[bandRows * rowBytes];
    Resampling r;
    if (!band || !BeginResampling(&r, bitmap, texWide, texHigh)) {
        delete[] band;
        SetReason(reason, "no memory for a %u x %u texture", texWide, texHigh);
        return false;
    }
    BoxShrink box;
    uint8_t* copy =
        scaledOut ? BeginFireCopy(&box, texWide, texHigh, FireSideFor(fireRes)) : nullptr;
    PrepareRecord(texture, bitmap.bitsPerPixel == 32, texWide, texHigh);
    const bool built = BeginTextureRows(texture, texWide, texHigh);
    for (uint32_t first = 0; first < texHigh; first += bandRows) {
        const uint32_t rows = texHigh - first < bandRows ? texHigh - first : bandRows;
        for (uint32_t i = 0; i < rows; ++i) {
            uint8_t* row = band + i * rowBytes;
            ResampleRow(&r, first + i, row);
            if (copy) AddBoxShrinkRow(&box, row);
        }
        if (built) UploadTextureRows(*texture, first, texWide, rows, band);
    }
    if (copy) EndBoxShrink(&box);
    if (scaledOut) *scaledOut = copy;
    delete[] band;
    if (!built) SetReason(reason, "could not upload a %u x %u texture", texWide, texHigh);
    texture->width = bitmap.pixelsWide;
    texture->height = bitmap.pixelsHigh;
    return built;
}

// The whole texture image first, then the copy and the upload from it: for
// fire copies that are not a whole-number shrink of the texture.
bool WholeBackground(const PictureBitmap& bitmap, uint32_t texWide, uint32_t texHigh, int fireRes,
                     Texture* texture, uint8_t** scaledOut, PictureReason* reason) {
    uint8_t* texels = static_cast<uint8_t*>(malloc(size_t(texWide) * texHigh * 4));
    if (!texels || !ResampleFlipped(bitmap, texWide, texHigh, texels)) {
        SetReason(reason, "no memory for a %u x %u texture", texWide, texHigh);
        free(texels);
        return false;
    }
    const bool built = BuildBackground(texels, bitmap.bitsPerPixel == 32, texWide, texHigh, fireRes,
                                       texture, scaledOut);
    if (!built) SetReason(reason, "could not upload a %u x %u texture", texWide, texHigh);
    texture->width = bitmap.pixelsWide;
    texture->height = bitmap.pixelsHigh;
    return built;
}

}  // namespace

bool ScaleRGBA(const uint8_t* source, uint32_t sourceWide, uint32_t sourceHigh, uint8_t* out,
               uint32_t outWide, uint32_t outHigh) {
    if (sourceWide == outWide && sourceHigh == outHigh) {
        // GLU's box filter at the same size can round a byte; a copy cannot.
        memcpy(out, source, size_t(outWide) * outHigh * 4);
        return true;
    }
    return ScaleTexels(source, sourceWide, sourceHigh, outWide, outHigh, out);
}

bool BuildBackground(uint8_t* texels, bool rgba, uint32_t texWide, uint32_t texHigh, int fireRes,
                     Texture* texture, uint8_t** scaledOut) {
    if (scaledOut) {
        *scaledOut = MakeFireCopy(texels, texWide, texHigh, FireSideFor(fireRes));
    }
    PrepareRecord(texture, rgba, texWide, texHigh);
    texture->imageData = texels;
    return BuildTexture(texture, kAlphaOpaque);
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
    const bool ownSize = sizeChoice != kTextureSize512 && sizeChoice != kTextureSize1024;
    uint32_t texWide = 0, texHigh = 0;
    PictureTextureSize(sizeChoice, bitmap.pixelsWide, bitmap.pixelsHigh,
                       ownSize ? MaxTextureSide() : UINT32_MAX, &texWide, &texHigh);
    if (!texWide || !texHigh) {
        SetReason(reason, "OpenGL reports no texture size (no current context?)");
        free(bitmap.pixels);
        return false;
    }
    const uint32_t side = uint32_t(FireSideFor(fireRes));
    const bool bands = texWide % side == 0 && texHigh % side == 0;
    const bool built = (bands ? StreamBackground : WholeBackground)(
        bitmap, texWide, texHigh, fireRes, texture, scaledOut, reason);
    free(bitmap.pixels);
    return built;
}

bool loadPicFile(const char* path, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                 int fireRes) {
    return LoadPicFileWithReason(path, texture, sizeChoice, scaledOut, fireRes, nullptr);
}
