#include "pack_loader.h"

#include <new>

#include "resfile.h"
#include "tga.h"

namespace {

bool LoadPackPicture(RESFILE* pack, int index, Texture* record) {
    return pack->SeekLump(index) && LoadTGA2(record, &pack->stream) &&
           BuildTexture(record, int(pack->lumps[index].alphaMode));
}

}  // namespace

bool LoadTexturesFromDataFile(const char* path, Texture** table, int* count) {
    if (!table || !count) return false;
    RESFILE* pack = new (std::nothrow) RESFILE;
    if (!pack) return false;
    // Open refuses a directory larger than the file, so the count is small.
    if (!pack->Open(path) || pack->header.count > uint32_t(INT32_MAX)) {
        delete pack;
        return false;
    }
    const int entries = int(pack->header.count);
    Texture* records = new (std::nothrow) Texture[entries];
    if (!records) {
        delete pack;
        return false;
    }
    // The count changes only together with the table, so that no reader of
    // the pair ever sees a count larger than the table it has.
    delete[] * table;
    *table = records;
    *count = entries;

    bool loaded = true;
    for (int i = 0; i < entries && loaded; ++i) {
        if (pack->lumps[i].kind != kPackKindPicture) continue;
        loaded = LoadPackPicture(pack, i, &records[i]);
    }
    delete pack;
    return loaded;
}
