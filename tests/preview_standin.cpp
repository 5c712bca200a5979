// A stand-in for the saver in the settings window's preview tests: run as
// "preview-standin --preview --window-id 0x<id>", it paints into the given
// window until SIGTERM, as the saver does. With a folder of PNG frames as
// its fourth argument it shows them in turn (ten a second); without one it
// fills the window with pure red once, so that a test sees whether anything
// paints over it afterwards.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t stopping = 0;

void OnTerm(int) {
    stopping = 1;
}

std::vector<GdkPixbuf*> LoadFrames(const char* folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".png") names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    std::vector<GdkPixbuf*> frames;
    for (const std::string& name : names) {
        GdkPixbuf* frame = gdk_pixbuf_new_from_file(name.c_str(), nullptr);
        if (frame) frames.push_back(frame);
    }
    return frames;
}

void Paint(GdkWindow* window, GdkPixbuf* frame) {
    const int width = gdk_window_get_width(window);
    const int height = gdk_window_get_height(window);
    const cairo_rectangle_int_t all = {0, 0, width, height};
    cairo_region_t* region = cairo_region_create_rectangle(&all);
    GdkDrawingContext* context = gdk_window_begin_draw_frame(window, region);
    cairo_t* cr = gdk_drawing_context_get_cairo_context(context);
    if (frame) {
        cairo_scale(cr, double(width) / gdk_pixbuf_get_width(frame),
                    double(height) / gdk_pixbuf_get_height(frame));
        gdk_cairo_set_source_pixbuf(cr, frame, 0, 0);
    } else {
        cairo_set_source_rgb(cr, 1, 0, 0);
    }
    cairo_paint(cr);
    gdk_window_end_draw_frame(window, context);
    cairo_region_destroy(region);
    gdk_display_flush(gdk_window_get_display(window));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || strcmp(argv[1], "--preview") != 0 || strcmp(argv[2], "--window-id") != 0)
        return 2;
    signal(SIGTERM, OnTerm);
    gdk_init(&argc, &argv);
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return 1;
    Window id = strtoul(argv[3], nullptr, 0);
    GdkWindow* window = gdk_x11_window_foreign_new_for_display(display, id);
    if (!window) return 1;
    std::vector<GdkPixbuf*> frames = argc > 4 ? LoadFrames(argv[4]) : std::vector<GdkPixbuf*>();
    for (size_t tick = 0; !stopping; ++tick) {
        if (!frames.empty() || tick == 0)
            Paint(window, frames.empty() ? nullptr : frames[tick % frames.size()]);
        g_usleep(100000);
    }
    for (GdkPixbuf* frame : frames)
        g_object_unref(frame);
    return 0;
}
