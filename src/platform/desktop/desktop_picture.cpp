#include "desktop_picture.h"

#include <glib.h>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "desktop_stores.h"
#include "gsettings_store.h"
#include "store_files.h"

namespace {

// A wallpaper package's folder of pictures holds a few dozen.
constexpr size_t kMaxPackageEntries = 4096;

enum class Store { kXfce, kKde, kLxqt, kLxde, kFeh, kNitrogen, kGnome, kCinnamon, kMate };

// Without a current desktop, the file stores go first: each exists only
// where its desktop or tool has run. GSettings schemas come with GTK on
// every desktop.
const Store kDefaultOrder[] = {Store::kXfce,  Store::kKde,      Store::kLxqt,
                               Store::kLxde,  Store::kFeh,      Store::kNitrogen,
                               Store::kGnome, Store::kCinnamon, Store::kMate};

bool StoreOfDesktop(const std::string& name, Store* store) {
    static const struct {
        const char* name;
        Store store;
    } kNames[] = {{"XFCE", Store::kXfce},         {"GNOME", Store::kGnome},
                  {"Unity", Store::kGnome},       {"Budgie", Store::kGnome},
                  {"Pantheon", Store::kGnome},    {"X-Cinnamon", Store::kCinnamon},
                  {"Cinnamon", Store::kCinnamon}, {"MATE", Store::kMate},
                  {"KDE", Store::kKde},           {"LXDE", Store::kLxde},
                  {"LXQt", Store::kLxqt}};
    for (const auto& known : kNames) {
        if (strcasecmp(name.c_str(), known.name) == 0) {
            *store = known.store;
            return true;
        }
    }
    return false;
}

// The stores of the desktops that $XDG_CURRENT_DESKTOP names, in its order,
// then the rest.
std::vector<Store> SearchOrder(const std::string& current, std::vector<Store>* named) {
    std::vector<Store> order;
    size_t at = 0;
    while (at <= current.size()) {
        const size_t end = std::min(current.find(':', at), current.size());
        Store store;
        if (StoreOfDesktop(current.substr(at, end - at), &store)) order.push_back(store);
        at = end + 1;
    }
    *named = order;
    for (Store store : kDefaultOrder)
        order.push_back(store);
    return order;
}

bool Contains(const std::vector<Store>& stores, Store store) {
    for (Store s : stores)
        if (s == store) return true;
    return false;
}

bool LookLxde(const DesktopPlace& place, const DesktopMonitor& monitor, std::string* value) {
    const std::string folder = place.configHome + "/pcmanfm/LXDE/";
    std::string text;
    for (int n : {monitor.index, 0}) {
        if (n >= 0 &&
            ReadStoreFile(folder + "desktop-items-" + std::to_string(n) + ".conf", &text) &&
            ParsePcmanfmDesktopItems(text, value)) {
            return true;
        }
    }
    return false;
}

// GNOME's dark-style picture first while the dark style is chosen.
bool LookGnome(bool userSetOnly, std::string* value) {
    std::string scheme;
    const bool dark =
        ReadGSettingsString("org.gnome.desktop.interface", "color-scheme", false, &scheme) &&
        scheme == "prefer-dark";
    const char* kSchema = "org.gnome.desktop.background";
    if (dark && ReadGSettingsString(kSchema, "picture-uri-dark", userSetOnly, value) &&
        !value->empty()) {
        return true;
    }
    return ReadGSettingsString(kSchema, "picture-uri", userSetOnly, value);
}

bool LookStore(Store store, bool current, const DesktopPlace& place, const DesktopMonitor& monitor,
               std::string* value) {
    const std::string& config = place.configHome;
    std::string text;
    switch (store) {
        case Store::kXfce:
            return ReadStoreFile(config + "/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml",
                                 &text) &&
                   ParseXfceDesktopXml(text, monitor, value);
        case Store::kKde:
            return ReadStoreFile(config + "/plasma-org.kde.plasma.desktop-appletsrc", &text) &&
                   ParsePlasmaAppletsrc(text, monitor, value);
        case Store::kLxqt:
            return ReadStoreFile(config + "/pcmanfm-qt/lxqt/settings.conf", &text) &&
                   ParsePcmanfmQtSettings(text, value);
        case Store::kLxde:
            return LookLxde(place, monitor, value);
        case Store::kFeh:
            return ReadStoreFile(place.home + "/.fehbg", &text) && ParseFehbg(text, monitor, value);
        case Store::kNitrogen:
            return ReadStoreFile(config + "/nitrogen/bg-saved.cfg", &text) &&
                   ParseNitrogenConfig(text, monitor, value);
        case Store::kGnome:
            return LookGnome(!current, value);
        case Store::kCinnamon:
            return ReadGSettingsString("org.cinnamon.desktop.background", "picture-uri", !current,
                                       value);
        case Store::kMate:
            return ReadGSettingsString("org.mate.background", "picture-filename", !current, value);
    }
    return false;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
    const size_t n = strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// An address (scheme://...) as a local path: file:// decoded, others none.
bool LocalPath(const std::string& value, const DesktopPlace& place, std::string* path) {
    const size_t scheme = value.find("://");
    if (scheme != std::string::npos && value.find('/') > scheme) {
        if (strncasecmp(value.c_str(), "file://", 7) != 0) return false;
        gchar* host = nullptr;
        gchar* decoded = g_filename_from_uri(value.c_str(), &host, nullptr);
        // A file on another machine is none of this one's.
        const bool local = decoded && (!host || strcmp(host, "localhost") == 0);
        if (local) *path = decoded;
        g_free(decoded);
        g_free(host);
        if (!local) return false;
    } else if (value.compare(0, 2, "~/") == 0) {
        *path = place.home + value.substr(1);
    } else {
        *path = value;
    }
    return !path->empty() && (*path)[0] == '/';
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1);
}

// A slideshow names its still picture (relative to its own folder); a
// package folder its largest picture; any other path stands as it is.
bool ResolvePicture(const std::string& value, const DesktopPlace& place, bool inSlideshow,
                    std::string* path) {
    if (value.empty() || value.find("${") != std::string::npos) return false;
    if (!LocalPath(value, place, path)) return false;
    std::string text, inner;
    if (!inSlideshow && EndsWithNoCase(*path, ".xml") && ReadStoreFile(*path, &text) &&
        ParseBackgroundSlideshow(text, &inner)) {
        if (inner[0] != '/' && inner.find("://") == std::string::npos) {
            inner = FolderOf(*path) + inner;
        }
        return ResolvePicture(inner, place, true, path);
    }
    std::vector<std::string> names;
    std::string largest;
    if (IsFolder(*path)) {
        const std::string images = *path + (path->back() == '/' ? "" : "/") + "contents/images";
        if (!ListFolder(images, kMaxPackageEntries, &names) ||
            !PickLargestPackageImage(names, &largest)) {
            return false;
        }
        *path = images + "/" + largest;
    }
    return true;
}

}  // namespace

DesktopPlace DesktopPlaceFromProcess() {
    DesktopPlace place;
    const char* home = getenv("HOME");
    if (home && *home) {
        place.home = home;
    } else if (const passwd* user = getpwuid(getuid())) {
        if (user->pw_dir) place.home = user->pw_dir;
    }
    const char* config = getenv("XDG_CONFIG_HOME");
    place.configHome = config && config[0] == '/' ? config : place.home + "/.config";
    const char* desktop = getenv("XDG_CURRENT_DESKTOP");
    if (desktop) place.currentDesktop = desktop;
    return place;
}

bool FindDesktopPicture(const DesktopPlace& place, const DesktopMonitor& monitor, char* out,
                        size_t size) {
    if (out && size > 0) out[0] = '\0';
    std::vector<Store> named;
    const std::vector<Store> order = SearchOrder(place.currentDesktop, &named);
    std::vector<Store> tried;
    for (Store store : order) {
        if (Contains(tried, store)) continue;
        tried.push_back(store);
        std::string value, path;
        if (!LookStore(store, Contains(named, store), place, monitor, &value) ||
            !ResolvePicture(value, place, false, &path)) {
            continue;
        }
        if (!out || path.size() >= size) return false;
        memcpy(out, path.c_str(), path.size() + 1);
        return true;
    }
    return false;
}
