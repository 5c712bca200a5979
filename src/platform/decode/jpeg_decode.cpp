// JPEG through the libjpeg API. libjpeg reports errors by calling back; the
// callbacks here jump out of the decode (setjmp/longjmp, C error handling),
// and every warning counts as an error: a damaged or truncated file is
// unreadable rather than shown half grey.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decode_internal.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {

// A progressive file may carry any number of scans, each a full pass over
// the picture; real files have a dozen or so.
constexpr int kMaxJpegScans = 500;
// The decoder's own working memory (a progressive picture keeps every
// coefficient), on top of the pixels.
constexpr long kMaxJpegWorkingBytes = 1L << 30;

struct JpegFailure {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer is ours too
    jmp_buf jump;
    PictureReason* reason;
};

[[noreturn]] void Fail(j_common_ptr cinfo, const char* text) {
    JpegFailure* failure = reinterpret_cast<JpegFailure*>(cinfo->err);
    SetReason(failure->reason, "JPEG: %s", text);
    longjmp(failure->jump, 1);
}

[[noreturn]] void FailWithMessage(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    Fail(cinfo, text);
}

// Level -1 is a warning (corrupt data, premature end); higher levels are
// trace messages, which are dropped.
void WarningIsFatal(j_common_ptr cinfo, int level) {
    if (level < 0) FailWithMessage(cinfo);
}

void LimitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
        Fail(cinfo, "too many progressive scans");
    }
}

bool IsCmyk(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

// CMYK as Adobe writes it is stored inverted (255 means no ink).
void CmykRowToRgb(const uint8_t* cmyk, uint32_t wide, bool inverted, uint8_t* rgb) {
    for (uint32_t x = 0; x < wide; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = uint8_t((ink * k + 127) / 255);
        }
    }
}

}  // namespace

unsigned JpegScaleDenominator(uint64_t wide, uint64_t high, uint64_t maxPixels) {
    for (unsigned denominator = 1; denominator <= 8; denominator *= 2) {
        const uint64_t w = (wide + denominator - 1) / denominator;
        const uint64_t h = (high + denominator - 1) / denominator;
        if (w * h <= maxPixels) return denominator;
    }
    return 0;
}

bool DecodeJpeg(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    return DecodeJpegWithin(data, size, PictureSizeCap(), out, reason);
}

bool DecodeJpegWithin(const uint8_t* data, size_t size, uint64_t maxPixels, PictureBitmap* out,
                      PictureReason* reason) {
    jpeg_decompress_struct cinfo{};
    JpegFailure failure{};
    jpeg_progress_mgr progress{};
    // Set after setjmp and needed after a jump, hence volatile.
    uint8_t* volatile pixels = nullptr;
    uint8_t* volatile cmykRow = nullptr;

    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = FailWithMessage;
    failure.manager.emit_message = WarningIsFatal;
    failure.reason = reason;
    progress.progress_monitor = LimitScans;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        free(pixels);
        free(cmykRow);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxJpegWorkingBytes;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    // A picture over the pixel cap (a panorama, say) is decoded at 1/2, 1/4
    // or 1/8 of its size, which libjpeg does while decoding, at no cost.
    cinfo.scale_num = 1;
    cinfo.scale_denom = JpegScaleDenominator(cinfo.image_width, cinfo.image_height, maxPixels);
    if (cinfo.scale_denom == 0) {
        SetReason(reason, "picture too large (%u x %u, at most %llu pixels even at 1/8)",
                  unsigned(cinfo.image_width), unsigned(cinfo.image_height),
                  (unsigned long long)maxPixels);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_calc_output_dimensions(&cinfo);
    if (!PictureSizeAllowed(cinfo.output_width, cinfo.output_height, reason)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const bool cmyk = IsCmyk(cinfo.jpeg_color_space);
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;  // grey and YCbCr become RGB
    jpeg_start_decompress(&cinfo);

    if (cinfo.output_components != (cmyk ? 4 : 3)) {
        Fail(reinterpret_cast<j_common_ptr>(&cinfo), "unexpected colour layout");
    }
    const uint32_t wide = cinfo.output_width;
    const uint32_t high = cinfo.output_height;
    const size_t rowBytes = size_t(wide) * 3;
    pixels = static_cast<uint8_t*>(malloc(rowBytes * high));
    if (cmyk) cmykRow = static_cast<uint8_t*>(malloc(size_t(wide) * 4));
    if (!pixels || (cmyk && !cmykRow)) Fail(reinterpret_cast<j_common_ptr>(&cinfo), "no memory");
    while (cinfo.output_scanline < high) {
        uint8_t* row = pixels + size_t(cinfo.output_scanline) * rowBytes;
        JSAMPROW target = cmyk ? cmykRow : row;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) {
            Fail(reinterpret_cast<j_common_ptr>(&cinfo), "no scanline");
        }
        if (cmyk) CmykRowToRgb(cmykRow, wide, cinfo.saw_Adobe_marker, row);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    free(cmykRow);

    out->bitsPerPixel = 24;
    out->bytesPerRow = rowBytes;
    out->pixelsWide = wide;
    out->pixelsHigh = high;
    out->pixels = pixels;
    return true;
}
