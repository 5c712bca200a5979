#ifndef KINDORA_HOST_HOST_PLATFORM_H
#define KINDORA_HOST_HOST_PLATFORM_H

#include <cstddef>
#include <cstdint>

#include "damage.h"
#include "preferences.h"

// A rectangle in the platform's screen coordinates, in pixels.
struct HOSTRECT {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

// The overlap of two rectangles; empty (zero size) when they do not meet.
HOSTRECT IntersectRects(const HOSTRECT& a, const HOSTRECT& b);
bool RectIsEmpty(const HOSTRECT& r);

// One screen (monitor) as the platform lists it.
struct HOSTSCREEN {
    int32_t number = 0;  // what the view compares and the capture asks for
    HOSTRECT frame;
};

constexpr int kMaxHostScreens = 16;

// Everything the view needs of the platform that hosts it: one table of
// functions, each given `context` first. A desktop host fills it from X11
// and GLX; tests and tools fill it with a virtual clock, fake screens and a
// fake capture over a headless context.
struct HOSTPLATFORM {
    void* context = nullptr;
    // Seconds of a steady clock; only differences matter.
    double (*Now)(void* context) = nullptr;
    // Makes the view's own OpenGL context current; false when it is gone.
    bool (*MakeCurrent)(void* context) = nullptr;
    // Ends a frame so that it shows (a flush, or a swap where the surface
    // has a back buffer).
    void (*Flush)(void* context) = nullptr;
    // Ends a frame that changed only inside these rectangles (pixels, y up
    // from the bottom), so that only they need be shown again. May be null:
    // Flush then ends every frame.
    void (*FlushChanged)(void* context, const PIXELRECT* rects, int32_t count) = nullptr;
    // Asked before each frame: true when the surface still holds the frame
    // drawn last (a single buffer nothing has covered, or a swap that keeps
    // the back buffer), so that only what changed need be drawn again. May
    // be null: every frame is then drawn whole.
    bool (*KeepsPixels)(void* context) = nullptr;
    // The screens in the platform's order, at most `max` of them.
    int (*Screens)(void* context, HOSTSCREEN* out, int max) = nullptr;
    // The number of the main screen.
    int32_t (*MainScreen)(void* context) = nullptr;
    // The number of the screen that holds the view's window.
    int32_t (*WindowScreen)(void* context) = nullptr;
    // The current image of screen `number`, as it was before the saver
    // covered it: *wide x *high RGBA bytes, bottom row first, malloc'd (the
    // caller frees it). False when it cannot be read or must not be.
    bool (*ReadScreen)(void* context, int32_t number, uint8_t** rgba, uint32_t* wide,
                       uint32_t* high) = nullptr;
    // The desktop picture the user chose for screen `number` (its own entry,
    // else a desktop-wide one), NUL-terminated in `out`. False when none is
    // known.
    bool (*DesktopPicturePath)(void* context, int32_t number, char* out, size_t size) = nullptr;
    // The full path of the saver's resource file "<name>.<type>".
    bool (*ResourcePath)(void* context, const char* name, const char* type, char* out,
                         size_t size) = nullptr;
    // Opens the preference store of `module`.
    bool (*OpenPrefStore)(void* context, const char* module, PREFSTORE* store) = nullptr;
    // Tells whoever runs the saver of a fault it works around (one line, no
    // newline); may be null.
    void (*Notice)(void* context, const char* text) = nullptr;
    // Changes the stored settings for this run only (a host's command line);
    // may be null. Nothing it changes is written back.
    void (*OverrideSettings)(void* context, SETTINGS* settings, bool* mainMonitorOnly) = nullptr;
};

#endif
