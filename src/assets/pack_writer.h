#ifndef KINDORA_ASSETS_PACK_WRITER_H
#define KINDORA_ASSETS_PACK_WRITER_H

#include <cstdint>
#include <vector>

// One entry of a pack to be written: its kind, the alpha mode of a picture,
// and its bytes (a whole TGA file for a picture).
struct PackEntry {
    uint32_t kind = 0;
    uint32_t alphaMode = 0;
    std::vector<uint8_t> data;
};

// Lays out a pack as RESFILE reads it: the header, the directory right
// after it, then every entry's data in order; reserved fields are 0. The
// same entries give the same bytes. Returns an empty vector when the pack
// would pass the 2 GiB that its size check can describe.
std::vector<uint8_t> BuildPack(const std::vector<PackEntry>& entries);

#endif
