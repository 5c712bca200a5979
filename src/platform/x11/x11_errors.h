#ifndef KINDORA_PLATFORM_X11_ERRORS_H
#define KINDORA_PLATFORM_X11_ERRORS_H

#include <X11/Xlib.h>

// The host destroys the saver's window the moment it stops the saver, so
// the next X call may fail at any point. Outside a trap, an X error or a
// lost connection ends the process at once with status 0: silently when a
// stop was already asked for (SIGTERM), else with one line on stderr.
void InstallQuietXErrorHandlers(const char* program, volatile const int* stopRequested);

// Between these two calls X errors are only counted (for calls that may
// fail for harmless reasons: reading a pixmap that has gone, say).
// UntrapXErrors syncs and returns true when an error happened.
void TrapXErrors(Display* display);
bool UntrapXErrors(Display* display);

#endif
