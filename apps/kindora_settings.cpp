// kindora-settings: the settings window of the Kindora screen saver. It
// shows the configuration sheet beside a live preview of the saver, which
// runs as its own process drawing into the window.

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <cstdio>
#include <cstring>

#include "alert.h"
#include "bundle.h"
#include "preferences.h"
#include "prefs_glib.h"
#include "preview_gtk.h"
#include "settings.h"
#include "sheet_gtk.h"

namespace {

constexpr const char* kUsage =
    "usage: kindora-settings\n"
    "Changes the settings of the Kindora screen saver: fire, background and\n"
    "screens, with a live preview. Save stores them for the next start of the\n"
    "saver; a saver that is running keeps the settings it started with.\n";

constexpr const char* kNoWindowCaption = "Settings Unavailable";

void QuitMainLoop(void*) {
    gtk_main_quit();
}

// Ended from outside (logout, kill): close as Cancel does, so that the
// preview child is stopped and reaped rather than left behind.
gboolean OnStopSignal(gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

// What a view does at creation: the stored settings into its own record.
bool LoadStoredSettings(SETTINGS* settings, bool* mainMonitorOnly) {
    PREFSTORE store;
    if (!OpenPrefStore(kPrefsModuleName, nullptr, &store)) return false;
    LoadSettings(store, settings, mainMonitorOnly);
    ClosePrefStore(&store);
    return true;
}

GTKSHEET* LoadSheet() {
    char path[4096];
    if (!BundleResourcePath("Kindora", "ui", path, sizeof path)) {
        MessageBox(nullptr, "The layout file Kindora.ui was not found among Kindora's data files.",
                   kNoWindowCaption, 0);
        return nullptr;
    }
    GTKSHEET* sheet = LoadConfigureSheet(path);
    if (!sheet)
        MessageBox(nullptr, "The layout file Kindora.ui could not be read.", kNoWindowCaption, 0);
    return sheet;
}

// Starts the preview once the window is on screen; it is never restarted.
gboolean StartPreviewLater(gpointer data) {
    auto* preview = static_cast<PREVIEWCHILD*>(data);
    StartPreview(preview, preview->area, FindSaverProgram());
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!gtk_init_check(&argc, &argv)) {
        fputs("kindora-settings: cannot open the display\n", stderr);
        return 1;
    }
    if (argc > 1) {
        fprintf(stderr, "kindora-settings: unknown argument %s\n%s", argv[1], kUsage);
        return 2;
    }
    SetAlertHandler(GtkAlert);
    SETTINGS settings;
    bool mainMonitorOnly = false;
    if (!LoadStoredSettings(&settings, &mainMonitorOnly)) {
        MessageBox(nullptr, "Kindora's settings could not be opened.", kNoWindowCaption, 0);
        return 1;
    }
    GTKSHEET* sheet = LoadSheet();
    if (!sheet) return 1;
    char manual[4096];
    if (BundleResourcePath("manual", "html", manual, sizeof manual)) sheet->sheet.webPage = manual;
    sheet->onClosed = QuitMainLoop;

    PREVIEWCHILD preview;
    preview.area = sheet->preview;
    ShowConfigureSheet(sheet, &settings, &mainMonitorOnly, nullptr);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(signal, OnStopSignal, nullptr);
    g_idle_add(StartPreviewLater, &preview);
    gtk_main();
    StopPreview(&preview);
    FreeConfigureSheet(sheet);
    return 0;
}
