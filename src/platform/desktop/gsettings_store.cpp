#include "gsettings_store.h"

#include <gio/gio.h>

bool ReadGSettingsString(const char* schema, const char* key, bool userSetOnly,
                         std::string* value) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* found =
        source ? g_settings_schema_source_lookup(source, schema, TRUE) : nullptr;
    if (!found) return false;
    bool ok = false;
    // A relocatable schema (one without a path of its own) is no desktop's,
    // and g_settings_new_full would abort on it.
    if (g_settings_schema_get_path(found) && g_settings_schema_has_key(found, key)) {
        GSettingsSchemaKey* described = g_settings_schema_get_key(found, key);
        const bool isString = g_variant_type_equal(g_settings_schema_key_get_value_type(described),
                                                   G_VARIANT_TYPE_STRING);
        g_settings_schema_key_unref(described);
        GSettings* settings = isString ? g_settings_new_full(found, nullptr, nullptr) : nullptr;
        GVariant* v = !settings     ? nullptr
                      : userSetOnly ? g_settings_get_user_value(settings, key)
                                    : g_settings_get_value(settings, key);
        if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING)) {
            *value = g_variant_get_string(v, nullptr);
            ok = true;
        }
        if (v) g_variant_unref(v);
        if (settings) g_object_unref(settings);
    }
    g_settings_schema_unref(found);
    return ok;
}
