#include "x11_capture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>

#include "x11_errors.h"

namespace {

// Where a colour mask sits and how wide it is, to widen it to 8 bits.
struct CHANNEL {
    int shift = 0;
    int bits = 0;
};

CHANNEL ChannelOf(unsigned long mask) {
    CHANNEL c;
    if (!mask) return c;
    while (!(mask & 1)) {
        mask >>= 1;
        ++c.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++c.bits;
    }
    return c;
}

uint8_t Widen(unsigned long pixel, const CHANNEL& c) {
    if (c.bits == 0) return 0;
    const unsigned long v = (pixel >> c.shift) & ((1ul << c.bits) - 1);
    if (c.bits >= 8) return uint8_t(v >> (c.bits - 8));
    // Repeat the bits so that the largest value becomes 255.
    unsigned long wide = 0;
    for (int filled = 0; filled < 8; filled += c.bits)
        wide = (wide << c.bits) | v;
    const int total = ((8 + c.bits - 1) / c.bits) * c.bits;
    return uint8_t(wide >> (total - 8));
}

int HostByteOrder() {
    const uint16_t one = 1;
    uint8_t first = 0;
    memcpy(&first, &one, 1);
    return first ? LSBFirst : MSBFirst;
}

// The common 32-bit layout with the masks of 8-bit red, green and blue.
bool ConvertDirect32(const XImage* image, uint8_t* rgba, const CHANNEL& r, const CHANNEL& g,
                     const CHANNEL& b) {
    if (image->bits_per_pixel != 32 || r.bits != 8 || g.bits != 8 || b.bits != 8) return false;
    if (image->byte_order != HostByteOrder()) return false;
    const size_t w = size_t(image->width);
    for (int row = 0; row < image->height; ++row) {
        const uint32_t* in =
            reinterpret_cast<const uint32_t*>(image->data + size_t(row) * image->bytes_per_line);
        uint8_t* out = rgba + size_t(image->height - 1 - row) * w * 4;
        for (size_t x = 0; x < w; ++x, out += 4) {
            const uint32_t p = in[x];
            out[0] = uint8_t(p >> r.shift);
            out[1] = uint8_t(p >> g.shift);
            out[2] = uint8_t(p >> b.shift);
            out[3] = 255;
        }
    }
    return true;
}

}  // namespace

bool ConvertXImage(const XImage* image, const Visual* visual, uint8_t** rgba) {
    if (!image || !visual || image->width <= 0 || image->height <= 0) return false;
    if (visual->c_class != TrueColor && visual->c_class != DirectColor) return false;
    const size_t w = size_t(image->width), h = size_t(image->height);
    uint8_t* out = static_cast<uint8_t*>(malloc(w * h * 4));
    if (!out) return false;
    const CHANNEL r = ChannelOf(visual->red_mask), g = ChannelOf(visual->green_mask),
                  b = ChannelOf(visual->blue_mask);
    if (!ConvertDirect32(image, out, r, g, b)) {
        XImage* img = const_cast<XImage*>(image);
        for (size_t row = 0; row < h; ++row) {
            uint8_t* line = out + (h - 1 - row) * w * 4;
            for (size_t x = 0; x < w; ++x, line += 4) {
                const unsigned long p = XGetPixel(img, int(x), int(row));
                line[0] = Widen(p, r);
                line[1] = Widen(p, g);
                line[2] = Widen(p, b);
                line[3] = 255;
            }
        }
    }
    *rgba = out;
    return true;
}

bool ReadDrawableArea(Display* display, Drawable drawable, const Visual* visual, int x, int y,
                      unsigned width, unsigned height, uint8_t** rgba) {
    if (!width || !height) return false;
    TrapXErrors(display);
    XImage* image = XGetImage(display, drawable, x, y, width, height, AllPlanes, ZPixmap);
    const bool failed = UntrapXErrors(display);
    if (!image) return false;
    const bool converted = !failed && ConvertXImage(image, visual, rgba);
    XDestroyImage(image);
    return converted;
}

Pixmap ScreenshotPixmap(Display* display, Window window) {
    const Atom property = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    TrapXErrors(display);
    const int status = XGetWindowProperty(display, window, property, 0, 2, False, XA_PIXMAP, &type,
                                          &format, &count, &after, &data);
    const bool failed = UntrapXErrors(display);
    Pixmap pixmap = None;
    if (!failed && status == Success && type == XA_PIXMAP && format == 32 && count >= 1 && data) {
        pixmap = Pixmap(reinterpret_cast<unsigned long*>(data)[0]);
    }
    if (data) XFree(data);
    return pixmap;
}

bool PixmapSize(Display* display, Pixmap pixmap, unsigned* width, unsigned* height) {
    Window root = None;
    int x = 0, y = 0;
    unsigned border = 0, depth = 0;
    TrapXErrors(display);
    const Status ok = XGetGeometry(display, pixmap, &root, &x, &y, width, height, &border, &depth);
    return !UntrapXErrors(display) && ok;
}
