#ifndef KINDORA_ASSETS_RESFILE_H
#define KINDORA_ASSETS_RESFILE_H

#include <cstddef>
#include <cstdint>
#include <fstream>

// The resource pack: a 24-byte header, a directory of 28-byte entries and
// the entries' data, all integers 32-bit little-endian, offsets from the
// start of the file. The directory and the data may lie anywhere in the file.
constexpr char kPackMagic[4] = {'Z', 'R', 'N', 'F'};
constexpr size_t kPackHeaderBytes = 24;
constexpr size_t kPackEntryBytes = 28;
constexpr uint32_t kPackKindPicture = 1;  // the entry is a TGA picture

struct RESHEADER {
    char magic[4];       // "ZRNF"
    uint32_t reserved1;  // not interpreted
    uint32_t reserved2;
    uint32_t count;      // number of directory entries
    uint32_t sizeCheck;  // bitwise complement of the file's size
    uint32_t dirOffset;  // where the directory starts
};
static_assert(sizeof(RESHEADER) == kPackHeaderBytes, "pack header is 24 bytes");

struct RESLUMP {
    uint32_t size;       // length of the entry's data
    uint32_t offset;     // where the entry's data starts
    uint32_t kind;       // kPackKindPicture or anything else
    uint32_t alphaMode;  // the BuildTexture mode of a picture
    uint8_t reserved[12];
};
static_assert(sizeof(RESLUMP) == kPackEntryBytes, "pack entry is 28 bytes");

// Reads a pack: Open checks it and reads its directory; SeekLump positions
// `stream` at an entry so that a decoder can read it straight from there;
// LoadData hands an entry's bytes over whole. Every failure is a false
// result; nothing is shown to the user.
class RESFILE {
   public:
    RESFILE() = default;
    ~RESFILE() { Close(); }
    RESFILE(const RESFILE&) = delete;
    RESFILE& operator=(const RESFILE&) = delete;

    // Opens and checks the pack at `path`: the magic, the size check against
    // the file's real size, and a directory that lies wholly inside the
    // file. On failure the file is closed; a directory that was allocated
    // but could not be read stays in `lumps` until Close.
    bool Open(const char* path);
    // Positions `stream` at the first byte of entry `index`, even past the
    // end of the file. False when no pack is open or the index is outside
    // the directory.
    bool SeekLump(int index);
    // Reads entry `index` whole into a new array (new[], the caller deletes
    // it with delete[]). False, with `*data` untouched, on any failure,
    // including an entry that does not lie wholly inside the file.
    bool LoadData(int index, void** data);
    // Releases the directory and closes the file; safe to call again.
    void Close();

    int32_t fileSize = 0;
    std::ifstream stream;
    RESHEADER header = {};
    RESLUMP* lumps = nullptr;

   private:
    bool ReadHeader();
    bool ReadDirectory();
    bool InDirectory(int index) const;
};

#endif
