// The settings window under a private Xvfb: the layout, the actions driven
// through the widgets, the key file they leave, the dialogs and the preview
// child process.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "alert.h"
#include "preferences.h"
#include "prefs_glib.h"
#include "preview_gtk.h"
#include "sheet_gtk.h"

namespace fs = std::filesystem;

// Caches that fontconfig and the session bus library keep for the life of
// the process and nobody frees; read by the sanitizer build's leak checker.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace {

const std::string kLayout = std::string(KINDORA_DATA_DIR) + "/Kindora.ui";

// Starts a private Xvfb and opens GTK on it.
// Without a server the tests skip, except under CI, where that fails.
class XvfbEnvironment : public testing::Environment {
   public:
    void SetUp() override {
        // Display numbers from the process id, so that parallel test
        // processes (and other servers on the machine) do not meet.
        for (int attempt = 0; attempt < 8 && !started; ++attempt)
            started = Start(200 + (getpid() * 7 + attempt * 131) % 700);
    }
    void TearDown() override { Stop(); }
    static bool started;

   private:
    bool Start(int display) {
        const std::string name = ":" + std::to_string(display);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
        if (access(("/tmp/.X" + std::to_string(display) + "-lock").c_str(), F_OK) == 0)
            return false;
        server = fork();
        if (server == 0) {
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (server < 0) return false;
        // Wait for its socket, or for it to give up (the number was taken).
        for (int i = 0; i < 500; ++i) {
            if (waitpid(server, nullptr, WNOHANG) == server) {
                server = 0;
                return false;
            }
            if (access(socket.c_str(), F_OK) == 0) break;
            usleep(10000);
        }
        setenv("DISPLAY", name.c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("GTK_A11Y", "none", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        for (int i = 0; i < 50; ++i) {
            if (gtk_init_check(nullptr, nullptr)) return true;
            usleep(20000);
        }
        Stop();
        return false;
    }
    void Stop() {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        server = 0;
    }
    pid_t server = 0;
};
bool XvfbEnvironment::started = false;

const testing::Environment* const kXvfb = testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// Runs GTK until nothing is pending.
void Drain() {
    while (gtk_events_pending())
        gtk_main_iteration();
}

// The first visible toplevel of `type`, or null.
GtkWidget* FindToplevel(GType type) {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* w = windows; w && !found; w = w->next)
        if (G_TYPE_CHECK_INSTANCE_TYPE(w->data, type) &&
            gtk_widget_get_visible(GTK_WIDGET(w->data)))
            found = GTK_WIDGET(w->data);
    g_list_free(windows);
    return found;
}

// Answers the next dialog of `type` from inside its modal loop.
struct DIALOGANSWER {
    GType type = G_TYPE_INVALID;
    // Looks at the dialog; false asks to be called again before the answer.
    std::function<bool(GtkWidget*)> inspect;
    int response = GTK_RESPONSE_CANCEL;
    bool answered = false;
};

gboolean AnswerDialog(gpointer data) {
    auto* answer = static_cast<DIALOGANSWER*>(data);
    GtkWidget* dialog = FindToplevel(answer->type);
    if (!dialog) return G_SOURCE_CONTINUE;
    if (answer->inspect && !answer->inspect(dialog)) return G_SOURCE_CONTINUE;
    answer->answered = true;
    gtk_dialog_response(GTK_DIALOG(dialog), answer->response);
    return G_SOURCE_REMOVE;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Closed(void* data) {
    ++*static_cast<int*>(data);
}

std::vector<std::string> commands;
void RecordCommand(void*, const char* command) {
    commands.push_back(command);
}

class SettingsWindow : public testing::Test {
   protected:
    void SetUp() override {
        if (!XvfbEnvironment::started) {
            if (getenv("CI") && strcmp(getenv("CI"), "true") == 0)
                FAIL() << "no X server (Xvfb) for the GTK tests";
            GTEST_SKIP() << "no X server (Xvfb)";
        }
        char pattern[] = "/tmp/kindora-sheet-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        config = pattern;
        ASSERT_TRUE(OpenPrefStore(kPrefsModuleName, config.c_str(), &store));
        LoadSettings(store, &settings, &mainMonitorOnly);  // a new store: the defaults
        ClosePrefStore(&store);
        sheet = LoadConfigureSheet(kLayout.c_str());
        ASSERT_NE(sheet, nullptr);
        sheet->onClosed = Closed;
        sheet->closedData = &closes;
        ShowConfigureSheet(sheet, &settings, &mainMonitorOnly, config.c_str());
        Drain();
    }
    void TearDown() override {
        FreeConfigureSheet(sheet);
        Drain();
        std::error_code ignored;
        if (!config.empty()) fs::remove_all(config, ignored);
    }

    // The key file as a view created now would read it.
    SETTINGS Stored(bool* flag) {
        PREFSTORE reread;
        SETTINGS stored;
        EXPECT_TRUE(OpenPrefStore(kPrefsModuleName, config.c_str(), &reread));
        LoadSettings(reread, &stored, flag);
        ClosePrefStore(&reread);
        return stored;
    }
    std::string KeyFile() { return ReadText(PrefFilePath(config, kPrefsModuleName)); }
    void Click(const char* id) {
        gtk_button_clicked(GTK_BUTTON(gtk_builder_get_object(sheet->builder, id)));
        Drain();
    }
    bool FolderButtonEnabled() { return gtk_widget_get_sensitive(GTK_WIDGET(sheet->oBGPath)); }

    std::string config;
    PREFSTORE store;
    SETTINGS settings;
    bool mainMonitorOnly = false;
    GTKSHEET* sheet = nullptr;
    int closes = 0;
};

TEST_F(SettingsWindow, EveryControlIsThereWithItsKindItemsBoundsAndMnemonic) {
    struct {
        GtkComboBox* box;
        int items;
    } popUps[] = {{sheet->oFireRes, 3},
                  {sheet->oBurnStyle, 5},
                  {sheet->oColours, 4},
                  {sheet->oBGType, 3},
                  {sheet->oBGRes, 3}};
    for (const auto& p : popUps) {
        ASSERT_TRUE(GTK_IS_COMBO_BOX_TEXT(p.box));
        EXPECT_EQ(gtk_tree_model_iter_n_children(gtk_combo_box_get_model(p.box), nullptr), p.items);
    }
    for (GtkSpinButton* spin : {sheet->oBurnSpeed, sheet->oBurnDelay}) {
        EXPECT_EQ(gtk_adjustment_get_lower(gtk_spin_button_get_adjustment(spin)), kBurnValueMin);
        EXPECT_EQ(gtk_adjustment_get_upper(gtk_spin_button_get_adjustment(spin)), kBurnValueMax);
        gtk_spin_button_set_value(spin, 0);
        EXPECT_EQ(gtk_spin_button_get_value_as_int(spin), 1);
    }
    EXPECT_TRUE(GTK_IS_CHECK_BUTTON(sheet->oMainMonitorOnly));
    EXPECT_TRUE(GTK_IS_BUTTON(sheet->oBGPath));
    // Every control but the check box (which has its own) is reached from a
    // label's mnemonic.
    GtkWidget* labelled[] = {GTK_WIDGET(sheet->oFireRes),   GTK_WIDGET(sheet->oBurnStyle),
                             GTK_WIDGET(sheet->oColours),   GTK_WIDGET(sheet->oBurnSpeed),
                             GTK_WIDGET(sheet->oBurnDelay), GTK_WIDGET(sheet->oBGType),
                             GTK_WIDGET(sheet->oBGPath),    GTK_WIDGET(sheet->oBGRes)};
    for (GtkWidget* widget : labelled) {
        GList* labels = gtk_widget_list_mnemonic_labels(widget);
        EXPECT_NE(labels, nullptr) << gtk_buildable_get_name(GTK_BUILDABLE(widget));
        g_list_free(labels);
    }
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oFireRes), 1);
    EXPECT_STREQ(gtk_button_get_label(sheet->oBGPath), kDefaultBGPath);
}

TEST_F(SettingsWindow, LayoutThatCannotBeUsedLeavesNoSheet) {
    EXPECT_EQ(LoadConfigureSheet(nullptr), nullptr);
    EXPECT_EQ(LoadConfigureSheet((config + "/missing.ui").c_str()), nullptr);
    const std::string broken = config + "/broken.ui";
    std::ofstream(broken) << "<interface><object class=\"GtkWindow\" id=\"configureSheet\">";
    EXPECT_EQ(LoadConfigureSheet(broken.c_str()), nullptr);
    // A layout with the right window but a control of the wrong kind.
    std::string text = ReadText(kLayout);
    const std::string combo = "<object class=\"GtkComboBoxText\" id=\"oColours\">";
    size_t at = text.find(combo);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, combo.size(), "<object class=\"GtkEntry\" id=\"oColours\"><!--");
    text.replace(text.find("</items>", at), 8, "</items>-->");
    const std::string wrongKind = config + "/wrong-kind.ui";
    std::ofstream(wrongKind) << text;
    EXPECT_EQ(LoadConfigureSheet(wrongKind.c_str()), nullptr);
    Drain();
    // Nothing of the failed loads is left on screen.
    GList* windows = gtk_window_list_toplevels();
    int sheets = 0;
    for (GList* w = windows; w; w = w->next)
        if (gtk_widget_get_visible(GTK_WIDGET(w->data))) ++sheets;
    g_list_free(windows);
    EXPECT_EQ(sheets, 1);
}

TEST_F(SettingsWindow, ChangesMadeInTheWidgetsReachTheKeyFileOnSave) {
    const std::string pictures = config + "/Pictures";
    ASSERT_TRUE(fs::create_directory(pictures));
    gtk_combo_box_set_active(sheet->oFireRes, 2);
    gtk_combo_box_set_active(sheet->oBurnStyle, 1);
    gtk_combo_box_set_active(sheet->oColours, 3);
    gtk_spin_button_set_value(sheet->oBurnSpeed, 33);
    gtk_spin_button_set_value(sheet->oBurnDelay, 7);
    gtk_combo_box_set_active(sheet->oBGRes, 0);
    gtk_toggle_button_set_active(sheet->oMainMonitorOnly, TRUE);
    gtk_combo_box_set_active(sheet->oBGType, 2);
    EXPECT_TRUE(FolderButtonEnabled());

    DIALOGANSWER answer;
    answer.type = GTK_TYPE_FILE_CHOOSER_DIALOG;
    std::string title, start;
    bool multiple = true;
    answer.inspect = [&](GtkWidget* dialog) {
        title = gtk_window_get_title(GTK_WINDOW(dialog));
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        multiple = gtk_file_chooser_get_select_multiple(chooser);
        EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
        gchar* shown = gtk_file_chooser_get_current_folder(chooser);
        bool there = shown && pictures == shown;
        g_free(shown);
        // The chooser loads a folder in the background: answer once it shows.
        if (!there) gtk_file_chooser_set_current_folder(chooser, pictures.c_str());
        return there;
    };
    answer.response = GTK_RESPONSE_ACCEPT;
    g_timeout_add(20, AnswerDialog, &answer);
    Click("oBGPath");
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(title, "Select Folder To Load Random Background Images From");
    EXPECT_FALSE(multiple);
    EXPECT_STREQ(settings.BGPath, pictures.c_str());  // at once, before Save
    EXPECT_STREQ(gtk_button_get_label(sheet->oBGPath), pictures.c_str());
    EXPECT_EQ(KeyFile().find(pictures), std::string::npos);

    Click("saveButton");
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(sheet->window)));
    bool flag = false;
    SETTINGS stored = Stored(&flag);
    EXPECT_TRUE(flag);
    EXPECT_EQ(stored.FIRERES, 2);
    EXPECT_EQ(stored.BURNSTYLE, 1);
    EXPECT_EQ(stored.COLOURS, 3);
    EXPECT_EQ(stored.BURNSPEED, 33);
    EXPECT_EQ(stored.BURNDELAY, 7);
    EXPECT_EQ(stored.BGTYPE, 2);
    EXPECT_EQ(stored.BGRES, 0);
    EXPECT_STREQ(stored.BGPath, pictures.c_str());
    EXPECT_EQ(settings.FIRERES, 2);
}

TEST_F(SettingsWindow, DefaultsThenCancelLeaveTheKeyFileAndTheFolderButton) {
    gtk_combo_box_set_active(sheet->oBGType, 2);
    gtk_combo_box_set_active(sheet->oFireRes, 0);
    const std::string before = KeyFile();
    Click("defaultsButton");
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oBGType), 0);
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oFireRes), 1);
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oBurnStyle), 4);
    EXPECT_TRUE(FolderButtonEnabled());  // Defaults leaves it as it was
    gtk_combo_box_set_active(sheet->oBGType, 1);
    EXPECT_FALSE(FolderButtonEnabled());

    Click("cancelButton");
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(KeyFile(), before);
    // Reopening shows the view's own values, not what was left in the widgets.
    settings.FIRERES = 0;
    ShowConfigureSheet(sheet, &settings, &mainMonitorOnly, config.c_str());
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oFireRes), 0);
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oBGType), 0);
    EXPECT_FALSE(FolderButtonEnabled());  // opening leaves it too
}

TEST_F(SettingsWindow, CancelledChooserAndOddStoredValuesChangeNothing) {
    settings.BURNSTYLE = 9;  // no item: none is shown, and Save keeps it
    ShowConfigureSheet(sheet, &settings, &mainMonitorOnly, config.c_str());
    EXPECT_EQ(gtk_combo_box_get_active(sheet->oBurnStyle), -1);
    DIALOGANSWER answer;
    answer.type = GTK_TYPE_FILE_CHOOSER_DIALOG;
    std::string start;
    answer.inspect = [&](GtkWidget* dialog) {
        gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
        start = folder ? folder : "";
        g_free(folder);
        return !start.empty();
    };
    SetBGPath(&settings, config.c_str());
    g_timeout_add(20, AnswerDialog, &answer);
    Click("oBGPath");
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(start, config);
    EXPECT_STREQ(settings.BGPath, config.c_str());
    Click("saveButton");
    bool flag = false;
    EXPECT_EQ(Stored(&flag).BURNSTYLE, 9);
}

TEST_F(SettingsWindow, HelpButtonOpensTheManual) {
    commands.clear();
    sheet->sheet.platform.RunCommand = RecordCommand;
    sheet->sheet.webPage = std::string(KINDORA_DATA_DIR) + "/manual.html";
    Click("helpButton");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0].find("xdg-open '" + sheet->sheet.webPage + "'"), std::string::npos);
}

TEST_F(SettingsWindow, AlertIsAModalDialogWithTheCaptionAndOneOkButton) {
    AlertHandler previous = SetAlertHandler(GtkAlert);
    DIALOGANSWER answer;
    answer.type = GTK_TYPE_MESSAGE_DIALOG;
    std::string title;
    std::vector<std::string> buttons;
    bool modal = false;
    answer.inspect = [&](GtkWidget* dialog) {
        title = gtk_window_get_title(GTK_WINDOW(dialog));
        modal = gtk_window_get_modal(GTK_WINDOW(dialog));
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* area = gtk_dialog_get_action_area(GTK_DIALOG(dialog));
        G_GNUC_END_IGNORE_DEPRECATIONS
        GList* children = gtk_container_get_children(GTK_CONTAINER(area));
        for (GList* c = children; c; c = c->next)
            if (GTK_IS_BUTTON(c->data))
                buttons.push_back(gtk_button_get_label(GTK_BUTTON(c->data)));
        g_list_free(children);
        return true;
    };
    answer.response = GTK_RESPONSE_OK;
    g_timeout_add(20, AnswerDialog, &answer);
    MessageBox(nullptr, "TGA file be type 2 or type 10", "Invalid Image", 0);
    SetAlertHandler(previous);
    ASSERT_TRUE(answer.answered);
    EXPECT_EQ(title, "Invalid Image");
    EXPECT_TRUE(modal);
    EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
}

TEST_F(SettingsWindow, SaveThatCannotWriteTellsTheUserAndStaysOpen) {
    AlertHandler previous = SetAlertHandler(GtkAlert);
    // A file where the store's folder must go: the flush cannot succeed.
    fs::remove_all(config + "/kindora");
    std::ofstream(config + "/kindora") << "in the way";
    DIALOGANSWER answer;
    answer.type = GTK_TYPE_MESSAGE_DIALOG;
    answer.response = GTK_RESPONSE_OK;
    g_timeout_add(20, AnswerDialog, &answer);
    Click("saveButton");
    SetAlertHandler(previous);
    EXPECT_TRUE(answer.answered);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(sheet->window)));
}

// A stand-in for the saver that notes its arguments and then waits; with
// "stubborn" in its name it ignores SIGTERM.
std::string WriteStandIn(const std::string& folder, const char* name, const char* trap) {
    const std::string path = folder + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n"
                        << trap << "\necho \"$@\" > \"$0.args\"\n"
                        << "while :; do sleep 0.05; done\n";
    chmod(path.c_str(), 0755);
    return path;
}

bool Gone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

TEST_F(SettingsWindow, PreviewRunsTheSaverOnTheAreasWindowAndStopsIt) {
    PREVIEWCHILD preview;
    // Under the build tree: /tmp may not allow running programs.
    const std::string bin = std::string(KINDORA_BINARY_DIR) + "/tests";
    const std::string saver = WriteStandIn(bin, "kindora", "");
    fs::remove(saver + ".args");
    ASSERT_TRUE(StartPreview(&preview, sheet->preview, saver));
    const pid_t pid = preview.pid;
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(StartPreview(&preview, sheet->preview, saver));  // never a second child
    EXPECT_EQ(preview.pid, pid);
    for (int i = 0; i < 200 && !fs::exists(saver + ".args"); ++i)
        g_usleep(10000);
    char expected[64];
    snprintf(expected, sizeof expected, "--preview --window-id 0x%lx\n",
             PreviewWindowId(sheet->preview));
    EXPECT_NE(PreviewWindowId(sheet->preview), 0ul);
    EXPECT_EQ(ReadText(saver + ".args"), expected);
    // Saving does not touch the running preview.
    Click("saveButton");
    EXPECT_EQ(preview.pid, pid);
    EXPECT_FALSE(Gone(pid));
    StopPreview(&preview);
    EXPECT_EQ(preview.pid, 0);
    EXPECT_TRUE(Gone(pid));  // reaped, not a zombie
    StopPreview(&preview);

    const std::string stubborn = WriteStandIn(bin, "stubborn", "trap '' TERM");
    fs::remove(stubborn + ".args");
    ASSERT_TRUE(StartPreview(&preview, sheet->preview, stubborn));
    const pid_t second = preview.pid;
    for (int i = 0; i < 200 && !fs::exists(stubborn + ".args"); ++i)
        g_usleep(10000);
    StopPreview(&preview);
    EXPECT_TRUE(Gone(second));
}

TEST_F(SettingsWindow, PreviewWithoutTheSaverStaysBlackWithANote) {
    PREVIEWCHILD preview;
    EXPECT_FALSE(StartPreview(&preview, sheet->preview, ""));
    EXPECT_EQ(preview.pid, 0);
    EXPECT_NE(preview.note.find("not found"), std::string::npos);
    // The area is painted at the next frame.
    for (int i = 0; i < 20; ++i) {
        Drain();
        g_usleep(10000);
    }
    GdkWindow* window = gtk_widget_get_window(sheet->preview);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, 2, 2, 4, 4);
    ASSERT_NE(shot, nullptr);
    const guchar* pixel = gdk_pixbuf_get_pixels(shot);
    EXPECT_EQ(pixel[0] + pixel[1] + pixel[2], 0);
    g_object_unref(shot);
    StopPreview(&preview);
}

}  // namespace

namespace {

TEST_F(SettingsWindow, WhatTheSaverPaintsStaysOnScreen) {
    PREVIEWCHILD preview;
    ASSERT_TRUE(StartPreview(&preview, sheet->preview, KINDORA_PREVIEW_STANDIN));
    GdkWindow* window = gtk_widget_get_window(sheet->preview);
    const int width = gdk_window_get_width(window), height = gdk_window_get_height(window);
    auto red = [&] {
        GdkPixbuf* shot = gdk_pixbuf_get_from_window(window, width / 2, height / 2, 1, 1);
        const guchar* pixel = shot ? gdk_pixbuf_get_pixels(shot) : nullptr;
        bool isRed = pixel && pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 0;
        if (shot) g_object_unref(shot);
        return isRed;
    };
    bool painted = false;
    for (int i = 0; i < 200 && !painted; ++i) {
        Drain();
        g_usleep(10000);
        painted = red();
    }
    ASSERT_TRUE(painted);
    // The child paints once; GTK's own redraws of the window must not cover it.
    for (int i = 0; i < 10; ++i) {
        gtk_widget_queue_draw(GTK_WIDGET(sheet->window));
        Drain();
        g_usleep(20000);
        Drain();
    }
    EXPECT_TRUE(red());
    const pid_t pid = preview.pid;
    StopPreview(&preview);
    EXPECT_TRUE(Gone(pid));
}

}  // namespace
