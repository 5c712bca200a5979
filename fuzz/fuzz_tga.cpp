// The TGA decoder's two families on the same bytes: the named-file decode
// and the stream decode. Both must agree on success and on every pixel.
#include <cstring>
#include <fstream>

#include "alert.h"
#include "fuzz_support.h"
#include "tga.h"

namespace {

void QuietAlert(const char*, const char*) {}

size_t PixelBytes(const Texture& t) {
    return size_t(t.width) * t.height * (t.bpp / 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetAlertHandler(QuietAlert);
    const std::string path = ScratchDir() + "/picture.tga";
    WriteWhole(path, data, size);
    Texture fromFile;
    const bool fileOk = LoadTGA(&fromFile, path.c_str());
    std::ifstream stream(path, std::ios::binary);
    FUZZ_CHECK(stream.is_open());
    Texture fromStream;
    const bool streamOk = LoadTGA2(&fromStream, &stream);
    FUZZ_CHECK(fileOk == streamOk);
    if (!fileOk) {
        FUZZ_CHECK(!fromFile.imageData && !fromStream.imageData);
        return 0;
    }
    FUZZ_CHECK(fromFile.width == fromStream.width && fromFile.height == fromStream.height);
    FUZZ_CHECK(fromFile.bpp == fromStream.bpp && (fromFile.bpp == 24 || fromFile.bpp == 32));
    FUZZ_CHECK(fromFile.width > 0 && fromFile.height > 0);
    // A decode never needs more pixel bytes than the header's size.
    FUZZ_CHECK(PixelBytes(fromFile) <= kMaxTGABytes);
    FUZZ_CHECK(memcmp(fromFile.imageData, fromStream.imageData, PixelBytes(fromFile)) == 0);
    return 0;
}
