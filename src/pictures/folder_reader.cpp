#include "folder_reader.h"

#include <cerrno>
#include <new>

namespace {

FOLDERREADER installedReader;

struct MemoryListing {
    MEMORYFOLDERS* memory;
    const std::vector<std::string>* names;
    size_t next;
};

void* OpenMemory(void* context, const char* folder, int* error) {
    MEMORYFOLDERS* memory = static_cast<MEMORYFOLDERS*>(context);
    const auto found = memory->folders.find(folder ? folder : "");
    MemoryListing* listing =
        found == memory->folders.end() ? nullptr : new (std::nothrow) MemoryListing;
    if (!listing) {
        *error = found == memory->folders.end() ? ENOENT : ENOMEM;
        return nullptr;
    }
    *listing = {memory, &found->second, 0};
    ++memory->openListings;
    return listing;
}

const char* NextMemory(void* listing) {
    MemoryListing* memory = static_cast<MemoryListing*>(listing);
    if (memory->next >= memory->names->size()) return nullptr;
    return (*memory->names)[memory->next++].c_str();
}

void CloseMemory(void* listing) {
    MemoryListing* memory = static_cast<MemoryListing*>(listing);
    --memory->memory->openListings;
    delete memory;
}

}  // namespace

void SetFolderReader(const FOLDERREADER& reader) {
    installedReader = reader;
}

const FOLDERREADER& CurrentFolderReader() {
    return installedReader;
}

FOLDERREADER MemoryFolderReader(MEMORYFOLDERS* memory) {
    FOLDERREADER reader;
    reader.context = memory;
    reader.Open = OpenMemory;
    reader.Next = NextMemory;
    reader.Close = CloseMemory;
    return reader;
}
