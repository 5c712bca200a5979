#include "sheet.h"

#include <cstdlib>

#include "alert.h"

namespace {

constexpr const char* kSaveFailedCaption = "Settings Not Saved";
constexpr const char* kSaveFailedText =
    "Kindora could not write its settings file. Your choices are still in the window: "
    "press Save to try again, or Cancel to leave the stored settings as they were.";

int32_t AtLeastOne(int32_t value) {
    return value < kBurnValueMin ? kBurnValueMin : value;
}

// A stored value that no item shows, for a field where every such value acts
// as one of the items, shows as that item.
int32_t ItemItActsAs(int32_t value, int items, int32_t actsAs) {
    return value >= 0 && value < items ? value : actsAs;
}

void Close(const CONFIGSHEET& sheet) {
    if (sheet.platform.CloseSheet) sheet.platform.CloseSheet(sheet.platform.context);
}

// Writes the view's fields through SaveSettings with the folder the button
// shows; false when the store could not be opened or did not take them.
bool StoreFields(const CONFIGSHEET& sheet) {
    PREFSTORE store;
    if (!sheet.platform.OpenStore ||
        !sheet.platform.OpenStore(sheet.platform.context, kPrefsModuleName, &store))
        return false;
    bool saved =
        SaveSettings(store, *sheet.settings, *sheet.mainMonitorOnly, sheet.controls.bgPath.c_str());
    ClosePrefStore(&store);
    return saved;
}

}  // namespace

SHEETCONTROLS SheetControlsFrom(const SETTINGS& settings, bool mainMonitorOnly) {
    SHEETCONTROLS controls;
    controls.mainMonitorOnly = mainMonitorOnly;
    controls.fireRes = ItemItActsAs(settings.FIRERES, kFireResItems, kDefaultFireRes);
    controls.burnDelay = settings.BURNDELAY;
    controls.burnSpeed = settings.BURNSPEED;
    controls.burnStyle = settings.BURNSTYLE;
    controls.colours = ItemItActsAs(settings.COLOURS, kColoursItems, 0);
    controls.bgType = settings.BGTYPE;
    controls.bgRes = ItemItActsAs(settings.BGRES, kBGResItems, kBGResItems - 1);
    controls.bgPath = settings.BGPath;
    return controls;
}

void ConfigureSheetShowFields(CONFIGSHEET* sheet) {
    sheet->controls = SheetControlsFrom(*sheet->settings, *sheet->mainMonitorOnly);
}

bool ConfigureSheetSave(CONFIGSHEET* sheet) {
    const SHEETCONTROLS& controls = sheet->controls;
    SETTINGS* settings = sheet->settings;
    *sheet->mainMonitorOnly = controls.mainMonitorOnly;
    settings->FIRERES = controls.fireRes;
    // The controls' bounds already keep these at 1 or more; a front end
    // without such bounds must not hand the fire a zero divisor.
    settings->BURNSPEED = AtLeastOne(controls.burnSpeed);
    settings->BURNDELAY = AtLeastOne(controls.burnDelay);
    settings->BURNSTYLE = controls.burnStyle;
    settings->COLOURS = controls.colours;
    settings->BGTYPE = controls.bgType;
    settings->BGRES = controls.bgRes;
    if (!StoreFields(*sheet)) {
        MessageBox(nullptr, kSaveFailedText, kSaveFailedCaption, 0);
        return false;
    }
    Close(*sheet);
    return true;
}

void ConfigureSheetCancel(CONFIGSHEET* sheet) {
    Close(*sheet);
}

void ConfigureSheetDefaults(CONFIGSHEET* sheet) {
    SHEETCONTROLS& controls = sheet->controls;
    controls.mainMonitorOnly = false;
    controls.fireRes = kDefaultFireRes;
    controls.burnDelay = kDefaultBurnDelay;
    controls.burnSpeed = kDefaultBurnSpeed;
    controls.burnStyle = kDefaultBurnStyle;
    controls.colours = kDefaultColours;
    controls.bgType = kDefaultBGType;
    controls.bgRes = kDefaultBGRes;
    // The chosen folder stays: the default folder is no choice of the user's.
    controls.bgPath = sheet->settings->BGPath;
}

void ConfigureSheetUpdate(CONFIGSHEET* sheet) {
    ConfigureSheetUpdateStates(sheet);
}

void ConfigureSheetUpdateStates(CONFIGSHEET* sheet) {
    if (!sheet->platform.SetFolderButtonEnabled) return;
    sheet->platform.SetFolderButtonEnabled(sheet->platform.context,
                                           sheet->controls.bgType == kFolderBGType);
}

void ConfigureSheetBGPath(CONFIGSHEET* sheet) {
    if (!sheet->platform.ChooseFolder) return;
    std::string chosen;
    if (!sheet->platform.ChooseFolder(sheet->platform.context, kFolderChooserTitle,
                                      sheet->settings->BGPath, &chosen))
        return;
    SetBGPath(sheet->settings, chosen.c_str());
    sheet->controls.bgPath = chosen;
}

void ConfigureSheetOpenWebsite(CONFIGSHEET* sheet) {
    if (sheet->webPage.empty() || !sheet->platform.RunCommand) return;
    sheet->platform.RunCommand(sheet->platform.context, WebPageCommand(sheet->webPage).c_str());
}

std::string WebPageCommand(const std::string& address) {
    std::string quoted = "'";
    for (char c : address) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return "xdg-open " + quoted + " >/dev/null 2>&1 &";
}

void SystemCommand(void*, const char* command) {
    // The page opens or it does not; there is nothing to tell the user.
    int ignored = std::system(command);
    (void)ignored;
}
