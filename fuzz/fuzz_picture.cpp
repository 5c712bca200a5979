// The picture decoders (JPEG, PNG, GIF, WebP, SVG, picked by the first
// bytes) on a picture in memory. A decoded bitmap must be whole: sides within
// the caps, rows at least as long as their pixels, every byte readable.
#include <cstdlib>

#include "fuzz_support.h"
#include "picture_decode.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Vector pictures are drawn small: the size is not what is being tested,
    // and a full-screen rendering per input would leave little time for the rest.
    SetVectorPictureSize(64, 64);
    // A picture at the full cap needs up to a gigabyte, over the fuzzer's
    // memory limit: a 16-megapixel cap keeps every picture let through within
    // it, and the checks below the same.
    SetPictureSizeCap(uint64_t(1) << 24);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PictureBitmap bitmap;
    PictureReason reason;
    if (!DecodePictureMemory(data, size, &bitmap, &reason)) {
        FUZZ_CHECK(!bitmap.pixels);
        FUZZ_CHECK(reason.text[0] != '\0');
        return 0;
    }
    FUZZ_CHECK(bitmap.pixels);
    FUZZ_CHECK(bitmap.bitsPerPixel == 24 || bitmap.bitsPerPixel == 32);
    FUZZ_CHECK(bitmap.pixelsWide >= 1 && bitmap.pixelsHigh >= 1);
    FUZZ_CHECK(uint64_t(bitmap.pixelsWide) * bitmap.pixelsHigh <= PictureSizeCap());
    const size_t row = size_t(bitmap.pixelsWide) * (bitmap.bitsPerPixel / 8);
    FUZZ_CHECK(bitmap.bytesPerRow >= row);
    TouchBytes(bitmap.pixels, bitmap.bytesPerRow * (bitmap.pixelsHigh - 1) + row);
    free(bitmap.pixels);
    return 0;
}
