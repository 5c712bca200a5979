#include "resfile.h"

#include <cstring>
#include <new>

#include "byteorder.h"

namespace {

bool ReadWhole(std::ifstream& in, void* buffer, size_t n) {
    in.read(static_cast<char*>(buffer), std::streamsize(n));
    return size_t(in.gcount()) == n;
}

RESHEADER ParseHeader(const uint8_t* raw) {
    RESHEADER h;
    memcpy(h.magic, raw, 4);
    h.reserved1 = ReadLE32(raw + 4);
    h.reserved2 = ReadLE32(raw + 8);
    h.count = ReadLE32(raw + 12);
    h.sizeCheck = ReadLE32(raw + 16);
    h.dirOffset = ReadLE32(raw + 20);
    return h;
}

RESLUMP ParseLump(const uint8_t* raw) {
    RESLUMP lump;
    lump.size = ReadLE32(raw);
    lump.offset = ReadLE32(raw + 4);
    lump.kind = ReadLE32(raw + 8);
    lump.alphaMode = ReadLE32(raw + 12);
    memcpy(lump.reserved, raw + 16, sizeof lump.reserved);
    return lump;
}

}  // namespace

bool RESFILE::Open(const char* path) {
    Close();
    if (!path) return false;
    stream.open(path, std::ios::in | std::ios::binary);
    if (!stream.is_open()) return false;

    // The size check is a 32-bit complement, so no genuine pack is larger.
    stream.seekg(0, std::ios::end);
    const std::streamoff end = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (!stream || end < 0 || end > INT32_MAX) {
        Close();
        return false;
    }
    fileSize = int32_t(end);
    if (!ReadHeader()) {
        Close();
        return false;
    }
    // A directory that could not be read whole stays allocated until Close,
    // though nothing can use it: the file is closed, so SeekLump refuses.
    if (!ReadDirectory()) {
        stream.close();
        stream.clear();
        return false;
    }
    return true;
}

bool RESFILE::ReadHeader() {
    uint8_t raw[kPackHeaderBytes];
    if (!ReadWhole(stream, raw, sizeof raw)) return false;
    header = ParseHeader(raw);
    if (memcmp(header.magic, kPackMagic, sizeof kPackMagic) != 0) return false;
    return header.sizeCheck == ~uint32_t(fileSize);
}

bool RESFILE::ReadDirectory() {
    // A directory that does not fit in the file is refused before anything
    // is allocated for it, so a forged count costs nothing.
    const uint64_t dirBytes = uint64_t(header.count) * kPackEntryBytes;
    if (header.count > 0 && uint64_t(header.dirOffset) + dirBytes > uint64_t(fileSize)) {
        return false;
    }
    lumps = new (std::nothrow) RESLUMP[header.count];
    if (!lumps) return false;
    stream.seekg(std::streamoff(header.dirOffset), std::ios::beg);
    if (!stream) return false;
    for (uint32_t i = 0; i < header.count; ++i) {
        uint8_t raw[kPackEntryBytes];
        if (!ReadWhole(stream, raw, sizeof raw)) return false;
        lumps[i] = ParseLump(raw);
    }
    return true;
}

bool RESFILE::InDirectory(int index) const {
    return stream.is_open() && lumps && index >= 0 && uint32_t(index) < header.count;
}

// An entry that starts past the end still seeks: the decoder that reads
// from there then finds no header and tells the user so.
bool RESFILE::SeekLump(int index) {
    if (!InDirectory(index)) return false;
    stream.clear();  // an earlier read may have run into the end
    stream.seekg(std::streamoff(lumps[index].offset), std::ios::beg);
    return !stream.fail();
}

bool RESFILE::LoadData(int index, void** data) {
    if (!data || !InDirectory(index)) return false;
    const RESLUMP& lump = lumps[index];
    if (uint64_t(lump.offset) + lump.size > uint64_t(fileSize)) return false;
    if (!SeekLump(index)) return false;
    uint8_t* bytes = new (std::nothrow) uint8_t[lump.size];
    if (!bytes) return false;
    if (!ReadWhole(stream, bytes, lump.size)) {
        delete[] bytes;
        return false;
    }
    *data = bytes;
    return true;
}

void RESFILE::Close() {
    delete[] lumps;
    lumps = nullptr;
    if (stream.is_open()) stream.close();
    stream.clear();
}
