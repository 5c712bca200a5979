#include "prefs_glib.h"

#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "pref_file.h"

namespace {

struct GLIBSTORE {
    GKeyFile* keyFile = nullptr;
    std::string group;
    std::string folder;
    std::string path;
    bool blocked = false;  // an unreadable file sits at `path`: never replace it
};

GLIBSTORE* Glib(void* context) {
    return static_cast<GLIBSTORE*>(context);
}

bool ReadString(void* context, const char* key, std::string* value) {
    GLIBSTORE* glib = Glib(context);
    gchar* text = g_key_file_get_string(glib->keyFile, glib->group.c_str(), key, nullptr);
    if (!text) return false;
    *value = text;
    g_free(text);
    return true;
}

bool ReadBool(void* context, const char* key) {
    GLIBSTORE* glib = Glib(context);
    return g_key_file_get_boolean(glib->keyFile, glib->group.c_str(), key, nullptr);
}

// Text, or a number outside 32 bits, reads as 0 like a missing key.
int32_t ReadInteger(void* context, const char* key) {
    GLIBSTORE* glib = Glib(context);
    return g_key_file_get_integer(glib->keyFile, glib->group.c_str(), key, nullptr);
}

// A key file holds UTF-8 only, and a file that is not is set aside when
// read; so bytes of another encoding are refused here rather than stored.
bool WriteString(void* context, const char* key, const char* value) {
    GLIBSTORE* glib = Glib(context);
    if (!g_utf8_validate(value, -1, nullptr)) {
        fprintf(stderr, "kindora: preference \"%s\" not stored: its value is not valid UTF-8\n",
                key);
        return false;
    }
    g_key_file_set_string(glib->keyFile, glib->group.c_str(), key, value);
    return true;
}

bool WriteBool(void* context, const char* key, bool value) {
    GLIBSTORE* glib = Glib(context);
    g_key_file_set_boolean(glib->keyFile, glib->group.c_str(), key, value);
    return true;
}

bool WriteInteger(void* context, const char* key, int32_t value) {
    GLIBSTORE* glib = Glib(context);
    g_key_file_set_integer(glib->keyFile, glib->group.c_str(), key, value);
    return true;
}

bool Flush(void* context) {
    GLIBSTORE* glib = Glib(context);
    if (glib->blocked) {
        fprintf(stderr, "kindora: preferences not saved: %s could not be set aside\n",
                glib->path.c_str());
        return false;
    }
    gsize length = 0;
    gchar* data = g_key_file_to_data(glib->keyFile, &length, nullptr);
    bool written = data && WritePrefFile(glib->folder, glib->path, data, length);
    g_free(data);
    return written;
}

void Release(void* context) {
    GLIBSTORE* glib = Glib(context);
    g_key_file_free(glib->keyFile);
    delete glib;
}

// Takes the file's keys when it parses; comments and other groups stay in
// the file when it is written back.
bool Parse(GLIBSTORE* glib, PREFFILE* file) {
    GKeyFile* parsed = g_key_file_new();
    GError* error = nullptr;
    auto flags = GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);
    if (!g_key_file_load_from_data(parsed, file->contents.data(), file->contents.size(), flags,
                                   &error)) {
        file->problem = std::string("is not a key file (") + error->message + ")";
        g_error_free(error);
        g_key_file_free(parsed);
        return false;
    }
    g_key_file_free(glib->keyFile);
    glib->keyFile = parsed;
    return true;
}

void Load(GLIBSTORE* glib) {
    // A bad file that another process replaces meanwhile is read again.
    for (int attempt = 0; attempt < 3; attempt++) {
        PREFFILE file;
        PrefFileState state = ReadPrefFile(glib->path, &file);
        if (state == PrefFileState::kMissing) return;
        if (state == PrefFileState::kRead && Parse(glib, &file)) return;
        MoveAsideResult moved = MovePrefFileAside(glib->path, file);
        if (moved == MoveAsideResult::kMoved) return;
        if (moved == MoveAsideResult::kStuck) break;
    }
    glib->blocked = true;
}

bool ValidModuleName(const char* module) {
    if (!module || !module[0] || module[0] == '.') return false;
    for (const char* c = module; *c; c++) {
        bool plain = g_ascii_isalnum(*c) || *c == '.' || *c == '_' || *c == '-';
        if (!plain) return false;
    }
    return true;
}

}  // namespace

std::string UserConfigDir() {
    // Relative values are ignored, as the XDG base directory rules ask;
    // GLib itself would take them.
    const char* config = getenv("XDG_CONFIG_HOME");
    if (config && g_path_is_absolute(config)) return config;
    return std::string(g_get_home_dir()) + "/.config";
}

std::string PrefFilePath(const std::string& configDir, const char* module) {
    return configDir + "/kindora/" + module + ".conf";
}

bool OpenPrefStore(const char* module, const char* configDir, PREFSTORE* store) {
    *store = PREFSTORE();
    if (!ValidModuleName(module)) return false;
    GLIBSTORE* glib = new (std::nothrow) GLIBSTORE;
    if (!glib) return false;
    std::string base = configDir ? configDir : UserConfigDir();
    glib->folder = base + "/kindora";
    glib->path = PrefFilePath(base, module);
    glib->group = module;
    glib->keyFile = g_key_file_new();
    Load(glib);

    store->context = glib;
    store->ReadString = ReadString;
    store->ReadBool = ReadBool;
    store->ReadInteger = ReadInteger;
    store->WriteString = WriteString;
    store->WriteBool = WriteBool;
    store->WriteInteger = WriteInteger;
    store->Flush = Flush;
    store->Release = Release;
    return true;
}
