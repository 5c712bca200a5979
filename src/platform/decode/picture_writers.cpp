#include "picture_writers.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace {

struct JpegWriteFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegWriteFailure*>(cinfo->err)->jump, 1);
}

bool WriteBytes(const char* path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    const bool written = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

void DescribeJpegInput(jpeg_compress_struct* cinfo, JpegLayout layout) {
    switch (layout) {
        case JpegLayout::kGrey:
            cinfo->input_components = 1;
            cinfo->in_color_space = JCS_GRAYSCALE;
            break;
        case JpegLayout::kCmyk:
            cinfo->input_components = 4;
            cinfo->in_color_space = JCS_CMYK;
            break;
        default:
            cinfo->input_components = 3;
            cinfo->in_color_space = JCS_RGB;
    }
}

// DC in three bit steps for all components together, then every AC
// coefficient of every component on its own, in three bit steps each.
jpeg_scan_info* EveryCoefficientScript(int components, int* count) {
    *count = 3 + 3 * 63 * components;
    jpeg_scan_info* scans =
        static_cast<jpeg_scan_info*>(calloc(size_t(*count), sizeof(jpeg_scan_info)));
    if (!scans) return nullptr;
    static const int kBits[3][2] = {{0, 2}, {2, 1}, {1, 0}};  // Ah, Al
    jpeg_scan_info* scan = scans;
    for (const auto& bits : kBits) {
        scan->comps_in_scan = components;
        for (int c = 0; c < components; ++c)
            scan->component_index[c] = c;
        scan->Ah = bits[0];
        scan->Al = bits[1];
        ++scan;
    }
    for (int c = 0; c < components; ++c) {
        for (int k = 1; k < 64; ++k) {
            for (const auto& bits : kBits) {
                *scan++ = {1, {c, 0, 0, 0}, k, k, bits[0], bits[1]};
            }
        }
    }
    return scans;
}

}  // namespace

bool WriteJpegFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                   JpegLayout layout, int quality, JpegScans scans) {
    jpeg_compress_struct cinfo{};
    JpegWriteFailure failure{};
    unsigned char* volatile encoded = nullptr;
    jpeg_scan_info* volatile script = nullptr;
    unsigned long encodedSize = 0;
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = JumpOut;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&cinfo);
        free(encoded);
        free(script);
        return false;
    }
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    jpeg_mem_dest(&cinfo, &buffer, &encodedSize);
    cinfo.image_width = wide;
    cinfo.image_height = high;
    DescribeJpegInput(&cinfo, layout);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (scans == JpegScans::kProgressive) jpeg_simple_progression(&cinfo);
    if (scans == JpegScans::kEveryCoefficient) {
        int count = 0;
        script = EveryCoefficientScript(cinfo.num_components, &count);
        if (!script) JumpOut(reinterpret_cast<j_common_ptr>(&cinfo));
        cinfo.scan_info = script;
        cinfo.num_scans = count;
    }
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = size_t(wide) * cinfo.input_components;
    while (cinfo.next_scanline < high) {
        JSAMPROW row = const_cast<uint8_t*>(pixels) + size_t(cinfo.next_scanline) * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    encoded = buffer;
    jpeg_destroy_compress(&cinfo);
    free(script);
    const bool written = WriteBytes(path, encoded, encodedSize);
    free(encoded);
    return written;
}

namespace {

struct PngShape {
    int colourType;
    int bitDepth;
    size_t inputBytes;  // per pixel
};

PngShape ShapeOf(PngLayout layout) {
    switch (layout) {
        case PngLayout::kRgba:
            return {PNG_COLOR_TYPE_RGBA, 8, 4};
        case PngLayout::kGrey:
            return {PNG_COLOR_TYPE_GRAY, 8, 1};
        case PngLayout::kRgb16:
            return {PNG_COLOR_TYPE_RGB, 16, 3};
        case PngLayout::kPalette:
            return {PNG_COLOR_TYPE_PALETTE, 8, 1};
        default:
            return {PNG_COLOR_TYPE_RGB, 8, 3};
    }
}

void SetPalette(png_structp png, png_infop info, const uint8_t* palette, int colours) {
    png_color entries[256];
    for (int i = 0; i < colours; ++i) {
        entries[i].red = palette[3 * i];
        entries[i].green = palette[3 * i + 1];
        entries[i].blue = palette[3 * i + 2];
    }
    png_set_PLTE(png, info, entries, colours);
}

// 16-bit samples are stored big-endian.
void WidenRow(const uint8_t* row, size_t samples, uint8_t* wide) {
    for (size_t i = 0; i < samples; ++i)
        wide[2 * i] = wide[2 * i + 1] = row[i];
}

bool AbandonPng(png_structp* png, png_infop* info, uint8_t* widened, FILE* file) {
    png_destroy_write_struct(png, info);
    free(widened);
    fclose(file);
    return false;
}

bool WritePng(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
              PngLayout layout, const uint8_t* palette, int colours, bool bottomUp) {
    const PngShape shape = ShapeOf(layout);
    if (layout == PngLayout::kPalette && (!palette || colours < 1 || colours > 256)) return false;
    FILE* volatile file = fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const size_t samples = size_t(wide) * shape.inputBytes;
    uint8_t* volatile widened = static_cast<uint8_t*>(malloc(samples * 2));
    if (!info || !widened) return AbandonPng(&png, &info, widened, file);
    if (setjmp(png_jmpbuf(png))) return AbandonPng(&png, &info, widened, file);
    png_init_io(png, file);
    png_set_IHDR(png, info, wide, high, shape.bitDepth, shape.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout == PngLayout::kPalette) SetPalette(png, info, palette, colours);
    png_write_info(png, info);
    for (uint32_t y = 0; y < high; ++y) {
        const uint8_t* row = pixels + size_t(bottomUp ? high - 1 - y : y) * samples;
        if (shape.bitDepth == 16) {
            WidenRow(row, samples, widened);
            row = widened;
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    free(widened);
    return fclose(file) == 0;
}

}  // namespace

bool WritePngFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                  PngLayout layout, const uint8_t* palette, int colours) {
    return WritePng(path, pixels, wide, high, layout, palette, colours, false);
}

bool WritePngBottomUp(const char* path, const uint8_t* rgba, int width, int height) {
    if (width < 1 || height < 1 ||
        !WritePng(path, rgba, uint32_t(width), uint32_t(height), PngLayout::kRgba, nullptr, 0,
                  true)) {
        fprintf(stderr, "cannot write %s\n", path);
        return false;
    }
    return true;
}

bool WriteGifFile(const char* path, const uint8_t* indices, uint32_t wide, uint32_t high,
                  const uint8_t* palette, int colours, bool interlaced) {
    if (colours < 1 || colours > 256) return false;
    int mapSize = 2;
    while (mapSize < colours)
        mapSize *= 2;
    GifColorType entries[256] = {};
    for (int i = 0; i < colours; ++i) {
        entries[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    ColorMapObject* map = GifMakeMapObject(mapSize, entries);
    int error = 0;
    GifFileType* gif = map ? EGifOpenFileName(path, false, &error) : nullptr;
    bool ok = gif && EGifPutScreenDesc(gif, int(wide), int(high), 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, int(wide), int(high), interlaced, nullptr) == GIF_OK;
    static const uint32_t kStart[] = {0, 4, 2, 1};
    static const uint32_t kStep[] = {8, 8, 4, 2};
    const int passes = interlaced ? 4 : 1;
    for (int pass = 0; ok && pass < passes; ++pass) {
        const uint32_t step = interlaced ? kStep[pass] : 1;
        for (uint32_t y = interlaced ? kStart[pass] : 0; ok && y < high; y += step) {
            GifPixelType* row = const_cast<GifPixelType*>(indices + size_t(y) * wide);
            ok = EGifPutLine(gif, row, int(wide)) == GIF_OK;
        }
    }
    if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    return ok;
}

// Lossless and exact: libwebp would otherwise change the colour under
// fully transparent pixels.
bool WriteWebpFile(const char* path, const uint8_t* pixels, uint32_t wide, uint32_t high,
                   bool alpha) {
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return false;
    config.lossless = 1;
    config.exact = 1;
    picture.use_argb = 1;
    picture.width = int(wide);
    picture.height = int(high);
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const int stride = int(wide) * (alpha ? 4 : 3);
    const bool imported = alpha ? WebPPictureImportRGBA(&picture, pixels, stride)
                                : WebPPictureImportRGB(&picture, pixels, stride);
    const bool ok =
        imported && WebPEncode(&config, &picture) && WriteBytes(path, writer.mem, writer.size);
    WebPPictureFree(&picture);
    WebPMemoryWriterClear(&writer);
    return ok;
}

namespace {

bool AddWebpFrame(WebPAnimEncoder* encoder, const uint8_t* rgba, uint32_t wide, uint32_t high,
                  int timestamp) {
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return false;
    config.lossless = 1;
    picture.use_argb = 1;
    picture.width = int(wide);
    picture.height = int(high);
    const bool ok = WebPPictureImportRGBA(&picture, rgba, int(wide) * 4) &&
                    WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
    WebPPictureFree(&picture);
    return ok;
}

}  // namespace

bool WriteWebpAnimationFile(const char* path, const uint8_t* const* frames, int count,
                            uint32_t wide, uint32_t high) {
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) return false;
    options.allow_mixed = 0;
    options.kmin = 1, options.kmax = 1;  // every frame a key frame: a plain sequence
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(int(wide), int(high), &options);
    bool ok = encoder != nullptr;
    for (int i = 0; ok && i < count; ++i)
        ok = AddWebpFrame(encoder, frames[i], wide, high, i * 100);
    WebPData data;
    WebPDataInit(&data);
    ok = ok && WebPAnimEncoderAdd(encoder, nullptr, count * 100, nullptr) &&
         WebPAnimEncoderAssemble(encoder, &data) && WriteBytes(path, data.bytes, data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return ok;
}
