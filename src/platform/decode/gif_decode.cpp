// GIF through giflib's record reader: only the first frame is decoded,
// painted onto the logical screen filled with the background colour.
#include <gif_lib.h>

#include <cstdlib>
#include <cstring>

#include "decode_internal.h"

namespace {

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    MemorySource* source = static_cast<MemorySource*>(gif->UserData);
    if (length <= 0) return 0;
    size_t count = source->size - source->offset;
    if (count > size_t(length)) count = size_t(length);
    memcpy(buffer, source->data + source->offset, count);
    source->offset += count;
    return int(count);
}

bool Refuse(const char* what, PictureReason* reason) {
    SetReason(reason, "GIF: %s", what ? what : "unreadable");
    return false;
}

bool RefuseGifError(int error, PictureReason* reason) {
    return Refuse(GifErrorString(error), reason);
}

// Skips extensions up to the first image's descriptor.
bool ReachFirstImage(GifFileType* gif, PictureReason* reason) {
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) return RefuseGifError(gif->Error, reason);
        if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) return RefuseGifError(gif->Error, reason);
            return true;
        }
        if (record == TERMINATE_RECORD_TYPE) return Refuse("no image in the file", reason);
        if (record != EXTENSION_RECORD_TYPE) return Refuse("unknown record", reason);
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            return RefuseGifError(gif->Error, reason);
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                return RefuseGifError(gif->Error, reason);
            }
        }
    }
}

struct Canvas {
    uint32_t wide;
    uint32_t high;
    uint8_t* pixels;  // RGB, top row first
};

void FillBackground(const GifFileType* gif, Canvas* canvas) {
    GifColorType colour = {0, 0, 0};
    const ColorMapObject* global = gif->SColorMap;
    if (global && gif->SBackGroundColor >= 0 && gif->SBackGroundColor < global->ColorCount) {
        colour = global->Colors[gif->SBackGroundColor];
    }
    const size_t count = size_t(canvas->wide) * canvas->high;
    for (size_t i = 0; i < count; ++i) {
        canvas->pixels[3 * i + 0] = colour.Red;
        canvas->pixels[3 * i + 1] = colour.Green;
        canvas->pixels[3 * i + 2] = colour.Blue;
    }
}

// Paints one decoded line of the frame at canvas row `y`, clipped.
bool PaintLine(const GifImageDesc& frame, const ColorMapObject* map, const uint8_t* line, int64_t y,
               Canvas* canvas, PictureReason* reason) {
    if (y < 0 || y >= canvas->high) return true;
    uint8_t* row = canvas->pixels + size_t(y) * canvas->wide * 3;
    for (int x = 0; x < frame.Width; ++x) {
        if (line[x] >= map->ColorCount) return Refuse("colour index outside the palette", reason);
        const int64_t cx = int64_t(frame.Left) + x;
        if (cx < 0 || cx >= canvas->wide) continue;
        const GifColorType& colour = map->Colors[line[x]];
        row[3 * cx + 0] = colour.Red;
        row[3 * cx + 1] = colour.Green;
        row[3 * cx + 2] = colour.Blue;
    }
    return true;
}

// Reads the frame's colour indices, one byte a pixel, top row first, in file
// order: an interlaced frame comes in four passes over every 8th, 8th, 4th
// and 2nd row.
bool ReadFrame(GifFileType* gif, uint8_t* indices, PictureReason* reason) {
    const GifImageDesc& frame = gif->Image;
    static const int kStart[] = {0, 4, 2, 1};
    static const int kStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int step = frame.Interlace ? kStep[pass] : 1;
        for (int r = frame.Interlace ? kStart[pass] : 0; r < frame.Height; r += step) {
            if (DGifGetLine(gif, indices + size_t(r) * size_t(frame.Width), frame.Width) ==
                GIF_ERROR) {
                return RefuseGifError(gif->Error, reason);
            }
        }
    }
    return true;
}

bool PaintFrame(const GifImageDesc& frame, const ColorMapObject* map, const uint8_t* indices,
                Canvas* canvas, PictureReason* reason) {
    for (int r = 0; r < frame.Height; ++r) {
        const uint8_t* line = indices + size_t(r) * size_t(frame.Width);
        if (!PaintLine(frame, map, line, int64_t(frame.Top) + r, canvas, reason)) return false;
    }
    return true;
}

// Whether the bytes left in the file could hold the frame: no LZW code is
// shorter than a bit, and none stands for more than 4096 pixels. This is far
// above any real file's need; it stops a few bytes that claim a huge frame
// before its memory is taken.
bool FrameFitsData(const GifFileType* gif) {
    const MemorySource* source = static_cast<const MemorySource*>(gif->UserData);
    const uint64_t left = source->size - source->offset;
    return uint64_t(gif->Image.Width) * uint64_t(gif->Image.Height) <= left * 8 * 4096;
}

// The frame is read whole before the screen is made, so that a damaged file
// is refused before the screen's memory is taken and filled.
bool DecodeFirstFrame(GifFileType* gif, PictureBitmap* out, PictureReason* reason) {
    if (!ReachFirstImage(gif, reason)) return false;
    const GifImageDesc& frame = gif->Image;
    if (!PictureSizeAllowed(uint64_t(frame.Width), uint64_t(frame.Height), reason)) return false;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || !map->Colors) return Refuse("no colour table", reason);
    if (!FrameFitsData(gif)) return Refuse("the file is too short for its first frame", reason);
    // A file without a logical screen is as large as its first frame.
    const bool screen = gif->SWidth > 0 && gif->SHeight > 0;
    Canvas canvas = {uint32_t(screen ? gif->SWidth : frame.Width),
                     uint32_t(screen ? gif->SHeight : frame.Height), nullptr};
    if (!PictureSizeAllowed(canvas.wide, canvas.high, reason)) return false;
    uint8_t* indices = static_cast<uint8_t*>(malloc(size_t(frame.Width) * size_t(frame.Height)));
    if (!indices) return Refuse("no memory for the picture", reason);
    bool ok = ReadFrame(gif, indices, reason);
    if (ok) {
        canvas.pixels = static_cast<uint8_t*>(malloc(size_t(canvas.wide) * canvas.high * 3));
        if (!canvas.pixels) ok = Refuse("no memory for the picture", reason);
    }
    if (ok) FillBackground(gif, &canvas);
    ok = ok && PaintFrame(frame, map, indices, &canvas, reason);
    free(indices);
    if (!ok) {
        free(canvas.pixels);
        return false;
    }
    out->bitsPerPixel = 24;
    out->bytesPerRow = size_t(canvas.wide) * 3;
    out->pixelsWide = canvas.wide;
    out->pixelsHigh = canvas.high;
    out->pixels = canvas.pixels;
    return true;
}

}  // namespace

bool DecodeGif(const uint8_t* data, size_t size, PictureBitmap* out, PictureReason* reason) {
    MemorySource source = {data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, ReadFromMemory, &error);
    if (!gif) return RefuseGifError(error, reason);
    const bool decoded = DecodeFirstFrame(gif, out, reason);
    DGifCloseFile(gif, &error);
    return decoded;
}
