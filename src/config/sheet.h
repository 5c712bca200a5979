#ifndef KINDORA_CONFIG_SHEET_H
#define KINDORA_CONFIG_SHEET_H

#include <cstdint>
#include <string>

#include "preferences.h"
#include "settings.h"

// The configuration sheet's logic, apart from any toolkit. The sheet edits
// one view's record and its "main monitor only" flag. The toolkit side keeps
// SHEETCONTROLS in step with its widgets (widgets into the record before an
// action runs, the record back into the widgets afterwards) and reaches the
// rest of the platform only through SHEETPLATFORM.

// What the nine controls show. A pop-up's value is its item index, and an
// index the pop-up has no item for stands for "no item selected": the toolkit
// side then shows none, and a value it reads back unchanged passes through.
struct SHEETCONTROLS {
    bool mainMonitorOnly = false;  // oMainMonitorOnly: the check box is on
    int32_t fireRes = 0;           // oFireRes item
    int32_t burnSpeed = 0;         // oBurnSpeed value
    int32_t burnDelay = 0;         // oBurnDelay value
    int32_t burnStyle = 0;         // oBurnStyle item
    int32_t colours = 0;           // oColours item
    int32_t bgType = 0;            // oBGType item
    int32_t bgRes = 0;             // oBGRes item
    std::string bgPath;            // oBGPath's title: the whole folder path
};

// Items per pop-up, in value order, and the bounds of the two integer
// controls (a burn speed or delay below 1 would divide by zero).
constexpr int kFireResItems = 3;
constexpr int kBurnStyleItems = 5;
constexpr int kColoursItems = 4;
constexpr int kBGTypeItems = 3;
constexpr int kBGResItems = 3;
constexpr int32_t kBurnValueMin = 1;
constexpr int32_t kBurnValueMax = 99999;

// The background type whose pictures come from the folder.
constexpr int32_t kFolderBGType = 2;
constexpr const char* kFolderChooserTitle = "Select Folder To Load Random Background Images From";

// What the sheet needs of the platform. Every function takes `context`.
struct SHEETPLATFORM {
    void* context = nullptr;
    // Opens the preference store of `module`; false when it cannot.
    bool (*OpenStore)(void* context, const char* module, PREFSTORE* store) = nullptr;
    // Closes the sheet window.
    void (*CloseSheet)(void* context) = nullptr;
    // Runs a modal chooser for one folder, titled `title`, starting in
    // `startFolder`. True, with the folder in `chosen`, when the user accepts.
    bool (*ChooseFolder)(void* context, const char* title, const char* startFolder,
                         std::string* chosen) = nullptr;
    // Runs a shell command and ignores its result.
    void (*RunCommand)(void* context, const char* command) = nullptr;
    // Enables or disables the folder button.
    void (*SetFolderButtonEnabled)(void* context, bool enabled) = nullptr;
};

// One open sheet: the view's fields it edits, what its controls show, the
// platform and the web page it opens (a path or address; empty: none).
struct CONFIGSHEET {
    SETTINGS* settings = nullptr;
    bool* mainMonitorOnly = nullptr;
    SHEETCONTROLS controls;
    SHEETPLATFORM platform;
    std::string webPage;
};

// The controls as a record and a flag set them. A fire detail, colour
// scheme or background detail that has no item shows as the item it acts as
// (fire detail medium, the first colours, the picture's own size); a burn
// style or background type without an item shows none and is kept.
SHEETCONTROLS SheetControlsFrom(const SETTINGS& settings, bool mainMonitorOnly);

// Opening the sheet (configureSheet): the controls from the view's fields.
// The folder button's enabled state is left as it is.
void ConfigureSheetShowFields(CONFIGSHEET* sheet);

// Save (configureSheet_save:): the flag and the record from the controls
// (BGPath excepted: the folder chooser sets it), written through
// SaveSettings with the button's title as the folder, then the sheet closes.
// When the store cannot be opened or written the user is told through
// MessageBox and the sheet stays open, so no choice is lost unseen; the
// view's fields keep the new values. Returns whether the store took them.
bool ConfigureSheetSave(CONFIGSHEET* sheet);

// Cancel (configureSheet_cancel:): closes the sheet, nothing else.
void ConfigureSheetCancel(CONFIGSHEET* sheet);

// Defaults (configureSheet_defaults:): the controls to the defaults, except
// the folder button, which shows the view's current BGPath. No field and no
// enabled state changes.
void ConfigureSheetDefaults(CONFIGSHEET* sheet);

// The background-type pop-up's action (configureSheet_update:).
void ConfigureSheetUpdate(CONFIGSHEET* sheet);

// configureSheet_updatestates: the folder button is enabled exactly while the
// background-type pop-up shows the folder type.
void ConfigureSheetUpdateStates(CONFIGSHEET* sheet);

// The folder button (configureSheet_bgpath:): on a chosen folder, BGPath
// takes its first 1023 bytes at once and the button shows the whole path.
// A cancelled chooser changes nothing.
void ConfigureSheetBGPath(CONFIGSHEET* sheet);

// The web-page button (configureSheet_openwebsite:): runs
// WebPageCommand(webPage) in the background; nothing when webPage is empty.
void ConfigureSheetOpenWebsite(CONFIGSHEET* sheet);

// "xdg-open '<address>'" with the address quoted for the shell, its output
// discarded and run in the background so that the sheet does not wait.
std::string WebPageCommand(const std::string& address);

// Runs `command` through the standard library's system(); a RunCommand.
void SystemCommand(void* context, const char* command);

#endif
