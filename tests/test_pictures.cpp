// Background pictures: the decoders over files the tests write themselves,
// the loader's sizes, resampling and fire-sized copy read back from OpenGL,
// the folder choice, and strange or hostile files.
#include <GL/gl.h>
#include <GL/glu.h>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "background.h"
#include "box_filter.h"
#include "decode_internal.h"
#include "folder_reader.h"
#include "gl_support.h"
#include "picfile.h"
#include "picture_decode.h"
#include "picture_writers.h"
#include "posix_services.h"
#include "random_choice.h"

namespace fs = std::filesystem;

namespace {

// Real folders are listed through the platform's reader.
const bool kPosixInstalled = (InstallPosixServices(), true);

using Bytes = std::vector<uint8_t>;

// A scratch folder, removed with everything in it.
class TempDir {
   public:
    TempDir() {
        char pattern[] = "/tmp/kindora-pictures-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir() {
        if (!path.empty()) {
            nftw(
                path.c_str(),
                [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
        }
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Smooth colours, which survive JPEG.
Bytes Gradient(uint32_t w, uint32_t h, int components) {
    Bytes pixels(size_t(w) * h * components);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &pixels[(size_t(y) * w + x) * components];
            const int v[4] = {int(x * 255 / std::max(1u, w - 1)),
                              int(y * 255 / std::max(1u, h - 1)), 128, 200};
            for (int c = 0; c < components; ++c)
                p[c] = uint8_t(v[c]);
        }
    }
    return pixels;
}

// Every pixel different from its neighbours, for exact copies.
Bytes Noise(uint32_t w, uint32_t h, int components, uint32_t seed = 1) {
    Bytes pixels(size_t(w) * h * components);
    for (auto& b : pixels) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return pixels;
}

Bytes ReadBytes(const std::string& path) {
    Bytes data;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = fgetc(f)) != EOF)
            data.push_back(uint8_t(c));
        fclose(f);
    }
    return data;
}

void WriteBytes(const std::string& path, const Bytes& data) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string WriteRgbPng(const TempDir& dir, const std::string& name, uint32_t w, uint32_t h,
                        const Bytes& rgb) {
    const std::string path = dir / name;
    EXPECT_TRUE(WritePngFile(path.c_str(), rgb.data(), w, h, PngLayout::kRgb));
    return path;
}

// A decoded bitmap, freed at the end of the test.
struct Decoded {
    PictureBitmap bitmap;
    PictureReason reason;
    ~Decoded() { free(bitmap.pixels); }
    bool From(const std::string& path) { return DecodePictureFile(path.c_str(), &bitmap, &reason); }
    int Max3Difference(const Bytes& rgb, int components) const {
        int worst = 0;
        const int stride = int(bitmap.bitsPerPixel / 8);
        for (size_t i = 0; i < size_t(bitmap.pixelsWide) * bitmap.pixelsHigh; ++i) {
            for (int c = 0; c < 3; ++c) {
                const int want = rgb[i * components + (components == 1 ? 0 : c)];
                worst = std::max(worst, abs(int(bitmap.pixels[i * stride + c]) - want));
            }
        }
        return worst;
    }
};

// ---------------------------------------------------------------- decoders

struct RoundTrip {
    const char* name;
    int components;  // of the written pixels
    uint32_t bitsPerPixel;
    int tolerance;
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << c.name;
}

class DecodeRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

bool WriteCase(const std::string& kind, const std::string& path, const Bytes& pixels, uint32_t w,
               uint32_t h) {
    const char* p = path.c_str();
    if (kind == "png-rgb") return WritePngFile(p, pixels.data(), w, h, PngLayout::kRgb);
    if (kind == "png-rgba") return WritePngFile(p, pixels.data(), w, h, PngLayout::kRgba);
    if (kind == "png-grey") return WritePngFile(p, pixels.data(), w, h, PngLayout::kGrey);
    if (kind == "png-16bit") return WritePngFile(p, pixels.data(), w, h, PngLayout::kRgb16);
    if (kind == "jpeg")
        return WriteJpegFile(p, pixels.data(), w, h, JpegLayout::kRgb, 95, JpegScans::kBaseline);
    if (kind == "jpeg-progressive") {
        return WriteJpegFile(p, pixels.data(), w, h, JpegLayout::kRgb, 95, JpegScans::kProgressive);
    }
    if (kind == "jpeg-grey")
        return WriteJpegFile(p, pixels.data(), w, h, JpegLayout::kGrey, 95, JpegScans::kBaseline);
    if (kind == "webp-rgb") return WriteWebpFile(p, pixels.data(), w, h, false);
    if (kind == "webp-rgba") return WriteWebpFile(p, pixels.data(), w, h, true);
    return false;
}

TEST_P(DecodeRoundTrip, ComesBackAsWritten) {
    const RoundTrip& c = GetParam();
    TempDir dir;
    const uint32_t w = 37, h = 23;  // odd sizes: no row lands on a convenient boundary
    const Bytes pixels = std::string(c.name).rfind("jpeg", 0) == 0 ? Gradient(w, h, c.components)
                                                                   : Noise(w, h, c.components);
    const std::string path = dir / "picture.bin";  // the name says nothing about the format
    ASSERT_TRUE(WriteCase(c.name, path, pixels, w, h));
    Decoded d;
    ASSERT_TRUE(d.From(path)) << d.reason.text;
    EXPECT_EQ(d.bitmap.bitsPerPixel, c.bitsPerPixel);
    EXPECT_EQ(d.bitmap.pixelsWide, w);
    EXPECT_EQ(d.bitmap.pixelsHigh, h);
    EXPECT_EQ(d.bitmap.bytesPerRow, w * c.bitsPerPixel / 8);
    EXPECT_LE(d.Max3Difference(pixels, c.components), c.tolerance);
    if (c.bitsPerPixel == 32) {
        EXPECT_EQ(d.bitmap.pixels[3], pixels[3]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodeRoundTrip,
    ::testing::Values(RoundTrip{"png-rgb", 3, 24, 0}, RoundTrip{"png-rgba", 4, 32, 0},
                      RoundTrip{"png-grey", 1, 24, 0}, RoundTrip{"png-16bit", 3, 24, 0},
                      RoundTrip{"jpeg", 3, 24, 8}, RoundTrip{"jpeg-progressive", 3, 24, 8},
                      RoundTrip{"jpeg-grey", 1, 24, 4}, RoundTrip{"webp-rgb", 3, 24, 0},
                      RoundTrip{"webp-rgba", 4, 32, 0}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

TEST(Decode, PalettePngAndGifsGiveTheirColours) {
    TempDir dir;
    const uint8_t palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    const uint32_t w = 9, h = 11;
    Bytes indices(w * h);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = uint8_t((i * 7 + i / w) % 4);
    Bytes rgb;
    for (uint8_t i : indices)
        rgb.insert(rgb.end(), palette + 3 * i, palette + 3 * i + 3);

    ASSERT_TRUE(WritePngFile((dir / "p.png").c_str(), indices.data(), w, h, PngLayout::kPalette,
                             palette, 4));
    ASSERT_TRUE(WriteGifFile((dir / "g.gif").c_str(), indices.data(), w, h, palette, 4, false));
    ASSERT_TRUE(WriteGifFile((dir / "i.gif").c_str(), indices.data(), w, h, palette, 4, true));
    for (const char* name : {"p.png", "g.gif", "i.gif"}) {
        Decoded d;
        ASSERT_TRUE(d.From(dir / name)) << name << ": " << d.reason.text;
        EXPECT_EQ(d.bitmap.bitsPerPixel, 24u) << name;
        EXPECT_EQ(d.Max3Difference(rgb, 3), 0) << name;
    }
}

TEST(Decode, CmykJpegBecomesRgb) {
    TempDir dir;
    // Adobe's inverted CMYK: no cyan, full magenta and yellow, no black is red.
    Bytes cmyk;
    for (int i = 0; i < 16 * 16; ++i)
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});
    ASSERT_TRUE(WriteJpegFile((dir / "c.jpg").c_str(), cmyk.data(), 16, 16, JpegLayout::kCmyk, 95,
                              JpegScans::kBaseline));
    Decoded d;
    ASSERT_TRUE(d.From(dir / "c.jpg")) << d.reason.text;
    EXPECT_EQ(d.bitmap.bitsPerPixel, 24u);
    const Bytes red = {255, 0, 0};
    Bytes expected;
    for (int i = 0; i < 16 * 16; ++i)
        expected.insert(expected.end(), red.begin(), red.end());
    EXPECT_LE(d.Max3Difference(expected, 3), 3);
}

// A GIF with a 2-colour palette (black, white) on a screen of sw x sh and one
// 1 x 1 frame at (left, top) holding `index`, assembled by hand.
Bytes TinyGif(uint8_t sw, uint8_t sh, uint8_t left, uint8_t top, uint8_t index) {
    // LZW with 2-bit minimum codes: clear (4), the index, end (5), 3 bits each.
    const unsigned bits = 4u | (unsigned(index) << 3) | (5u << 6);
    return {'G',
            'I',
            'F',
            '8',
            '9',
            'a',
            sw,
            0,
            sh,
            0,
            0x80,
            0,
            0,  // screen
            0,
            0,
            0,
            255,
            255,
            255,  // palette
            0x2C,
            left,
            0,
            top,
            0,
            1,
            0,
            1,
            0,
            0,  // frame
            2,
            2,
            uint8_t(bits & 255),
            uint8_t(bits >> 8),
            0,
            0x3B};  // data, end
}

TEST(Decode, GifFrameIsPaintedOnItsScreen) {
    Decoded d;
    const Bytes gif = TinyGif(3, 2, 1, 1, 1);
    ASSERT_TRUE(DecodePictureMemory(gif.data(), gif.size(), &d.bitmap, &d.reason)) << d.reason.text;
    ASSERT_EQ(d.bitmap.pixelsWide, 3u);
    ASSERT_EQ(d.bitmap.pixelsHigh, 2u);
    const Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0};
    EXPECT_EQ(Bytes(d.bitmap.pixels, d.bitmap.pixels + 18), expected);

    Decoded outside;  // a frame beyond the screen is clipped away
    const Bytes clipped = TinyGif(2, 1, 5, 0, 1);
    ASSERT_TRUE(DecodePictureMemory(clipped.data(), clipped.size(), &outside.bitmap, nullptr));
    EXPECT_EQ(Bytes(outside.bitmap.pixels, outside.bitmap.pixels + 6), Bytes(6, 0));
}

// A few bytes that claim a huge screen or frame are refused before its memory
// is taken and filled.
TEST(Decode, GifsThatClaimMoreThanTheyHoldAreRefused) {
    const uint8_t side[2] = {16000 & 255, 16000 >> 8};
    Bytes bigFrame = TinyGif(1, 1, 0, 0, 1);
    for (size_t at : {6, 8, 24, 26})  // screen and frame sides
        bigFrame[at] = side[0], bigFrame[at + 1] = side[1];
    Bytes noColours = TinyGif(1, 1, 0, 0, 1);
    noColours[6] = noColours[8] = side[0], noColours[7] = noColours[9] = side[1];
    noColours[10] = 0;  // no global palette, and the frame has none
    noColours.erase(noColours.begin() + 13, noColours.begin() + 19);
    const std::pair<const Bytes*, const char*> cases[] = {
        {&bigFrame, "too short for its first frame"}, {&noColours, "no colour table"}};
    for (const auto& [data, why] : cases) {
        Decoded d;
        EXPECT_FALSE(DecodePictureMemory(data->data(), data->size(), &d.bitmap, &d.reason));
        EXPECT_NE(strstr(d.reason.text, why), nullptr) << d.reason.text;
    }
}

bool SameBitmap(const PictureBitmap& a, const PictureBitmap& b) {
    return a.bitsPerPixel == b.bitsPerPixel && a.bytesPerRow == b.bytesPerRow &&
           a.pixelsWide == b.pixelsWide && a.pixelsHigh == b.pixelsHigh && a.pixels == b.pixels;
}

TEST(Decode, RefusesWhatItCannotReadAndLeavesTheRecord) {
    static uint8_t marker;
    const PictureBitmap untouched{7, 9, 11, 13, &marker};
    const Bytes bmp = {'B', 'M', 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 0x28, 0, 0, 0};
    const std::string xpmText =
        "/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #FF0000\", \"a\"};\n";
    const Bytes xpm(xpmText.begin(), xpmText.end());
    const Bytes badIndex = TinyGif(1, 1, 0, 0, 3);  // index 3 of a 2-colour palette
    const Bytes jpegStart = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    for (const Bytes* data : {&bmp, &xpm, &badIndex, &jpegStart}) {
        PictureBitmap bitmap = untouched;
        PictureReason reason;
        EXPECT_FALSE(DecodePictureMemory(data->data(), data->size(), &bitmap, &reason));
        EXPECT_NE(reason.text[0], '\0');
        EXPECT_TRUE(SameBitmap(bitmap, untouched));
    }
}

TEST(Decode, TruncatedFilesAreUnreadable) {
    TempDir dir;
    const Bytes rgb = Gradient(64, 48, 3);
    Bytes indices(64 * 48, 1);
    const uint8_t palette[] = {0, 0, 0, 200, 100, 50};
    ASSERT_TRUE(WriteJpegFile((dir / "a").c_str(), rgb.data(), 64, 48, JpegLayout::kRgb, 90,
                              JpegScans::kBaseline));
    ASSERT_TRUE(WriteJpegFile((dir / "b").c_str(), rgb.data(), 64, 48, JpegLayout::kRgb, 90,
                              JpegScans::kProgressive));
    ASSERT_TRUE(WritePngFile((dir / "c").c_str(), rgb.data(), 64, 48, PngLayout::kRgb));
    ASSERT_TRUE(WriteGifFile((dir / "d").c_str(), indices.data(), 64, 48, palette, 2, false));
    for (const char* name : {"a", "b", "c", "d"}) {
        const Bytes whole = ReadBytes(dir / name);
        for (double part : {0.3, 0.6, 0.9}) {
            const Bytes cut(whole.begin(), whole.begin() + long(whole.size() * part));
            WriteBytes(dir / "cut", cut);
            Decoded d;
            EXPECT_FALSE(d.From(dir / "cut")) << name << " cut at " << part;
            EXPECT_EQ(d.bitmap.pixels, nullptr);
        }
    }
}

// libjpeg calls a damaged stream a warning and goes on; here it is unreadable.
TEST(Decode, JpegWarningsAreFatal) {
    TempDir dir;
    const Bytes rgb = Gradient(32, 32, 3);
    ASSERT_TRUE(WriteJpegFile((dir / "j").c_str(), rgb.data(), 32, 32, JpegLayout::kRgb, 90,
                              JpegScans::kBaseline));
    Decoded whole;
    ASSERT_TRUE(whole.From(dir / "j"));
    Bytes jpeg = ReadBytes(dir / "j");
    const size_t afterApp0 = 4 + size_t(jpeg[4] << 8 | jpeg[5]);  // SOI, then APP0
    ASSERT_EQ(jpeg[afterApp0], 0xFF);
    jpeg.insert(jpeg.begin() + long(afterApp0), {0x12, 0x34});  // stray bytes before a marker
    Decoded d;
    EXPECT_FALSE(DecodePictureMemory(jpeg.data(), jpeg.size(), &d.bitmap, &d.reason));
    EXPECT_NE(strstr(d.reason.text, "extraneous"), nullptr) << d.reason.text;
}

// A progressive file may not make the decoder pass over the picture without
// end: 192 scans (grey) are fine, 570 (colour) are too many.
TEST(Decode, ProgressiveScansAreLimited) {
    TempDir dir;
    const Bytes rgb = Gradient(16, 16, 3);
    ASSERT_TRUE(WriteJpegFile((dir / "grey").c_str(), rgb.data(), 16, 16, JpegLayout::kGrey, 90,
                              JpegScans::kEveryCoefficient));
    ASSERT_TRUE(WriteJpegFile((dir / "colour").c_str(), rgb.data(), 16, 16, JpegLayout::kRgb, 90,
                              JpegScans::kEveryCoefficient));
    Decoded grey, colour;
    EXPECT_TRUE(grey.From(dir / "grey")) << grey.reason.text;
    EXPECT_FALSE(colour.From(dir / "colour"));
    EXPECT_NE(strstr(colour.reason.text, "too many progressive scans"), nullptr)
        << colour.reason.text;
}

// Each format's header claims 20000 x 10 pixels; the decoders must refuse
// before allocating the picture.
TEST(Decode, OversizedPicturesAreRefusedFromTheirHeaders) {
    TempDir dir;
    const Bytes rgb = Gradient(8, 8, 3);
    const uint8_t palette[] = {0, 0, 0, 255, 255, 255};
    Bytes indices(64, 1);
    ASSERT_TRUE(WriteJpegFile((dir / "j").c_str(), rgb.data(), 8, 8, JpegLayout::kRgb, 90,
                              JpegScans::kBaseline));
    ASSERT_TRUE(WritePngFile((dir / "p").c_str(), rgb.data(), 8, 8, PngLayout::kRgb));
    ASSERT_TRUE(WriteGifFile((dir / "g").c_str(), indices.data(), 8, 8, palette, 2, false));

    // 20000 x 20000 is over the pixel cap. (A JPEG that size is decoded
    // smaller instead, below.)
    Bytes png = ReadBytes(dir / "p");  // IHDR width at 16; libpng checks the CRC
    png[16] = 0, png[17] = 0, png[18] = 20000 >> 8, png[19] = 20000 & 255;
    png[20] = 0, png[21] = 0, png[22] = 20000 >> 8, png[23] = 20000 & 255;
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int k = 0; k < 4; ++k)
        png[29 + k] = uint8_t(crc >> (24 - 8 * k));
    Bytes gif = ReadBytes(dir / "g");  // screen and frame widths
    gif[6] = 20000 & 255, gif[7] = 20000 >> 8;
    gif[8] = 20000 & 255, gif[9] = 20000 >> 8;
    for (size_t i = 13 + 6; i + 9 < gif.size(); ++i) {
        if (gif[i] == 0x2C) {
            gif[i + 5] = 20000 & 255, gif[i + 6] = 20000 >> 8;
            gif[i + 7] = 20000 & 255, gif[i + 8] = 20000 >> 8;
            break;
        }
    }
    for (const Bytes* data : {&png, &gif}) {
        Decoded d;
        EXPECT_FALSE(DecodePictureMemory(data->data(), data->size(), &d.bitmap, &d.reason));
        EXPECT_NE(strstr(d.reason.text, "too large"), nullptr) << d.reason.text;
    }
}

// Only the pixel count is capped, so a panorama of any width passes.
TEST(Decode, SizeCaps) {
    EXPECT_TRUE(PictureSizeAllowed(16384, 16384, nullptr));
    EXPECT_TRUE(PictureSizeAllowed(65536, 4096, nullptr));
    EXPECT_FALSE(PictureSizeAllowed(65536, 4097, nullptr));
    EXPECT_TRUE(PictureSizeAllowed(1, uint64_t(1) << 28, nullptr));
    SetPictureSizeCap(100);  // as the fuzzer lowers it
    EXPECT_FALSE(PictureSizeAllowed(11, 10, nullptr));
    EXPECT_TRUE(PictureSizeAllowed(10, 10, nullptr));
    SetPictureSizeCap(uint64_t(1) << 40);  // held to the built-in cap
    EXPECT_EQ(PictureSizeCap(), kMaxPicturePixels);
    EXPECT_FALSE(PictureSizeAllowed(0, 5, nullptr));
    EXPECT_FALSE(PictureSizeAllowed(uint64_t(1) << 36, uint64_t(1) << 36, nullptr));  // wraps to 0

    TempDir dir;
    const Bytes rgb = Gradient(16385, 2, 3);
    ASSERT_TRUE(WritePngFile((dir / "wide.png").c_str(), rgb.data(), 16385, 2, PngLayout::kRgb));
    Decoded d;
    ASSERT_TRUE(DecodePictureFile((dir / "wide.png").c_str(), &d.bitmap, &d.reason))
        << d.reason.text;
    EXPECT_EQ(d.bitmap.pixelsWide, 16385u);
}

// A JPEG over the cap is decoded at 1/2, 1/4 or 1/8 of each side, the
// first that fits; past 1/8 it is refused.
TEST(Decode, LargeJpegIsDecodedAtAReducedScale) {
    EXPECT_EQ(JpegScaleDenominator(16384, 16384, kMaxPicturePixels), 1u);
    EXPECT_EQ(JpegScaleDenominator(40000, 8000, kMaxPicturePixels), 2u);
    EXPECT_EQ(JpegScaleDenominator(65535, 65535, kMaxPicturePixels), 4u);
    EXPECT_EQ(JpegScaleDenominator(131072, 65536, kMaxPicturePixels), 8u);
    EXPECT_EQ(JpegScaleDenominator(9, 9, 4), 8u);  // sides round up: 3 x 3 at 1/4
    EXPECT_EQ(JpegScaleDenominator(100, 100, 1), 0u);

    TempDir dir;
    const Bytes rgb = Gradient(64, 48, 3);
    ASSERT_TRUE(WriteJpegFile((dir / "j").c_str(), rgb.data(), 64, 48, JpegLayout::kRgb, 95,
                              JpegScans::kBaseline));
    const Bytes jpeg = ReadBytes(dir / "j");
    const struct {
        uint64_t cap;
        uint32_t wide, high;
    } cases[] = {{64 * 48, 64, 48}, {64 * 48 - 1, 32, 24}, {200, 16, 12}, {48, 8, 6}};
    for (const auto& c : cases) {
        Decoded d;
        ASSERT_TRUE(DecodeJpegWithin(jpeg.data(), jpeg.size(), c.cap, &d.bitmap, &d.reason))
            << c.cap << ": " << d.reason.text;
        EXPECT_EQ(d.bitmap.pixelsWide, c.wide) << c.cap;
        EXPECT_EQ(d.bitmap.pixelsHigh, c.high) << c.cap;
        EXPECT_EQ(d.bitmap.bytesPerRow, size_t(c.wide) * 3);
    }
    Decoded refused;
    EXPECT_FALSE(DecodeJpegWithin(jpeg.data(), jpeg.size(), 47, &refused.bitmap, &refused.reason));
    EXPECT_NE(strstr(refused.reason.text, "too large"), nullptr) << refused.reason.text;
    EXPECT_EQ(refused.bitmap.pixels, nullptr);
}

// Strange things named x.jpg: none may hang, crash or be read without end.
TEST(Decode, OnlyRegularFilesOfSaneSizeAreRead) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir / "folder.jpg").c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "device.jpg").c_str()), 0);
    ASSERT_EQ(symlink("loop2.jpg", (dir / "loop1.jpg").c_str()), 0);
    ASSERT_EQ(symlink("loop1.jpg", (dir / "loop2.jpg").c_str()), 0);
    const int fd = open((dir / "huge.jpg").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "\xFF\xD8\xFF", 3), 3);
    ASSERT_EQ(ftruncate(fd, off_t(kMaxPictureFileBytes) + 1), 0);  // sparse
    close(fd);
    for (const char* name :
         {"fifo.jpg", "folder.jpg", "device.jpg", "loop1.jpg", "huge.jpg", "missing.jpg"}) {
        Decoded d;
        EXPECT_FALSE(d.From(dir / name)) << name;
        EXPECT_NE(d.reason.text[0], '\0') << name;
    }
}

// ---------------------------------------------------------------- WebP and SVG

// A pixel of a decoded bitmap as R, G, B, A (A 255 for 24-bit pictures).
std::vector<int> PixelAt(const PictureBitmap& b, uint32_t x, uint32_t y) {
    const uint8_t* p = b.pixels + size_t(y) * b.bytesPerRow + size_t(x) * (b.bitsPerPixel / 8);
    return {p[0], p[1], p[2], b.bitsPerPixel == 32 ? p[3] : 255};
}

bool DecodeText(const std::string& text, Decoded* d) {
    return DecodePictureMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                               &d->bitmap, &d->reason);
}

// gzip around one stored (uncompressed) deflate block, as a .svgz holds.
Bytes Gzip(const std::string& text) {
    Bytes gz = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0xFF, 0x01};
    const uint16_t n = uint16_t(text.size());
    gz.insert(gz.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
    gz.insert(gz.end(), text.begin(), text.end());
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : text) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    for (uint32_t v : {crc, uint32_t(text.size())})
        for (int k = 0; k < 4; ++k)
            gz.push_back(uint8_t(v >> (8 * k)));
    return gz;
}

// Undoes SetVectorPictureSize at the end of each test.
class Vector : public ::testing::Test {
   protected:
    void TearDown() override { SetVectorPictureSize(0, 0); }
};

TEST(Webp, AnimationGivesItsFirstFrame) {
    TempDir dir;
    const Bytes red(6 * 4 * 4, 0), blue(6 * 4 * 4, 0);
    Bytes first = red, second = blue;
    for (size_t i = 0; i < first.size(); i += 4) {
        first[i] = 255, first[i + 3] = 255;
        second[i + 2] = 255, second[i + 3] = 255;
    }
    const uint8_t* frames[] = {first.data(), second.data()};
    ASSERT_TRUE(WriteWebpAnimationFile((dir / "anim").c_str(), frames, 2, 6, 4));
    Decoded d;
    ASSERT_TRUE(d.From(dir / "anim")) << d.reason.text;
    EXPECT_EQ(d.bitmap.bitsPerPixel, 32u);
    EXPECT_EQ(d.bitmap.pixelsWide, 6u);
    EXPECT_EQ(d.bitmap.pixelsHigh, 4u);
    EXPECT_EQ(PixelAt(d.bitmap, 5, 3), (std::vector<int>{255, 0, 0, 255}));
}

TEST(Webp, DamagedFilesGiveAReason) {
    TempDir dir;
    const Bytes rgb = Noise(40, 30, 3);
    ASSERT_TRUE(WriteWebpFile((dir / "w").c_str(), rgb.data(), 40, 30, false));
    const Bytes whole = ReadBytes(dir / "w");
    Bytes scribbled = whole;
    for (size_t i = 30; i < scribbled.size(); i += 3)
        scribbled[i] ^= 0x5A;
    const Bytes header = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'};
    std::vector<Bytes> bad = {header, scribbled};
    for (double part : {0.2, 0.5, 0.9})
        bad.emplace_back(whole.begin(), whole.begin() + long(whole.size() * part));
    for (const Bytes& data : bad) {
        Decoded d;
        EXPECT_FALSE(DecodePictureMemory(data.data(), data.size(), &d.bitmap, &d.reason));
        EXPECT_EQ(strncmp(d.reason.text, "WebP: ", 6), 0) << d.reason.text;
        EXPECT_EQ(d.bitmap.pixels, nullptr);
    }
}

// Red left half, blue right half, 40 x 20 of its own.
const char kHalves[] =
    "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20'>"
    "<rect width='20' height='20' fill='#ff0000'/>"
    "<rect x='20' width='20' height='20' fill='#0000ff'/></svg>";

TEST_F(Vector, SvgKeepsItsProportionsAndCoversTheSetSize) {
    struct Case {
        uint32_t setWide, setHigh, wide, high;
    } cases[] = {{80, 30, 80, 40}, {30, 60, 120, 60}, {40, 20, 40, 20}, {0, 0, 2160, 1080}};
    for (const Case& c : cases) {
        SetVectorPictureSize(c.setWide, c.setHigh);
        Decoded d;
        ASSERT_TRUE(DecodeText(kHalves, &d)) << d.reason.text;
        EXPECT_EQ(d.bitmap.bitsPerPixel, 24u);
        EXPECT_EQ(d.bitmap.pixelsWide, c.wide);
        EXPECT_EQ(d.bitmap.pixelsHigh, c.high);
        EXPECT_EQ(PixelAt(d.bitmap, 0, 0), (std::vector<int>{255, 0, 0, 255}));
        EXPECT_EQ(PixelAt(d.bitmap, c.wide / 2 - 1, c.high - 1),
                  (std::vector<int>{255, 0, 0, 255}));
        EXPECT_EQ(PixelAt(d.bitmap, c.wide / 2, 0), (std::vector<int>{0, 0, 255, 255}));
    }
}

TEST_F(Vector, SvgIsKnownByItsTextAndMayBeGzipped) {
    SetVectorPictureSize(40, 20);
    const std::string withDeclaration =
        "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n" + std::string(kHalves);
    const std::string afterSpace = " \n\t" + std::string(kHalves);
    const std::string viewBoxOnly =
        "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 5'>"
        "<rect width='5' height='5' fill='#ff0000'/><rect x='5' width='5' height='5' "
        "fill='#0000ff'/></svg>";
    const Bytes svgz = Gzip(kHalves);
    const std::string gzipped(svgz.begin(), svgz.end());
    for (const std::string* text : {&withDeclaration, &afterSpace, &viewBoxOnly, &gzipped}) {
        Decoded d;
        ASSERT_TRUE(DecodeText(*text, &d)) << d.reason.text;
        EXPECT_EQ(d.bitmap.pixelsWide, 40u);
        EXPECT_EQ(d.bitmap.pixelsHigh, 20u);
        EXPECT_EQ(PixelAt(d.bitmap, 19, 10), (std::vector<int>{255, 0, 0, 255}));
        EXPECT_EQ(PixelAt(d.bitmap, 20, 10), (std::vector<int>{0, 0, 255, 255}));
    }
}

TEST_F(Vector, TransparentSvgKeepsItsAlphaUnpremultiplied) {
    SetVectorPictureSize(20, 10);
    Decoded d;
    ASSERT_TRUE(
        DecodeText("<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'>"
                   "<rect width='10' height='10' fill='#ff8000' fill-opacity='0.5'/></svg>",
                   &d))
        << d.reason.text;
    ASSERT_EQ(d.bitmap.bitsPerPixel, 32u);
    EXPECT_EQ(d.bitmap.bytesPerRow, 80u);
    const std::vector<int> half = PixelAt(d.bitmap, 2, 2);
    EXPECT_NEAR(half[0], 255, 2);
    EXPECT_NEAR(half[1], 128, 2);
    EXPECT_EQ(half[2], 0);
    EXPECT_NEAR(half[3], 128, 1);
    EXPECT_EQ(PixelAt(d.bitmap, 15, 5), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(Vector, DamagedOrHostileSvgGivesAReason) {
    const Bytes junkGzip = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x07, 0x07};
    const struct {
        std::string text, reason;
    } cases[] = {
        {"<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><rect", "SVG: "},
        {"<?xml version='1.0'?><background><static/></background>", "SVG: "},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='1' height='100000'/>", "too extreme"},
        {std::string(junkGzip.begin(), junkGzip.end()), "SVG: "},
    };
    for (const auto& c : cases) {
        Decoded d;
        EXPECT_FALSE(DecodeText(c.text, &d)) << c.text;
        EXPECT_NE(strstr(d.reason.text, c.reason.c_str()), nullptr) << d.reason.text;
        EXPECT_EQ(d.bitmap.pixels, nullptr);
    }
}

// An SVG may name other files; none is read, so the picture shows only what
// it holds itself.
TEST_F(Vector, SvgReadsNoOtherFile) {
    TempDir dir;
    const Bytes white(8 * 8 * 3, 255);
    const std::string png = WriteRgbPng(dir, "white.png", 8, 8, white);
    SetVectorPictureSize(8, 8);
    Decoded d;
    const bool decoded = DecodeText(
        "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
        "width='8' height='8'><image width='8' height='8' xlink:href='file://" +
            png + "'/></svg>",
        &d);
    if (decoded) {
        EXPECT_EQ(PixelAt(d.bitmap, 4, 4)[3], 0);
    }
}

// The fixed fallback picture ships with the saver and must always load.
TEST(FallbackPicture, DecodesAtFullHdSize) {
    Decoded d;
    ASSERT_TRUE(d.From(std::string(KINDORA_DATA_DIR) + "/fallback.jpg")) << d.reason.text;
    EXPECT_EQ(d.bitmap.pixelsWide, 1920u);
    EXPECT_EQ(d.bitmap.pixelsHigh, 1080u);
}

// ---------------------------------------------------------------- loader

// Stand-in decoder handing out a prepared bitmap, for sizes and layouts no
// file needs to hold.
struct FakePicture {
    uint32_t bitsPerPixel = 24;
    size_t bytesPerRow = 0;
    uint32_t wide = 0, high = 0;
    Bytes pixels;
    int calls = 0;
};
FakePicture fake;

bool FakeDecode(const char*, PictureBitmap* out, PictureReason*) {
    ++fake.calls;
    uint8_t* copy = static_cast<uint8_t*>(malloc(fake.pixels.size()));
    memcpy(copy, fake.pixels.data(), fake.pixels.size());
    *out = {fake.bitsPerPixel, fake.bytesPerRow, fake.wide, fake.high, copy};
    return true;
}

void UseFake(uint32_t wide, uint32_t high, uint32_t bitsPerPixel, Bytes pixels,
             size_t bytesPerRow = 0) {
    fake = FakePicture{};
    fake.bitsPerPixel = bitsPerPixel;
    fake.wide = wide;
    fake.high = high;
    fake.bytesPerRow = bytesPerRow ? bytesPerRow : size_t(wide) * bitsPerPixel / 8;
    fake.pixels = pixels.empty() ? Bytes(fake.bytesPerRow * high, 90) : std::move(pixels);
    SetPictureDecoder(FakeDecode);
}

class Loader : public ::testing::Test {
   protected:
    void SetUp() override { InstallPlatformPictureDecoder(); }
    void TearDown() override {
        delete[] copy;
        InstallPlatformPictureDecoder();
    }
    Texture texture;
    uint8_t* copy = nullptr;
};

struct TexImage {
    GLint wide = 0, high = 0;
    Bytes rgba;
};

TexImage ReadTexture(GLuint name) {
    TexImage image;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.wide);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.high);
    image.rgba.resize(size_t(image.wide) * image.high * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
    return image;
}

GLint MaxTextureSize() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

// ---------------------------------------------------------------- box filter

// Noise with runs of 0 and 255, where GLU's rounding sits closest to a step.
Bytes HardPixels(uint32_t w, uint32_t h, int components, uint32_t seed) {
    Bytes pixels = Noise(w, h, components, seed);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t run = uint32_t(i / 97) * 2654435761u;
        if (run >> 30 == 0) pixels[i] = 255;
        if (run >> 30 == 1) pixels[i] = 0;
    }
    return pixels;
}

Bytes GluScaled(const Bytes& in, uint32_t inW, uint32_t inH, int components, uint32_t outW,
                uint32_t outH) {
    Bytes out(size_t(outW) * outH * components, 0xA5);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    EXPECT_EQ(
        gluScaleImage(components == 4 ? GL_RGBA : GL_RGB, GLint(inW), GLint(inH), GL_UNSIGNED_BYTE,
                      in.data(), GLint(outW), GLint(outH), GL_UNSIGNED_BYTE, out.data()),
        0);
    glPopClientAttrib();
    return out;
}

struct ScaleCase {
    uint32_t inW, inH, outW, outH;
};

// Our filter against GLU on the same pixels: every byte the same.
void ExpectGluBytes(const ScaleCase& c, int components, uint32_t seed) {
    const Bytes in = HardPixels(c.inW, c.inH, components, seed);
    const Bytes expected = GluScaled(in, c.inW, c.inH, components, c.outW, c.outH);
    Bytes ours(expected.size(), 0x5A);
    ASSERT_TRUE(BoxFilterScale(in.data(), c.inW, c.inH, components, ours.data(), c.outW, c.outH));
    size_t wrong = 0, first = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] != expected[i] && wrong++ == 0) first = i;
    }
    EXPECT_EQ(wrong, 0u) << c.inW << "x" << c.inH << " to " << c.outW << "x" << c.outH << ", "
                         << components << " components; first at pixel " << first / components
                         << " component " << first % components << ": " << int(ours[first])
                         << " for GLU's " << int(expected[first]);
}

TEST(BoxFilter, GivesGlusBytesOnTheSizesInUse) {
    REQUIRE_GL();
    const ScaleCase cases[] = {
        // shrinking by whole numbers, the fire copies of power-of-two textures among them
        {4096, 2048, 256, 256},
        {2048, 1024, 256, 256},
        {2048, 1024, 512, 512},
        {1024, 1024, 128, 128},
        {64, 48, 16, 16},
        {30, 20, 10, 10},
        {7, 5, 7, 1},
        {9, 9, 3, 3},
        // both sides halved, and one side only
        {512, 512, 256, 256},
        {18, 14, 9, 7},
        {2, 2, 1, 1},
        {512, 256, 256, 256},
        // whole numbers with boxes too large for exact integer sums
        {4096, 2048, 128, 128},
        {512, 512, 16, 16},
        {16, 512, 1, 2},
        {300, 200, 1, 1},
        // shrinking by fractions: screens to power-of-two textures
        {1920, 1080, 1024, 512},
        {1366, 768, 256, 256},
        {1000, 700, 512, 512},
        {13, 11, 4, 3},
        // enlarging, alone or beside shrinking: the 1080p capture to its texture
        {1920, 1080, 2048, 1024},
        {640, 480, 1024, 512},
        {3, 2, 256, 256},
        {100, 100, 128, 128},
        {128, 128, 512, 512},
        {5, 7, 13, 11},
        {4096, 64, 256, 256},
        {64, 4096, 256, 256},
        // same size and single pixels
        {33, 17, 33, 17},
        {1, 1, 5, 3},
        {5, 1, 1, 1},
        {1, 9, 1, 2}};
    uint32_t seed = 1;
    for (const ScaleCase& c : cases) {
        for (int components : {3, 4})
            ExpectGluBytes(c, components, ++seed);
    }
}

TEST(BoxFilter, GivesGlusBytesOnRandomSizes) {
    REQUIRE_GL();
    uint32_t seed = 2024;
    auto next = [&](uint32_t limit) {
        seed = seed * 1664525u + 1013904223u;
        return 1 + (seed >> 8) % limit;
    };
    for (int n = 0; n < 240; ++n) {
        ScaleCase c{next(260), next(260), next(260), next(260)};
        if (n % 3 == 0) {  // a whole-number shrink
            c.outW = next(40);
            c.outH = next(40);
            c.inW = c.outW * next(12);
            c.inH = c.outH * next(12);
        }
        // Both forms of the sums, by turns.
        UseWidePictureForms(n % 4 < 2);
        ExpectGluBytes(c, n % 2 ? 3 : 4, seed);
    }
    UseWidePictureForms(true);
}

TEST(BoxFilter, LeavesToGluWhatItDoesNotCover) {
    const Bytes in(64 * 4, 9);
    Bytes out(64 * 4, 7);
    EXPECT_FALSE(BoxFilterScale(in.data(), 8, 8, 1, out.data(), 4, 4));
    EXPECT_FALSE(BoxFilterScale(in.data(), 8, 8, 2, out.data(), 4, 4));
    EXPECT_FALSE(BoxFilterScale(in.data(), 0, 8, 4, out.data(), 4, 4));
    EXPECT_FALSE(BoxFilterScale(in.data(), 8, 8, 4, out.data(), 4, 0));
    EXPECT_FALSE(BoxFilterScale(nullptr, 8, 8, 4, out.data(), 4, 4));
    EXPECT_FALSE(BoxFilterScale(in.data(), kBoxFilterMaxSide + 1, 1, 4, out.data(), 4, 4));
    EXPECT_EQ(out, Bytes(64 * 4, 7));
}

TEST(TextureSize, RoundsToTheNearestPowerOfTwoOnALogScale) {
    const struct {
        uint32_t pixels, maxSide, side;
    } cases[] = {{724, 16384, 512},  {725, 16384, 1024}, {1448, 16384, 1024}, {1449, 16384, 2048},
                 {1449, 1024, 1024}, {1, 16384, 1},      {3, 16384, 4},       {16384, 16384, 16384},
                 {1600, 4096, 2048}, {1200, 4096, 1024}};
    for (const auto& c : cases)
        EXPECT_EQ(TextureSideFor(c.pixels, c.maxSide), c.side) << c.pixels;
}

TEST(TextureSize, TheMaximumLimitsOnlyThePicturesOwnSize) {
    uint32_t w = 0, h = 0;
    PictureTextureSize(0, 3000, 2000, 256, &w, &h);
    EXPECT_EQ(w, 512u);
    EXPECT_EQ(h, 512u);
    PictureTextureSize(1, 3000, 2000, 256, &w, &h);
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(h, 1024u);
    for (int choice : {2, -1, 7}) {
        PictureTextureSize(choice, 1449, 725, 1024, &w, &h);
        EXPECT_EQ(w, 1024u);
        EXPECT_EQ(h, 1024u);
    }
}

TEST_F(Loader, TextureSizesFollowTheChoice) {
    REQUIRE_GL();
    const uint32_t maxSide = uint32_t(MaxTextureSize());
    const struct {
        int choice;
        uint32_t wide, high, texWide, texHigh;
    } cases[] = {{2, 724, 3, 512, 4},         {2, 725, 3, 1024, 4},
                 {2, 1448, 1, 1024, 1},       {2, 1449, 1, 2048, 1},
                 {2, 1600, 1200, 2048, 1024}, {0, 3000, 2000, 512, 512},
                 {1, 3000, 2000, 1024, 1024}, {-1, 5, 1449, 4, 2048}};
    for (const auto& c : cases) {
        UseFake(c.wide, c.high, 24, {});
        Texture t;
        uint8_t* scaled = nullptr;
        ASSERT_TRUE(loadPicFile("fake", &t, c.choice, &scaled, 1));
        delete[] scaled;
        EXPECT_EQ(t.width, c.wide);
        EXPECT_EQ(t.height, c.high);
        EXPECT_NE(t.texID, 0u);
        EXPECT_EQ(t.imageData, nullptr);
        const TexImage image = ReadTexture(t.texID);
        const bool own = c.choice != 0 && c.choice != 1;
        EXPECT_EQ(uint32_t(image.wide), own ? std::min(c.texWide, maxSide) : c.texWide) << c.wide;
        EXPECT_EQ(uint32_t(image.high), own ? std::min(c.texHigh, maxSide) : c.texHigh) << c.high;
    }
}

TEST_F(Loader, A512PictureIsCopiedTexelForTexelWithItsRowsReversed) {
    REQUIRE_GL();
    TempDir dir;
    for (int components : {3, 4}) {
        const Bytes pixels = Noise(512, 512, components, uint32_t(components));
        const std::string path = dir / "noise.png";
        ASSERT_TRUE(WritePngFile(path.c_str(), pixels.data(), 512, 512,
                                 components == 4 ? PngLayout::kRgba : PngLayout::kRgb));
        Texture t;
        uint8_t* scaled = nullptr;
        ASSERT_TRUE(loadPicFile(path.c_str(), &t, 0, &scaled, 2));
        EXPECT_EQ(t.type, components == 4 ? GLenum(GL_RGBA) : GLenum(GL_RGB));
        const TexImage image = ReadTexture(t.texID);
        ASSERT_EQ(image.wide, 512);
        ASSERT_EQ(image.high, 512);
        int wrong = 0;
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) {
                const uint8_t* texel = &image.rgba[(size_t(y) * 512 + x) * 4];
                const uint8_t* source = &pixels[(size_t(511 - y) * 512 + x) * components];
                wrong += memcmp(texel, source, 3) != 0 || texel[3] != 255;
                // The fire's copy at the same size holds the same bottom-up picture.
                wrong += memcmp(scaled + (size_t(y) * 512 + x) * 4, texel, 4) != 0;
            }
        }
        EXPECT_EQ(wrong, 0) << components << " bytes a pixel";
        delete[] scaled;
    }
}

// A 4 x 2 picture enlarged to 512: texture column x shows column x / 128 and
// row y shows picture row 1 - y / 256. A 1024 x 1024 picture shrunk to 512
// shows the even columns and rows: texture row y holds picture row
// 2 * (511 - y).
TEST_F(Loader, NearestNeighbourRepeatsOrSkipsSourcePixels) {
    REQUIRE_GL();
    const Bytes small = Noise(4, 2, 4, 5);
    UseFake(4, 2, 32, small);
    ASSERT_TRUE(loadPicFile("fake", &texture, 0, &copy, 1));
    TexImage image = ReadTexture(texture.texID);
    int wrong = 0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            wrong += memcmp(&image.rgba[(size_t(y) * 512 + x) * 4],
                            &small[(size_t(1 - y / 256) * 4 + x / 128) * 4], 3) != 0;
        }
    }
    EXPECT_EQ(wrong, 0);

    const Bytes large = Noise(1024, 1024, 3, 6);
    UseFake(1024, 1024, 24, large);
    Texture shrunk;
    uint8_t* scaled = nullptr;
    ASSERT_TRUE(loadPicFile("fake", &shrunk, 0, &scaled, 1));
    delete[] scaled;
    image = ReadTexture(shrunk.texID);
    wrong = 0;
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            wrong += memcmp(&image.rgba[(size_t(y) * 512 + x) * 4],
                            &large[(size_t(1022 - 2 * y) * 1024 + 2 * x) * 3], 3) != 0;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Three-byte pixels in rows without padding, the buffer ending at the last
// pixel: every texel, the last column's too, is its pixel with an opaque alpha.
TEST_F(Loader, ThreeBytePixelsToTheLastAreCopiedWithAnOpaqueAlpha) {
    REQUIRE_GL();
    const uint32_t w = 5, h = 3;
    const Bytes small = Noise(w, h, 3, 7);
    ASSERT_EQ(small.size(), size_t(w) * h * 3);
    UseFake(w, h, 24, small);
    ASSERT_TRUE(loadPicFile("fake", &texture, 0, &copy, 1));
    const TexImage image = ReadTexture(texture.texID);
    ASSERT_EQ(image.rgba.size(), size_t(512) * 512 * 4);
    int wrong = 0;
    for (int y = 0; y < 512; ++y) {
        const uint32_t row = std::min(h - 1, uint32_t(float(511 - y) * (float(h) / 512.0f)));
        for (int x = 0; x < 512; ++x) {
            const uint32_t column = std::min(w - 1, uint32_t(float(x) * (float(w) / 512.0f)));
            const uint8_t* texel = &image.rgba[(size_t(y) * 512 + x) * 4];
            wrong +=
                memcmp(texel, &small[(size_t(row) * w + column) * 3], 3) != 0 || texel[3] != 255;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The padding at the end of each decoded row is never read into the texture.
TEST_F(Loader, RowPaddingIsSkipped) {
    REQUIRE_GL();
    const uint32_t w = 3, h = 2, stride = 16;
    Bytes pixels(stride * h, 0xEE);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w * 4; ++x)
            pixels[y * stride + x] = uint8_t(40 * y + x);
    }
    UseFake(w, h, 32, pixels, stride);
    ASSERT_TRUE(loadPicFile("fake", &texture, 0, &copy, 0));
    const TexImage image = ReadTexture(texture.texID);
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        ASSERT_NE(image.rgba[i], 0xEE) << "texel " << i / 4;
        ASSERT_EQ(image.rgba[i + 3], 255);
    }
}

TEST_F(Loader, FireCopySidesFollowTheFireResolution) {
    REQUIRE_GL();
    const struct {
        int fireRes, side;
    } cases[] = {{0, 128}, {1, 256}, {2, 512}, {3, 256}, {-1, 256}};
    for (uint32_t bits : {24u, 32u}) {
        Bytes pixels;
        for (int i = 0; i < 300 * 200; ++i) {
            pixels.insert(pixels.end(), {30, 60, 90});
            if (bits == 32) pixels.push_back(7);
        }
        UseFake(300, 200, bits, pixels);
        for (const auto& c : cases) {
            EXPECT_EQ(FireSideFor(c.fireRes), c.side);
            Texture t;
            uint8_t* scaled = nullptr;
            ASSERT_TRUE(loadPicFile("fake", &t, 2, &scaled, c.fireRes));
            ASSERT_NE(scaled, nullptr);
            // Every one of side x side x 4 bytes is read: a shorter array trips the sanitizer.
            int wrong = 0;
            for (int i = 0; i < c.side * c.side; ++i) {
                const uint8_t* p = scaled + 4 * i;
                wrong += p[0] != 30 || p[1] != 60 || p[2] != 90 || p[3] != 255;
            }
            EXPECT_EQ(wrong, 0) << bits << " bits, fireRes " << c.fireRes;
            delete[] scaled;
        }
    }
}

TEST_F(Loader, FireCopyKeepsTheBottomRowFirst) {
    REQUIRE_GL();
    Bytes pixels;  // top half red, bottom half blue
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x)
            pixels.insert(pixels.end(), {uint8_t(y < 32 ? 255 : 0), 0, uint8_t(y < 32 ? 0 : 255)});
    }
    UseFake(64, 64, 24, pixels);
    ASSERT_TRUE(loadPicFile("fake", &texture, 0, &copy, 0));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[2], 255);  // first row: the picture's bottom, blue
    EXPECT_EQ(copy[0], 0);
    EXPECT_EQ(copy[(127 * 128) * 4 + 0], 255);  // last row: red
}

// The texture read back is the picture resampled by the nearest-neighbour
// rule worked out here, and the fire copy is gluScaleImage of that texture,
// byte for byte: for copies made band by band as the rows are made (whole
// shrinks: exact sums, large boxes, halving) and for those made from the
// whole image (enlarging on a side).
TEST_F(Loader, TextureAndFireCopyAreTheResamplingAndGlusScaling) {
    REQUIRE_GL();
    const struct {
        uint32_t wide, high, bits;
        int choice, fireRes;
    } cases[] = {{3840, 2160, 24, 2, 1}, {1600, 1200, 32, 2, 0}, {3000, 2000, 24, 2, 0},
                 {4, 2, 24, 0, 1},       {300, 200, 32, 2, 2},   {1000, 10, 24, 2, 1},
                 {513, 77, 32, 1, 2}};
    for (const auto& c : cases) {
        for (bool wide : {true, false}) {
            UseWidePictureForms(wide);
            const int bytes = int(c.bits / 8);
            const Bytes pixels = HardPixels(c.wide, c.high, bytes, c.wide + c.high);
            UseFake(c.wide, c.high, c.bits, pixels);
            Texture t;
            uint8_t* scaled = nullptr;
            ASSERT_TRUE(loadPicFile("fake", &t, c.choice, &scaled, c.fireRes));
            ASSERT_NE(scaled, nullptr);
            const TexImage image = ReadTexture(t.texID);
            const uint32_t tw = uint32_t(image.wide), th = uint32_t(image.high);
            const float sx = float(c.wide) / float(tw), sy = float(c.high) / float(th);
            Bytes expected(size_t(tw) * th * 4);
            for (uint32_t y = 0; y < th; ++y) {
                const uint32_t cy = std::min(uint32_t(float(y) * sy), c.high - 1);
                for (uint32_t x = 0; x < tw; ++x) {
                    const uint32_t cx = std::min(uint32_t(float(x) * sx), c.wide - 1);
                    uint8_t* texel = &expected[(size_t(th - 1 - y) * tw + x) * 4];
                    memcpy(texel, &pixels[(size_t(cy) * c.wide + cx) * bytes], 3);
                    texel[3] = 255;
                }
            }
            EXPECT_TRUE(image.rgba == expected) << c.wide << "x" << c.high << " wide " << wide;
            const uint32_t side = uint32_t(FireSideFor(c.fireRes));
            const Bytes copy = GluScaled(expected, tw, th, 4, side, side);
            EXPECT_EQ(memcmp(scaled, copy.data(), copy.size()), 0) << c.wide << "x" << c.high;
            delete[] scaled;
        }
    }
    UseWidePictureForms(true);
}

TEST_F(Loader, FailureLeavesRecordAndCopyUntouched) {
    REQUIRE_GL();
    TempDir dir;
    WriteBytes(dir / "damaged.jpg", {0xFF, 0xD8, 0xFF, 0xDB, 0, 3, 1});
    uint8_t marker = 0;
    uint8_t* const sentinel = &marker;
    Texture t;
    t.imageData = static_cast<uint8_t*>(malloc(4));
    uint8_t* const data = t.imageData;
    t.bpp = 7, t.width = 11, t.height = 13, t.type = 17;
    for (const std::string& path : {dir / "missing.jpg", dir / "damaged.jpg", dir.path}) {
        uint8_t* scaled = sentinel;
        PictureReason reason;
        EXPECT_FALSE(LoadPicFileWithReason(path.c_str(), &t, 2, &scaled, 1, &reason));
        EXPECT_NE(reason.text[0], '\0');
        EXPECT_EQ(scaled, sentinel);
        EXPECT_EQ(t.imageData, data);
        EXPECT_EQ(t.bpp, 7u);
        EXPECT_EQ(t.width, 11u);
        EXPECT_EQ(t.height, 13u);
        EXPECT_EQ(t.texID, 0u);
        EXPECT_EQ(t.type, 17u);
    }
    UseFake(8, 8, 16, Bytes(128, 1));  // a depth the loader does not take
    uint8_t* scaled = sentinel;
    EXPECT_FALSE(loadPicFile("fake", &t, 2, &scaled, 1));
    EXPECT_EQ(scaled, sentinel);
    EXPECT_EQ(t.width, 11u);
    SetPictureDecoder(nullptr);
    EXPECT_FALSE(loadPicFile("fake", &t, 2, &scaled, 1));
    EXPECT_EQ(t.imageData, data);
}

// ---------------------------------------------------------------- folders

void Touch(const std::string& path) {
    WriteBytes(path, {'x'});
}

std::vector<std::string> ListingOrder(const std::string& folder, const char* ext) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    while (const dirent* e = d ? readdir(d) : nullptr) {
        if (NameHasExtension(e->d_name, ext)) names.push_back(e->d_name);
    }
    if (d) closedir(d);
    return names;
}

TEST(Folder, ExtensionsMatchByLowerCasedName) {
    const struct {
        const char* name;
        const char* ext;
        bool match;
    } cases[] = {
        {"A.JPG", ".jpg", true},         {"x.Png", ".png", true},      {".jpg", ".jpg", false},
        {"c.jpeg", ".jpg", false},       {"d.gif.txt", ".gif", false}, {"jpg", ".jpg", false},
        {"\xC9t\xFF.JPG", ".jpg", true}, {"a.jpg ", ".jpg", false},    {"a.JPG", ".JPG", false}};
    for (const auto& c : cases)
        EXPECT_EQ(NameHasExtension(c.name, c.ext), c.match) << c.name;
}

// No file system holds a name too long for the match's lower-cased copy; one
// handed in anyway is judged by nothing, not by the copy's cut end. The saved
// input is the fuzzer's, a name of 1026 high-bit bytes.
TEST(Folder, NamesLongerThanTheLowerCasedCopyMatchNothing) {
    const std::string stem(kLowerCopyBuffer - 5, 'a');
    EXPECT_TRUE(NameHasExtension((stem + ".jpg").c_str(), ".jpg"));      // 1023 bytes: fits
    EXPECT_FALSE(NameHasExtension((stem + "a.jpg").c_str(), ".jpg"));    // 1024: does not
    EXPECT_FALSE(NameHasExtension((stem + ".jpgxyz").c_str(), ".jpg"));  // cut end would match

    FILE* f = fopen(KINDORA_TEST_DATA "/name-longer-than-the-lower-case-copy.bin", "rb");
    ASSERT_NE(f, nullptr);
    std::string input;
    for (int c; (c = fgetc(f)) != EOF;)
        input += char(c);
    fclose(f);
    const std::string name = input.substr(input.find('\0') + 1).c_str();
    ASSERT_GE(name.size(), kLowerCopyBuffer);
    for (const char* ext : kPictureExtensions)
        EXPECT_FALSE(NameHasExtension(name.c_str(), ext));
}

TEST(Folder, CountsAndFindsAcceptedNames) {
    TempDir dir;
    for (const char* name : {"A.JPG", "b.png", "c.jpeg", "d.gif.txt", ".jpg"})
        Touch(dir / name);
    EXPECT_EQ(CountFiles(dir.path.c_str(), ".jpg"), 1);
    EXPECT_EQ(CountFiles(dir.path.c_str(), ".gif"), 0);
    EXPECT_EQ(CountFiles(dir.path.c_str(), ".png"), 1);
    char name[kPictureNameBuffer] = "";
    ASSERT_TRUE(FindNthFile(dir.path.c_str(), name, ".jpg", 0));
    EXPECT_STREQ(name, "A.JPG");
    EXPECT_FALSE(FindNthFile(dir.path.c_str(), name, ".jpg", 1));  // n equal to the count
    EXPECT_FALSE(FindNthFile(dir.path.c_str(), name, ".jpg", -1));
    EXPECT_FALSE(FindNthFile(dir.path.c_str(), name, ".gif", 0));
    EXPECT_EQ(CountFiles((dir / "none").c_str(), ".jpg"), 0);
    EXPECT_FALSE(FindNthFile((dir / "none").c_str(), name, ".jpg", 0));

    Touch(dir / "\xC9t\xFF.JPG");  // bytes above 127 keep their values
    ASSERT_EQ(CountFiles(dir.path.c_str(), ".jpg"), 2);
    const auto names = ListingOrder(dir.path, ".jpg");
    for (int n = 0; n < 2; ++n) {
        ASSERT_TRUE(FindNthFile(dir.path.c_str(), name, ".jpg", n));
        EXPECT_EQ(name, names[n]);
    }
}

TEST(Folder, DrawMapsToExtensionAndIndex) {
    const struct {
        int32_t jpg, gif, r;
        const char* ext;
        int32_t index;
    } cases[] = {{2, 0, 0, ".jpg", 0}, {2, 0, 1, ".jpg", 1}, {2, 0, 2, ".png", 0},
                 {2, 0, 3, ".png", 1}, {2, 0, 4, ".png", 2}, {1, 2, 1, ".gif", 0},
                 {1, 2, 2, ".gif", 1}, {1, 2, 3, ".png", 0}, {0, 0, 0, ".png", 0}};
    for (const auto& c : cases) {
        const char* ext = nullptr;
        int32_t index = -1;
        ExtensionForDraw(c.jpg, c.gif, c.r, &ext, &index);
        EXPECT_STREQ(ext, c.ext) << c.r;
        EXPECT_EQ(index, c.index) << c.r;
    }
}

// Over folders in memory, whose listing order is known.
TEST(Folder, RandomChoiceFollowsTheDraw) {
    MEMORYFOLDERS memory;
    memory.folders["/p"] = {"a.png", "one.jpg", "skip.bmp", "b.PNG", "TWO.JPG", "c.png"};
    memory.folders["/empty"] = {"x.bmp"};
    SetFolderReader(MemoryFolderReader(&memory));
    const char* const expected[5] = {"one.jpg", "TWO.JPG", "a.png", "b.PNG", "c.png"};
    bool seen[5] = {};
    for (unsigned seed = 1; seed < 200; ++seed) {
        srand(seed);
        const int r = rand() % 5;
        seen[r] = true;
        srand(seed);
        char name[kPictureNameBuffer] = "";
        ASSERT_TRUE(ChooseRandomImageFile("/p", name));
        EXPECT_STREQ(name, expected[r]) << "r = " << r;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3] && seen[4]);
    char name[kPictureNameBuffer] = "";
    EXPECT_FALSE(ChooseRandomImageFile("/empty", name));
    EXPECT_FALSE(ChooseRandomImageFile("/missing", name));
    EXPECT_EQ(memory.openListings, 0);

    Texture texture;
    PictureReason reason;
    EXPECT_FALSE(LoadPictureWithReason("/missing", &texture, 0, nullptr, 1, nullptr, &reason));
    EXPECT_STREQ(reason.text, "cannot open the folder (No such file or directory)");
    EXPECT_FALSE(LoadPictureWithReason("/empty", &texture, 0, nullptr, 1, nullptr, &reason));
    EXPECT_STREQ(reason.text, "no .jpg, .gif or .png file in the folder");
    SetFolderReader(FOLDERREADER());
    EXPECT_FALSE(ChooseRandomImageFile("/p", name));
    EXPECT_FALSE(LoadPictureWithReason("/p", &texture, 0, nullptr, 1, nullptr, &reason));
    EXPECT_STREQ(reason.text, "cannot open the folder (no folder reader installed)");
    InstallPosixServices();
}

TEST(Folder, JoinAddsASeparatorOnlyWhereNeeded) {
    const struct {
        const char* folder;
        const char* joined;
    } cases[] = {{"/Users/x/Pictures", "/Users/x/Pictures/A.JPG"},
                 {"/Users/x/Pictures/", "/Users/x/Pictures/A.JPG"},
                 {"/", "/A.JPG"},
                 {"ab", "abA.JPG"},
                 {"abc", "abc/A.JPG"},
                 {"/x//", "/x//A.JPG"}};
    char out[kJoinedPathChars + 1];
    for (const auto& c : cases) {
        ASSERT_TRUE(JoinFolderAndName(c.folder, "A.JPG", out));
        EXPECT_STREQ(out, c.joined);
    }
    // The joined path holds at most 1024 characters.
    const std::string folder(1000, 'f');
    const std::string fits(1024 - 1001, 'n'), tooLong(1024 - 1000, 'n');
    EXPECT_TRUE(JoinFolderAndName(folder.c_str(), fits.c_str(), out));
    EXPECT_EQ(strlen(out), 1024u);
    EXPECT_FALSE(JoinFolderAndName(folder.c_str(), tooLong.c_str(), out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(JoinFolderAndName(std::string(1023, '/').c_str(), "A.JPG", out));
}

class FolderLoad : public Loader {};

TEST_F(FolderLoad, LoadsTheChosenFileKeepingItsCase) {
    REQUIRE_GL();
    TempDir dir;
    WriteRgbPng(dir, "A.PNG", 40, 30, Gradient(40, 30, 3));
    char chosen[kJoinedPathChars + 1];
    PictureReason reason;
    ASSERT_TRUE(LoadPictureWithReason(dir.path.c_str(), &texture, 2, &copy, 0, chosen, &reason))
        << reason.text;
    EXPECT_EQ(std::string(chosen), dir / "A.PNG");
    EXPECT_EQ(texture.width, 40u);
    EXPECT_NE(texture.texID, 0u);
    ASSERT_NE(copy, nullptr);

    Texture viaTrailingSlash;
    uint8_t* scaled = nullptr;
    EXPECT_TRUE(LoadPicture((dir.path + "/").c_str(), &viaTrailingSlash, 0, &scaled, 1));
    delete[] scaled;
}

// Entries that match by name but are no pictures fail, without trying
// another file and without touching the record.
TEST_F(FolderLoad, UnreadableChoicesFailCleanly) {
    REQUIRE_GL();
    TempDir dir;
    const std::string cases[] = {"sub.png", "fifo.jpg", "loop.gif", "._side.jpg"};
    ASSERT_EQ(mkdir((dir / "sub.png").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    ASSERT_EQ(symlink("loop.gif", (dir / "loop.gif").c_str()), 0);
    WriteBytes(dir / "._side.jpg", {0, 5, 22, 7, 0, 2, 0, 0});
    for (const std::string& name : cases) {
        TempDir one;
        ASSERT_EQ(rename((dir / name).c_str(), (one / name).c_str()), 0);
        uint8_t* scaled = nullptr;
        PictureReason reason;
        EXPECT_FALSE(
            LoadPictureWithReason(one.path.c_str(), &texture, 2, &scaled, 1, nullptr, &reason))
            << name;
        EXPECT_NE(reason.text[0], '\0') << name;
        EXPECT_EQ(scaled, nullptr);
        EXPECT_EQ(texture.width, 0u);
    }
    TempDir empty;
    PictureReason reason;
    EXPECT_FALSE(
        LoadPictureWithReason(empty.path.c_str(), &texture, 2, &copy, 1, nullptr, &reason));
    EXPECT_NE(strstr(reason.text, "no .jpg"), nullptr);
    EXPECT_FALSE(
        LoadPictureWithReason((empty / "gone").c_str(), &texture, 2, &copy, 1, nullptr, &reason));
    EXPECT_NE(strstr(reason.text, "cannot open the folder"), nullptr);
}

// A real folder whose path is near the limit: a long name cannot be joined
// and the choice fails; a name that just fits is loaded.
TEST_F(FolderLoad, LongPathsNeverOverrunTheJoinedPath) {
    REQUIRE_GL();
    TempDir dir;
    std::string folder = dir.path;
    while (folder.size() < 1000) {
        folder += "/" + std::string(std::min<size_t>(200, 1000 - folder.size()), 'd');
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder.size();
    }
    ASSERT_EQ(folder.size(), 1001u);
    const std::string fits(1024 - 1002 - 4, 'n'), tooLong(60, 'n');
    WriteRgbPng(dir, "p.png", 8, 8, Gradient(8, 8, 3));
    const std::string longName = folder + "/" + tooLong + ".png";
    ASSERT_EQ(rename((dir / "p.png").c_str(), longName.c_str()), 0);
    PictureReason reason;
    EXPECT_FALSE(LoadPictureWithReason(folder.c_str(), &texture, 0, &copy, 1, nullptr, &reason));
    EXPECT_NE(strstr(reason.text, "longer than"), nullptr) << reason.text;
    EXPECT_EQ(texture.texID, 0u);
    ASSERT_EQ(rename(longName.c_str(), (folder + "/" + fits + ".png").c_str()), 0);
    EXPECT_TRUE(LoadPicture(folder.c_str(), &texture, 0, &copy, 1));
}

TEST_F(FolderLoad, BackgroundHelperNamesTheFailure) {
    REQUIRE_GL();
    TempDir dir;
    const std::string path = WriteRgbPng(dir, "b.png", 100, 50, Gradient(100, 50, 3));
    BackgroundPicture picture;
    ASSERT_TRUE(LoadBackgroundFile(path.c_str(), 2, 0, &picture)) << picture.reason.text;
    EXPECT_EQ(picture.fireSide, 128);
    EXPECT_NE(picture.fireCopy, nullptr);
    EXPECT_NE(picture.texture.texID, 0u);
    EXPECT_EQ(picture.texture.width, 100u);

    BackgroundPicture fromFolder;
    ASSERT_TRUE(LoadBackgroundFromFolder(dir.path.c_str(), 1, 2, &fromFolder));
    EXPECT_EQ(std::string(fromFolder.path), path);
    EXPECT_EQ(fromFolder.fireSide, 512);

    WriteBytes(dir / "bad.jpg", {'B', 'M', 0, 0});
    BackgroundPicture bad;
    EXPECT_FALSE(LoadBackgroundFile((dir / "bad.jpg").c_str(), 1, 1, &bad));
    EXPECT_EQ(std::string(bad.reason.text),
              dir / "bad.jpg: not a JPEG, PNG, GIF, WebP or SVG picture");
    EXPECT_EQ(bad.fireCopy, nullptr);
}

}  // namespace

// A folder of 50,000 entries on disk: the choice makes a fixed number of
// passes over the listing, so it stays well under a second here.
TEST(RandomChoice, FiftyThousandEntriesOnDisk) {
    InstallPosixServices();
    const fs::path folder =
        fs::path(testing::TempDir()) / ("kindora-50k-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const char* extensions[] = {".jpg", ".GIF", ".png", ".txt", ".jpeg"};
    for (int i = 0; i < 50000; ++i) {
        const fs::path name = folder / ("p" + std::to_string(i) + extensions[i % 5]);
        const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    char chosen[kPictureNameBuffer];
    const auto start = std::chrono::steady_clock::now();
    srand(7);
    ASSERT_TRUE(ChooseRandomImageFile(folder.c_str(), chosen));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("choice_ms", std::to_string(int(seconds * 1000)));
    printf("choice over 50,000 entries: %.1f ms\n", seconds * 1000);
    EXPECT_LT(seconds, 2.0);
    EXPECT_TRUE(NameHasExtension(chosen, ".jpg") || NameHasExtension(chosen, ".gif") ||
                NameHasExtension(chosen, ".png"));
    fs::remove_all(folder);
}
