#ifndef KINDORA_PLATFORM_PREF_FILE_H
#define KINDORA_PLATFORM_PREF_FILE_H

#include <sys/types.h>

#include <cstddef>
#include <string>

// Reading, setting aside and replacing one preference file.

// A preference file is small; anything larger is taken for damage.
constexpr size_t kMaxPrefFileSize = 64 * 1024;

enum class PrefFileState { kMissing, kRead, kBad };

// What was found at the file's path: its text when it could be read, else
// why it cannot be used, and which file it was.
struct PREFFILE {
    std::string contents;
    std::string problem;
    bool identified = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Reads a regular file of at most kMaxPrefFileSize bytes of valid UTF-8.
// Never blocks on a FIFO or device.
PrefFileState ReadPrefFile(const std::string& path, PREFFILE* file);

enum class MoveAsideResult {
    kMoved,  // renamed to "<path>.bad-<time stamp>"
    kGone,   // no longer there, or replaced meanwhile: read it again
    kStuck,  // still in place
};

// Renames the unusable file at `path` without replacing any other file and
// says on stderr what was moved where, or why it was not.
MoveAsideResult MovePrefFileAside(const std::string& path, const PREFFILE& file);

// Replaces the file at `path` with `data` (temporary file, sync, rename, sync
// of the folder), creating `folder` with mode 0700 when needed; the file gets
// mode 0600. On failure the old file is untouched and stderr says why.
bool WritePrefFile(const std::string& folder, const std::string& path, const char* data,
                   size_t length);

#endif
