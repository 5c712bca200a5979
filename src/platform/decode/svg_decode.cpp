// SVG through librsvg, rasterised with cairo at the size the host sets (the
// largest monitor's): the picture keeps its own aspect ratio and covers that
// size, so the loader only ever shrinks it. The handle has no base file, so
// librsvg loads nothing that the picture names outside itself.
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "decode_internal.h"
#include "picture_decode.h"

namespace {

constexpr uint32_t kDefaultVectorWide = 1920;
constexpr uint32_t kDefaultVectorHigh = 1080;
// What a gzip'd SVG may unpack to; a real one is a few megabytes at most.
constexpr size_t kMaxUnpackedSvgBytes = size_t(64) << 20;

uint32_t gVectorWide = kDefaultVectorWide;
uint32_t gVectorHigh = kDefaultVectorHigh;

void ReasonFromError(PictureReason* reason, GError* error, const char* what) {
    SetReason(reason, "SVG: %s", error && error->message ? error->message : what);
    if (error) g_error_free(error);
}

// Unpacks a .svgz into a malloc'd buffer, refusing one that unpacks to more
// than the cap.
bool Gunzip(const uint8_t* data, size_t size, uint8_t** unpacked, size_t* unpackedSize,
            PictureReason* reason) {
    GInputStream* packed = g_memory_input_stream_new_from_data(data, gssize(size), nullptr);
    GConverter* gunzip = G_CONVERTER(g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP));
    GInputStream* stream = g_converter_input_stream_new(packed, gunzip);
    uint8_t* buffer = static_cast<uint8_t*>(malloc(kMaxUnpackedSvgBytes + 1));
    GError* error = nullptr;
    gsize got = 0;
    const bool read = buffer && g_input_stream_read_all(stream, buffer, kMaxUnpackedSvgBytes + 1,
                                                        &got, nullptr, &error);
    g_object_unref(stream);
    g_object_unref(gunzip);
    g_object_unref(packed);
    bool ok = false;
    if (!buffer) {
        SetReason(reason, "no memory to unpack the picture");
    } else if (!read) {
        ReasonFromError(reason, error, "damaged gzip data");
        error = nullptr;
    } else if (got > kMaxUnpackedSvgBytes) {
        SetReason(reason, "SVG: unpacks to more than %zu bytes", kMaxUnpackedSvgBytes);
    } else {
        ok = true;
    }
    if (error) g_error_free(error);
    if (!ok) {
        free(buffer);
        return false;
    }
    *unpacked = buffer;
    *unpackedSize = got;
    return true;
}

RsvgHandle* OpenSvg(const uint8_t* data, size_t size, PictureReason* reason) {
    GInputStream* stream = g_memory_input_stream_new_from_data(data, gssize(size), nullptr);
    GError* error = nullptr;
    RsvgHandle* handle =
        rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
    g_object_unref(stream);
    if (!handle) ReasonFromError(reason, error, "unreadable");
    if (handle && error) g_error_free(error);
    return handle;
}

// The picture's own proportions: its size in pixels, else its viewBox, else
// none (it then fills the set size).
void OwnSize(RsvgHandle* handle, double* wide, double* high) {
    *wide = gVectorWide;
    *high = gVectorHigh;
    double w = 0, h = 0;
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h) && w > 0 && h > 0) {
        *wide = w, *high = h;
        return;
    }
    gboolean hasViewBox = FALSE;
    RsvgRectangle box{};
    rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox,
                                         &box);
    if (hasViewBox && box.width > 0 && box.height > 0) *wide = box.width, *high = box.height;
}

// cairo draws no image surface wider or higher than this.
constexpr double kMaxVectorSide = 32767;

// The smallest size of the picture's proportions that covers the set size.
bool CoverSize(double wide, double high, uint32_t* outWide, uint32_t* outHigh,
               PictureReason* reason) {
    const double scale = std::fmax(gVectorWide / wide, gVectorHigh / high);
    const double w = std::fmax(std::round(wide * scale), gVectorWide);
    const double h = std::fmax(std::round(high * scale), gVectorHigh);
    if (!(w <= kMaxVectorSide && h <= kMaxVectorSide)) {
        SetReason(reason, "SVG: proportions too extreme (%g x %g)", wide, high);
        return false;
    }
    if (!PictureSizeAllowed(uint64_t(w), uint64_t(h), reason)) return false;
    *outWide = uint32_t(w);
    *outHigh = uint32_t(h);
    return true;
}

// cairo's premultiplied native-endian ARGB to straight R, G, B(, A) rows.
void ToPictureRows(cairo_surface_t* surface, uint32_t wide, uint32_t high, bool alpha,
                   uint8_t* pixels) {
    const uint8_t* rows = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int bytes = alpha ? 4 : 3;
    for (uint32_t y = 0; y < high; ++y) {
        const uint32_t* from = reinterpret_cast<const uint32_t*>(rows + size_t(y) * size_t(stride));
        uint8_t* to = pixels + size_t(y) * wide * bytes;
        for (uint32_t x = 0; x < wide; ++x, to += bytes) {
            const uint32_t argb = from[x];
            const uint32_t a = argb >> 24;
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = (argb >> (16 - 8 * c)) & 0xFF;
                to[c] = uint8_t(a == 0 ? 0 : a == 255 ? v : (v * 255 + a / 2) / a);
            }
            if (alpha) to[3] = uint8_t(a);
        }
    }
}

bool AnyTransparency(cairo_surface_t* surface, uint32_t wide, uint32_t high) {
    const uint8_t* rows = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (uint32_t y = 0; y < high; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(rows + size_t(y) * size_t(stride));
        for (uint32_t x = 0; x < wide; ++x)
            if ((row[x] >> 24) != 255) return true;
    }
    return false;
}

bool Render(RsvgHandle* handle, uint32_t wide, uint32_t high, PictureBitmap* out,
            PictureReason* reason) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(wide), int(high));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        SetReason(reason, "SVG: %s", cairo_status_to_string(cairo_surface_status(surface)));
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t* cr = cairo_create(surface);
    const RsvgRectangle viewport = {0, 0, double(wide), double(high)};
    GError* error = nullptr;
    const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, &error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (!drawn) ReasonFromError(reason, error, "cannot be drawn");
    const bool alpha = drawn && AnyTransparency(surface, wide, high);
    const size_t rowBytes = size_t(wide) * (alpha ? 4 : 3);
    uint8_t* pixels = drawn ? static_cast<uint8_t*>(malloc(rowBytes * high)) : nullptr;
    if (drawn && !pixels) SetReason(reason, "no memory for the picture");
    if (pixels) ToPictureRows(surface, wide, high, alpha, pixels);
    cairo_surface_destroy(surface);
    if (!pixels) return false;
    out->bitsPerPixel = alpha ? 32 : 24;
    out->bytesPerRow = rowBytes;
    out->pixelsWide = wide;
    out->pixelsHigh = high;
    out->pixels = pixels;
    return true;
}

bool DecodePlainSvg(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    RsvgHandle* handle = OpenSvg(data, size, reason);
    if (!handle) return false;
    double wide = 0, high = 0;
    uint32_t outWide = 0, outHigh = 0;
    OwnSize(handle, &wide, &high);
    const bool ok = CoverSize(wide, high, &outWide, &outHigh, reason) &&
                    Render(handle, outWide, outHigh, out, reason);
    g_object_unref(handle);
    return ok;
}

}  // namespace

void SetVectorPictureSize(uint32_t wide, uint32_t high) {
    const bool given = wide > 0 && high > 0;
    gVectorWide = given ? wide : kDefaultVectorWide;
    gVectorHigh = given ? high : kDefaultVectorHigh;
}

bool DecodeSvg(const uint8_t* data, size_t size, bool gzipped, PictureBitmap* out,
               PictureReason* reason) {
    if (!gzipped) return DecodePlainSvg(data, size, out, reason);
    uint8_t* unpacked = nullptr;
    size_t unpackedSize = 0;
    if (!Gunzip(data, size, &unpacked, &unpackedSize, reason)) return false;
    const bool ok = DecodePlainSvg(unpacked, unpackedSize, out, reason);
    free(unpacked);
    return ok;
}
