#include "preferences.h"

namespace {

void WriteDefaults(const PREFSTORE& store) {
    void* context = store.context;
    store.WriteString(context, "version", kPrefsVersion);
    store.WriteBool(context, "MainMonitorOnly", false);
    store.WriteInteger(context, "FireRes", kDefaultFireRes);
    store.WriteInteger(context, "BurnStyle", kDefaultBurnStyle);
    store.WriteInteger(context, "BurnSpeed", kDefaultBurnSpeed);
    store.WriteInteger(context, "BurnDelay", kDefaultBurnDelay);
    store.WriteInteger(context, "Colours", kDefaultColours);
    store.WriteInteger(context, "BGType", kDefaultBGType);
    store.WriteInteger(context, "BGRes", kDefaultBGRes);
    store.WriteString(context, "BGPath", kDefaultBGPath);
}

void UseDefaults(SETTINGS* settings, bool* mainMonitorOnly) {
    *mainMonitorOnly = false;
    settings->FIRERES = kDefaultFireRes;
    settings->BURNSPEED = kDefaultBurnSpeed;
    settings->BURNDELAY = kDefaultBurnDelay;
    settings->COLOURS = kDefaultColours;
    settings->BURNSTYLE = kDefaultBurnStyle;
    settings->BGTYPE = kDefaultBGType;
    settings->BGRES = kDefaultBGRes;
    SetBGPath(settings, kDefaultBGPath);
    // The one sign that this view has just written the defaults.
    settings->LIMITFPS = true;
}

}  // namespace

void ClosePrefStore(PREFSTORE* store) {
    if (store->Release && store->context) store->Release(store->context);
    *store = PREFSTORE();
}

bool LoadSettings(const PREFSTORE& store, SETTINGS* settings, bool* mainMonitorOnly) {
    void* context = store.context;
    std::string version;
    bool hasVersion = store.ReadString(context, "version", &version);
    *mainMonitorOnly = store.ReadBool(context, "MainMonitorOnly");
    settings->FIRERES = store.ReadInteger(context, "FireRes");
    settings->BURNSPEED = store.ReadInteger(context, "BurnSpeed");
    settings->BURNDELAY = store.ReadInteger(context, "BurnDelay");
    settings->COLOURS = store.ReadInteger(context, "Colours");
    settings->BURNSTYLE = store.ReadInteger(context, "BurnStyle");
    settings->BGTYPE = store.ReadInteger(context, "BGType");
    settings->BGRES = store.ReadInteger(context, "BGRes");
    std::string path;
    SetBGPath(settings, store.ReadString(context, "BGPath", &path) ? path.c_str() : nullptr);
    settings->LIMITFPS = false;

    if (hasVersion && version == kPrefsVersion) return true;
    WriteDefaults(store);
    bool flushed = store.Flush(context);
    UseDefaults(settings, mainMonitorOnly);
    return flushed;
}

bool SaveSettings(const PREFSTORE& store, const SETTINGS& settings, bool mainMonitorOnly,
                  const char* folderPath) {
    void* context = store.context;
    bool stored = store.WriteBool(context, "MainMonitorOnly", mainMonitorOnly);
    stored &= store.WriteInteger(context, "FireRes", settings.FIRERES);
    stored &= store.WriteInteger(context, "BurnStyle", settings.BURNSTYLE);
    stored &= store.WriteInteger(context, "BurnSpeed", settings.BURNSPEED);
    stored &= store.WriteInteger(context, "BurnDelay", settings.BURNDELAY);
    stored &= store.WriteInteger(context, "Colours", settings.COLOURS);
    stored &= store.WriteInteger(context, "BGType", settings.BGTYPE);
    stored &= store.WriteInteger(context, "BGRes", settings.BGRES);
    stored &= store.WriteString(context, "BGPath", folderPath ? folderPath : settings.BGPath);
    bool flushed = store.Flush(context);
    return stored && flushed;
}
