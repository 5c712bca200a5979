#include "headless_host.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>

#include "bundle.h"

namespace {

HEADLESSHOST* Host(void* context) {
    return static_cast<HEADLESSHOST*>(context);
}

double Now(void* context) {
    return Host(context)->clock;
}

bool MakeCurrent(void* context) {
    return Host(context)->gl.MakeCurrent();
}

// A pbuffer has one buffer, and nothing covers it.
bool KeepsPixels(void*) {
    return true;
}

void Flush(void* context) {
    glFlush();
    ++Host(context)->flushes;
}

void FlushChanged(void* context, const PIXELRECT* rects, int32_t count) {
    Flush(context);
    HEADLESSHOST* host = Host(context);
    ++host->changedFlushes;
    for (int32_t i = 0; i < count; ++i)
        host->changedPixels += int64_t(rects[i].x1 - rects[i].x0) * (rects[i].y1 - rects[i].y0);
}

int Screens(void* context, HOSTSCREEN* out, int max) {
    const std::vector<HOSTSCREEN>& screens = Host(context)->screens;
    int count = 0;
    for (; count < max && size_t(count) < screens.size(); ++count)
        out[count] = screens[count];
    return count;
}

int32_t MainScreen(void* context) {
    return Host(context)->mainScreen;
}

int32_t WindowScreen(void* context) {
    return Host(context)->windowScreen;
}

bool ReadScreen(void* context, int32_t number, uint8_t** rgba, uint32_t* wide, uint32_t* high) {
    HEADLESSHOST* host = Host(context);
    ++host->screenReads;
    host->screensRead.push_back(number);
    auto found = host->captures.find(number);
    if (found == host->captures.end() || found->second.rgba.empty()) return false;
    const HEADLESSHOST::Capture& capture = found->second;
    *rgba = static_cast<uint8_t*>(malloc(capture.rgba.size()));
    if (!*rgba) return false;
    memcpy(*rgba, capture.rgba.data(), capture.rgba.size());
    *wide = capture.wide;
    *high = capture.high;
    return true;
}

bool DesktopPicturePath(void* context, int32_t number, char* out, size_t size) {
    const std::map<int32_t, std::string>& pictures = Host(context)->desktopPictures;
    auto found = pictures.find(number);
    if (found == pictures.end()) found = pictures.find(-1);  // desktop-wide
    if (found == pictures.end() || found->second.size() + 1 > size) return false;
    memcpy(out, found->second.c_str(), found->second.size() + 1);
    return true;
}

bool ResourcePath(void* context, const char* name, const char* type, char* out, size_t size) {
    HEADLESSHOST* host = Host(context);
    ++host->resourceLookups;
    if (host->resourceFolder.empty()) return BundleResourcePath(name, type, out, size);
    const char* folders[] = {host->resourceFolder.c_str()};
    return FindResourceIn(folders, 1, name, type, out, size);
}

bool OpenStore(void* context, const char*, PREFSTORE* store) {
    HEADLESSHOST* host = Host(context);
    if (!host->storeOpens) return false;
    *store = MemoryStoreInterface(&host->prefs);
    return true;
}

void Notice(void* context, const char* text) {
    Host(context)->notices.push_back(text);
}

}  // namespace

bool CreateHeadlessHost(HEADLESSHOST* host, int width, int height) {
    return host->gl.Create(width, height);
}

HOSTPLATFORM HeadlessHostPlatform(HEADLESSHOST* host) {
    HOSTPLATFORM p;
    p.context = host;
    p.Now = Now;
    p.MakeCurrent = MakeCurrent;
    p.Flush = Flush;
    p.FlushChanged = FlushChanged;
    p.KeepsPixels = KeepsPixels;
    p.Screens = Screens;
    p.MainScreen = MainScreen;
    p.WindowScreen = WindowScreen;
    p.ReadScreen = ReadScreen;
    p.DesktopPicturePath = DesktopPicturePath;
    p.ResourcePath = ResourcePath;
    p.OpenPrefStore = OpenStore;
    p.Notice = Notice;
    return p;
}

HOSTSCREEN HeadlessScreen(int32_t number, float x, float y, float width, float height) {
    HOSTSCREEN s;
    s.number = number;
    s.frame.x = x;
    s.frame.y = y;
    s.frame.width = width;
    s.frame.height = height;
    return s;
}

HEADLESSHOST::Capture SolidCapture(uint32_t wide, uint32_t high, uint8_t r, uint8_t g, uint8_t b) {
    HEADLESSHOST::Capture c;
    c.wide = wide;
    c.high = high;
    c.rgba.resize(size_t(wide) * high * 4);
    for (size_t i = 0; i < c.rgba.size(); i += 4) {
        c.rgba[i] = r;
        c.rgba[i + 1] = g;
        c.rgba[i + 2] = b;
        c.rgba[i + 3] = 255;
    }
    return c;
}

void StoreSettings(HEADLESSHOST* host, const SETTINGS& settings, bool mainMonitorOnly) {
    PREFSTORE store = MemoryStoreInterface(&host->prefs);
    host->prefs.values["version"] = StringValue(kPrefsVersion);
    SaveSettings(store, settings, mainMonitorOnly, nullptr);
    host->prefs.reads.clear();
    host->prefs.writes.clear();
    host->prefs.flushes = 0;
}
