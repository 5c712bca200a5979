#include "store_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

bool SmallRegularFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_size >= 0 &&
           uint64_t(info.st_size) <= kMaxStoreFileBytes;
}

}  // namespace

bool ReadStoreFile(const std::string& path, std::string* text) {
    struct stat info;
    // Checked before opening (opening some devices has effects) and after
    // (the file may have been swapped in between).
    if (stat(path.c_str(), &info) != 0 || !SmallRegularFile(info)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fstat(fd, &info) == 0 && SmallRegularFile(info);
    std::string data;
    char buffer[16384];
    while (ok) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        data.append(buffer, size_t(n));
        ok = data.size() <= kMaxStoreFileBytes;  // it grew while being read
    }
    close(fd);
    if (ok) text->swap(data);
    return ok;
}

bool ListFolder(const std::string& path, size_t limit, std::vector<std::string>* names) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    names->clear();
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (names->size() >= limit) break;
        names->push_back(name);
    }
    closedir(dir);
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
