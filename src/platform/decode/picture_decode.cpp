#include "picture_decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "decode_internal.h"

namespace {

constexpr uint8_t kJpegMagic[] = {0xFF, 0xD8, 0xFF};
constexpr uint8_t kPngMagic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kGif87Magic[] = {'G', 'I', 'F', '8', '7', 'a'};
constexpr uint8_t kGif89Magic[] = {'G', 'I', 'F', '8', '9', 'a'};
constexpr uint8_t kRiffMagic[] = {'R', 'I', 'F', 'F'};
constexpr uint8_t kWebpMagic[] = {'W', 'E', 'B', 'P'};  // at 8, after the RIFF size
constexpr uint8_t kGzipMagic[] = {0x1F, 0x8B, 0x08};
constexpr uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};

template <size_t N>
bool StartsWith(const uint8_t* data, size_t size, const uint8_t (&magic)[N]) {
    return size >= N && memcmp(data, magic, N) == 0;
}

bool IsWebp(const uint8_t* data, size_t size) {
    return StartsWith(data, size, kRiffMagic) && size >= 12 &&
           memcmp(data + 8, kWebpMagic, sizeof kWebpMagic) == 0;
}

// SVG is text: an optional byte-order mark and white space, then an XML
// declaration, a document type or the svg element itself.
bool IsSvgText(const uint8_t* data, size_t size) {
    size_t at = StartsWith(data, size, kUtf8Bom) ? sizeof kUtf8Bom : 0;
    while (at < size &&
           (data[at] == ' ' || data[at] == '\t' || data[at] == '\r' || data[at] == '\n'))
        ++at;
    const char* text = reinterpret_cast<const char*>(data + at);
    const size_t left = size - at;
    for (const char* start : {"<?xml", "<svg", "<!DOCTYPE svg"}) {
        const size_t n = strlen(start);
        if (left >= n && memcmp(text, start, n) == 0) return true;
    }
    return false;
}

// Only a regular file of sensible size is worth reading: a FIFO, a device or
// a folder is refused before it is opened, and again after (it may have been
// swapped in between).
bool RegularFileSize(const struct stat& info, PictureReason* reason, size_t* size) {
    if (!S_ISREG(info.st_mode)) {
        SetReason(reason, "not a regular file");
        return false;
    }
    if (uint64_t(info.st_size) > kMaxPictureFileBytes) {
        SetReason(reason, "file too large (%lld bytes)", (long long)info.st_size);
        return false;
    }
    *size = size_t(info.st_size);
    return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size, size_t* got, PictureReason* reason) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetReason(reason, "cannot read (%s)", strerror(errno));
            return false;
        }
        if (n == 0) break;  // the file shrank; the decoder sees the end early
        done += size_t(n);
    }
    *got = done;
    return true;
}

// Reads the whole file into a malloc'd buffer.
bool ReadPictureFile(const char* path, uint8_t** data, size_t* size, PictureReason* reason) {
    struct stat info;
    size_t expected = 0;
    if (stat(path, &info) != 0) {
        SetReason(reason, "cannot open (%s)", strerror(errno));
        return false;
    }
    if (!RegularFileSize(info, reason, &expected)) return false;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        SetReason(reason, "cannot open (%s)", strerror(errno));
        return false;
    }
    bool ok = fstat(fd, &info) == 0;
    if (!ok) SetReason(reason, "cannot read (%s)", strerror(errno));
    ok = ok && RegularFileSize(info, reason, &expected);
    uint8_t* buffer = ok ? static_cast<uint8_t*>(malloc(expected ? expected : 1)) : nullptr;
    if (ok && !buffer) SetReason(reason, "no memory to read %zu bytes", expected);
    ok = buffer && ReadAll(fd, buffer, expected, size, reason);
    close(fd);
    if (!ok) {
        free(buffer);
        return false;
    }
    *data = buffer;
    return true;
}

}  // namespace

bool DecodePictureMemory(const uint8_t* data, size_t size, PictureBitmap* out,
                         PictureReason* reason) {
    if (StartsWith(data, size, kJpegMagic)) return DecodeJpeg(data, size, out, reason);
    if (StartsWith(data, size, kPngMagic)) return DecodePng(data, size, out, reason);
    if (StartsWith(data, size, kGif87Magic) || StartsWith(data, size, kGif89Magic)) {
        return DecodeGif(data, size, out, reason);
    }
    if (IsWebp(data, size)) return DecodeWebp(data, size, out, reason);
    if (IsSvgText(data, size)) return DecodeSvg(data, size, false, out, reason);
    if (StartsWith(data, size, kGzipMagic)) return DecodeSvg(data, size, true, out, reason);
    SetReason(reason, "not a JPEG, PNG, GIF, WebP or SVG picture");
    return false;
}

bool DecodePictureFile(const char* path, PictureBitmap* out, PictureReason* reason) {
    if (!path || !out) {
        SetReason(reason, "no picture file named");
        return false;
    }
    uint8_t* data = nullptr;
    size_t size = 0;
    if (!ReadPictureFile(path, &data, &size, reason)) return false;
    const bool decoded = DecodePictureMemory(data, size, out, reason);
    free(data);
    return decoded;
}
