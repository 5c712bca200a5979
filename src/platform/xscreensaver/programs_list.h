#ifndef KINDORA_PLATFORM_XSCREENSAVER_PROGRAMS_LIST_H
#define KINDORA_PLATFORM_XSCREENSAVER_PROGRAMS_LIST_H

#include <string>
#include <vector>

// XScreenSaver shows a hack only when the "programs:" list of its resource
// files names it: the user's ~/.xscreensaver, with the system's list
// (/etc/X11/app-defaults/XScreenSaver) merged in after it. These functions
// read and rewrite that list as XScreenSaver's own settings dialog writes it:
// "programs:" and a backslash ending the line, then one entry a line such as
// "GL: kindora --root", each but the last followed by the two characters
// "\n" and a backslash that continues the resource on the next line.

// Where a resource file's "programs:" resource lies: [begin, end) covers its
// lines, `value` is the text after the colon with the continuations joined.
struct PROGRAMSRESOURCE {
    bool found = false;
    size_t begin = 0;
    size_t end = 0;
    std::string value;
};

// Finds "programs:" (or "*programs:", as the system file writes it) in the
// text of a resource file. False when the text cannot be taken for one: it
// holds a NUL byte, is over 1 MiB, or has the resource twice.
bool FindProgramsResource(const std::string& text, PROGRAMSRESOURCE* out);

// The entries of a programs value, each without its surrounding blanks;
// empty entries are dropped.
std::vector<std::string> SplitPrograms(const std::string& value);

// True when the entry runs Kindora: its command (after the optional "-",
// "GL:", visual name and "Pretty Name") is a program named "kindora".
bool EntryRunsKindora(const std::string& entry);

// The "programs:" resource for the entries, laid out as XScreenSaver writes it,
// ending in a newline.
std::string FormatProgramsResource(const std::vector<std::string>& entries);

enum class ListChange { kAdded, kRemoved, kUnchanged, kUnparsable };

// The user's resource file with Kindora's entry `entry` added (once) or taken
// out (every entry that runs Kindora). A file without a programs list gets
// one built from `systemText`'s list, so that no stock hack is lost. Other
// resources, comments and the order of the entries are kept. *result is the
// new text.
ListChange ChangeProgramsList(const std::string& userText, const std::string& systemText,
                              const std::string& entry, bool add, std::string* result);

// The whole edit on disk: reads `userFile` (a missing one counts as empty)
// and `systemFile`, and when the list changes, keeps a copy of the old file as
// "<userFile>.kindora-backup" and replaces the file atomically (a temporary
// file, synced, renamed; the old file's mode kept; a symbolic link followed).
// `message` says what was done, or why nothing was. False on failure, with
// the file untouched.
bool EditUserProgramsList(const std::string& userFile, const std::string& systemFile,
                          const std::string& entry, bool add, std::string* message);

#endif
