#ifndef KINDORA_PLATFORM_SHEET_GTK_H
#define KINDORA_PLATFORM_SHEET_GTK_H

#include <gtk/gtk.h>

#include <string>

#include "settings.h"
#include "sheet.h"

// The configuration sheet as a GTK 3 window loaded from the layout file
// "Kindora.ui". The widgets only relay the user's actions to the sheet's
// logic (sheet.h); the preference file is reached through that logic alone.
struct GTKSHEET {
    GtkBuilder* builder = nullptr;
    GtkWindow* window = nullptr;  // "configureSheet"
    GtkToggleButton* oMainMonitorOnly = nullptr;
    GtkComboBox* oFireRes = nullptr;
    GtkSpinButton* oBurnSpeed = nullptr;
    GtkSpinButton* oBurnDelay = nullptr;
    GtkComboBox* oBurnStyle = nullptr;
    GtkComboBox* oColours = nullptr;
    GtkComboBox* oBGType = nullptr;
    GtkComboBox* oBGRes = nullptr;
    GtkButton* oBGPath = nullptr;
    GtkWidget* preview = nullptr;  // the drawing area beside the controls
    CONFIGSHEET sheet;
    std::string configDir;         // where the store lives; empty: the user's folder
    bool showingControls = false;  // set while the code, not the user, moves widgets
    // Called after the sheet has closed (Save or Cancel); may be null.
    void (*onClosed)(void* data) = nullptr;
    void* closedData = nullptr;
};

// Loads the layout at `uiPath`, checks that every control is there with its
// kind and item count, and connects the actions. Returns null, with nothing
// left behind, when the file cannot be read or lacks a control. Needs an
// initialised GTK.
GTKSHEET* LoadConfigureSheet(const char* uiPath);

// Opens the sheet on a view's fields: the controls show `settings` and
// `mainMonitorOnly`, which the actions then edit, and the window is shown.
// `configDir` is where the preference store lives (null: the user's folder).
void ShowConfigureSheet(GTKSHEET* gtkSheet, SETTINGS* settings, bool* mainMonitorOnly,
                        const char* configDir);

// Destroys the window and frees the sheet; null is allowed.
void FreeConfigureSheet(GTKSHEET* gtkSheet);

// The widgets into gtkSheet->sheet.controls, and back. A pop-up with no item
// selected leaves its value as it was.
void ReadSheetWidgets(GTKSHEET* gtkSheet);
void ShowSheetControls(GTKSHEET* gtkSheet);

// A modal GTK folder chooser over the active window: one folder, starting in
// `startFolder`. True with the chosen folder on Accept.
bool ChooseFolderGtk(void* context, const char* title, const char* startFolder,
                     std::string* chosen);

// An alert handler for MessageBox: a modal dialog titled `caption` with the
// text and a single "OK" button, over the active window.
void GtkAlert(const char* text, const char* caption);

#endif
