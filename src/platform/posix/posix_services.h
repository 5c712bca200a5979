#ifndef KINDORA_PLATFORM_POSIX_SERVICES_H
#define KINDORA_PLATFORM_POSIX_SERVICES_H

#include <string>

#include "folder_reader.h"

// The POSIX side of the portable code's hooks: folders listed with
// opendir/readdir, and the executable found through /proc/self/exe.
FOLDERREADER PosixFolderReader();
bool PosixExecutablePath(std::string* path);

// Installs both (SetFolderReader, SetExecutablePathFinder).
void InstallPosixServices();

#endif
