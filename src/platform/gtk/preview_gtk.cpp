#include "preview_gtk.h"

#include <gdk/gdkx.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kSaverName = "kindora";
constexpr const char* kNoSaverNote = "No preview: the kindora program was not found.";
constexpr const char* kEndedNote = "The preview has stopped.";
constexpr int kStopWaitMs = 2000;

std::string ExecutableFolder() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    std::string path(buffer, static_cast<size_t>(length));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Black, with the note in small grey letters while no child draws. While one
// does, nothing is painted, so GTK never covers its frames.
gboolean OnDraw(GtkWidget* area, cairo_t* cr, gpointer data) {
    auto* preview = static_cast<PREVIEWCHILD*>(data);
    if (preview->pid != 0) return TRUE;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (preview->note.empty()) return TRUE;
    PangoLayout* layout = gtk_widget_create_pango_layout(area, preview->note.c_str());
    int width = gtk_widget_get_allocated_width(area);
    pango_layout_set_width(layout, (width - 24) * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    int textHeight = 0;
    pango_layout_get_pixel_size(layout, nullptr, &textHeight);
    cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
    cairo_move_to(cr, 12, (gtk_widget_get_allocated_height(area) - textHeight) / 2.0);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

// Reaps a child that ended on its own (it crashed, or its window went).
gboolean PollChild(gpointer data) {
    auto* preview = static_cast<PREVIEWCHILD*>(data);
    int status = 0;
    if (preview->pid == 0 || waitpid(preview->pid, &status, WNOHANG) == 0) return G_SOURCE_CONTINUE;
    preview->pid = 0;
    preview->pollId = 0;
    preview->note = kEndedNote;
    gtk_widget_queue_draw(preview->area);
    return G_SOURCE_REMOVE;
}

void Prepare(PREVIEWCHILD* preview, GtkWidget* area) {
    preview->area = area;
    if (preview->drawConnected) return;
    preview->drawConnected = true;
    gtk_widget_set_app_paintable(area, TRUE);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    // Another process draws here: GTK must not paint its own buffer over it.
    gtk_widget_set_double_buffered(area, FALSE);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), preview);
}

}  // namespace

std::string FindSaverProgram() {
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) {
        const std::string beside = folder + "/" + kSaverName;
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    char* onPath = g_find_program_in_path(kSaverName);
    std::string found = onPath ? onPath : "";
    g_free(onPath);
    return found;
}

unsigned long PreviewWindowId(GtkWidget* area) {
    GdkWindow* window = gtk_widget_get_window(area);
    if (!window || !GDK_IS_X11_WINDOW(window)) return 0;
    return GDK_WINDOW_XID(window);
}

bool StartPreview(PREVIEWCHILD* preview, GtkWidget* area, const std::string& program) {
    Prepare(preview, area);
    if (preview->pid != 0) return true;
    gtk_widget_realize(area);
    GdkWindow* window = gtk_widget_get_window(area);
    if (!window || !gdk_window_ensure_native(window) || program.empty()) {
        preview->note = program.empty() ? kNoSaverNote : kEndedNote;
        gtk_widget_queue_draw(area);
        return false;
    }
    char id[32];
    snprintf(id, sizeof id, "0x%lx", PreviewWindowId(area));
    // Everything the child draws must already be on the server.
    gdk_display_sync(gdk_window_get_display(window));
    const char* argv[] = {program.c_str(), "--preview", "--window-id", id, nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                       nullptr, nullptr, &pid, &error)) {
        g_printerr("kindora-settings: cannot start the preview: %s\n", error->message);
        g_clear_error(&error);
        preview->note = kEndedNote;
        gtk_widget_queue_draw(area);
        return false;
    }
    preview->pid = pid;
    preview->note.clear();
    preview->pollId = g_timeout_add(250, PollChild, preview);
    return true;
}

void StopPreview(PREVIEWCHILD* preview) {
    if (preview->pollId) g_source_remove(preview->pollId);
    preview->pollId = 0;
    if (preview->pid == 0) return;
    kill(preview->pid, SIGTERM);
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < kStopWaitMs; waited += 10) {
        done = waitpid(preview->pid, &status, WNOHANG);
        if (done != 0) break;
        g_usleep(10000);
    }
    // A child that ignores SIGTERM must not hang the settings window.
    if (done == 0) {
        kill(preview->pid, SIGKILL);
        waitpid(preview->pid, &status, 0);
    }
    preview->pid = 0;
}
