#ifndef KINDORA_FUZZ_SUPPORT_H
#define KINDORA_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// What the targets share: a scratch folder of their own, files written into
// it, and a hard stop for a broken invariant (libFuzzer records the input).

// A private folder for this process, on tmpfs when there is one, so that the
// readers that only take paths cost no disk writes.
inline const std::string& ScratchDir() {
    static std::string dir = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/kindora-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) abort();
        return pattern;
    }();
    return dir;
}

// Replaces the file at `path` with the bytes; aborts when that fails, since
// a run that reads the wrong bytes proves nothing.
inline void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) abort();
    if (size && fwrite(data, 1, size, file) != size) abort();
    if (fclose(file) != 0) abort();
}

#define FUZZ_CHECK(condition)                                                       \
    do {                                                                            \
        if (!(condition)) {                                                         \
            fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                \
        }                                                                           \
    } while (0)

// Reads every byte of a buffer, so that AddressSanitizer sees a short one.
inline uint8_t TouchBytes(const uint8_t* p, size_t n) {
    uint8_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum = uint8_t(sum + p[i]);
    return sum;
}

#endif
