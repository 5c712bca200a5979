#ifndef KINDORA_PLATFORM_DESKTOP_XSCREENSAVER_FILE_H
#define KINDORA_PLATFORM_DESKTOP_XSCREENSAVER_FILE_H

#include <string>

// True unless the user's ~/.xscreensaver turns grabDesktopImages off. A
// missing or unreadable file allows grabs; files over 1 MiB are ignored.
bool XScreenSaverAllowsGrabs(const std::string& home);

// Reads grabDesktopImages from the text of an XScreenSaver resource file
// ("name:<tab>value" lines, '!' and '#' comments, backslash-newline
// continuations; the last setting counts). "True", "on", "yes" and "1" allow
// grabs and "False", "off", "no" and "0" refuse them, in any case; like
// XScreenSaver itself, any other value refuses them. False when the
// resource is absent.
bool ParseGrabDesktopImages(const std::string& text, bool* allowed);

#endif
