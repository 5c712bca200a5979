// PNG through libpng's simplified reader, which converts grey, palette and
// 16-bit pictures to 8-bit sRGB itself and keeps alpha where there is some.
#include <png.h>

#include <cstdlib>
#include <cstring>

#include "decode_internal.h"

namespace {

void Refuse(png_image* image, PictureReason* reason) {
    SetReason(reason, "PNG: %s", image->message[0] ? image->message : "unreadable");
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) {
        Refuse(&image, reason);
        png_image_free(&image);
        return false;
    }
    if (!PictureSizeAllowed(image.width, image.height, reason)) {
        png_image_free(&image);
        return false;
    }
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    // 16-bit files without gamma information are nearly always sRGB, not linear.
    image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    const size_t rowBytes = size_t(image.width) * (alpha ? 4 : 3);
    uint8_t* pixels = static_cast<uint8_t*>(malloc(rowBytes * image.height));
    if (!pixels) {
        SetReason(reason, "no memory for the picture");
        png_image_free(&image);
        return false;
    }
    if (!png_image_finish_read(&image, nullptr, pixels, png_int_32(rowBytes), nullptr)) {
        Refuse(&image, reason);
        png_image_free(&image);
        free(pixels);
        return false;
    }
    out->bitsPerPixel = alpha ? 32 : 24;
    out->bytesPerRow = rowBytes;
    out->pixelsWide = image.width;
    out->pixelsHigh = image.height;
    out->pixels = pixels;
    return true;
}
