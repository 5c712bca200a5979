#include "posix_services.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "bundle.h"

namespace {

void* OpenFolder(void*, const char* folder, int* error) {
    DIR* dir = folder ? opendir(folder) : nullptr;
    if (!dir) *error = folder ? errno : ENOENT;
    return dir;
}

const char* NextEntry(void* listing) {
    const dirent* entry = readdir(static_cast<DIR*>(listing));
    return entry ? entry->d_name : nullptr;
}

void CloseFolder(void* listing) {
    closedir(static_cast<DIR*>(listing));
}

}  // namespace

FOLDERREADER PosixFolderReader() {
    FOLDERREADER reader;
    reader.Open = OpenFolder;
    reader.Next = NextEntry;
    reader.Close = CloseFolder;
    return reader;
}

bool PosixExecutablePath(std::string* path) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    // A full buffer may be a cut path.
    if (length <= 0 || size_t(length) >= sizeof buffer) return false;
    path->assign(buffer, size_t(length));
    return true;
}

void InstallPosixServices() {
    SetFolderReader(PosixFolderReader());
    SetExecutablePathFinder(PosixExecutablePath);
}
