#include "gsettings_fixture.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <cstring>

namespace {

bool OnMemoryBackend() {
    GSettingsBackend* backend = g_settings_backend_get_default();
    const bool memory = strcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") == 0;
    g_object_unref(backend);
    return memory;
}

}  // namespace

bool SetTestGSettingsString(const char* schema, const char* key, const char* value) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* found =
        source ? g_settings_schema_source_lookup(source, schema, TRUE) : nullptr;
    if (!found || !OnMemoryBackend() || !g_settings_schema_get_path(found) ||
        !g_settings_schema_has_key(found, key)) {
        if (found) g_settings_schema_unref(found);
        return false;
    }
    GSettings* settings = g_settings_new_full(found, nullptr, nullptr);
    bool ok = true;
    if (value) {
        ok = g_settings_set_string(settings, key, value);
    } else {
        g_settings_reset(settings, key);
    }
    g_object_unref(settings);
    g_settings_schema_unref(found);
    return ok;
}
