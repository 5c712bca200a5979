#include "bundle.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

ExecutablePathFn installedFinder = nullptr;

bool PlainName(const char* s) {
    return s && *s && !strchr(s, '/');
}

// "<exe dir>/../share/kindora", or empty when the executable is unknown.
std::string FolderBesideExecutable() {
    std::string exe;
    if (!installedFinder || !installedFinder(&exe) || exe.empty()) return std::string();
    return (fs::path(exe).parent_path() / ".." / "share" / "kindora").string();
}

}  // namespace

void SetExecutablePathFinder(ExecutablePathFn finder) {
    installedFinder = finder;
}

bool FindResourceIn(const char* const* folders, size_t folderCount, const char* name,
                    const char* type, char* out, size_t size) {
    if (!PlainName(name) || !PlainName(type) || !out || size == 0) return false;
    const std::string file = std::string(name) + "." + type;
    for (size_t i = 0; i < folderCount; ++i) {
        if (!folders[i] || !*folders[i]) continue;
        const fs::path candidate = fs::path(folders[i]) / file;
        std::error_code error;
        if (!fs::is_regular_file(candidate, error)) continue;
        const std::string path = candidate.lexically_normal().string();
        if (path.size() + 1 > size) return false;
        memcpy(out, path.c_str(), path.size() + 1);
        return true;
    }
    return false;
}

bool BundleResourcePath(const char* name, const char* type, char* out, size_t size) {
    const std::string installed = FolderBesideExecutable();
    const char* folders[] = {installed.c_str(), KINDORA_BUILD_DATA_DIR, KINDORA_INSTALL_DATA_DIR};
    return FindResourceIn(folders, sizeof folders / sizeof folders[0], name, type, out, size);
}
