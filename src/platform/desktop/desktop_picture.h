#ifndef KINDORA_PLATFORM_DESKTOP_PICTURE_H
#define KINDORA_PLATFORM_DESKTOP_PICTURE_H

#include <cstddef>
#include <string>

// Where to look; filled from the process by DesktopPlaceFromProcess().
struct DesktopPlace {
    std::string home;            // $HOME
    std::string configHome;      // $XDG_CONFIG_HOME if absolute, else home + "/.config"
    std::string currentDesktop;  // $XDG_CURRENT_DESKTOP (e.g. "XFCE", "ubuntu:GNOME", "X-Cinnamon")
};

// $HOME (the password database's home when it is unset), $XDG_CONFIG_HOME
// and $XDG_CURRENT_DESKTOP.
DesktopPlace DesktopPlaceFromProcess();

struct DesktopMonitor {
    int index = 0;  // the monitor's index in the server's RandR order (the view's screen number)
    std::string outputName;  // RandR output/monitor name, e.g. "HDMI-1" (may be empty)
};

// Finds the picture file the user chose as desktop picture for this monitor:
// the desktop named by currentDesktop first, then the others; within a store
// this monitor's entry first, then a desktop-wide one. True with an absolute
// path in `out` (NUL-terminated, at most size-1 bytes; a longer path: false)
// when an entry was found, even when its path is short (the caller treats a
// path of 4 bytes or less as none). False when no store names a picture.
// An empty entry, one that is no file path (a web address, MATE's
// unexpanded "${prefix}" default) and a relative path name no picture, and
// the search goes on. file:// addresses are decoded, a GNOME slideshow gives
// its still picture and a KDE wallpaper package its largest picture.
// GSettings are those of this process's user (the place does not move them);
// those of a desktop other than the current one count only where the user
// set them, not their defaults. Never aborts, never needs a session bus.
bool FindDesktopPicture(const DesktopPlace& place, const DesktopMonitor& monitor, char* out,
                        size_t size);

#endif
