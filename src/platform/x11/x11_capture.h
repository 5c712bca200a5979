#ifndef KINDORA_PLATFORM_X11_CAPTURE_H
#define KINDORA_PLATFORM_X11_CAPTURE_H

#include <X11/Xlib.h>

#include <cstdint>

// Turns a ZPixmap image of a TrueColor (or DirectColor) visual into RGBA
// bytes, bottom row first, with an opaque alpha, through the visual's colour
// masks (24/32-bit and 16-bit depths alike). malloc'd into *rgba; false for
// another kind of visual or when memory runs out.
bool ConvertXImage(const XImage* image, const Visual* visual, uint8_t** rgba);

// Reads the area (x, y, width, height) of `drawable`, whose pixels follow
// `visual`. False, quietly, when the drawable has gone or the area does not
// lie inside it.
bool ReadDrawableArea(Display* display, Drawable drawable, const Visual* visual, int x, int y,
                      unsigned width, unsigned height, uint8_t** rgba);

// The screenshot XScreenSaver leaves on the saver's window as the property
// "_SCREENSAVER_SCREENSHOT": the pixmap of the desktop before blanking, or
// None when there is none.
Pixmap ScreenshotPixmap(Display* display, Window window);

// The pixmap's size, or false when it has gone.
bool PixmapSize(Display* display, Pixmap pixmap, unsigned* width, unsigned* height);

#endif
