#include "desktop_stores.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "xml_scan.h"

namespace {

// Deeper nesting than this is no desktop's file.
constexpr size_t kMaxXmlDepth = 64;

std::string Trim(const std::string& s) {
    const char* kSpace = " \t\r\n";
    const size_t from = s.find_first_not_of(kSpace);
    if (from == std::string::npos) return "";
    return s.substr(from, s.find_last_not_of(kSpace) - from + 1);
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, strlen(prefix), prefix) == 0;
}

bool EqualNoCase(const std::string& a, const char* b) {
    return a.size() == strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

// A whole decimal number, optionally negative, in range.
bool ParseNumber(const std::string& s, long* value) {
    if (s.empty() || s.size() > 9) return false;
    char* end = nullptr;
    *value = strtol(s.c_str(), &end, 10);
    return *end == '\0' && (isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-');
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// ------------------------------------------------------------------ XFCE

struct XfceImage {
    std::string monitor;  // "monitorHDMI-1", "monitor0"
    long workspace;       // the old image-path property counts as last
    std::string value;
};

// The workspace whose picture XFCE shows on all of them, when it does.
struct XfceShown {
    bool single = false;
    long number = 0;
};

void NoteXfceProperty(const std::vector<std::string>& path, const XmlItem& item,
                      std::vector<XfceImage>* images, XfceShown* shown) {
    const std::string* name = XmlAttribute(item, "name");
    const std::string* value = XmlAttribute(item, "value");
    long number = 0;
    if (path.size() == 1 && path[0] == "backdrop" && name && value) {
        if (*name == "single-workspace-mode") shown->single = *value == "true";
        if (*name == "single-workspace-number" && ParseNumber(*value, &number) && number >= 0)
            shown->number = number;
    }
    if (!name || !value || path.size() < 3 || path[0] != "backdrop" || path[1] != "screen0" ||
        !StartsWith(path[2], "monitor") || Trim(*value).empty()) {
        return;
    }
    long workspace = 0;
    if (path.size() == 4 && *name == "last-image" && StartsWith(path[3], "workspace") &&
        ParseNumber(path[3].substr(9), &workspace) && workspace >= 0) {
        images->push_back({path[2], workspace, Trim(*value)});
    } else if (path.size() == 3 && *name == "image-path") {
        images->push_back({path[2], LONG_MAX, Trim(*value)});
    }
}

int XfceMonitorRank(const std::string& name, const DesktopMonitor& monitor) {
    if (!monitor.outputName.empty() && name == "monitor" + monitor.outputName) return 0;
    if (name == "monitor" + std::to_string(monitor.index)) return 1;
    return 2;
}

}  // namespace

bool ParseXfceDesktopXml(const std::string& text, const DesktopMonitor& monitor,
                         std::string* path) {
    std::vector<std::string> properties;  // names of the open property elements
    std::vector<XfceImage> images;
    XfceShown shown;
    size_t pos = 0;
    XmlItem item;
    XmlStep step;
    while ((step = NextXmlItem(text, &pos, &item)) == XmlStep::kItem) {
        if (item.kind == XmlItem::kClose && !properties.empty()) properties.pop_back();
        if (item.kind != XmlItem::kOpen && item.kind != XmlItem::kEmpty) continue;
        const std::string* name = XmlAttribute(item, "name");
        const bool property = item.name == "property" && name;
        if (property) NoteXfceProperty(properties, item, &images, &shown);
        if (item.kind == XmlItem::kOpen && item.name != "channel") {
            if (properties.size() >= kMaxXmlDepth) return false;
            properties.push_back(property ? *name : std::string());
        }
    }
    if (step == XmlStep::kBroken || images.empty()) return false;
    const long shownWorkspace = shown.single ? shown.number : 0;
    const auto better = [&](const XfceImage& a, const XfceImage& b) {
        const int ra = XfceMonitorRank(a.monitor, monitor),
                  rb = XfceMonitorRank(b.monitor, monitor);
        if (ra != rb) return ra < rb;
        const bool sa = a.workspace == shownWorkspace, sb = b.workspace == shownWorkspace;
        return sa != sb ? sa : a.workspace < b.workspace;
    };
    *path = std::min_element(images.begin(), images.end(), better)->value;
    return true;
}

// -------------------------------------------------------- GNOME slideshow

namespace {

struct SlideshowReader {
    bool inBackground = false;
    int staticDepth = 0;  // open <static> elements
    bool inFile = false, inSize = false;
    std::string fileText, sizeText, bestSize;
    uint64_t bestArea = 0;
    bool hasSize = false;
    std::string staticPick, firstPick;

    void Open(const XmlItem& item) {
        if (item.name == "background") inBackground = true;
        if (!inBackground) return;
        if (item.name == "static") ++staticDepth;
        if (item.name == "file" && item.kind == XmlItem::kOpen) {
            inFile = true, hasSize = false, bestArea = 0;
            fileText.clear(), bestSize.clear();
        }
        if (item.name == "size" && inFile && item.kind == XmlItem::kOpen) {
            inSize = true;
            sizeText.clear();
            sizeArea = Area(item);
        }
    }
    void Close(const XmlItem& item) {
        if (item.name == "static" && staticDepth > 0) --staticDepth;
        if (item.name == "size" && inSize) {
            inSize = false;
            const std::string picked = Trim(sizeText);
            if (!picked.empty() && (!hasSize || sizeArea > bestArea)) {
                bestSize = picked, bestArea = sizeArea, hasSize = true;
            }
        }
        if (item.name == "file" && inFile) {
            inFile = false;
            const std::string picked = hasSize ? bestSize : Trim(fileText);
            if (picked.empty()) return;
            if (staticDepth > 0 && staticPick.empty()) staticPick = picked;
            if (firstPick.empty()) firstPick = picked;
        }
    }
    void Text(const XmlItem& item) {
        if (inSize) {
            sizeText += item.text;
        } else if (inFile) {
            fileText += item.text;
        }
    }
    static uint64_t Area(const XmlItem& item) {
        const std::string* w = XmlAttribute(item, "width");
        const std::string* h = XmlAttribute(item, "height");
        long wide = 0, high = 0;
        if (!w || !h || !ParseNumber(*w, &wide) || !ParseNumber(*h, &high) || wide < 0 || high < 0)
            return 0;
        return uint64_t(wide) * uint64_t(high);
    }
    uint64_t sizeArea = 0;
};

}  // namespace

bool ParseBackgroundSlideshow(const std::string& text, std::string* path) {
    SlideshowReader reader;
    size_t pos = 0;
    XmlItem item;
    XmlStep step;
    while ((step = NextXmlItem(text, &pos, &item)) == XmlStep::kItem) {
        if (item.kind == XmlItem::kOpen || item.kind == XmlItem::kEmpty) reader.Open(item);
        if (item.kind == XmlItem::kClose) reader.Close(item);
        if (item.kind == XmlItem::kText) reader.Text(item);
    }
    if (step == XmlStep::kBroken || !reader.inBackground) return false;
    const std::string& picked = reader.staticPick.empty() ? reader.firstPick : reader.staticPick;
    if (picked.empty()) return false;
    *path = picked;
    return true;
}

// ------------------------------------------------------------------ KDE

namespace {

// KConfig's escapes: \s \t \n \r \\ and \xHH.
std::string KConfigUnescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        const char c = s[++i];
        if (c == 's')
            out.push_back(' ');
        else if (c == 't')
            out.push_back('\t');
        else if (c == 'n')
            out.push_back('\n');
        else if (c == 'r')
            out.push_back('\r');
        else if (c == 'x' && i + 2 < s.size() && isxdigit((unsigned char)s[i + 1]) &&
                 isxdigit((unsigned char)s[i + 2])) {
            out.push_back(char(strtol(s.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// "[Containments][7][Wallpaper]" as its parts; false when it is no group line.
bool GroupParts(const std::string& line, std::vector<std::string>* parts) {
    parts->clear();
    size_t at = 0;
    while (at < line.size() && line[at] == '[') {
        const size_t close = line.find(']', at);
        if (close == std::string::npos) return false;
        parts->push_back(line.substr(at + 1, close - at - 1));
        at = close + 1;
    }
    return !parts->empty() && Trim(line.substr(at)).empty();
}

// "key[$e]=value": the key without its KConfig flags, and the value.
bool KeyValue(const std::string& line, std::string* key, std::string* value) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(line.substr(0, eq));
    const size_t flags = key->find("[$");
    if (flags != std::string::npos) key->erase(flags);
    *value = Trim(line.substr(eq + 1));
    return !key->empty();
}

struct Containment {
    std::string id;
    long lastScreen = -1;
    std::string plugin;  // wallpaperplugin, when given
    std::string image;
};

Containment* FindContainment(std::vector<Containment>* all, const std::string& id) {
    for (Containment& c : *all)
        if (c.id == id) return &c;
    all->push_back(Containment());
    all->back().id = id;
    return &all->back();
}

void NoteContainmentKey(const std::vector<std::string>& group, const std::string& key,
                        const std::string& value, std::vector<Containment>* all) {
    if (group.size() < 2 || group[0] != "Containments") return;
    const bool own = group.size() == 2;
    const bool image = group.size() == 5 && group[2] == "Wallpaper" &&
                       group[3] == "org.kde.image" && group[4] == "General" && key == "Image";
    if (!own && !image) return;
    Containment* c = FindContainment(all, group[1]);
    long screen = -1;
    if (image) c->image = KConfigUnescape(value);
    if (own && key == "lastScreen" && ParseNumber(value, &screen)) c->lastScreen = screen;
    if (own && key == "wallpaperplugin") c->plugin = value;
}

bool IsPictureExtension(const std::string& ext) {
    for (const char* known : {"jpg", "jpeg", "png", "gif", "webp", "svg", "svgz"})
        if (EqualNoCase(ext, known)) return true;
    return false;
}

}  // namespace

bool ParsePlasmaAppletsrc(const std::string& text, const DesktopMonitor& monitor,
                          std::string* image) {
    std::vector<Containment> all;
    std::vector<std::string> group, parts;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        std::string key, value;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (GroupParts(line, &parts)) group = parts;
            continue;
        }
        if (KeyValue(line, &key, &value)) NoteContainmentKey(group, key, value, &all);
    }
    const Containment* chosen = nullptr;
    for (const Containment& c : all) {
        if (c.image.empty() || (!c.plugin.empty() && c.plugin != "org.kde.image")) continue;
        if (c.lastScreen == monitor.index) {
            chosen = &c;
            break;
        }
        if (!chosen) chosen = &c;
    }
    if (!chosen) return false;
    *image = chosen->image;
    return true;
}

bool PickLargestPackageImage(const std::vector<std::string>& names, std::string* name) {
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    uint64_t best = 0;
    for (const std::string& n : sorted) {
        const size_t x = n.find('x'), dot = n.rfind('.');
        long wide = 0, high = 0;
        if (x == std::string::npos || dot == std::string::npos || dot < x ||
            !ParseNumber(n.substr(0, x), &wide) ||
            !ParseNumber(n.substr(x + 1, dot - x - 1), &high) || wide <= 0 || high <= 0 ||
            !IsPictureExtension(n.substr(dot + 1))) {
            continue;
        }
        const uint64_t area = uint64_t(wide) * uint64_t(high);
        if (area > best) best = area, *name = n;
    }
    return best > 0;
}

// ---------------------------------------------------------- INI stores

namespace {

std::string Unquote(const std::string& value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return value;
    std::string out;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (value[i] == '\\' && i + 2 < value.size()) ++i;
        out.push_back(value[i]);
    }
    return out;
}

}  // namespace

bool ParseIniValue(const std::string& text, const std::string& group, const std::string& key,
                   std::string* value) {
    bool inGroup = false, found = false;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            inGroup = line.back() == ']' && line.compare(1, line.size() - 2, group) == 0 &&
                      line.size() == group.size() + 2;
            continue;
        }
        const size_t eq = line.find('=');
        if (!inGroup || eq == std::string::npos || Trim(line.substr(0, eq)) != key) continue;
        *value = Unquote(Trim(line.substr(eq + 1)));
        found = true;
    }
    return found;
}

bool ParsePcmanfmDesktopItems(const std::string& text, std::string* path) {
    std::string mode;
    if (ParseIniValue(text, "*", "wallpaper_mode", &mode) && mode == "color") return false;
    return ParseIniValue(text, "*", "wallpaper", path) && !path->empty();
}

bool ParsePcmanfmQtSettings(const std::string& text, std::string* path) {
    std::string mode;
    if (ParseIniValue(text, "Desktop", "WallpaperMode", &mode) && mode == "none") return false;
    return ParseIniValue(text, "Desktop", "Wallpaper", path) && !path->empty();
}

bool ParseNitrogenConfig(const std::string& text, const DesktopMonitor& monitor,
                         std::string* path) {
    for (const std::string& group : {"xin_" + std::to_string(monitor.index), std::string("xin_-1")})
        if (ParseIniValue(text, group, "file", path) && !path->empty()) return true;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trim(raw);
        if (StartsWith(line, "[:") && line.back() == ']' &&
            ParseIniValue(text, line.substr(1, line.size() - 2), "file", path) && !path->empty()) {
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------------ feh

bool SplitShellWords(const std::string& line, std::vector<std::string>* words) {
    words->clear();
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) return false;
            word += line.substr(i + 1, close - i - 1);
            i = close, inWord = true;
        } else if (c == '"') {
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() && strchr("\"\\$`", line[j + 1])) ++j;
                word.push_back(line[j]);
            }
            if (j >= line.size()) return false;
            i = j, inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word.push_back(line[++i]);
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == ';' || c == '&' || c == '|' ||
                   (c == '#' && !inWord)) {
            if (inWord) words->push_back(word);
            word.clear(), inWord = false;
            if (c != ' ' && c != '\t') break;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord) words->push_back(word);
    return true;
}

namespace {

bool IsFeh(const std::string& word) {
    return word == "feh" || (word.size() > 4 && word.compare(word.size() - 4, 4, "/feh") == 0);
}

// The picture files of one feh command line.
std::vector<std::string> FehFiles(const std::vector<std::string>& words) {
    std::vector<std::string> files;
    const auto feh = std::find_if(words.begin(), words.end(), IsFeh);
    bool options = true;
    for (auto w = feh == words.end() ? feh : feh + 1; w != words.end(); ++w) {
        if (options && *w == "--") {
            options = false;
        } else if (options && (*w == "--image-bg" || *w == "-B")) {
            if (w + 1 != words.end()) ++w;
        } else if (!options || w->empty() || (*w)[0] != '-') {
            files.push_back(*w);
        }
    }
    return files;
}

}  // namespace

bool ParseFehbg(const std::string& text, const DesktopMonitor& monitor, std::string* path) {
    std::vector<std::string> files, words;
    std::string line;
    for (const std::string& raw : Lines(text)) {
        if (!raw.empty() && raw.back() == '\\') {  // continued on the next line
            line += raw.substr(0, raw.size() - 1);
            continue;
        }
        line += raw;
        if (SplitShellWords(line, &words)) {
            std::vector<std::string> found = FehFiles(words);
            if (!found.empty()) files = found;
        }
        line.clear();
    }
    if (files.empty()) return false;
    const size_t index = monitor.index >= 0 ? size_t(monitor.index) : 0;
    *path = index < files.size() ? files[index] : files[0];
    return !path->empty();
}
