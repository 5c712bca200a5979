#ifndef KINDORA_PLATFORM_X11_MONITORS_H
#define KINDORA_PLATFORM_X11_MONITORS_H

#include <X11/Xlib.h>

#include <string>
#include <vector>

// One monitor of the X screen, in root-window pixels.
struct X11MONITOR {
    std::string name;  // RandR's monitor name (usually the output's, e.g. "HDMI-1"); may be empty
    int x = 0, y = 0, width = 0, height = 0;
    bool primary = false;
};

// The monitors in the server's order: RandR 1.5 monitors, else Xinerama's
// heads, else the whole screen as one. Never empty for a live display.
std::vector<X11MONITOR> ListMonitors(Display* display);

// The index of the main monitor: the RandR primary, else the first.
int MainMonitorIndex(const std::vector<X11MONITOR>& monitors);

// The index of the first monitor that overlaps the rectangle, else the main one.
int MonitorUnder(const std::vector<X11MONITOR>& monitors, int x, int y, int width, int height);

#endif
