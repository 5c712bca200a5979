#ifndef KINDORA_PICTURES_FOLDER_READER_H
#define KINDORA_PICTURES_FOLDER_READER_H

#include <map>
#include <string>
#include <vector>

// Lists the entries of a folder for the random picture choice. The platform
// layer installs its own reader at start-up; tests install MemoryFolderReader.
// With none installed every folder reads as one that cannot be opened.
struct FOLDERREADER {
    void* context = nullptr;
    // Starts a listing of `folder`, or returns null with `*error` set to an
    // errno value when the folder cannot be opened.
    void* (*Open)(void* context, const char* folder, int* error) = nullptr;
    // The next entry's name (valid until the next call), or null at the end.
    const char* (*Next)(void* listing) = nullptr;
    void (*Close)(void* listing) = nullptr;
};

void SetFolderReader(const FOLDERREADER& reader);
const FOLDERREADER& CurrentFolderReader();

// Folders held in memory: each path names its entries in listing order.
struct MEMORYFOLDERS {
    std::map<std::string, std::vector<std::string>> folders;
    int openListings = 0;  // listings opened and not yet closed
};

// A reader over `memory`, which must outlive it. A folder missing from the
// map cannot be opened (ENOENT).
FOLDERREADER MemoryFolderReader(MEMORYFOLDERS* memory);

#endif
