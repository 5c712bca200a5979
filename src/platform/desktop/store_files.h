#ifndef KINDORA_PLATFORM_DESKTOP_STORE_FILES_H
#define KINDORA_PLATFORM_DESKTOP_STORE_FILES_H

#include <cstddef>
#include <string>
#include <vector>

// Settings files larger than this are no desktop's own and are ignored.
constexpr size_t kMaxStoreFileBytes = size_t(1) << 20;

// Reads a whole regular file of at most kMaxStoreFileBytes. Opens it without
// blocking (a FIFO or device is refused, never waited on); false when it is
// missing, unreadable, not a regular file or too large.
bool ReadStoreFile(const std::string& path, std::string* text);

// The names in a folder (no "." or ".."), at most `limit` of them; false
// when it cannot be listed.
bool ListFolder(const std::string& path, size_t limit, std::vector<std::string>* names);

// True when `path` is a folder (following links).
bool IsFolder(const std::string& path);

#endif
