#ifndef KINDORA_PLATFORM_DESKTOP_GSETTINGS_FIXTURE_H
#define KINDORA_PLATFORM_DESKTOP_GSETTINGS_FIXTURE_H

// For tests only. Sets a string key of this process's GSettings, or with a
// null value resets it to its default. Refuses (false) unless the process
// runs on GLib's in-memory backend (GSETTINGS_BACKEND=memory, set before the
// first GSettings call), so that a test never writes a user's own settings.
bool SetTestGSettingsString(const char* schema, const char* key, const char* value);

#endif
