// The assets: the notice, the resource pack reader, the TGA decoders, the
// pack loader, the upload with its alpha modes, and the shipped pack.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "alert.h"
#include "alert_recorder.h"
#include "bundle.h"
#include "gl_support.h"
#include "pack_loader.h"
#include "pack_writer.h"
#include "resfile.h"
#include "tga.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes TgaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t bpp, uint8_t descriptor = 0) {
    return {0,          0,
            type,       0,
            0,          0,
            0,          0,
            0,          0,
            0,          0,
            uint8_t(w), uint8_t(w >> 8),
            uint8_t(h), uint8_t(h >> 8),
            bpp,        descriptor};
}

// A file that lives as long as the object.
class TempFile {
   public:
    explicit TempFile(const Bytes& bytes) {
        static int serial = 0;
        path = testing::TempDir() + "kindora-assets-" + std::to_string(getpid()) + "-" +
               std::to_string(serial++);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { std::remove(path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string path;
};

Bytes Pixels(const Texture& tex) {
    const size_t size = size_t(tex.width) * tex.height * (tex.bpp / 8);
    return tex.imageData ? Bytes(tex.imageData, tex.imageData + size) : Bytes();
}

// The two decoder families, fed the same bytes.
enum class Family { Stream, File };

const char* NameOf(Family family) {
    return family == Family::Stream ? "Stream" : "File";
}

void PrintTo(Family family, std::ostream* out) {
    *out << NameOf(family);
}

std::string FamilyName(const testing::TestParamInfo<Family>& info) {
    return NameOf(info.param);
}

bool Decode(Family family, const Bytes& bytes, Texture* tex) {
    TempFile file(bytes);
    if (family == Family::File) return LoadTGA(tex, file.path.c_str());
    std::ifstream in(file.path, std::ios::binary);
    return LoadTGA2(tex, &in);
}

class TgaDecode : public testing::TestWithParam<Family> {
   protected:
    ScopedAlertRecorder recorder;
};

INSTANTIATE_TEST_SUITE_P(Families, TgaDecode, testing::Values(Family::Stream, Family::File),
                         FamilyName);

// ---------------------------------------------------------------- notices

TEST(Alert, MessageBoxGoesToTheInstalledHandlerAndTheDefaultWritesToStderr) {
    {
        ScopedAlertRecorder recorder;
        MessageBox(nullptr, "Could not read file header", "ERROR", 0);
        MessageBox(nullptr, nullptr, nullptr, 7);
        ASSERT_EQ(recorder.alerts().size(), 2u);
        EXPECT_EQ(recorder.alerts()[0].caption, "ERROR");
        EXPECT_EQ(recorder.alerts()[0].text, "Could not read file header");
        EXPECT_EQ(recorder.alerts()[1].text, "");
    }
    EXPECT_EQ(SetAlertHandler(nullptr), &StderrAlert);
    testing::internal::CaptureStderr();
    MessageBox(nullptr, "TGA file be type 2 or type 10 ", "Invalid Image", 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid Image: TGA file be type 2 or type 10 \n");
}

// ---------------------------------------------------------------- TGA

TEST_P(TgaDecode, Uncompressed24BitSwapsToRgbAndSetsTheRecord) {
    const Bytes file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 1, 2, 3, 4, 5, 6};
    Texture tex;
    tex.texID = 77;
    ASSERT_TRUE(Decode(GetParam(), file, &tex));
    EXPECT_EQ(Pixels(tex), (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(tex.width, 2u);
    EXPECT_EQ(tex.height, 1u);
    EXPECT_EQ(tex.bpp, 24u);
    EXPECT_EQ(tex.type, GLenum(GL_RGB));
    EXPECT_EQ(tex.texID, 77u);
    EXPECT_TRUE(recorder.alerts().empty());
}

TEST_P(TgaDecode, Uncompressed32BitKeepsAlphaInPlace) {
    const Bytes file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8, 10, 20, 30, 40};
    Texture tex;
    ASSERT_TRUE(Decode(GetParam(), file, &tex));
    EXPECT_EQ(Pixels(tex), (Bytes{30, 20, 10, 40}));
    EXPECT_EQ(tex.type, GLenum(GL_RGBA));
}

TEST_P(TgaDecode, RunPacketFillsTheImageAndRawPacketStoresOnePixel) {
    // 0x83: a run of 4 equal pixels, the whole 2 x 2 image; the bytes after
    // it are never needed.
    const Bytes run = {0, 0, 10, 0, 0,  0, 0,    0, 0, 0, 0,    0,
                       2, 0, 2,  0, 24, 0, 0x83, 7, 8, 9, 0xEE, 0xEE};
    Texture tex;
    ASSERT_TRUE(Decode(GetParam(), run, &tex));
    EXPECT_EQ(Pixels(tex), (Bytes{9, 8, 7, 9, 8, 7, 9, 8, 7, 9, 8, 7}));

    const Bytes raw = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 0x00, 1, 2, 3};
    ASSERT_TRUE(Decode(GetParam(), raw, &tex));
    EXPECT_EQ(Pixels(tex), (Bytes{3, 2, 1}));
}

TEST_P(TgaDecode, MixedPacketsAt32BitsDecodeInOrder) {
    // 3 x 1: two raw pixels, then a run of one.
    const Bytes file =
        Cat(TgaHeader(10, 3, 1, 32), {0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x80, 9, 10, 11, 12});
    Texture tex;
    ASSERT_TRUE(Decode(GetParam(), file, &tex));
    EXPECT_EQ(Pixels(tex), (Bytes{3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12}));
    EXPECT_EQ(tex.bpp, 32u);
}

TEST_P(TgaDecode, DescriptorByteChangesNothing) {
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Texture bottomUp, topDown;
    ASSERT_TRUE(Decode(GetParam(), Cat(TgaHeader(2, 2, 2, 24, 0x00), data), &bottomUp));
    ASSERT_TRUE(Decode(GetParam(), Cat(TgaHeader(2, 2, 2, 24, 0x20), data), &topDown));
    EXPECT_EQ(Pixels(bottomUp), Pixels(topDown));
}

TEST_P(TgaDecode, DecodingIntoAFilledRecordReplacesItsPixels) {
    Texture tex;
    const Bytes file = Cat(TgaHeader(2, 1, 1, 24), {1, 2, 3});
    ASSERT_TRUE(Decode(GetParam(), file, &tex));
    ASSERT_TRUE(Decode(GetParam(), file, &tex));  // the first pixels must not leak
    EXPECT_FALSE(Decode(GetParam(), Bytes{1, 2}, &tex));
    EXPECT_EQ(tex.imageData, nullptr);
}

struct Failure {
    const char* name;
    Bytes file;
    const char* caption;
    const char* text;
};

std::vector<Failure> Failures() {
    const Bytes px4 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const char* kWrongType = "TGA file be type 2 or type 10 ";
    Bytes xOrigin = Cat(TgaHeader(2, 2, 2, 24), px4);
    xOrigin[8] = 1;
    Bytes colourMap = Cat(TgaHeader(2, 2, 2, 24), px4);
    colourMap[1] = 1;
    Bytes idField = Cat(TgaHeader(2, 2, 2, 24), px4);
    idField[0] = 4;
    return {
        {"empty", {}, "ERROR", "Could not read file header"},
        {"type1", Cat(TgaHeader(1, 2, 2, 24), px4), "Invalid Image", kWrongType},
        {"type3", Cat(TgaHeader(3, 2, 2, 24), px4), "Invalid Image", kWrongType},
        {"type9", Cat(TgaHeader(9, 2, 2, 24), px4), "Invalid Image", kWrongType},
        {"type11", Cat(TgaHeader(11, 2, 2, 24), px4), "Invalid Image", kWrongType},
        {"xOrigin", xOrigin, "Invalid Image", kWrongType},
        {"colourMap", colourMap, "Invalid Image", kWrongType},
        {"idField", idField, "Invalid Image", kWrongType},
        {"width0", Cat(TgaHeader(2, 0, 2, 24), px4), "ERROR", "Invalid texture information"},
        {"height0", Cat(TgaHeader(10, 2, 0, 24), px4), "ERROR", "Invalid texture information"},
        {"bpp0", Cat(TgaHeader(2, 2, 2, 0), px4), "ERROR", "Invalid texture information"},
        {"bpp8", Cat(TgaHeader(2, 2, 2, 8), px4), "ERROR", "Invalid texture information"},
        {"bpp16", Cat(TgaHeader(10, 2, 2, 16), px4), "ERROR", "Invalid texture information"},
        {"bpp64", Cat(TgaHeader(2, 2, 2, 64), px4), "ERROR", "Invalid texture information"},
        {"sizeWrapsTo0", Cat(TgaHeader(2, 32768, 32768, 32), px4), "ERROR",
         "Could not allocate memory for image"},
        {"sizeOver32Bits", Cat(TgaHeader(10, 65535, 65535, 32), {0xFF, 1, 2, 3, 4}), "ERROR",
         "Could not allocate memory for image"},
        {"hugeInTinyFile", Cat(TgaHeader(2, 8000, 8000, 32), px4), "ERROR",
         "Could not read image data"},
        {"rleHugeInTinyFile", Cat(TgaHeader(10, 8000, 8000, 32), {0xFF, 1, 2, 3, 4}), "ERROR",
         "Could not read RLE header"},
        {"runOverruns", Cat(TgaHeader(10, 2, 2, 24), {0x84, 1, 2, 3}), "ERROR",
         "Too many pixels read"},
        {"rawOverruns", Cat(TgaHeader(10, 2, 2, 24), Cat({0x04}, Cat(px4, {1, 2, 3}))), "ERROR",
         "Too many pixels read"},
        {"runAfterRawOverruns",
         Cat(TgaHeader(10, 2, 2, 24), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x81, 1, 2, 3}), "ERROR",
         "Too many pixels read"},
    };
}

TEST_P(TgaDecode, EveryFailureShowsOneNoticeAndLeavesNoPixels) {
    for (const Failure& failure : Failures()) {
        SCOPED_TRACE(failure.name);
        recorder.Clear();
        Texture tex;
        EXPECT_FALSE(Decode(GetParam(), failure.file, &tex));
        EXPECT_EQ(tex.imageData, nullptr);
        ASSERT_EQ(recorder.alerts().size(), 1u);
        EXPECT_EQ(recorder.alerts()[0].caption, failure.caption);
        EXPECT_EQ(recorder.alerts()[0].text, failure.text);
    }
}

TEST_P(TgaDecode, AFailedDecodeKeepsTheHeaderValuesItRead) {
    Texture tex;
    EXPECT_FALSE(Decode(GetParam(), Cat(TgaHeader(2, 300, 200, 32), {1, 2, 3}), &tex));
    EXPECT_EQ(tex.width, 300u);
    EXPECT_EQ(tex.height, 200u);
    EXPECT_EQ(tex.bpp, 32u);
}

// The message a file cut after `length` bytes must give, for a 2 x 2 image
// stored as a raw packet of two pixels and a run of two.
const char* RleCutMessage(size_t length) {
    if (length < 12) return "Could not read file header";
    if (length < 18) return "Could not read info header";
    if (length == 18 || length == 25) return "Could not read RLE header";
    if (length < 25) return "Could not read image data";
    return "Could not read from file";
}

TEST_P(TgaDecode, AFileCutAtAnyByteFailsWithTheMessageOfWhereItEnds) {
    const Bytes plain = Cat(TgaHeader(2, 2, 2, 24), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const Bytes rle = Cat(TgaHeader(10, 2, 2, 24), {0x01, 1, 2, 3, 4, 5, 6, 0x81, 7, 8, 9});
    Texture tex;
    ASSERT_TRUE(Decode(GetParam(), plain, &tex));
    ASSERT_TRUE(Decode(GetParam(), rle, &tex));
    for (size_t length = 0; length < plain.size(); ++length) {
        recorder.Clear();
        EXPECT_FALSE(Decode(GetParam(), Bytes(plain.begin(), plain.begin() + length), &tex));
        const char* expected = length < 12   ? "Could not read file header"
                               : length < 18 ? "Could not read info header"
                                             : "Could not read image data";
        ASSERT_EQ(recorder.alerts().size(), 1u) << length;
        EXPECT_EQ(recorder.alerts()[0].text, expected) << length;
    }
    for (size_t length = 0; length < rle.size(); ++length) {
        recorder.Clear();
        EXPECT_FALSE(Decode(GetParam(), Bytes(rle.begin(), rle.begin() + length), &tex));
        ASSERT_EQ(recorder.alerts().size(), 1u) << length;
        EXPECT_EQ(recorder.alerts()[0].text, RleCutMessage(length)) << length;
        EXPECT_EQ(tex.imageData, nullptr);
    }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Decodes `file` in a child process whose address space has only `headroom`
// bytes to spare; true when the decode gives the notice `text`.
bool DecodesWithinHeadroom(const Bytes& file, uint64_t headroom, const std::string& text) {
    TempFile tga(file);
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        FILE* statm = fopen("/proc/self/statm", "r");
        if (!statm || fscanf(statm, "%ld", &pages) != 1) _exit(2);
        fclose(statm);
        const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroom;
        const struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(2);
        Texture tex;
        const bool loaded = LoadTGA(&tex, tga.path.c_str());
        _exit(!loaded && RecordedAlerts().size() == 1 && RecordedAlerts()[0].text == text ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(TgaSource, AHugeHeaderInATinyFileCostsOnlyWhatTheFileHolds) {
    if (kAddressSanitizer) GTEST_SKIP() << "the address space limit would stop the sanitizer";
    ScopedAlertRecorder recorder;
    // 8000 x 8000 at 32 bits is 256 MB; the child may take 32 MB more.
    const uint64_t headroom = 32u << 20;
    EXPECT_TRUE(DecodesWithinHeadroom(Cat(TgaHeader(2, 8000, 8000, 32), Bytes(4000, 1)), headroom,
                                      "Could not read image data"));
    EXPECT_TRUE(DecodesWithinHeadroom(Cat(TgaHeader(10, 8000, 8000, 32), {0xFF, 1, 2, 3, 4}),
                                      headroom, "Could not read RLE header"));
}

TEST(TgaSource, MissingSourcesCannotBeOpened) {
    ScopedAlertRecorder recorder;
    Texture tex;
    std::ifstream closed;
    EXPECT_FALSE(LoadTGA(&tex, "/nonexistent/kindora.tga"));
    EXPECT_FALSE(LoadTGA(&tex, nullptr));
    EXPECT_FALSE(LoadTGA2(&tex, nullptr));
    EXPECT_FALSE(LoadTGA2(&tex, &closed));
    EXPECT_FALSE(LoadUncompressedTGA2(&tex, &closed));
    EXPECT_FALSE(LoadCompressedTGA(&tex, nullptr));
    ASSERT_EQ(recorder.alerts().size(), 6u);
    for (const RecordedAlert& alert : recorder.alerts()) {
        EXPECT_EQ(alert.caption, "ERROR");
        EXPECT_EQ(alert.text, "Could not open texture file");
    }
}

TEST(TgaSource, StreamDecodeStartsWhereTheStreamIsAndStopsAfterTheLastPixel) {
    ScopedAlertRecorder recorder;
    const Bytes image = Cat(TgaHeader(10, 2, 2, 24), {0x83, 1, 2, 3});
    TempFile file(Cat(Cat({'j', 'u', 'n', 'k'}, image), {0xAB, 0xCD}));
    std::ifstream in(file.path, std::ios::binary);
    in.seekg(4);
    Texture tex;
    ASSERT_TRUE(LoadTGA2(&tex, &in));
    EXPECT_EQ(in.tellg(), std::streamoff(4 + image.size()));
    EXPECT_TRUE(in.is_open());

    // The decoders proper start after the 12 header bytes.
    in.seekg(4 + 12);
    ASSERT_TRUE(LoadCompressedTGA2(&tex, &in));
    EXPECT_EQ(Pixels(tex), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
}

size_t OpenDescriptors() {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST(TgaSource, FileFamilyClosesTheFileOnEveryExit) {
    ScopedAlertRecorder recorder;
    const size_t before = OpenDescriptors();
    for (const Failure& failure : Failures()) {
        Texture tex;
        LoadTGA(&tex, TempFile(failure.file).path.c_str());
    }
    Texture tex;
    TempFile good(Cat(TgaHeader(2, 1, 1, 24), {1, 2, 3}));
    EXPECT_TRUE(LoadTGA(&tex, good.path.c_str()));
    FILE* direct = fopen(good.path.c_str(), "rb");
    ASSERT_NE(direct, nullptr);
    fseek(direct, 12, SEEK_SET);
    EXPECT_TRUE(LoadUncompressedTGA(&tex, direct));  // closes `direct`
    EXPECT_EQ(OpenDescriptors(), before);
}

// ---------------------------------------------------------------- pack

Bytes Tga24(uint16_t w, uint16_t h, uint8_t shade) {
    return Cat(TgaHeader(2, w, h, 24), Bytes(size_t(w) * h * 3, shade));
}

Bytes MakePack(const std::vector<PackEntry>& entries) {
    Bytes pack = BuildPack(entries);
    EXPECT_FALSE(pack.empty());
    return pack;
}

PackEntry Entry(uint32_t kind, uint32_t alpha, Bytes data) {
    PackEntry entry;
    entry.kind = kind;
    entry.alphaMode = alpha;
    entry.data = std::move(data);
    return entry;
}

TEST(Resfile, OpensAPackAndSeeksToEachEntry) {
    TempFile file(MakePack({Entry(1, 2, {'a', 'b', 'c'}), Entry(7, 0, {}), Entry(0, 1, {'z'})}));
    RESFILE pack;
    ASSERT_TRUE(pack.Open(file.path.c_str()));
    EXPECT_EQ(pack.header.count, 3u);
    EXPECT_EQ(pack.fileSize, int32_t(24 + 3 * 28 + 4));
    EXPECT_EQ(pack.lumps[0].kind, 1u);
    EXPECT_EQ(pack.lumps[0].alphaMode, 2u);
    EXPECT_EQ(pack.lumps[1].size, 0u);
    ASSERT_TRUE(pack.SeekLump(2));
    EXPECT_EQ(pack.stream.get(), 'z');
    pack.stream.get();  // runs into the end; a seek must still work after it
    ASSERT_TRUE(pack.SeekLump(0));
    EXPECT_EQ(pack.stream.get(), 'a');
}

TEST(Resfile, FollowsTheDirectoryWhereverItLies) {
    // Header, one entry's data, then the directory at the end.
    Bytes pack = MakePack({Entry(1, 0, {'q', 'r'})});
    Bytes moved(pack.begin(), pack.begin() + 24);
    moved.insert(moved.end(), {'q', 'r'});
    moved.insert(moved.end(), pack.begin() + 24, pack.begin() + 52);
    moved[20] = 26;      // directory offset
    moved[26 + 4] = 24;  // the entry's data offset
    TempFile file(moved);
    RESFILE reader;
    ASSERT_TRUE(reader.Open(file.path.c_str()));
    ASSERT_TRUE(reader.SeekLump(0));
    EXPECT_EQ(reader.stream.get(), 'q');
}

TEST(Resfile, RefusesIndicesOutsideTheDirectoryAndClosedReaders) {
    RESFILE closed;
    void* data = nullptr;
    EXPECT_FALSE(closed.SeekLump(0));
    EXPECT_FALSE(closed.LoadData(0, &data));
    closed.Close();
    closed.Close();

    TempFile empty(MakePack({}));
    RESFILE none;
    ASSERT_TRUE(none.Open(empty.path.c_str()));
    EXPECT_FALSE(none.SeekLump(0));

    TempFile two(MakePack({Entry(1, 0, {1}), Entry(1, 0, {2})}));
    RESFILE pack;
    ASSERT_TRUE(pack.Open(two.path.c_str()));
    EXPECT_FALSE(pack.SeekLump(-1));
    EXPECT_FALSE(pack.SeekLump(2));
    EXPECT_FALSE(pack.LoadData(2, &data));
    EXPECT_EQ(data, nullptr);
    pack.Close();
    EXPECT_FALSE(pack.SeekLump(0));
    EXPECT_EQ(pack.lumps, nullptr);
}

TEST(Resfile, RefusesFilesThatAreNotWholePacks) {
    const Bytes good = MakePack({Entry(1, 0, {1, 2, 3})});
    Bytes appended = Cat(good, {0});
    Bytes cut(good.begin(), good.end() - 1);
    Bytes magic = good;
    magic[3] = 'G';
    for (const Bytes& bytes : {appended, cut, magic, Bytes(good.begin(), good.begin() + 23)}) {
        TempFile file(bytes);
        RESFILE pack;
        EXPECT_FALSE(pack.Open(file.path.c_str()));
        EXPECT_FALSE(pack.stream.is_open());
    }
    RESFILE pack;
    EXPECT_FALSE(pack.Open("/nonexistent/zarnish.vellumry"));
    EXPECT_FALSE(pack.Open(testing::TempDir().c_str()));
    EXPECT_FALSE(pack.Open(nullptr));
}

TEST(Resfile, LoadDataHandsOverEntriesThatLieInTheFile) {
    TempFile file(MakePack({Entry(1, 0, {9, 8, 7}), Entry(2, 0, {})}));
    RESFILE pack;
    ASSERT_TRUE(pack.Open(file.path.c_str()));
    void* data = nullptr;
    ASSERT_TRUE(pack.LoadData(0, &data));
    const uint8_t* bytes = static_cast<uint8_t*>(data);
    EXPECT_EQ(Bytes(bytes, bytes + 3), (Bytes{9, 8, 7}));
    delete[] bytes;
    data = nullptr;
    ASSERT_TRUE(pack.LoadData(1, &data));
    EXPECT_NE(data, nullptr);
    delete[] static_cast<uint8_t*>(data);

    // An entry claiming 0xFFFFFFFF bytes is refused, not allocated.
    pack.lumps[0].size = 0xFFFFFFFFu;
    data = nullptr;
    EXPECT_FALSE(pack.LoadData(0, &data));
    EXPECT_EQ(data, nullptr);
}

TEST(Resfile, ReopeningReplacesThePackHeld) {
    TempFile one(MakePack({Entry(1, 0, {1})}));
    TempFile three(MakePack({Entry(1, 0, {1}), Entry(1, 0, {2}), Entry(1, 0, {3})}));
    RESFILE pack;
    ASSERT_TRUE(pack.Open(one.path.c_str()));
    ASSERT_TRUE(pack.Open(three.path.c_str()));
    EXPECT_EQ(pack.header.count, 3u);
    ASSERT_TRUE(pack.SeekLump(2));
    EXPECT_EQ(pack.stream.get(), 3);
}

// ---------------------------------------------------------------- reproducers

struct Reproducer {
    std::string file;
    std::string expect;  // "open", "data", or the notice's caption
    std::string text;
};

std::vector<Reproducer> Reproducers() {
    std::vector<Reproducer> list;
    std::ifstream in(std::string(KINDORA_TEST_DATA) + "/reproducers.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream fields(line);
        Reproducer r;
        std::getline(fields, r.file, '|');
        std::getline(fields, r.expect, '|');
        std::getline(fields, r.text, '|');
        list.push_back(r);
    }
    return list;
}

// Decodes entry 0 both from the pack's stream and, copied out, as a file.
void ExpectPictureFails(RESFILE* pack, const Reproducer& r) {
    ScopedAlertRecorder recorder;
    Texture tex;
    ASSERT_TRUE(pack->SeekLump(0));
    EXPECT_FALSE(LoadTGA2(&tex, &pack->stream));
    void* data = nullptr;
    ASSERT_TRUE(pack->LoadData(0, &data));
    const uint8_t* bytes = static_cast<uint8_t*>(data);
    const Bytes entry(bytes, bytes + pack->lumps[0].size);
    delete[] bytes;
    EXPECT_FALSE(LoadTGA(&tex, TempFile(entry).path.c_str()));
    EXPECT_EQ(tex.imageData, nullptr);
    ASSERT_EQ(recorder.alerts().size(), 2u);
    for (const RecordedAlert& alert : recorder.alerts()) {
        EXPECT_EQ(alert.caption, r.expect);
        EXPECT_EQ(alert.text, r.text);
    }
}

// An entry that starts past the end seeks; the decoder reading from there
// tells the user that it found no header.
TEST(Reproducers, EntryPastTheEndShowsTheDecodersMessage) {
    const std::string path =
        std::string(KINDORA_TEST_DATA) + "/pack-entry-offset-past-end.vellumry";
    RESFILE pack;
    ASSERT_TRUE(pack.Open(path.c_str()));
    ASSERT_GT(pack.lumps[0].offset, uint32_t(pack.fileSize));
    EXPECT_TRUE(pack.SeekLump(0));
    void* data = nullptr;
    EXPECT_FALSE(pack.LoadData(0, &data));

    ScopedAlertRecorder recorder;
    Texture* table = nullptr;
    int count = 0;
    EXPECT_FALSE(LoadTexturesFromDataFile(path.c_str(), &table, &count));
    ASSERT_EQ(recorder.alerts().size(), 1u);
    EXPECT_EQ(recorder.alerts()[0].caption, "ERROR");
    EXPECT_EQ(recorder.alerts()[0].text, "Could not read file header");
    EXPECT_EQ(count, 1);
    delete[] table;
}

TEST(Reproducers, EveryHostilePackIsRefusedWithItsMessage) {
    const std::vector<Reproducer> list = Reproducers();
    ASSERT_GE(list.size(), 30u);
    for (const Reproducer& r : list) {
        SCOPED_TRACE(r.file);
        RESFILE pack;
        const std::string path = std::string(KINDORA_TEST_DATA) + "/" + r.file;
        ASSERT_TRUE(std::filesystem::exists(path));
        const bool opened = pack.Open(path.c_str());
        EXPECT_EQ(opened, r.expect != "open");
        if (!opened) continue;
        void* data = nullptr;
        if (r.expect == "data") {
            EXPECT_TRUE(pack.SeekLump(0));
            EXPECT_FALSE(pack.LoadData(0, &data));
        } else {
            ExpectPictureFails(&pack, r);
        }
    }
}

// ---------------------------------------------------------------- bundle

TEST(Bundle, FindsTheShippedPackFromTheBuildTree) {
    char path[4096];
    ASSERT_TRUE(BundleResourcePath("zarnish", "vellumry", path, sizeof path));
    EXPECT_TRUE(std::filesystem::equivalent(path, KINDORA_DATA_DIR "/zarnish.vellumry"));
    EXPECT_FALSE(BundleResourcePath("nothing", "vellumry", path, sizeof path));
    EXPECT_FALSE(BundleResourcePath("../data/zarnish", "vellumry", path, sizeof path));
    EXPECT_FALSE(BundleResourcePath("", "vellumry", path, sizeof path));
    EXPECT_FALSE(BundleResourcePath("zarnish", "vellumry", path, 8));
}

// An installed copy finds its data in ../share/kindora beside the program,
// before the build tree's folder; without a finder that folder is skipped.
std::string fakeExecutable;
bool FakeExecutablePath(std::string* path) {
    *path = fakeExecutable;
    return !fakeExecutable.empty();
}

TEST(Bundle, TheFolderBesideTheExecutableComesFirst) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::path(testing::TempDir()) / ("kindora-prefix-" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share" / "kindora");
    std::ofstream(root / "share" / "kindora" / "zarnish.vellumry") << "installed";
    fakeExecutable = (root / "bin" / "kindora").string();
    SetExecutablePathFinder(FakeExecutablePath);
    char path[4096];
    ASSERT_TRUE(BundleResourcePath("zarnish", "vellumry", path, sizeof path));
    EXPECT_EQ(fs::path(path), root / "share" / "kindora" / "zarnish.vellumry");
    fakeExecutable.clear();  // the finder fails: the build tree's folder
    ASSERT_TRUE(BundleResourcePath("zarnish", "vellumry", path, sizeof path));
    EXPECT_TRUE(fs::equivalent(path, KINDORA_DATA_DIR "/zarnish.vellumry"));
    SetExecutablePathFinder(nullptr);
    fs::remove_all(root);
}

TEST(Bundle, TheFirstFolderHoldingTheFileWins) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::path(testing::TempDir()) / ("kindora-bundle-" + std::to_string(getpid()));
    fs::create_directories(root / "a" / "zarnish.vellumry");  // a folder, not a file
    fs::create_directories(root / "b");
    fs::create_directories(root / "c");
    std::ofstream(root / "b" / "zarnish.vellumry") << "b";
    std::ofstream(root / "c" / "zarnish.vellumry") << "c";
    const std::string a = (root / "a").string(), b = (root / "b").string(),
                      c = (root / "c").string();
    const char* folders[] = {"", a.c_str(), nullptr, b.c_str(), c.c_str()};
    char path[4096];
    ASSERT_TRUE(FindResourceIn(folders, 5, "zarnish", "vellumry", path, sizeof path));
    EXPECT_EQ(fs::path(path), root / "b" / "zarnish.vellumry");
    EXPECT_FALSE(FindResourceIn(folders, 3, "zarnish", "vellumry", path, sizeof path));
    fs::remove_all(root);
}

// ---------------------------------------------------------------- upload

// The RGBA texels of the bound texture, first stored row first.
Bytes TexImage(uint32_t texID, uint32_t w, uint32_t h) {
    Bytes texels(size_t(w) * h * 4);
    glBindTexture(GL_TEXTURE_2D, texID);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

Bytes AlphaOf(const Bytes& texels) {
    Bytes alpha;
    for (size_t i = 3; i < texels.size(); i += 4)
        alpha.push_back(texels[i]);
    return alpha;
}

// Builds a 24-bit record of `rgb` (w x h) with `mode` and reads it back.
Bytes Upload(const Bytes& rgb, uint32_t w, uint32_t h, uint32_t bpp, int mode) {
    Texture tex;
    tex.width = w;
    tex.height = h;
    tex.bpp = bpp;
    tex.imageData = static_cast<uint8_t*>(malloc(rgb.size()));
    memcpy(tex.imageData, rgb.data(), rgb.size());
    EXPECT_TRUE(BuildTexture(&tex, mode));
    EXPECT_EQ(tex.imageData, nullptr);
    EXPECT_NE(tex.texID, 0u);
    return TexImage(tex.texID, w, h);
}

TEST(BuildTexture, ColourKeyMakesTheFirstPixelsColourTransparent) {
    REQUIRE_GL();
    const Bytes rgb = {5, 5, 5, 9, 9, 9, 5, 5, 5, 1, 2, 3};
    const Bytes texels = Upload(rgb, 2, 2, 24, kAlphaColourKey);
    EXPECT_EQ(AlphaOf(texels), (Bytes{0, 255, 0, 255}));
    EXPECT_EQ(Bytes(texels.begin() + 12, texels.begin() + 15), (Bytes{1, 2, 3}));
    EXPECT_EQ(AlphaOf(Upload(Bytes(12, 40), 2, 2, 24, kAlphaColourKey)), (Bytes{0, 0, 0, 0}));
}

TEST(BuildTexture, BrightnessTakesTheLargestChannel) {
    REQUIRE_GL();
    const Bytes rgb = {10, 200, 30, 0, 0, 0, 255, 255, 255, 7, 3, 90};
    EXPECT_EQ(AlphaOf(Upload(rgb, 2, 2, 24, kAlphaBrightness)), (Bytes{200, 0, 255, 90}));
}

TEST(BuildTexture, OtherModesAreOpaque) {
    REQUIRE_GL();
    const Bytes rgb = {0, 0, 0, 10, 20, 30, 0, 0, 0, 200, 100, 50};
    for (int mode : {kAlphaOpaque, 3, -1}) {
        EXPECT_EQ(AlphaOf(Upload(rgb, 2, 2, 24, mode)), (Bytes{255, 255, 255, 255})) << mode;
    }
}

TEST(BuildTexture, ThirtyTwoBitPicturesKeepTheirStoredAlphaInEveryMode) {
    REQUIRE_GL();
    const Bytes rgba = {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 1, 2, 3, 64};
    for (int mode : {kAlphaOpaque, kAlphaColourKey, kAlphaBrightness}) {
        EXPECT_EQ(Upload(rgba, 2, 2, 32, mode), rgba) << mode;
    }
}

TEST(BuildTexture, RefusesARecordWithoutPixelsAndTheDestructorDeletesTheTexture) {
    REQUIRE_GL();
    Texture empty;
    EXPECT_FALSE(BuildTexture(&empty, 0));
    GLuint name = 0;
    {
        Texture tex;
        tex.width = tex.height = 1;
        tex.bpp = 24;
        tex.imageData = static_cast<uint8_t*>(calloc(3, 1));
        ASSERT_TRUE(BuildTexture(&tex, 0));
        name = tex.texID;
        EXPECT_TRUE(glIsTexture(name));
    }
    EXPECT_FALSE(glIsTexture(name));
}

// The texels an unsized four-component upload of `rgba` gives: what every
// faster upload must read back as.
Bytes UnsizedUpload(const Bytes& rgba, uint32_t w, uint32_t h) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
    Bytes texels = TexImage(name, w, h);
    glDeleteTextures(1, &name);
    return texels;
}

Bytes NoiseBytes(size_t count, uint32_t seed) {
    Bytes bytes(count);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return bytes;
}

// Every byte of every texel, over odd sides, both depths and each mode, and
// whatever pixel-store state the caller left: the same as the unsized upload.
TEST(BuildTexture, SizedUploadReadsBackAsTheUnsizedOne) {
    REQUIRE_GL();
    const struct {
        uint32_t w, h;
    } sizes[] = {{1, 1}, {7, 5}, {33, 17}, {256, 3}, {3, 256}, {640, 480}};
    uint32_t seed = 3;
    for (const auto& size : sizes) {
        for (uint32_t bpp : {24u, 32u}) {
            const Bytes pixels = NoiseBytes(size_t(size.w) * size.h * bpp / 8, ++seed);
            for (int mode : {kAlphaOpaque, kAlphaColourKey, kAlphaBrightness}) {
                Bytes rgba;
                for (size_t i = 0; i < pixels.size(); i += bpp / 8) {
                    const uint8_t* p = &pixels[i];
                    const uint8_t top = std::max({p[0], p[1], p[2]});
                    const bool key = memcmp(p, pixels.data(), 3) == 0;
                    const uint8_t alpha = bpp == 32                  ? p[3]
                                          : mode == kAlphaColourKey  ? (key ? 0 : 255)
                                          : mode == kAlphaBrightness ? top
                                                                     : 255;
                    rgba.insert(rgba.end(), {p[0], p[1], p[2], alpha});
                }
                glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
                glPixelStorei(GL_UNPACK_ROW_LENGTH, int(size.w) + 3);
                glPixelStorei(GL_UNPACK_SKIP_PIXELS, 1);
                const Bytes built = Upload(pixels, size.w, size.h, bpp, mode);
                glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
                glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
                EXPECT_EQ(built, rgba)
                    << size.w << "x" << size.h << ", " << bpp << " bits, mode " << mode;
                EXPECT_EQ(UnsizedUpload(rgba, size.w, size.h), rgba);
            }
        }
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// A texture made in bands of rows, of any height, is the texture made whole.
TEST(BuildTexture, BandsOfRowsMakeTheSameTexture) {
    REQUIRE_GL();
    const uint32_t w = 37, h = 29;
    const Bytes rgba = NoiseBytes(size_t(w) * h * 4, 77);
    for (uint32_t band : {1u, 4u, 10u, 29u}) {
        Texture tex;
        ASSERT_TRUE(BeginTextureRows(&tex, w, h));
        EXPECT_NE(tex.texID, 0u);
        for (uint32_t first = 0; first < h; first += band) {
            const uint32_t rows = std::min(band, h - first);
            UploadTextureRows(tex, first, w, rows, &rgba[size_t(first) * w * 4]);
        }
        EXPECT_EQ(TexImage(tex.texID, w, h), rgba) << "bands of " << band;
        EXPECT_EQ(UnsizedUpload(rgba, w, h), rgba);
    }
    Texture refused;
    EXPECT_FALSE(BeginTextureRows(&refused, 0, 4));
    EXPECT_FALSE(BeginTextureRows(&refused, 1u << 15, 1u << 15));
    EXPECT_EQ(refused.texID, 0u);
}

// ---------------------------------------------------------------- loader

TEST(PackLoader, AMissingPackLeavesTheTableAndShowsNothing) {
    ScopedAlertRecorder recorder;
    Texture* table = new Texture[6];
    Texture* const held = table;
    int count = 6;
    EXPECT_FALSE(LoadTexturesFromDataFile("/nonexistent/zarnish.vellumry", &table, &count));
    TempFile damaged(Bytes{'Z', 'R', 'N', 'F'});
    EXPECT_FALSE(LoadTexturesFromDataFile(damaged.path.c_str(), &table, &count));
    EXPECT_EQ(table, held);
    EXPECT_EQ(count, 6);
    EXPECT_TRUE(recorder.alerts().empty());
    delete[] table;
}

TEST(PackLoader, EntriesThatAreNotPicturesGiveEmptyRecords) {
    Texture* table = new Texture[6];
    int count = 6;
    TempFile none(MakePack({}));
    ASSERT_TRUE(LoadTexturesFromDataFile(none.path.c_str(), &table, &count));
    EXPECT_EQ(count, 0);
    TempFile other(MakePack({Entry(0, 0, Tga24(1, 1, 9)), Entry(2, 1, {1, 2})}));
    ASSERT_TRUE(LoadTexturesFromDataFile(other.path.c_str(), &table, &count));
    ASSERT_EQ(count, 2);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(table[i].texID, 0u);
        EXPECT_EQ(table[i].imageData, nullptr);
    }
    delete[] table;
}

TEST(PackLoader, UploadsEveryPictureWithItsAlphaMode) {
    REQUIRE_GL();
    std::vector<PackEntry> entries;
    for (int i = 0; i < 6; ++i)
        entries.push_back(Entry(1, i % 3, Tga24(2, 1 + i, 100)));
    TempFile file(MakePack(entries));
    Texture* table = nullptr;
    int count = 0;
    ASSERT_TRUE(LoadTexturesFromDataFile(file.path.c_str(), &table, &count));
    ASSERT_EQ(count, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NE(table[i].texID, 0u);
        EXPECT_EQ(table[i].imageData, nullptr);
        EXPECT_EQ(table[i].height, uint32_t(1 + i));
    }
    // One colour everywhere: mode 1 hides it all, mode 2 gives its value.
    EXPECT_EQ(AlphaOf(TexImage(table[1].texID, 2, 2)), Bytes(4, 0));
    EXPECT_EQ(AlphaOf(TexImage(table[2].texID, 2, 3)), Bytes(6, 100));
    delete[] table;
}

TEST(PackLoader, ACorruptPictureStopsTheLoadingThere) {
    REQUIRE_GL();
    ScopedAlertRecorder recorder;
    std::vector<PackEntry> entries;
    for (int i = 0; i < 8; ++i)
        entries.push_back(Entry(1, 0, Tga24(2, 2, 50)));
    entries[2].data[16] = 16;  // bits per pixel
    TempFile file(MakePack(entries));
    Texture* table = new Texture[6];
    int count = 6;
    EXPECT_FALSE(LoadTexturesFromDataFile(file.path.c_str(), &table, &count));
    ASSERT_EQ(count, 8);
    ASSERT_EQ(recorder.alerts().size(), 1u);
    EXPECT_EQ(recorder.alerts()[0].text, "Invalid texture information");
    EXPECT_NE(table[0].texID, 0u);
    EXPECT_NE(table[1].texID, 0u);
    EXPECT_EQ(table[2].texID, 0u);
    EXPECT_EQ(table[2].imageData, nullptr);
    for (int i = 3; i < 8; ++i)
        EXPECT_EQ(table[i].texID, 0u) << i;
    delete[] table;
}

// ---------------------------------------------------------------- shipped pack

TEST(ShippedPack, LoadsEveryPictureTheSaverDraws) {
    REQUIRE_GL();
    ScopedAlertRecorder recorder;
    char path[4096];
    ASSERT_TRUE(BundleResourcePath("zarnish", "vellumry", path, sizeof path));
    Texture* table = nullptr;
    int count = 0;
    ASSERT_TRUE(LoadTexturesFromDataFile(path, &table, &count));
    ASSERT_GE(count, 6);
    const uint32_t sizes[6][2] = {{64, 64}, {256, 32}, {256, 64}, {256, 128}, {512, 32}, {512, 32}};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(table[i].texID, 0u);
        EXPECT_EQ(table[i].width, sizes[i][0]);
        EXPECT_EQ(table[i].height, sizes[i][1]);
    }
    EXPECT_TRUE(recorder.alerts().empty());
    delete[] table;
}

TEST(ShippedPack, OverlaidPicturesAreTransparentAroundUprightLettering) {
    char path[4096];
    ASSERT_TRUE(BundleResourcePath("zarnish", "vellumry", path, sizeof path));
    RESFILE pack;
    ASSERT_TRUE(pack.Open(path));
    for (int i = 1; i <= 5; ++i) {
        SCOPED_TRACE(i);
        Texture tex;
        ASSERT_TRUE(pack.SeekLump(i));
        ASSERT_TRUE(LoadTGA2(&tex, &pack.stream));
        ASSERT_EQ(tex.bpp, 32u);
        // Corners clear; the lettering's warm gradient is lighter at the top,
        // which is the last stored row.
        const size_t row = size_t(tex.width) * 4, last = row * (tex.height - 1);
        EXPECT_EQ(tex.imageData[3], 0);
        EXPECT_EQ(tex.imageData[last + row - 1], 0);
        uint64_t green[2] = {0, 0}, opaque[2] = {0, 0};
        for (uint32_t y = 0; y < tex.height; ++y) {
            const int half = y < tex.height / 2 ? 0 : 1;
            for (uint32_t x = 0; x < tex.width; ++x) {
                const uint8_t* p = tex.imageData + y * row + x * 4;
                if (p[3] == 255) green[half] += p[1], opaque[half] += 1;
            }
        }
        ASSERT_GT(opaque[0], 0u);
        ASSERT_GT(opaque[1], 0u);
        EXPECT_GT(green[1] / opaque[1], green[0] / opaque[0]);
    }
}

}  // namespace
