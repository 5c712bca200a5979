#ifndef KINDORA_PLATFORM_DESKTOP_STORES_H
#define KINDORA_PLATFORM_DESKTOP_STORES_H

#include <string>
#include <vector>

#include "desktop_picture.h"

// Each desktop's store, read from its text alone: no files, no environment.
// Each returns true with the entry's value as written (a path or an address,
// unchecked) when the text names a non-empty picture; this monitor's entry
// comes first, then one for the whole desktop (or another monitor's).

// XFCE's xfconf channel xfce4-desktop.xml: the property
// /backdrop/screen0/monitor<OUTPUT>/workspace<N>/last-image, then the older
// monitor<index> form, then any monitor; within one, the workspace shown on
// all of them (single-workspace-mode) or else workspace 0 first, then the
// lowest.
bool ParseXfceDesktopXml(const std::string& text, const DesktopMonitor& monitor, std::string* path);

// GNOME's background slideshow: the first <file> of a <static> element, else
// the first <file> at all; one holding <size> entries gives the largest.
// False when the text is no <background> document.
bool ParseBackgroundSlideshow(const std::string& text, std::string* path);

// KDE Plasma's plasma-org.kde.plasma.desktop-appletsrc: Image= of
// [Containments][N][Wallpaper][org.kde.image][General], the containment whose
// lastScreen is this monitor first. KConfig escapes are decoded; containments
// that show another wallpaper plug-in are passed over.
bool ParsePlasmaAppletsrc(const std::string& text, const DesktopMonitor& monitor,
                          std::string* image);

// The largest picture a KDE wallpaper package offers, from the names in its
// contents/images folder (<W>x<H>.<picture extension>).
bool PickLargestPackageImage(const std::vector<std::string>& names, std::string* name);

// The last `key` of [group] in an INI file; '#' and ';' start comments; a
// value in double quotes (as Qt writes it) loses them and its escapes.
bool ParseIniValue(const std::string& text, const std::string& group, const std::string& key,
                   std::string* value);

// pcmanfm's desktop-items-<n>.conf (LXDE): [*] wallpaper=, none when
// wallpaper_mode is color.
bool ParsePcmanfmDesktopItems(const std::string& text, std::string* path);

// pcmanfm-qt's settings.conf (LXQt): [Desktop] Wallpaper=, none when
// WallpaperMode is none.
bool ParsePcmanfmQtSettings(const std::string& text, std::string* path);

// ~/.fehbg: the files of its feh command, one per monitor in order; a monitor
// beyond them gets the first.
bool ParseFehbg(const std::string& text, const DesktopMonitor& monitor, std::string* path);

// nitrogen's bg-saved.cfg: file= of [xin_<index>], then [xin_-1] (all
// monitors), then a whole-screen section ([:0.0]).
bool ParseNitrogenConfig(const std::string& text, const DesktopMonitor& monitor, std::string* path);

// Splits one shell command line into words as sh would (quotes, backslashes),
// stopping at an unquoted ;, &, | or comment. False on an unclosed quote.
bool SplitShellWords(const std::string& line, std::vector<std::string>* words);

#endif
