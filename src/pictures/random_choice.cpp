#include "random_choice.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "folder_reader.h"
#include "picfile.h"

const char* const kPictureExtensions[3] = {".jpg", ".gif", ".png"};

namespace {

void CopyName(const char* name, char* nameOut) {
    const size_t length = strnlen(name, kPictureNameBuffer - 1);
    memcpy(nameOut, name, length);
    nameOut[length] = '\0';
}

// Says why no file could be chosen: the folder cannot be read, or holds no
// accepted name.
void DescribeEmptyFolder(const char* folder, PictureReason* reason) {
    const FOLDERREADER& reader = CurrentFolderReader();
    if (!reader.Open) {
        SetReason(reason, "cannot open the folder (no folder reader installed)");
        return;
    }
    int error = 0;
    void* listing = reader.Open(reader.context, folder, &error);
    if (!listing) {
        SetReason(reason, "cannot open the folder (%s)", strerror(error));
        return;
    }
    reader.Close(listing);
    SetReason(reason, "no .jpg, .gif or .png file in the folder");
}

// Opens a listing of `folder` through the installed reader; null when none
// is installed or the folder cannot be opened.
void* OpenListing(const char* folder) {
    const FOLDERREADER& reader = CurrentFolderReader();
    int error = 0;
    return reader.Open ? reader.Open(reader.context, folder, &error) : nullptr;
}

}  // namespace

bool NameHasExtension(const char* name, const char* ext) {
    char lower[kLowerCopyBuffer];
    const size_t length = strnlen(name, kLowerCopyBuffer);
    // Matching a cut copy would judge the name by its middle.
    if (length == kLowerCopyBuffer) return false;
    for (size_t i = 0; i < length; ++i) {
        lower[i] = char(tolower(static_cast<unsigned char>(name[i])));
    }
    lower[length] = '\0';
    const size_t extLength = strlen(ext);
    return length > extLength && memcmp(lower + length - extLength, ext, extLength) == 0;
}

int32_t CountFiles(const char* folder, const char* ext) {
    if (!folder || !ext) return 0;
    void* listing = OpenListing(folder);
    if (!listing) return 0;
    const FOLDERREADER& reader = CurrentFolderReader();
    int32_t count = 0;
    while (const char* name = reader.Next(listing)) {
        if (NameHasExtension(name, ext) && count < INT32_MAX) ++count;
    }
    reader.Close(listing);
    return count;
}

bool FindNthFile(const char* folder, char* nameOut, const char* ext, int32_t n) {
    const int32_t count = CountFiles(folder, ext);
    if (count <= 0 || count < n) return false;
    void* listing = OpenListing(folder);
    if (!listing) return false;
    const FOLDERREADER& reader = CurrentFolderReader();
    int32_t index = 0;
    bool found = false;
    while (const char* name = reader.Next(listing)) {
        if (!NameHasExtension(name, ext)) continue;
        if (index == n) {
            CopyName(name, nameOut);
            found = true;
            break;
        }
        ++index;
    }
    reader.Close(listing);
    return found;
}

void ExtensionForDraw(int32_t jpg, int32_t gif, int32_t r, const char** ext, int32_t* index) {
    if (r < jpg) {
        *ext = kPictureExtensions[0];
    } else if ((r -= jpg) < gif) {
        *ext = kPictureExtensions[1];
    } else {
        r -= gif;
        *ext = kPictureExtensions[2];
    }
    *index = r;
}

bool ChooseRandomImageFile(const char* folder, char* nameOut) {
    const int64_t jpg = CountFiles(folder, kPictureExtensions[0]);
    const int64_t gif = CountFiles(folder, kPictureExtensions[1]);
    const int64_t png = CountFiles(folder, kPictureExtensions[2]);
    const int64_t total = jpg + gif + png;
    if (total < 1 || total > INT32_MAX) return false;
    const int32_t r = int32_t(rand() % total);
    const char* ext = nullptr;
    int32_t index = 0;
    ExtensionForDraw(int32_t(jpg), int32_t(gif), r, &ext, &index);
    return FindNthFile(folder, nameOut, ext, index);
}

bool JoinFolderAndName(const char* folder, const char* name, char* out) {
    const size_t folderLength = strlen(folder);
    const size_t nameLength = strlen(name);
    const bool separator = folderLength > 2 && folder[folderLength - 1] != '/';
    if (folderLength + (separator ? 1 : 0) + nameLength > kJoinedPathChars) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, folder, folderLength);
    char* tail = out + folderLength;
    if (separator) *tail++ = '/';
    memcpy(tail, name, nameLength);
    tail[nameLength] = '\0';
    return true;
}

bool LoadPictureWithReason(const char* folder, Texture* texture, int sizeChoice,
                           uint8_t** scaledOut, int fireRes, char* chosenPath,
                           PictureReason* reason) {
    if (chosenPath) chosenPath[0] = '\0';
    if (!folder) {
        SetReason(reason, "no folder named");
        return false;
    }
    char name[kPictureNameBuffer];
    if (!ChooseRandomImageFile(folder, name)) {
        DescribeEmptyFolder(folder, reason);
        return false;
    }
    char joined[kJoinedPathChars + 1];
    if (!JoinFolderAndName(folder, name, joined)) {
        SetReason(reason, "the path of \"%s\" in this folder is longer than %zu bytes", name,
                  kJoinedPathChars);
        return false;
    }
    if (chosenPath) memcpy(chosenPath, joined, strlen(joined) + 1);
    return LoadPicFileWithReason(joined, texture, sizeChoice, scaledOut, fireRes, reason);
}

bool LoadPicture(const char* folder, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                 int fireRes) {
    return LoadPictureWithReason(folder, texture, sizeChoice, scaledOut, fireRes, nullptr, nullptr);
}
