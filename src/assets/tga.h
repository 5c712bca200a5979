#ifndef KINDORA_ASSETS_TGA_H
#define KINDORA_ASSETS_TGA_H

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "texture.h"

// TGA decoding into a Texture record: true-colour images only, uncompressed
// (type 2) or run-length-encoded (type 10), 24 or 32 bits per pixel, with no
// ID field, no colour map and both origins 0. The decoders deliver R, G, B
// (and A) bytes, rows in file order; the descriptor byte is not interpreted.
//
// Every failure is shown to the user through MessageBox with its own text and
// the caption "ERROR" (or "Invalid Image" for an image of another kind), and
// the decode returns false with no pixels left in the record. Sizes are
// computed in 64 bits and the pixel buffer grows only as the file delivers
// pixels, so a forged header cannot make a decode allocate more than the
// file can fill.

// The first 12 bytes of the two accepted kinds of file.
constexpr uint8_t uTGAcompare[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t cTGAcompare[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The largest image accepted, in bytes of decoded pixels (8192 x 8192 at 32
// bits); anything larger is refused as memory that cannot be allocated.
constexpr uint64_t kMaxTGABytes = uint64_t(1) << 28;

// Working values of one decode: bytes 12 to 17 of the file and what follows
// from them.
struct TGA {
    uint8_t info[6];      // width, height (16-bit LE), bits per pixel, descriptor
    uint32_t pixelBytes;  // bits per pixel / 8
    uint64_t dataSize;    // pixelBytes x width x height
    uint32_t height;
    uint32_t width;
    uint32_t bpp;
};

// Stream family: read from the stream's current position (a pack entry after
// RESFILE::SeekLump) and never close it. The stream is left after the last
// byte read.
bool LoadTGA2(Texture* tex, std::ifstream* stream);
// The two decoders proper, on a stream positioned after the 12 header bytes.
bool LoadUncompressedTGA2(Texture* tex, std::ifstream* stream);
bool LoadCompressedTGA2(Texture* tex, std::ifstream* stream);

// File family: the same decode from a named file, which is closed on every
// exit.
bool LoadTGA(Texture* tex, const char* filename);
// The decoders proper, on an open file after its 12 header bytes; they close
// the file on every exit, success included.
bool LoadUncompressedTGA(Texture* tex, FILE* file);
bool LoadCompressedTGA(Texture* tex, FILE* file);

#endif
