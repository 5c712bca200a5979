// WebP through libwebp. Still pictures decode straight into the picture's own
// buffer; an animation gives its first frame as painted on its canvas, as a
// GIF does.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstdlib>
#include <cstring>

#include "decode_internal.h"

namespace {

const char* StatusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "no memory";
        case VP8_STATUS_INVALID_PARAM:
            return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "damaged data";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "unsupported feature";
        case VP8_STATUS_SUSPENDED:
        case VP8_STATUS_USER_ABORT:
            return "decoding stopped";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "file ends early";
        default:
            return "unreadable";
    }
}

bool DecodeStill(const uint8_t* data, size_t size, const WebPBitstreamFeatures& features,
                 PictureBitmap* out, PictureReason* reason) {
    const bool alpha = features.has_alpha != 0;
    const size_t rowBytes = size_t(features.width) * (alpha ? 4 : 3);
    const size_t bytes = rowBytes * size_t(features.height);
    uint8_t* pixels = static_cast<uint8_t*>(malloc(bytes));
    if (!pixels) {
        SetReason(reason, "no memory for the picture");
        return false;
    }
    WebPDecoderConfig config;
    WebPInitDecoderConfig(&config);
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = int(rowBytes);
    config.output.u.RGBA.size = bytes;
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        SetReason(reason, "WebP: %s", StatusText(status));
        free(pixels);
        return false;
    }
    out->bitsPerPixel = alpha ? 32 : 24;
    out->bytesPerRow = rowBytes;
    out->pixelsWide = uint32_t(features.width);
    out->pixelsHigh = uint32_t(features.height);
    out->pixels = pixels;
    return true;
}

bool DecodeFirstFrame(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        SetReason(reason, "WebP: no animation decoder");
        return false;
    }
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const WebPData whole = {data, size};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&whole, &options);
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    const bool ok = decoder && WebPAnimDecoderGetInfo(decoder, &info) &&
                    WebPAnimDecoderGetNext(decoder, &frame, &timestamp) && frame;
    const size_t rowBytes = size_t(ok ? info.canvas_width : 0) * 4;
    uint8_t* pixels = ok ? static_cast<uint8_t*>(malloc(rowBytes * info.canvas_height)) : nullptr;
    if (pixels) memcpy(pixels, frame, rowBytes * info.canvas_height);
    WebPAnimDecoderDelete(decoder);
    if (!ok) SetReason(reason, "WebP: damaged animation");
    if (ok && !pixels) SetReason(reason, "no memory for the picture");
    if (!pixels) return false;
    out->bitsPerPixel = 32;
    out->bytesPerRow = rowBytes;
    out->pixelsWide = info.canvas_width;
    out->pixelsHigh = info.canvas_height;
    out->pixels = pixels;
    return true;
}

}  // namespace

bool DecodeWebp(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        SetReason(reason, "WebP: %s", StatusText(status));
        return false;
    }
    // The canvas size of an animation, the picture's size otherwise: checked
    // before either decoder allocates anything.
    if (!PictureSizeAllowed(uint64_t(features.width), uint64_t(features.height), reason)) {
        return false;
    }
    if (features.has_animation) return DecodeFirstFrame(data, size, out, reason);
    return DecodeStill(data, size, features, out, reason);
}
