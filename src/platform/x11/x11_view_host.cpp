#include "x11_view_host.h"

#include <GL/gl.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bundle.h"
#include "prefs_glib.h"
#include "x11_capture.h"
#include "x11_errors.h"

namespace {

X11VIEWHOST* Host(void* context) {
    return static_cast<X11VIEWHOST*>(context);
}

double Now(void*) {
    return MonotonicSeconds();
}

// Whether the space-separated list names `name` whole.
bool HasExtension(const char* list, const char* name) {
    const size_t length = strlen(name);
    for (const char* p = strstr(list, name); p; p = strstr(p + 1, name)) {
        const bool starts = p == list || p[-1] == ' ';
        if (starts && (p[length] == ' ' || p[length] == '\0')) return true;
    }
    return false;
}

bool MakeCurrent(void* context) {
    X11VIEWHOST* host = Host(context);
    return host->context &&
           glXMakeCurrent(host->session->display, host->window, host->context) == True;
}

void CopyWholeFrame(X11VIEWHOST* host) {
    host->exposed = false;
    host->copySubBuffer(host->session->display, host->window, 0, 0, host->width, host->height);
}

void Flush(void* context) {
    X11VIEWHOST* host = Host(context);
    if (host->copySubBuffer) {
        CopyWholeFrame(host);
    } else if (host->doubleBuffered) {
        glXSwapBuffers(host->session->display, host->window);
    } else {
        glFlush();
    }
}

// Only a back buffer that is copied from shows part of a frame; the window
// shows all of it again once something covered it.
void FlushChanged(void* context, const PIXELRECT* rects, int32_t count) {
    X11VIEWHOST* host = Host(context);
    if (!host->copySubBuffer || host->exposed) {
        Flush(context);
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        const PIXELRECT& r = rects[i];
        if (RectIsEmpty(r)) continue;
        host->copySubBuffer(host->session->display, host->window, r.x0, r.y0, r.x1 - r.x0,
                            r.y1 - r.y0);
    }
}

// A single buffer keeps the frame unless the window was covered (its
// Expose events set `exposed`); so does a back buffer that is only copied
// from. A swapped back buffer keeps it when it is the one drawn last, which
// only the buffer's age tells.
bool KeepsPixels(void* context) {
    X11VIEWHOST* host = Host(context);
    if (host->copySubBuffer) return true;
    const bool exposed = host->exposed;
    host->exposed = false;
    if (!host->doubleBuffered) return !exposed;
    if (!host->bufferAge) return false;
    unsigned int age = 0;
    glXQueryDrawable(host->session->display, host->window, GLX_BACK_BUFFER_AGE_EXT, &age);
    return age == 1;
}

int Screens(void* context, HOSTSCREEN* out, int max) {
    const std::vector<X11MONITOR>& monitors = Host(context)->session->monitors;
    int count = 0;
    for (; count < max && size_t(count) < monitors.size(); ++count) {
        const X11MONITOR& m = monitors[size_t(count)];
        out[count].number = count;
        out[count].frame.x = float(m.x);
        out[count].frame.y = float(m.y);
        out[count].frame.width = float(m.width);
        out[count].frame.height = float(m.height);
    }
    return count;
}

int32_t MainScreen(void* context) {
    return MainMonitorIndex(Host(context)->session->monitors);
}

int32_t WindowScreen(void* context) {
    return ViewMonitor(*Host(context));
}

// XScreenSaver's screenshot: a pixmap of this monitor, or of the whole root
// in the settings preview, where the monitor's part is cut out.
bool ReadScreenshot(Display* display, Pixmap pixmap, const X11MONITOR& m, uint8_t** rgba,
                    uint32_t* wide, uint32_t* high) {
    unsigned pw = 0, ph = 0;
    if (!PixmapSize(display, pixmap, &pw, &ph)) return false;
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    int x = 0, y = 0;
    unsigned w = pw, h = ph;
    const bool holdsRoot = m.x + m.width <= int(pw) && m.y + m.height <= int(ph) &&
                           (int(pw) != m.width || int(ph) != m.height);
    if (holdsRoot) {
        x = m.x;
        y = m.y;
        w = unsigned(m.width);
        h = unsigned(m.height);
    }
    if (!ReadDrawableArea(display, pixmap, visual, x, y, w, h, rgba)) return false;
    *wide = w;
    *high = h;
    return true;
}

bool ReadScreen(void* context, int32_t number, uint8_t** rgba, uint32_t* wide, uint32_t* high) {
    X11VIEWHOST* host = Host(context);
    X11SESSION* session = host->session;
    if (!session->grabsAllowed || number < 0 || size_t(number) >= session->monitors.size()) {
        return false;
    }
    const X11MONITOR& m = session->monitors[size_t(number)];
    Display* display = session->display;
    const Pixmap screenshot = ScreenshotPixmap(display, host->window);
    if (screenshot != None) return ReadScreenshot(display, screenshot, m, rgba, wide, high);
    // No screenshot: the root as it shows now (our own windows are not up yet).
    const Visual* visual = DefaultVisual(display, DefaultScreen(display));
    if (!ReadDrawableArea(display, DefaultRootWindow(display), visual, m.x, m.y, unsigned(m.width),
                          unsigned(m.height), rgba)) {
        return false;
    }
    *wide = uint32_t(m.width);
    *high = uint32_t(m.height);
    return true;
}

bool DesktopPicturePath(void* context, int32_t number, char* out, size_t size) {
    X11SESSION* session = Host(context)->session;
    if (!session->FindDesktopPicture || number < 0 || size_t(number) >= session->monitors.size()) {
        return false;
    }
    return session->FindDesktopPicture(number, session->monitors[size_t(number)].name.c_str(), out,
                                       size);
}

bool ResourcePath(void*, const char* name, const char* type, char* out, size_t size) {
    return BundleResourcePath(name, type, out, size);
}

bool OpenStore(void*, const char* module, PREFSTORE* store) {
    return OpenPrefStore(module, nullptr, store);
}

void Notice(void*, const char* text) {
    fprintf(stderr, "kindora: %s\n", text);
}

void Override(void* context, SETTINGS* settings, bool* mainMonitorOnly) {
    X11SESSION* session = Host(context)->session;
    if (session->OverrideSettings) session->OverrideSettings(settings, mainMonitorOnly);
}

}  // namespace

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool DisplayHasGLX(Display* display) {
    int errorBase = 0, eventBase = 0;
    return glXQueryExtension(display, &errorBase, &eventBase) == True;
}

bool UpdateWindowPlace(X11VIEWHOST* host) {
    Display* display = host->session->display;
    XWindowAttributes attributes;
    TrapXErrors(display);
    const Status got = XGetWindowAttributes(display, host->window, &attributes);
    Window child = None;
    int x = 0, y = 0;
    if (got) {
        XTranslateCoordinates(display, host->window, attributes.root, 0, 0, &x, &y, &child);
    }
    if (UntrapXErrors(display) || !got) return false;
    host->x = x;
    host->y = y;
    host->width = attributes.width;
    host->height = attributes.height;
    return true;
}

bool CreateViewHost(X11SESSION* session, Window window, X11VIEWHOST* host, std::string* error) {
    Display* display = session->display;
    host->session = session;
    host->window = window;
    XWindowAttributes attributes;
    TrapXErrors(display);
    const Status got = XGetWindowAttributes(display, window, &attributes);
    if (UntrapXErrors(display) || !got) {
        *error = "the window does not exist";
        return false;
    }
    XVisualInfo wanted;
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
    if (!info || count < 1) {
        *error = "the window's visual is unknown";
        return false;
    }
    int useGL = 0, doubleBuffer = 0;
    glXGetConfig(display, info, GLX_USE_GL, &useGL);
    glXGetConfig(display, info, GLX_DOUBLEBUFFER, &doubleBuffer);
    if (!useGL) {
        XFree(info);
        *error = "the window's visual does not support OpenGL";
        return false;
    }
    TrapXErrors(display);
    host->context = glXCreateContext(display, info, nullptr, True);
    const bool failed = UntrapXErrors(display);
    XFree(info);
    if (failed || !host->context) {
        host->context = nullptr;
        *error = "could not create an OpenGL context for the window";
        return false;
    }
    host->doubleBuffered = doubleBuffer != 0;
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    host->bufferAge = extensions && HasExtension(extensions, "GLX_EXT_buffer_age");
    if (host->doubleBuffered && !host->bufferAge && extensions &&
        HasExtension(extensions, "GLX_MESA_copy_sub_buffer") && !getenv("KINDORA_SWAP_BUFFERS")) {
        host->copySubBuffer = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
    }
    return UpdateWindowPlace(host);
}

void DestroyViewHost(X11VIEWHOST* host) {
    if (!host->context) return;
    Display* display = host->session->display;
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, host->context);
    host->context = nullptr;
}

HOSTRECT ViewFrame(const X11VIEWHOST& host) {
    HOSTRECT r;
    r.x = float(host.x);
    r.y = float(host.y);
    r.width = float(host.width);
    r.height = float(host.height);
    return r;
}

int ViewMonitor(const X11VIEWHOST& host) {
    return MonitorUnder(host.session->monitors, host.x, host.y, host.width, host.height);
}

HOSTPLATFORM X11HostPlatform(X11VIEWHOST* host) {
    HOSTPLATFORM p;
    p.context = host;
    p.Now = Now;
    p.MakeCurrent = MakeCurrent;
    p.Flush = Flush;
    p.FlushChanged = FlushChanged;
    p.KeepsPixels = KeepsPixels;
    p.Screens = Screens;
    p.MainScreen = MainScreen;
    p.WindowScreen = WindowScreen;
    p.ReadScreen = ReadScreen;
    p.DesktopPicturePath = DesktopPicturePath;
    p.ResourcePath = ResourcePath;
    p.OpenPrefStore = OpenStore;
    p.OverrideSettings = Override;
    p.Notice = Notice;
    return p;
}
