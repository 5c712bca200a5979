// kindora-pack: builds, lists and checks the saver's resource packs.
//
//   kindora-pack create OUT MANIFEST   build a pack from a manifest
//   kindora-pack list PACK             print the header and the directory
//   kindora-pack verify PACK           decode every picture entry
//
// A manifest has one entry a line, "KIND ALPHA FILE": the entry's kind (1 for
// a TGA picture), the alpha mode its picture is uploaded with, and the file
// holding its bytes, relative to the manifest. Blank lines and lines starting
// with '#' are skipped. Exit status: 0 success, 1 failure, 2 bad usage.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "alert.h"
#include "pack_writer.h"
#include "resfile.h"
#include "tga.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

void Usage() {
    fprintf(stderr,
            "usage: kindora-pack create OUT MANIFEST\n"
            "       kindora-pack list PACK\n"
            "       kindora-pack verify PACK\n");
}

// What the decoder reports goes to stdout, prefixed by what is being read.
std::string alertPrefix;

void PrintAlert(const char* text, const char* caption) {
    printf("%s%s: %s\n", alertPrefix.c_str(), caption, text);
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    bytes->clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes->size() + n > size_t(INT32_MAX)) break;
        bytes->insert(bytes->end(), chunk, chunk + n);
    }
    const bool whole = feof(file) && !ferror(file);
    fclose(file);
    return whole;
}

bool ParseNumber(const char** cursor, uint32_t* out) {
    errno = 0;
    char* end = nullptr;
    const long long v = strtoll(*cursor, &end, 0);
    if (errno || end == *cursor || v < INT32_MIN || v > UINT32_MAX) return false;
    if (*end != ' ' && *end != '\t') return false;
    *out = uint32_t(v);
    *cursor = end;
    return true;
}

std::string Trimmed(const char* s) {
    while (*s == ' ' || *s == '\t')
        ++s;
    std::string text(s);
    while (!text.empty() && strchr(" \t\r\n", text.back()))
        text.pop_back();
    return text;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Reads one manifest line into an entry; a picture must decode.
bool ReadEntry(const std::string& folder, const char* line, PackEntry* entry, std::string* why) {
    const char* cursor = line;
    if (!ParseNumber(&cursor, &entry->kind) || !ParseNumber(&cursor, &entry->alphaMode)) {
        *why = "expected KIND ALPHA FILE";
        return false;
    }
    const std::string name = Trimmed(cursor);
    if (name.empty()) {
        *why = "expected KIND ALPHA FILE";
        return false;
    }
    const std::string path = name[0] == '/' ? name : folder + name;
    if (!ReadFile(path, &entry->data)) {
        *why = "cannot read " + path;
        return false;
    }
    if (entry->kind == kPackKindPicture) {
        alertPrefix = path + ": ";
        Texture picture;
        if (!LoadTGA(&picture, path.c_str())) {
            *why = path + " is not a picture the saver can decode";
            return false;
        }
    }
    return true;
}

bool ReadManifest(const char* manifest, std::vector<PackEntry>* entries) {
    FILE* file = fopen(manifest, "r");
    if (!file) {
        fprintf(stderr, "kindora-pack: cannot read %s\n", manifest);
        return false;
    }
    const std::string folder = FolderOf(manifest);
    char line[4096];
    bool ok = true;
    for (int number = 1; ok && fgets(line, sizeof line, file); ++number) {
        const std::string text = Trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        PackEntry entry;
        std::string why;
        ok = ReadEntry(folder, text.c_str(), &entry, &why);
        if (ok)
            entries->push_back(std::move(entry));
        else
            fprintf(stderr, "kindora-pack: %s:%d: %s\n", manifest, number, why.c_str());
    }
    fclose(file);
    return ok;
}

int Create(const char* out, const char* manifest) {
    std::vector<PackEntry> entries;
    if (!ReadManifest(manifest, &entries)) return kFailed;
    const std::vector<uint8_t> pack = BuildPack(entries);
    if (pack.empty()) {
        fprintf(stderr, "kindora-pack: the entries are too large for one pack\n");
        return kFailed;
    }
    FILE* file = fopen(out, "wb");
    bool written = file && fwrite(pack.data(), 1, pack.size(), file) == pack.size();
    if (file && fclose(file) != 0) written = false;
    if (!written) {
        fprintf(stderr, "kindora-pack: cannot write %s\n", out);
        remove(out);
        return kFailed;
    }
    printf("%s: %zu entries, %zu bytes\n", out, entries.size(), pack.size());
    return kOk;
}

bool OpenPack(RESFILE* pack, const char* path) {
    if (pack->Open(path)) return true;
    printf("%s: not a readable pack (missing, damaged, or failing its checks)\n", path);
    return false;
}

int List(const char* path) {
    RESFILE pack;
    if (!OpenPack(&pack, path)) return kFailed;
    const RESHEADER& h = pack.header;
    printf("%s: magic %.4s, %u entries, %d bytes (size check 0x%08X), directory at %u\n", path,
           h.magic, h.count, pack.fileSize, h.sizeCheck, h.dirOffset);
    printf("%5s %10s %10s %10s %6s\n", "entry", "offset", "size", "kind", "alpha");
    for (uint32_t i = 0; i < h.count; ++i) {
        const RESLUMP& lump = pack.lumps[i];
        printf("%5u %10u %10u %10u %6u\n", i, lump.offset, lump.size, lump.kind, lump.alphaMode);
    }
    return kOk;
}

// One entry: its data must lie inside the pack, and a picture must decode
// from where the entry starts without reading past the entry's end.
bool VerifyEntry(RESFILE* pack, int index) {
    const RESLUMP& lump = pack->lumps[index];
    if (!pack->SeekLump(index)) {
        printf("entry %d: cannot seek to its data (offset %u)\n", index, lump.offset);
        return false;
    }
    void* data = nullptr;
    if (!pack->LoadData(index, &data)) {
        printf("entry %d: data (offset %u, size %u) does not lie inside the pack\n", index,
               lump.offset, lump.size);
        return false;
    }
    delete[] static_cast<uint8_t*>(data);
    if (lump.kind != kPackKindPicture) {
        printf("entry %d: kind %u, %u bytes, not a picture\n", index, lump.kind, lump.size);
        return true;
    }
    if (!pack->SeekLump(index)) return false;  // it worked a moment ago
    alertPrefix = "entry " + std::to_string(index) + ": ";
    Texture picture;
    if (!LoadTGA2(&picture, &pack->stream)) return false;
    const std::streamoff end = pack->stream.tellg();
    if (end < 0 || uint64_t(end) > uint64_t(lump.offset) + lump.size) {
        printf("entry %d: the picture runs past the end of its entry\n", index);
        return false;
    }
    printf("entry %d: picture %u x %u, %u bits, alpha mode %u\n", index, picture.width,
           picture.height, picture.bpp, lump.alphaMode);
    return true;
}

int Verify(const char* path) {
    RESFILE pack;
    if (!OpenPack(&pack, path)) return kFailed;
    int failures = 0;
    for (uint32_t i = 0; i < pack.header.count; ++i) {
        if (!VerifyEntry(&pack, int(i))) ++failures;
    }
    if (failures) {
        printf("%s: %d of %u entries fail\n", path, failures, pack.header.count);
        return kFailed;
    }
    printf("%s: all %u entries load\n", path, pack.header.count);
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    SetAlertHandler(PrintAlert);
    if (argc == 4 && strcmp(argv[1], "create") == 0) return Create(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "list") == 0) return List(argv[2]);
    if (argc == 3 && strcmp(argv[1], "verify") == 0) return Verify(argv[2]);
    Usage();
    return kBadUsage;
}
