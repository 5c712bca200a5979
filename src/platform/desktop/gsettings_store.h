#ifndef KINDORA_PLATFORM_DESKTOP_GSETTINGS_STORE_H
#define KINDORA_PLATFORM_DESKTOP_GSETTINGS_STORE_H

#include <string>

// Reads a string key of this process's GSettings (dconf reads its database
// file directly; no session bus is needed). The schema is looked up first
// and the key's type checked, so a missing schema or key gives false instead
// of GLib's abort. With `userSetOnly`, a key the user never set gives false
// rather than its default.
bool ReadGSettingsString(const char* schema, const char* key, bool userSetOnly, std::string* value);

#endif
