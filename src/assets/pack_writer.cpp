#include "pack_writer.h"

#include <climits>
#include <cstring>

#include "byteorder.h"
#include "resfile.h"

std::vector<uint8_t> BuildPack(const std::vector<PackEntry>& entries) {
    uint64_t total = kPackHeaderBytes + uint64_t(entries.size()) * kPackEntryBytes;
    for (const PackEntry& entry : entries)
        total += entry.data.size();
    if (total > uint64_t(INT32_MAX)) return {};

    std::vector<uint8_t> pack(size_t(total), 0);
    uint8_t* header = pack.data();
    memcpy(header, kPackMagic, sizeof kPackMagic);
    WriteLE32(header + 12, uint32_t(entries.size()));
    WriteLE32(header + 16, ~uint32_t(total));
    WriteLE32(header + 20, uint32_t(kPackHeaderBytes));

    uint64_t offset = kPackHeaderBytes + uint64_t(entries.size()) * kPackEntryBytes;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackEntry& entry = entries[i];
        uint8_t* lump = pack.data() + kPackHeaderBytes + i * kPackEntryBytes;
        WriteLE32(lump, uint32_t(entry.data.size()));
        WriteLE32(lump + 4, uint32_t(offset));
        WriteLE32(lump + 8, entry.kind);
        WriteLE32(lump + 12, entry.alphaMode);
        if (!entry.data.empty()) {
            memcpy(pack.data() + offset, entry.data.data(), entry.data.size());
        }
        offset += entry.data.size();
    }
    return pack;
}
