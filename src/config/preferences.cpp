#include "preferences.h"

#include <cstdio>

const PREFKEY kPrefKeys[kPrefKeyCount] = {
    {"MainMonitorOnly", PREFKEY::kFlag, nullptr, 0},
    {"FireRes", PREFKEY::kInteger, &SETTINGS::FIRERES, kDefaultFireRes},
    {"BurnStyle", PREFKEY::kInteger, &SETTINGS::BURNSTYLE, kDefaultBurnStyle},
    {"BurnSpeed", PREFKEY::kInteger, &SETTINGS::BURNSPEED, kDefaultBurnSpeed},
    {"BurnDelay", PREFKEY::kInteger, &SETTINGS::BURNDELAY, kDefaultBurnDelay},
    {"Colours", PREFKEY::kInteger, &SETTINGS::COLOURS, kDefaultColours},
    {"BGType", PREFKEY::kInteger, &SETTINGS::BGTYPE, kDefaultBGType},
    {"BGRes", PREFKEY::kInteger, &SETTINGS::BGRES, kDefaultBGRes},
    {"BGPath", PREFKEY::kFolder, nullptr, 0},
};

// FireRes, BurnSpeed, BurnDelay, Colours, BurnStyle, then the rest.
const int kPrefReadOrder[kPrefKeyCount] = {0, 1, 3, 4, 5, 2, 6, 7, 8};

namespace {

// Length of the well-formed UTF-8 sequence at `s`, or 0 (overlong forms,
// surrogates and values past U+10FFFF are not well formed).
size_t Utf8SequenceLength(const unsigned char* s) {
    const unsigned c = s[0];
    if (c < 0x80) return 1;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
    }
    if ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] > 0x9F)) return 0;
    if ((c == 0xF0 && s[1] < 0x90) || (c == 0xF4 && s[1] > 0x8F)) return 0;
    return n;
}

bool IsUtf8(const char* text) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        const size_t n = Utf8SequenceLength(s);
        if (n == 0) return false;
        s += n;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void WriteDefaults(const PREFSTORE& store) {
    void* context = store.context;
    store.WriteString(context, "version", kPrefsVersion);
    for (const PREFKEY& key : kPrefKeys) {
        if (key.kind == PREFKEY::kFlag) store.WriteBool(context, key.key, false);
        if (key.kind == PREFKEY::kInteger) store.WriteInteger(context, key.key, key.defaultValue);
        if (key.kind == PREFKEY::kFolder) store.WriteString(context, key.key, kDefaultBGPath);
    }
}

void UseDefaults(SETTINGS* settings, bool* mainMonitorOnly) {
    for (const PREFKEY& key : kPrefKeys) {
        if (key.kind == PREFKEY::kFlag) *mainMonitorOnly = false;
        if (key.kind == PREFKEY::kInteger) settings->*key.field = key.defaultValue;
        if (key.kind == PREFKEY::kFolder) SetBGPath(settings, kDefaultBGPath);
    }
    // The one sign that this view has just written the defaults.
    settings->LIMITFPS = true;
}

void ReadKey(const PREFSTORE& store, const PREFKEY& key, SETTINGS* settings,
             bool* mainMonitorOnly) {
    void* context = store.context;
    if (key.kind == PREFKEY::kFlag) *mainMonitorOnly = store.ReadBool(context, key.key);
    if (key.kind == PREFKEY::kInteger) settings->*key.field = store.ReadInteger(context, key.key);
    if (key.kind == PREFKEY::kFolder) {
        std::string stored;
        const bool found = store.ReadString(context, key.key, &stored);
        SetBGPath(settings, found ? DecodeFolderPath(stored).c_str() : nullptr);
    }
}

bool WriteKey(const PREFSTORE& store, const PREFKEY& key, const SETTINGS& settings,
              bool mainMonitorOnly, const char* folderPath) {
    void* context = store.context;
    if (key.kind == PREFKEY::kFlag) return store.WriteBool(context, key.key, mainMonitorOnly);
    if (key.kind == PREFKEY::kInteger) {
        return store.WriteInteger(context, key.key, settings.*key.field);
    }
    const std::string stored = EncodeFolderPath(folderPath ? folderPath : settings.BGPath);
    return store.WriteString(context, key.key, stored.c_str());
}

}  // namespace

std::string EncodeFolderPath(const char* path) {
    if (!path) path = "";
    if (path[0] != '%' && IsUtf8(path)) return path;
    std::string stored = "%";
    for (const char* p = path; *p; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte == '%' || byte < 0x20 || byte >= 0x7F) {
            char escape[4];
            snprintf(escape, sizeof escape, "%%%02X", byte);
            stored += escape;
        } else {
            stored += char(byte);
        }
    }
    return stored;
}

std::string DecodeFolderPath(const std::string& stored) {
    if (stored.empty() || stored[0] != '%') return stored;
    std::string path;
    for (size_t i = 1; i < stored.size(); ++i) {
        if (stored[i] != '%') {
            path += stored[i];
            continue;
        }
        const int high = i + 2 < stored.size() ? HexDigit(stored[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(stored[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) return stored;
        path += char(high * 16 + low);
        i += 2;
    }
    return path;
}

void ClosePrefStore(PREFSTORE* store) {
    if (store->Release && store->context) store->Release(store->context);
    *store = PREFSTORE();
}

bool LoadSettings(const PREFSTORE& store, SETTINGS* settings, bool* mainMonitorOnly) {
    void* context = store.context;
    std::string version;
    bool hasVersion = store.ReadString(context, "version", &version);
    for (int index : kPrefReadOrder)
        ReadKey(store, kPrefKeys[index], settings, mainMonitorOnly);
    settings->LIMITFPS = false;

    if (hasVersion && version == kPrefsVersion) return true;
    WriteDefaults(store);
    bool flushed = store.Flush(context);
    UseDefaults(settings, mainMonitorOnly);
    return flushed;
}

bool SaveSettings(const PREFSTORE& store, const SETTINGS& settings, bool mainMonitorOnly,
                  const char* folderPath) {
    bool stored = true;
    for (const PREFKEY& key : kPrefKeys) {
        stored &= WriteKey(store, key, settings, mainMonitorOnly, folderPath);
    }
    bool flushed = store.Flush(store.context);
    return stored && flushed;
}
