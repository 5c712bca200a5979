#ifndef KINDORA_ASSETS_BUNDLE_H
#define KINDORA_ASSETS_BUNDLE_H

#include <cstddef>
#include <string>

// Finds the saver's resource file "<name>.<type>" and writes its path into
// `out` (`size` bytes, terminated). The data folder is looked for, in order:
// "../share/kindora" beside the running executable (an installed copy in
// bin/), "../../share/kindora" (the hack in libexec/xscreensaver/), the source
// tree's data folder (only for an executable inside the build tree, or one
// that does not know where it lies), and the install prefix's data folder. Returns false when no folder holds the file, the name or type is
// empty or holds a '/', or the path does not fit in `out`.
bool BundleResourcePath(const char* name, const char* type, char* out, size_t size);

// Finds the running executable's path, or returns false. The platform layer
// installs its own at start-up; with none installed the folder beside the
// executable is left out of the search.
using ExecutablePathFn = bool (*)(std::string* path);
void SetExecutablePathFinder(ExecutablePathFn finder);

// The same search over the given folders, in order.
bool FindResourceIn(const char* const* folders, size_t folderCount, const char* name,
                    const char* type, char* out, size_t size);

#endif
