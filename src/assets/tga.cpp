#include "tga.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>

#include "alert.h"
#include "byteorder.h"

namespace {

const char kCannotOpen[] = "Could not open texture file";
const char kNoHeader[] = "Could not read file header";
const char kWrongType[] = "TGA file be type 2 or type 10 ";
const char kNoInfo[] = "Could not read info header";
const char kBadInfo[] = "Invalid texture information";
const char kNoMemory[] = "Could not allocate memory for image";
const char kShortPixels[] = "Could not read image data";
const char kNoPacket[] = "Could not read RLE header";
const char kShortRun[] = "Could not read from file";
const char kTooMany[] = "Too many pixels read";

bool Fail(const char* text) {
    MessageBox(nullptr, text, "ERROR", 0);
    return false;
}

bool FailWrongType() {
    MessageBox(nullptr, kWrongType, "Invalid Image", 0);
    return false;
}

// A decode starts from a record without pixels, so that whatever happens the
// record ends with its own pixels or none.
void DropPixels(Texture* tex) {
    free(tex->imageData);
    tex->imageData = nullptr;
}

// The two sources differ only in how a whole read is told.
struct StreamSource {
    std::ifstream* in;
    bool Read(void* buffer, size_t n) {
        in->read(static_cast<char*>(buffer), std::streamsize(n));
        return size_t(in->gcount()) == n;
    }
};

struct FileSource {
    FILE* file;
    bool Read(void* buffer, size_t n) { return fread(buffer, 1, n, file) == n; }
};

// The pixels of one decode. The buffer grows as pixels arrive, doubling, up
// to exactly the image's size, so a header that claims a huge image in a
// small file costs only what the file delivers. Freed unless released.
class PixelBuffer {
   public:
    explicit PixelBuffer(uint64_t size) : limit(size) {}
    ~PixelBuffer() { free(data); }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // Makes room for the first `bytes` bytes; false when the memory is not
    // there or the request passes the image's size.
    bool Reserve(uint64_t bytes) {
        if (bytes <= capacity) return true;
        if (bytes > limit) return false;
        uint64_t grown = capacity * 2 > kFirstBytes ? capacity * 2 : kFirstBytes;
        if (grown < bytes) grown = bytes;
        if (grown > limit) grown = limit;
        void* moved = realloc(data, size_t(grown));
        if (!moved) return false;
        data = static_cast<uint8_t*>(moved);
        capacity = grown;
        return true;
    }
    uint8_t* Release() {
        uint8_t* pixels = data;
        data = nullptr;
        return pixels;
    }

    uint8_t* data = nullptr;

   private:
    static constexpr uint64_t kFirstBytes = 64 * 1024;
    uint64_t capacity = 0;
    uint64_t limit;
};

constexpr uint64_t kReadChunk = 1024 * 1024;

// Bytes 12 to 17: the image's size and depth, which go to the record at once.
template <class Source>
bool ReadImageInfo(Texture* tex, Source& src, TGA* tga) {
    if (!src.Read(tga->info, sizeof tga->info)) return Fail(kNoInfo);
    tga->width = tex->width = ReadLE16(tga->info);
    tga->height = tex->height = ReadLE16(tga->info + 2);
    tga->bpp = tex->bpp = tga->info[4];
    if (tga->width == 0 || tga->height == 0 || (tga->bpp != 24 && tga->bpp != 32)) {
        return Fail(kBadInfo);
    }
    tex->type = tga->bpp == 24 ? GL_RGB : GL_RGBA;
    tga->pixelBytes = tga->bpp / 8;
    tga->dataSize = uint64_t(tga->pixelBytes) * tga->width * tga->height;
    if (tga->dataSize > kMaxTGABytes) return Fail(kNoMemory);
    return true;
}

void SwapRedBlue(uint8_t* pixels, uint64_t size, uint32_t pixelBytes) {
    for (uint64_t i = 0; i < size; i += pixelBytes) {
        const uint8_t blue = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = blue;
    }
}

template <class Source>
bool DecodeUncompressed(Texture* tex, Source& src) {
    TGA tga;
    if (!ReadImageInfo(tex, src, &tga)) return false;
    PixelBuffer pixels(tga.dataSize);
    for (uint64_t got = 0; got < tga.dataSize;) {
        const uint64_t n = tga.dataSize - got < kReadChunk ? tga.dataSize - got : kReadChunk;
        if (!pixels.Reserve(got + n)) return Fail(kNoMemory);
        if (!src.Read(pixels.data + got, size_t(n))) return Fail(kShortPixels);
        got += n;
    }
    SwapRedBlue(pixels.data, tga.dataSize, tga.pixelBytes);
    tex->imageData = pixels.Release();
    return true;
}

// Stores one file pixel (B, G, R, A) as R, G, B, A.
void StorePixel(uint8_t* out, const uint8_t* value, uint32_t pixelBytes) {
    out[0] = value[2];
    out[1] = value[1];
    out[2] = value[0];
    if (pixelBytes == 4) out[3] = value[3];
}

// One packet after its header byte. A packet that would store a pixel past
// the image's pixel count fails before storing it.
template <class Source>
bool DecodePacket(Source& src, uint8_t packet, const TGA& tga, PixelBuffer* pixels,
                  uint64_t* stored) {
    const uint64_t count = uint64_t(tga.width) * tga.height;
    const uint32_t pb = tga.pixelBytes;
    uint8_t value[4];
    if (packet < 128) {
        const uint64_t raw = uint64_t(packet) + 1;
        const uint64_t room = count - *stored < raw ? count - *stored : raw;
        if (!pixels->Reserve((*stored + room) * pb)) return Fail(kNoMemory);
        for (uint64_t k = 0; k < raw; ++k) {
            if (!src.Read(value, pb)) return Fail(kShortPixels);
            if (*stored == count) return Fail(kTooMany);
            StorePixel(pixels->data + *stored * pb, value, pb);
            ++*stored;
        }
        return true;
    }
    const uint64_t run = uint64_t(packet) - 127;
    if (!src.Read(value, pb)) return Fail(kShortRun);
    if (*stored + run > count) return Fail(kTooMany);
    if (!pixels->Reserve((*stored + run) * pb)) return Fail(kNoMemory);
    for (uint64_t k = 0; k < run; ++k, ++*stored) {
        StorePixel(pixels->data + *stored * pb, value, pb);
    }
    return true;
}

// Reads packets until the image is whole; bytes after the last packet that
// it needs are not read.
template <class Source>
bool DecodeCompressed(Texture* tex, Source& src) {
    TGA tga;
    if (!ReadImageInfo(tex, src, &tga)) return false;
    PixelBuffer pixels(tga.dataSize);
    const uint64_t count = uint64_t(tga.width) * tga.height;
    for (uint64_t stored = 0; stored < count;) {
        uint8_t packet;
        if (!src.Read(&packet, 1)) return Fail(kNoPacket);
        if (!DecodePacket(src, packet, tga, &pixels, &stored)) return false;
    }
    tex->imageData = pixels.Release();
    return true;
}

enum class Kind { Uncompressed, Compressed, Other };

Kind KindOf(const uint8_t* tgaheader) {
    if (memcmp(tgaheader, uTGAcompare, sizeof uTGAcompare) == 0) return Kind::Uncompressed;
    if (memcmp(tgaheader, cTGAcompare, sizeof cTGAcompare) == 0) return Kind::Compressed;
    return Kind::Other;
}

bool StreamOpen(std::ifstream* stream) {
    return stream && stream->is_open();
}

}  // namespace

bool LoadTGA2(Texture* tex, std::ifstream* stream) {
    if (!tex) return false;
    DropPixels(tex);
    if (!StreamOpen(stream)) return Fail(kCannotOpen);
    StreamSource src{stream};
    uint8_t tgaheader[12];
    if (!src.Read(tgaheader, sizeof tgaheader)) return Fail(kNoHeader);
    switch (KindOf(tgaheader)) {
        case Kind::Uncompressed:
            return DecodeUncompressed(tex, src);
        case Kind::Compressed:
            return DecodeCompressed(tex, src);
        default:
            return FailWrongType();
    }
}

bool LoadUncompressedTGA2(Texture* tex, std::ifstream* stream) {
    if (!tex) return false;
    DropPixels(tex);
    if (!StreamOpen(stream)) return Fail(kCannotOpen);
    StreamSource src{stream};
    return DecodeUncompressed(tex, src);
}

bool LoadCompressedTGA2(Texture* tex, std::ifstream* stream) {
    if (!tex) return false;
    DropPixels(tex);
    if (!StreamOpen(stream)) return Fail(kCannotOpen);
    StreamSource src{stream};
    return DecodeCompressed(tex, src);
}

bool LoadTGA(Texture* tex, const char* filename) {
    if (!tex) return false;
    DropPixels(tex);
    FILE* file = filename ? fopen(filename, "rb") : nullptr;
    if (!file) return Fail(kCannotOpen);
    uint8_t tgaheader[12];
    if (fread(tgaheader, 1, sizeof tgaheader, file) != sizeof tgaheader) {
        fclose(file);
        return Fail(kNoHeader);
    }
    switch (KindOf(tgaheader)) {
        case Kind::Uncompressed:
            return LoadUncompressedTGA(tex, file);
        case Kind::Compressed:
            return LoadCompressedTGA(tex, file);
        default:
            fclose(file);
            return FailWrongType();
    }
}

namespace {

// Decodes from an open file with `decode` and closes the file on every path.
bool DecodeFile(Texture* tex, FILE* file, bool (*decode)(Texture*, FileSource&)) {
    if (!file) return Fail(kCannotOpen);
    bool loaded = false;
    if (tex) {
        DropPixels(tex);
        FileSource src{file};
        loaded = decode(tex, src);
    }
    fclose(file);
    return loaded;
}

}  // namespace

bool LoadUncompressedTGA(Texture* tex, FILE* file) {
    return DecodeFile(tex, file, DecodeUncompressed<FileSource>);
}

bool LoadCompressedTGA(Texture* tex, FILE* file) {
    return DecodeFile(tex, file, DecodeCompressed<FileSource>);
}
