#include "picture_decoder.h"

#include <cstdarg>
#include <cstdio>

namespace {

PictureDecodeFn installedDecoder = nullptr;
uint64_t sizeCap = kMaxPicturePixels;

}  // namespace

void SetReason(PictureReason* reason, const char* format, ...) {
    if (!reason) return;
    va_list args;
    va_start(args, format);
    vsnprintf(reason->text, sizeof reason->text, format, args);
    va_end(args);
}

bool PictureSizeAllowed(uint64_t wide, uint64_t high, PictureReason* reason) {
    if (wide == 0 || high == 0) {
        SetReason(reason, "picture has no pixels (%llu x %llu)", (unsigned long long)wide,
                  (unsigned long long)high);
        return false;
    }
    // Either side alone over the cap also keeps the product from overflowing.
    if (wide > sizeCap || high > sizeCap || wide * high > sizeCap) {
        SetReason(reason, "picture too large (%llu x %llu, at most %llu pixels)",
                  (unsigned long long)wide, (unsigned long long)high, (unsigned long long)sizeCap);
        return false;
    }
    return true;
}

uint64_t PictureSizeCap() {
    return sizeCap;
}

void SetPictureSizeCap(uint64_t pixels) {
    sizeCap = pixels < 1 ? 1 : pixels > kMaxPicturePixels ? kMaxPicturePixels : pixels;
}

void SetPictureDecoder(PictureDecodeFn decoder) {
    installedDecoder = decoder;
}

PictureDecodeFn CurrentPictureDecoder() {
    return installedDecoder;
}
