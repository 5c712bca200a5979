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

// The running executable, or empty when it is unknown.
std::string Executable() {
    std::string exe;
    if (!installedFinder || !installedFinder(&exe)) return std::string();
    return exe;
}

// "<prefix>/share/kindora" for an executable in <prefix>/bin or in
// <prefix>/libexec/xscreensaver (where XScreenSaver looks for its hacks).
std::string InstalledFolder(const std::string& exe, int levelsUp) {
    if (exe.empty()) return std::string();
    fs::path prefix = fs::path(exe).parent_path();
    for (int i = 0; i < levelsUp; ++i) prefix = prefix.parent_path();
    return (prefix / "share" / "kindora").string();
}

// The source tree's data serves only programs that run from the build tree
// (or that cannot tell where they lie, as tests): an installed copy never
// depends on it.
const char* BuildTreeFolder(const std::string& exe) {
    const std::string tree = KINDORA_BUILD_TREE;
    const bool inTree = exe.empty() ||
                        (exe.size() > tree.size() && exe.compare(0, tree.size(), tree) == 0 &&
                         exe[tree.size()] == '/');
    return inTree ? KINDORA_BUILD_DATA_DIR : "";
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
    const std::string exe = Executable();
    const std::string besideBin = InstalledFolder(exe, 1);
    const std::string besideHack = InstalledFolder(exe, 2);
    const char* folders[] = {besideBin.c_str(), besideHack.c_str(), BuildTreeFolder(exe),
                             KINDORA_INSTALL_DATA_DIR};
    return FindResourceIn(folders, sizeof folders / sizeof folders[0], name, type, out, size);
}
