#include "png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>

bool WritePngBottomUp(const char* path, const uint8_t* rgba, int width, int height) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    // A negative stride tells libpng the first row in memory is the bottom one.
    const png_int_32 stride = -png_int_32(width) * 4;
    if (!png_image_write_to_file(&image, path, 0, rgba, stride, nullptr)) {
        fprintf(stderr, "cannot write %s: %s\n", path, image.message);
        return false;
    }
    return true;
}
