#include "pref_file.h"

#include <errno.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

PrefFileState Bad(PREFFILE* file, const std::string& problem) {
    file->problem = problem;
    return PrefFileState::kBad;
}

std::string ErrnoText(const char* what) {
    return std::string(what) + " (" + strerror(errno) + ")";
}

PrefFileState ReadOpenFile(int fd, PREFFILE* file) {
    struct stat info;
    if (fstat(fd, &info) != 0) return Bad(file, ErrnoText("cannot be examined"));
    file->identified = true;
    file->device = info.st_dev;
    file->inode = info.st_ino;
    if (!S_ISREG(info.st_mode)) return Bad(file, "is not a regular file");
    if (info.st_size > off_t(kMaxPrefFileSize)) return Bad(file, "is larger than 64 KiB");

    // One byte more than allowed shows a file that grew while being read.
    std::string& text = file->contents;
    text.resize(kMaxPrefFileSize + 1);
    size_t total = 0;
    while (total < text.size()) {
        ssize_t count = read(fd, &text[total], text.size() - total);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return Bad(file, ErrnoText("cannot be read"));
        if (count == 0) break;
        total += size_t(count);
    }
    text.resize(total);
    if (total > kMaxPrefFileSize) return Bad(file, "is larger than 64 KiB");
    if (!g_utf8_validate(text.data(), gssize(total), nullptr)) {
        return Bad(file, "is not valid UTF-8");
    }
    return PrefFileState::kRead;
}

// "<path>.bad-YYYYMMDD-HHMMSS", with "-2", "-3", ... for later tries.
std::string BadFileName(const std::string& path, int attempt) {
    time_t now = time(nullptr);
    struct tm local;
    char stamp[32] = "unknown-time";
    if (localtime_r(&now, &local)) strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = path + ".bad-" + stamp;
    if (attempt > 0) name += "-" + std::to_string(attempt + 1);
    return name;
}

// rename() that fails with EEXIST instead of replacing `to`.
int RenameNoReplace(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: look first, then rename.
    struct stat existing;
    if (lstat(to, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from, to);
}

bool StillSameFile(const std::string& path, const PREFFILE& file) {
    if (!file.identified) return true;
    struct stat now;
    return stat(path.c_str(), &now) == 0 && now.st_dev == file.device && now.st_ino == file.inode;
}

void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

PrefFileState ReadPrefFile(const std::string& path, PREFFILE* file) {
    *file = PREFFILE();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // ENOTDIR: the folder itself is missing in the form of a file.
        if (errno == ENOENT || errno == ENOTDIR) return PrefFileState::kMissing;
        return Bad(file, ErrnoText("cannot be opened"));
    }
    PrefFileState state = ReadOpenFile(fd, file);
    close(fd);
    return state;
}

MoveAsideResult MovePrefFileAside(const std::string& path, const PREFFILE& file) {
    // Another process may have put a sound file in its place meanwhile.
    if (!StillSameFile(path, file)) return MoveAsideResult::kGone;
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string target = BadFileName(path, attempt);
        if (RenameNoReplace(path.c_str(), target.c_str()) == 0) {
            fprintf(stderr, "kindora: preference file %s %s; moved it to %s\n", path.c_str(),
                    file.problem.c_str(), target.c_str());
            SyncFolder(path.substr(0, path.rfind('/')));
            return MoveAsideResult::kMoved;
        }
        if (errno == ENOENT) return MoveAsideResult::kGone;
        if (errno != EEXIST) break;
    }
    fprintf(stderr,
            "kindora: preference file %s %s and could not be moved aside (%s); it stays in "
            "place and settings will not be saved\n",
            path.c_str(), file.problem.c_str(), strerror(errno));
    return MoveAsideResult::kStuck;
}

bool WritePrefFile(const std::string& folder, const std::string& path, const char* data,
                   size_t length) {
    if (length > kMaxPrefFileSize) {
        fprintf(stderr, "kindora: preferences not saved: %s would be larger than 64 KiB\n",
                path.c_str());
        return false;
    }
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0) {
        fprintf(stderr, "kindora: preferences not saved: cannot create %s (%s)\n", folder.c_str(),
                strerror(errno));
        return false;
    }
    GError* error = nullptr;
    auto flags =
        GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE);
    if (!g_file_set_contents_full(path.c_str(), data, gssize(length), flags, 0600, &error)) {
        fprintf(stderr, "kindora: preferences not saved: %s\n", error->message);
        g_error_free(error);
        return false;
    }
    // The rename itself lasts only once the folder is on disk too.
    SyncFolder(folder);
    return true;
}
