#include "x11_monitors.h"

#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

namespace {

bool RandRMonitors(Display* display, std::vector<X11MONITOR>* out) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase)) return false;
    if (!XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 105) return false;
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    if (!info) return false;
    for (int i = 0; i < count; ++i) {
        X11MONITOR m;
        char* name = info[i].name ? XGetAtomName(display, info[i].name) : nullptr;
        if (name) {
            m.name = name;
            XFree(name);
        }
        m.x = info[i].x;
        m.y = info[i].y;
        m.width = info[i].width;
        m.height = info[i].height;
        m.primary = info[i].primary;
        if (m.width > 0 && m.height > 0) out->push_back(m);
    }
    XRRFreeMonitors(info);
    return !out->empty();
}

bool XineramaHeads(Display* display, std::vector<X11MONITOR>* out) {
    int eventBase = 0, errorBase = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) {
        return false;
    }
    int count = 0;
    XineramaScreenInfo* heads = XineramaQueryScreens(display, &count);
    if (!heads) return false;
    for (int i = 0; i < count; ++i) {
        X11MONITOR m;
        m.x = heads[i].x_org;
        m.y = heads[i].y_org;
        m.width = heads[i].width;
        m.height = heads[i].height;
        if (m.width > 0 && m.height > 0) out->push_back(m);
    }
    XFree(heads);
    return !out->empty();
}

}  // namespace

std::vector<X11MONITOR> ListMonitors(Display* display) {
    std::vector<X11MONITOR> monitors;
    if (RandRMonitors(display, &monitors)) return monitors;
    monitors.clear();
    if (XineramaHeads(display, &monitors)) return monitors;
    monitors.clear();
    X11MONITOR whole;
    whole.width = DisplayWidth(display, DefaultScreen(display));
    whole.height = DisplayHeight(display, DefaultScreen(display));
    monitors.push_back(whole);
    return monitors;
}

int MainMonitorIndex(const std::vector<X11MONITOR>& monitors) {
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].primary) return int(i);
    }
    return 0;
}

int MonitorUnder(const std::vector<X11MONITOR>& monitors, int x, int y, int width, int height) {
    for (size_t i = 0; i < monitors.size(); ++i) {
        const X11MONITOR& m = monitors[i];
        if (x < m.x + m.width && m.x < x + width && y < m.y + m.height && m.y < y + height) {
            return int(i);
        }
    }
    return MainMonitorIndex(monitors);
}
