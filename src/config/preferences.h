#ifndef KINDORA_CONFIG_PREFERENCES_H
#define KINDORA_CONFIG_PREFERENCES_H

#include <cstdint>
#include <string>

#include "settings.h"

// The module's name: the store that holds its preferences is opened under it.
constexpr const char* kPrefsModuleName = "qxKindora";
// The store generation that LoadSettings accepts; any other "version" resets
// the store to the defaults.
constexpr const char* kPrefsVersion = "1.1";

// A per-user preference store, opened for one module by the platform side.
// Every operation takes `context` as its first argument. Reads of a missing
// key, or of a key holding a value of another type, give no string (false
// result), false or 0. Writes change the store in memory and return false
// when the value cannot be stored; Flush makes every change permanent and
// returns false when it could not, leaving what was stored before intact.
struct PREFSTORE {
    void* context = nullptr;
    bool (*ReadString)(void* context, const char* key, std::string* value) = nullptr;
    bool (*ReadBool)(void* context, const char* key) = nullptr;
    int32_t (*ReadInteger)(void* context, const char* key) = nullptr;
    bool (*WriteString)(void* context, const char* key, const char* value) = nullptr;
    bool (*WriteBool)(void* context, const char* key, bool value) = nullptr;
    bool (*WriteInteger)(void* context, const char* key, int32_t value) = nullptr;
    bool (*Flush)(void* context) = nullptr;
    // Releases the context without flushing; may be null.
    void (*Release)(void* context) = nullptr;
};

// Releases the store's context and clears the record; safe to call twice.
void ClosePrefStore(PREFSTORE* store);

// One stored preference besides "version": its key, what it holds and its
// default. The table serves loading, saving and resetting, in this order.
struct PREFKEY {
    enum Kind { kFlag, kInteger, kFolder };
    const char* key;
    Kind kind;
    int32_t SETTINGS::*field;  // the record's field of a kInteger key, else null
    int32_t defaultValue;      // of a kInteger key; a kFlag key defaults to false
};
constexpr int kPrefKeyCount = 9;
extern const PREFKEY kPrefKeys[kPrefKeyCount];
// The order in which LoadSettings reads the keys, as indices into kPrefKeys.
extern const int kPrefReadOrder[kPrefKeyCount];

// A key file holds UTF-8 text only, and a folder's name is any bytes. A
// folder that is valid UTF-8 and does not start with '%' is stored as it
// stands; any other is stored as '%' followed by its bytes with '%', control
// bytes and every byte from 0x80 up written as "%XX" (hex).
std::string EncodeFolderPath(const char* path);
// The inverse of EncodeFolderPath. A stored text that starts with '%' but
// holds a broken escape (written by hand) is taken as it stands.
std::string DecodeFolderPath(const std::string& stored);

// Fills `settings` and `mainMonitorOnly` from the store. A store whose
// "version" is not exactly "1.1" is reset: the defaults are written and
// flushed, the record gets the defaults and LIMITFPS turns true (false in
// every other case). Returns false only when that reset could not be
// flushed; the record holds the defaults all the same.
bool LoadSettings(const PREFSTORE& store, SETTINGS* settings, bool* mainMonitorOnly);

// Writes the record, the flag and `folderPath` (the folder as the user sees
// it; null writes the record's BGPath, encoded by EncodeFolderPath) and
// flushes once. "version" is left
// alone. Returns false when a value could not be stored or the flush failed.
bool SaveSettings(const PREFSTORE& store, const SETTINGS& settings, bool mainMonitorOnly,
                  const char* folderPath);

#endif
