#ifndef KINDORA_PLATFORM_X11_VIEW_HOST_H
#define KINDORA_PLATFORM_X11_VIEW_HOST_H

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "host_platform.h"
#include "x11_monitors.h"

// What the views of one process share: the connection, the monitors and
// whether the user allows the screen to be read.
struct X11SESSION {
    Display* display = nullptr;
    std::vector<X11MONITOR> monitors;
    bool grabsAllowed = true;  // ~/.xscreensaver's grabDesktopImages
    // Looks up the desktop picture of monitor `index` (name given); may be null.
    bool (*FindDesktopPicture)(int index, const char* monitorName, char* out,
                               size_t size) = nullptr;
    // The command line's changes to the stored settings; may be null.
    void (*OverrideSettings)(SETTINGS* settings, bool* mainMonitorOnly) = nullptr;
};

// One view's window and its OpenGL context, made from the window's own
// visual (XScreenSaver re-creates its window with the visual it chose for
// GL; a visual chosen here would not match it).
struct X11VIEWHOST {
    X11SESSION* session = nullptr;
    Window window = None;
    GLXContext context = nullptr;
    bool doubleBuffered = false;  // a frame then ends with a swap, not a flush
    bool bufferAge = false;       // GLX_EXT_buffer_age tells what a back buffer holds
    // GLX_MESA_copy_sub_buffer: a double buffer is then never swapped; a
    // frame is copied from the back buffer, which keeps every pixel drawn.
    PFNGLXCOPYSUBBUFFERMESAPROC copySubBuffer = nullptr;
    bool exposed = false;                     // part of the window was covered since the last frame
    int x = 0, y = 0, width = 0, height = 0;  // the window on the root
};

// Seconds of the steady clock that the views and the tick loop share.
double MonotonicSeconds();

// True when the display has GLX.
bool DisplayHasGLX(Display* display);

// Makes the context for `window` and reads its place on the root. False,
// with the reason in `error`, when the window is not usable for OpenGL.
bool CreateViewHost(X11SESSION* session, Window window, X11VIEWHOST* host, std::string* error);
void DestroyViewHost(X11VIEWHOST* host);

// Reads the window's place on the root again (after a ConfigureNotify).
bool UpdateWindowPlace(X11VIEWHOST* host);

// The frame of the view in root coordinates.
HOSTRECT ViewFrame(const X11VIEWHOST& host);

// The index of the monitor that holds the view's window.
int ViewMonitor(const X11VIEWHOST& host);

// The table the view reaches the platform through; `host` must outlive it.
HOSTPLATFORM X11HostPlatform(X11VIEWHOST* host);

#endif
