#include "sheet_gtk.h"

#include <new>

#include "prefs_glib.h"

namespace {

// A pop-up outlet, the field of GTKSHEET it fills and its item count.
struct POPUP {
    const char* id;
    GtkComboBox* GTKSHEET::*field;
    int items;
};

const POPUP kPopUps[] = {
    {"oFireRes", &GTKSHEET::oFireRes, kFireResItems},
    {"oBurnStyle", &GTKSHEET::oBurnStyle, kBurnStyleItems},
    {"oColours", &GTKSHEET::oColours, kColoursItems},
    {"oBGType", &GTKSHEET::oBGType, kBGTypeItems},
    {"oBGRes", &GTKSHEET::oBGRes, kBGResItems},
};

// The window is a toplevel, which GTK holds until it is destroyed.
void DropBuilder(GtkBuilder* builder) {
    GObject* window = gtk_builder_get_object(builder, "configureSheet");
    if (window && GTK_IS_WIDGET(window)) gtk_widget_destroy(GTK_WIDGET(window));
    g_object_unref(builder);
}

GObject* Find(GtkBuilder* builder, const char* id, GType type) {
    GObject* object = gtk_builder_get_object(builder, id);
    if (!object || !G_TYPE_CHECK_INSTANCE_TYPE(object, type)) {
        g_printerr("kindora-settings: the layout has no %s of type %s\n", id, g_type_name(type));
        return nullptr;
    }
    return object;
}

int ItemCount(GtkComboBox* box) {
    GtkTreeModel* model = gtk_combo_box_get_model(box);
    return model ? gtk_tree_model_iter_n_children(model, nullptr) : 0;
}

// Finds every control; false when one is missing, of another kind, or a
// pop-up has another number of items than its values.
bool FindControls(GTKSHEET* s) {
    GtkBuilder* b = s->builder;
    s->window = GTK_WINDOW(Find(b, "configureSheet", GTK_TYPE_WINDOW));
    s->oMainMonitorOnly = GTK_TOGGLE_BUTTON(Find(b, "oMainMonitorOnly", GTK_TYPE_CHECK_BUTTON));
    s->oBurnSpeed = GTK_SPIN_BUTTON(Find(b, "oBurnSpeed", GTK_TYPE_SPIN_BUTTON));
    s->oBurnDelay = GTK_SPIN_BUTTON(Find(b, "oBurnDelay", GTK_TYPE_SPIN_BUTTON));
    s->oBGPath = GTK_BUTTON(Find(b, "oBGPath", GTK_TYPE_BUTTON));
    s->preview = GTK_WIDGET(Find(b, "preview", GTK_TYPE_DRAWING_AREA));
    bool found = s->window && s->oMainMonitorOnly && s->oBurnSpeed && s->oBurnDelay && s->oBGPath &&
                 s->preview;
    for (const POPUP& p : kPopUps) {
        GtkComboBox* box = GTK_COMBO_BOX(Find(b, p.id, GTK_TYPE_COMBO_BOX));
        s->*p.field = box;
        if (box && ItemCount(box) != p.items) {
            g_printerr("kindora-settings: %s has %d items, not %d\n", p.id, ItemCount(box),
                       p.items);
            box = nullptr;
        }
        found = found && box;
    }
    const char* buttons[] = {"saveButton", "cancelButton", "defaultsButton", "helpButton"};
    for (const char* id : buttons)
        found = Find(b, id, GTK_TYPE_BUTTON) && found;
    return found;
}

// ---------------------------------------------------------------------------
// The platform table.

bool OpenStore(void* context, const char* module, PREFSTORE* store) {
    auto* s = static_cast<GTKSHEET*>(context);
    return OpenPrefStore(module, s->configDir.empty() ? nullptr : s->configDir.c_str(), store);
}

void CloseSheet(void* context) {
    auto* s = static_cast<GTKSHEET*>(context);
    gtk_widget_hide(GTK_WIDGET(s->window));
    if (s->onClosed) s->onClosed(s->closedData);
}

void SetFolderButtonEnabled(void* context, bool enabled) {
    auto* s = static_cast<GTKSHEET*>(context);
    gtk_widget_set_sensitive(GTK_WIDGET(s->oBGPath), enabled);
}

// ---------------------------------------------------------------------------
// Signal handlers: each one reads the widgets, runs its action and shows
// what the action left in the controls.

void OnSave(GtkButton*, gpointer data) {
    auto* s = static_cast<GTKSHEET*>(data);
    ReadSheetWidgets(s);
    ConfigureSheetSave(&s->sheet);
}

void OnCancel(GtkButton*, gpointer data) {
    ConfigureSheetCancel(&static_cast<GTKSHEET*>(data)->sheet);
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    // Closing the window is Cancel; the window stays for the next opening.
    ConfigureSheetCancel(&static_cast<GTKSHEET*>(data)->sheet);
    return TRUE;
}

void OnDefaults(GtkButton*, gpointer data) {
    auto* s = static_cast<GTKSHEET*>(data);
    ReadSheetWidgets(s);
    ConfigureSheetDefaults(&s->sheet);
    ShowSheetControls(s);
}

void OnBGTypeChanged(GtkComboBox*, gpointer data) {
    auto* s = static_cast<GTKSHEET*>(data);
    // Only the user's choice is the pop-up's action; setting the controls
    // (opening, Defaults) leaves the folder button as it is.
    if (s->showingControls) return;
    ReadSheetWidgets(s);
    ConfigureSheetUpdate(&s->sheet);
}

void OnBGPath(GtkButton*, gpointer data) {
    auto* s = static_cast<GTKSHEET*>(data);
    ReadSheetWidgets(s);
    ConfigureSheetBGPath(&s->sheet);
    ShowSheetControls(s);
}

void OnHelp(GtkButton*, gpointer data) {
    ConfigureSheetOpenWebsite(&static_cast<GTKSHEET*>(data)->sheet);
}

void Connect(GTKSHEET* s, const char* id, const char* signal, GCallback handler) {
    g_signal_connect(gtk_builder_get_object(s->builder, id), signal, handler, s);
}

void ConnectActions(GTKSHEET* s) {
    Connect(s, "saveButton", "clicked", G_CALLBACK(OnSave));
    Connect(s, "cancelButton", "clicked", G_CALLBACK(OnCancel));
    Connect(s, "defaultsButton", "clicked", G_CALLBACK(OnDefaults));
    Connect(s, "helpButton", "clicked", G_CALLBACK(OnHelp));
    Connect(s, "oBGType", "changed", G_CALLBACK(OnBGTypeChanged));
    Connect(s, "oBGPath", "clicked", G_CALLBACK(OnBGPath));
    Connect(s, "configureSheet", "delete-event", G_CALLBACK(OnDelete));
}

void ReadPopUp(GtkComboBox* box, int32_t* value) {
    int active = gtk_combo_box_get_active(box);
    if (active >= 0) *value = active;
}

void ShowPopUp(GtkComboBox* box, int32_t value) {
    gtk_combo_box_set_active(box, value >= 0 && value < ItemCount(box) ? value : -1);
}

// The folder button shows the whole path, shortened in the middle on screen.
void ShowFolder(GtkButton* button, const std::string& path) {
    gtk_button_set_label(button, path.c_str());
    gtk_widget_set_tooltip_text(GTK_WIDGET(button), path.c_str());
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    if (GTK_IS_LABEL(child)) {
        gtk_label_set_ellipsize(GTK_LABEL(child), PANGO_ELLIPSIZE_MIDDLE);
        gtk_label_set_width_chars(GTK_LABEL(child), 24);
        gtk_label_set_max_width_chars(GTK_LABEL(child), 24);
    }
}

}  // namespace

void ReadSheetWidgets(GTKSHEET* s) {
    SHEETCONTROLS& c = s->sheet.controls;
    c.mainMonitorOnly = gtk_toggle_button_get_active(s->oMainMonitorOnly);
    ReadPopUp(s->oFireRes, &c.fireRes);
    gtk_spin_button_update(s->oBurnSpeed);
    gtk_spin_button_update(s->oBurnDelay);
    c.burnSpeed = gtk_spin_button_get_value_as_int(s->oBurnSpeed);
    c.burnDelay = gtk_spin_button_get_value_as_int(s->oBurnDelay);
    ReadPopUp(s->oBurnStyle, &c.burnStyle);
    ReadPopUp(s->oColours, &c.colours);
    ReadPopUp(s->oBGType, &c.bgType);
    ReadPopUp(s->oBGRes, &c.bgRes);
    // The folder button's title is the controls' own record: GTK may show
    // it shortened, the record keeps it whole.
}

void ShowSheetControls(GTKSHEET* s) {
    const SHEETCONTROLS& c = s->sheet.controls;
    s->showingControls = true;
    gtk_toggle_button_set_active(s->oMainMonitorOnly, c.mainMonitorOnly);
    ShowPopUp(s->oFireRes, c.fireRes);
    gtk_spin_button_set_value(s->oBurnDelay, c.burnDelay);
    gtk_spin_button_set_value(s->oBurnSpeed, c.burnSpeed);
    ShowPopUp(s->oBurnStyle, c.burnStyle);
    ShowPopUp(s->oColours, c.colours);
    ShowPopUp(s->oBGType, c.bgType);
    ShowPopUp(s->oBGRes, c.bgRes);
    ShowFolder(s->oBGPath, c.bgPath);
    s->showingControls = false;
}

GTKSHEET* LoadConfigureSheet(const char* uiPath) {
    GtkBuilder* builder = gtk_builder_new();
    GError* error = nullptr;
    if (!uiPath || !gtk_builder_add_from_file(builder, uiPath, &error)) {
        g_printerr("kindora-settings: cannot load the layout %s: %s\n", uiPath ? uiPath : "(none)",
                   error ? error->message : "no file");
        g_clear_error(&error);
        DropBuilder(builder);
        return nullptr;
    }
    GTKSHEET* s = new (std::nothrow) GTKSHEET;
    if (!s) {
        DropBuilder(builder);
        return nullptr;
    }
    s->builder = builder;
    if (!FindControls(s)) {
        DropBuilder(builder);
        delete s;
        return nullptr;
    }
    s->sheet.platform = {
        s, OpenStore, CloseSheet, ChooseFolderGtk, SystemCommand, SetFolderButtonEnabled};
    ConnectActions(s);
    return s;
}

void ShowConfigureSheet(GTKSHEET* s, SETTINGS* settings, bool* mainMonitorOnly,
                        const char* configDir) {
    s->sheet.settings = settings;
    s->sheet.mainMonitorOnly = mainMonitorOnly;
    s->configDir = configDir ? configDir : "";
    ConfigureSheetShowFields(&s->sheet);
    ShowSheetControls(s);
    gtk_widget_show(GTK_WIDGET(s->window));
}

void FreeConfigureSheet(GTKSHEET* s) {
    if (!s) return;
    gtk_widget_destroy(GTK_WIDGET(s->window));
    g_object_unref(s->builder);
    delete s;
}

// ---------------------------------------------------------------------------
// Modal dialogs.

namespace {

// The window the user is working in, for dialogs to sit over; may be null.
GtkWindow* ActiveWindow() {
    GList* windows = gtk_window_list_toplevels();
    GtkWindow* found = nullptr;
    for (GList* w = windows; w; w = w->next) {
        GtkWindow* window = GTK_WINDOW(w->data);
        if (!gtk_widget_get_visible(GTK_WIDGET(window))) continue;
        if (gtk_window_get_window_type(window) != GTK_WINDOW_TOPLEVEL) continue;
        if (!found || gtk_window_is_active(window)) found = window;
    }
    g_list_free(windows);
    return found;
}

}  // namespace

bool ChooseFolderGtk(void*, const char* title, const char* startFolder, std::string* chosen) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title, ActiveWindow(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_select_multiple(chooser, FALSE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    // A folder that is gone (or the default one, which few systems have)
    // would leave the chooser wherever GTK likes: start at home instead.
    const bool exists = startFolder && g_file_test(startFolder, G_FILE_TEST_IS_DIR);
    gtk_file_chooser_set_current_folder(chooser, exists ? startFolder : g_get_home_dir());
    bool accepted = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT;
    if (accepted) {
        // With no folder picked in the list, the folder being shown is the choice.
        char* path = gtk_file_chooser_get_filename(chooser);
        if (!path) path = gtk_file_chooser_get_current_folder(chooser);
        accepted = path != nullptr;
        if (path) *chosen = path;
        g_free(path);
    }
    gtk_widget_destroy(dialog);
    return accepted;
}

void GtkAlert(const char* text, const char* caption) {
    GtkWidget* dialog = gtk_message_dialog_new(ActiveWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_NONE, "%s", caption);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}
