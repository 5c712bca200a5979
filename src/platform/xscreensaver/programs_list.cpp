#include "programs_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxResourceFile = 1 << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (IsBlank(s[a]) || s[a] == '\r')) ++a;
    while (b > a && (IsBlank(s[b - 1]) || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

bool IsProgramsName(const std::string& name) {
    return name == "programs" || name == "*programs" || name == "XScreenSaver.programs" ||
           name == "XScreenSaver*programs";
}

// The end of the logical line that starts at `start`: past the newline that
// is not escaped by a backslash, or the end of the text.
size_t LogicalLineEnd(const std::string& text, size_t start) {
    size_t i = start;
    while (i < text.size()) {
        const size_t nl = text.find('\n', i);
        if (nl == std::string::npos) return text.size();
        if (nl > start && text[nl - 1] == '\\') {
            i = nl + 1;
            continue;
        }
        return nl + 1;
    }
    return text.size();
}

// The value after the colon, with each backslash-newline removed.
std::string JoinedValue(const std::string& text, size_t colon, size_t end) {
    std::string value;
    for (size_t i = colon + 1; i < end; ++i) {
        if (text[i] == '\\' && i + 1 < end && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (text[i] == '\n') continue;
        value += text[i];
    }
    return value;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadSmallFile(const std::string& path, std::string* text, bool* missing) {
    *missing = false;
    text->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return *missing;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || size_t(st.st_size) > kMaxResourceFile) {
        close(fd);
        return false;
    }
    char buffer[65536];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        text->append(buffer, size_t(n));
        if (text->size() > kMaxResourceFile) break;
    }
    close(fd);
    return n == 0;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes `data` to a new file beside `path` and renames it over `path`.
bool ReplaceFile(const std::string& path, const std::string& data, mode_t mode,
                 std::string* why) {
    std::string temp = path + ".kindora-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        *why = std::string("cannot write beside it: ") + strerror(errno);
        return false;
    }
    const bool written = fchmod(fd, mode) == 0 && WriteAll(fd, data) && fsync(fd) == 0;
    const int closed = close(fd);
    if (!written || closed != 0 || rename(name.data(), path.c_str()) != 0) {
        *why = std::string("cannot write it: ") + strerror(errno);
        unlink(name.data());
        return false;
    }
    const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace

bool FindProgramsResource(const std::string& text, PROGRAMSRESOURCE* out) {
    *out = PROGRAMSRESOURCE();
    if (text.size() > kMaxResourceFile || text.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = LogicalLineEnd(text, start);
        size_t i = start;
        while (i < end && IsBlank(text[i])) ++i;
        const bool comment = i < end && (text[i] == '!' || text[i] == '#');
        const size_t colon = text.find(':', i);
        if (!comment && colon != std::string::npos && colon < end &&
            IsProgramsName(Trim(text.substr(i, colon - i)))) {
            if (out->found) return false;  // which of the two would XScreenSaver use?
            out->found = true;
            out->begin = start;
            out->end = end;
            out->value = JoinedValue(text, colon, end);
        }
        start = end;
    }
    return true;
}

std::vector<std::string> SplitPrograms(const std::string& value) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= value.size()) {
        size_t sep = value.find("\\n", start);
        if (sep == std::string::npos) sep = value.size();
        const std::string entry = Trim(value.substr(start, sep - start));
        if (!entry.empty()) entries.push_back(entry);
        start = sep + 2;
    }
    return entries;
}

bool EntryRunsKindora(const std::string& entry) {
    std::string s = Trim(entry);
    if (!s.empty() && s[0] == '-') s = Trim(s.substr(1));
    // "GL:" and a visual name are words ending in a colon.
    for (;;) {
        size_t word = 0;
        while (word < s.size() && !IsBlank(s[word]) && s[word] != '"') ++word;
        if (word == 0 || s[word - 1] != ':') break;
        s = Trim(s.substr(word));
    }
    if (!s.empty() && s[0] == '"') {
        const size_t close = s.find('"', 1);
        if (close == std::string::npos) return false;
        s = Trim(s.substr(close + 1));
    }
    size_t word = 0;
    while (word < s.size() && !IsBlank(s[word])) ++word;
    return BaseName(s.substr(0, word)) == "kindora";
}

std::string FormatProgramsResource(const std::vector<std::string>& entries) {
    std::string out = "programs:\t\t\t\t\t\t\t\t      \\\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        out += "\t\t\t\t" + entries[i] + "\t\t\t    \\n";
        out += i + 1 < entries.size() ? "\\\n" : "\n";
    }
    if (entries.empty()) out += "\n";
    return out;
}

ListChange ChangeProgramsList(const std::string& userText, const std::string& systemText,
                              const std::string& entry, bool add, std::string* result) {
    PROGRAMSRESOURCE user;
    if (!FindProgramsResource(userText, &user)) return ListChange::kUnparsable;
    std::vector<std::string> entries;
    if (user.found) {
        entries = SplitPrograms(user.value);
    } else {
        PROGRAMSRESOURCE system;
        if (!add) return ListChange::kUnchanged;
        if (FindProgramsResource(systemText, &system) && system.found) {
            entries = SplitPrograms(system.value);
        }
    }
    std::vector<std::string> changed;
    bool listed = false;
    for (const std::string& e : entries) {
        if (EntryRunsKindora(e)) {
            listed = true;
            if (add) changed.push_back(e);
        } else {
            changed.push_back(e);
        }
    }
    if (add == listed) return ListChange::kUnchanged;
    if (add) changed.push_back(entry);
    const std::string resource = FormatProgramsResource(changed);
    if (user.found) {
        *result = userText.substr(0, user.begin) + resource + userText.substr(user.end);
    } else {
        *result = userText;
        if (!result->empty() && result->back() != '\n') *result += '\n';
        // A last line that ends in a backslash would swallow the new
        // resource's first line; an empty line ends it.
        if (result->size() >= 2 && (*result)[result->size() - 2] == '\\') *result += '\n';
        *result += resource;
    }
    return add ? ListChange::kAdded : ListChange::kRemoved;
}

bool EditUserProgramsList(const std::string& userFile, const std::string& systemFile,
                          const std::string& entry, bool add, std::string* message) {
    // A list kept elsewhere and linked in (a dotfiles folder) is edited where it lies.
    std::string path = userFile;
    char resolved[PATH_MAX];
    if (realpath(userFile.c_str(), resolved)) path = resolved;
    std::string userText, systemText;
    bool missing = false, systemMissing = false;
    if (!ReadSmallFile(path, &userText, &missing)) {
        *message = userFile + ": cannot be read; nothing changed";
        return false;
    }
    ReadSmallFile(systemFile, &systemText, &systemMissing);
    std::string updated;
    switch (ChangeProgramsList(userText, systemText, entry, add, &updated)) {
        case ListChange::kUnparsable:
            *message = userFile + ": not a resource file that can be edited safely; nothing changed";
            return false;
        case ListChange::kUnchanged:
            *message = add ? userFile + ": Kindora is listed already"
                           : userFile + ": Kindora is not listed";
            return true;
        case ListChange::kAdded:
        case ListChange::kRemoved:
            break;
    }
    mode_t mode = 0644;
    struct stat st;
    std::string why;
    if (!missing && stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        if (!ReplaceFile(path + ".kindora-backup", userText, mode, &why)) {
            *message = userFile + ": no backup could be made (" + why + "); nothing changed";
            return false;
        }
    }
    if (!ReplaceFile(path, updated, mode, &why)) {
        *message = userFile + ": " + why + "; nothing changed";
        return false;
    }
    *message = add ? userFile + ": Kindora added to the programs list"
                   : userFile + ": Kindora taken out of the programs list";
    if (!missing) *message += " (the old file is kept as " + userFile + ".kindora-backup)";
    return true;
}
