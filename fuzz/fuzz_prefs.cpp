// The preference file as the saver opens it: the bytes become the module's
// key file in a scratch configuration folder, then the store is opened and
// the settings loaded. What was read must survive: a current file is left
// byte for byte as it was, and the settings saved and loaded again come
// back the same.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "preferences.h"
#include "prefs_glib.h"

namespace {

// Empties the store's folder: the file and whatever was set aside beside it.
void ClearFolder(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            unlink((folder + "/" + e->d_name).c_str());
    }
    closedir(dir);
}

std::string ReadAll(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, n);
    fclose(file);
    return text;
}

bool SameSettings(const SETTINGS& a, const SETTINGS& b) {
    return a.FIRERES == b.FIRERES && a.BURNSTYLE == b.BURNSTYLE && a.COLOURS == b.COLOURS &&
           a.BURNSPEED == b.BURNSPEED && a.BURNDELAY == b.BURNDELAY && a.BGRES == b.BGRES &&
           a.BGTYPE == b.BGTYPE && strcmp(a.BGPath, b.BGPath) == 0;
}

bool Load(const std::string& configDir, SETTINGS* settings, bool* mainOnly, PREFSTORE* store) {
    if (!OpenPrefStore(kPrefsModuleName, configDir.c_str(), store)) return false;
    return LoadSettings(*store, settings, mainOnly);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string configDir = ScratchDir() + "/config";
    const std::string folder = configDir + "/kindora";
    mkdir(configDir.c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    ClearFolder(folder);
    const std::string path = PrefFilePath(configDir, kPrefsModuleName);
    WriteWhole(path, data, size);

    PREFSTORE store;
    SETTINGS first;
    bool firstMain = false;
    FUZZ_CHECK(Load(configDir, &first, &firstMain, &store));
    if (!first.LIMITFPS) {
        // A current file was taken as it stands: nothing rewrote it.
        FUZZ_CHECK(ReadAll(path) == std::string(reinterpret_cast<const char*>(data), size));
    }
    FUZZ_CHECK(SaveSettings(store, first, firstMain, nullptr));
    ClosePrefStore(&store);

    SETTINGS again;
    bool againMain = false;
    FUZZ_CHECK(Load(configDir, &again, &againMain, &store));
    FUZZ_CHECK(!again.LIMITFPS);
    FUZZ_CHECK(SameSettings(first, again) && firstMain == againMain);
    ClosePrefStore(&store);
    return 0;
}
