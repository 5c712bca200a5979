#include "xscreensaver_file.h"

#include <strings.h>

#include <initializer_list>
#include <vector>

#include "store_files.h"

namespace {

std::string Trim(const std::string& s) {
    const char* kSpace = " \t\r\n";
    const size_t from = s.find_first_not_of(kSpace);
    if (from == std::string::npos) return "";
    return s.substr(from, s.find_last_not_of(kSpace) - from + 1);
}

bool IsOneOf(const std::string& value, std::initializer_list<const char*> words) {
    for (const char* word : words)
        if (strcasecmp(value.c_str(), word) == 0) return true;
    return false;
}

// The file's logical lines: a backslash before the newline joins the next.
std::vector<std::string> LogicalLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        } else if (text[i] == '\n') {
            lines.emplace_back();
        } else {
            lines.back().push_back(text[i]);
        }
    }
    return lines;
}

}  // namespace

bool ParseGrabDesktopImages(const std::string& text, bool* allowed) {
    bool found = false;
    for (const std::string& raw : LogicalLines(text)) {
        const std::string line = Trim(raw);
        const size_t colon = line.find(':');
        if (line.empty() || line[0] == '!' || line[0] == '#' || colon == std::string::npos)
            continue;
        if (Trim(line.substr(0, colon)) != "grabDesktopImages") continue;
        const std::string value = Trim(line.substr(colon + 1));
        *allowed = IsOneOf(value, {"true", "on", "yes", "1"});
        found = true;
    }
    return found;
}

bool XScreenSaverAllowsGrabs(const std::string& home) {
    std::string text;
    bool allowed = true;
    if (home.empty() || !ReadStoreFile(home + "/.xscreensaver", &text)) return true;
    return !ParseGrabDesktopImages(text, &allowed) || allowed;
}
