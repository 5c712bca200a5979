#ifndef KINDORA_PLATFORM_HEADLESS_HOST_H
#define KINDORA_PLATFORM_HEADLESS_HOST_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "headless_gl.h"
#include "host_platform.h"
#include "memory_store.h"

// A host without a display, for tests and tools: a headless OpenGL context
// of the view's size, a clock that only moves when told, screens and their
// captures made up by the caller, and preferences held in memory.
struct HEADLESSHOST {
    HeadlessGL gl;
    double clock = 0.0;  // seconds; Advance moves it
    std::vector<HOSTSCREEN> screens;
    int32_t mainScreen = 0;
    int32_t windowScreen = 0;

    // What each screen shows: RGBA bottom row first, wide x high.
    struct Capture {
        uint32_t wide = 0;
        uint32_t high = 0;
        std::vector<uint8_t> rgba;
    };
    std::map<int32_t, Capture> captures;  // a screen without one cannot be read
    std::map<int32_t, std::string> desktopPictures;
    std::string resourceFolder;  // empty: the saver's own data folder
    MEMORYSTORE prefs;
    bool storeOpens = true;

    // What the view asked for.
    int flushes = 0;         // every frame ended, whole or not
    int changedFlushes = 0;  // of them, those that named the rectangles that changed
    int64_t changedPixels = 0;
    int screenReads = 0;
    std::vector<int32_t> screensRead;
    int resourceLookups = 0;
    std::vector<std::string> notices;
};

// Creates the host's context (current afterwards). False, with the reason in
// host->gl.error, when no headless OpenGL is available.
bool CreateHeadlessHost(HEADLESSHOST* host, int width, int height);

// The host's table of functions; `host` must outlive every view given it.
HOSTPLATFORM HeadlessHostPlatform(HEADLESSHOST* host);

// One screen at (x, y) of width x height, numbered `number`.
HOSTSCREEN HeadlessScreen(int32_t number, float x, float y, float width, float height);

// A capture of one colour, or of pixels the caller gives.
HEADLESSHOST::Capture SolidCapture(uint32_t wide, uint32_t high, uint8_t r, uint8_t g, uint8_t b);

// Writes the settings as the stored preferences of a current store.
void StoreSettings(HEADLESSHOST* host, const SETTINGS& settings, bool mainMonitorOnly);

#endif
