// The resource pack as the saver reads it: the header and directory checks,
// each entry's seek and whole read, and every picture entry decoded straight
// from the pack's stream. No OpenGL: the upload is not what reads the bytes.
#include <cstdint>

#include "alert.h"
#include "fuzz_support.h"
#include "resfile.h"
#include "tga.h"

namespace {

void QuietAlert(const char*, const char*) {}

void CheckPicture(const Texture& picture) {
    FUZZ_CHECK(picture.imageData);
    FUZZ_CHECK(picture.bpp == 24 || picture.bpp == 32);
    FUZZ_CHECK(picture.width > 0 && picture.height > 0);
    TouchBytes(picture.imageData, size_t(picture.width) * picture.height * (picture.bpp / 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetAlertHandler(QuietAlert);
    const std::string path = ScratchDir() + "/pack";
    WriteWhole(path, data, size);
    RESFILE pack;
    if (!pack.Open(path.c_str())) return 0;
    FUZZ_CHECK(pack.lumps || pack.header.count == 0);
    const int count = int(pack.header.count);
    for (int i = 0; i < count; ++i) {
        const RESLUMP lump = pack.lumps[i];
        void* bytes = nullptr;
        if (pack.LoadData(i, &bytes)) {
            FUZZ_CHECK(uint64_t(lump.offset) + lump.size <= size);
            TouchBytes(static_cast<uint8_t*>(bytes), lump.size);
            delete[] static_cast<uint8_t*>(bytes);
        }
        if (lump.kind != kPackKindPicture || !pack.SeekLump(i)) continue;
        Texture picture;
        if (LoadTGA2(&picture, &pack.stream)) {
            CheckPicture(picture);
        } else {
            FUZZ_CHECK(!picture.imageData);
        }
        pack.stream.clear();
    }
    pack.Close();
    pack.Close();
    return 0;
}
