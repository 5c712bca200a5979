// The random choice's name match and path join. The input is a folder, a NUL
// byte and a name. The match agrees with a plain lower-case comparison (no
// match for a name too long for its copy); the
// join is the folder, a separator where one is due and the name, or nothing
// when that would not fit.
#include <cctype>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "random_choice.h"

namespace {

bool PlainMatch(const std::string& name, const char* ext) {
    const size_t n = strlen(ext);
    if (name.size() <= n || name.size() >= kLowerCopyBuffer) return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[name.size() - n + i]);
        if (tolower(c) != ext[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string folder = input.substr(0, split);
    const std::string name =
        split == std::string::npos ? "" : input.substr(split + 1).c_str();  // up to a NUL

    for (const char* ext : kPictureExtensions)
        FUZZ_CHECK(NameHasExtension(name.c_str(), ext) == PlainMatch(name, ext));

    char joined[kJoinedPathChars + 1];
    memset(joined, 'x', sizeof joined);
    const bool fits = JoinFolderAndName(folder.c_str(), name.c_str(), joined);
    const bool separator = folder.size() > 2 && folder.back() != '/';
    const std::string expected = folder + (separator ? "/" : "") + name;
    if (expected.size() <= kJoinedPathChars) {
        FUZZ_CHECK(fits);
        FUZZ_CHECK(expected == joined);
    } else {
        FUZZ_CHECK(!fits);
        FUZZ_CHECK(joined[0] == '\0');
    }
    return 0;
}
