#ifndef KINDORA_PLATFORM_PREFS_GLIB_H
#define KINDORA_PLATFORM_PREFS_GLIB_H

#include <string>

#include "preferences.h"

// The user's preference stores on disk: one key file per module at
// <config folder>/kindora/<module>.conf, its keys in a group named after the
// module. Opening reads the file once; reads and writes then work on the copy
// in memory, and Flush replaces the whole file atomically and durably, so
// other processes see either the old file or the new one, never a mixture.
//
// A file that cannot be used (not a regular file, over 64 KiB, not UTF-8,
// not a key file) is renamed to "<name>.bad-<time stamp>" in the same folder,
// with a note on stderr, and the store starts empty. A bad file that cannot
// be renamed stays in place and every Flush of that store fails, so nothing
// the user had is ever overwritten unread.

// The user's configuration folder: $XDG_CONFIG_HOME when it holds an absolute
// path, else ~/.config. Read from the environment on every call.
std::string UserConfigDir();

// The file that holds `module`'s store under `configDir`.
std::string PrefFilePath(const std::string& configDir, const char* module);

// Opens the store of `module` under `configDir`, or under UserConfigDir()
// when `configDir` is null. The module name is letters, digits, '.', '_' and
// '-', not starting with '.'. Returns false, with `store` cleared, for a bad
// name or when memory runs out; a missing or unusable file still opens as an
// empty store. Close the store with ClosePrefStore.
bool OpenPrefStore(const char* module, const char* configDir, PREFSTORE* store);

#endif
