#include "test_picture.h"

#include <cmath>
#include <cstdlib>

namespace {

struct Colour {
    int r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    return {int(a.r + (b.r - a.r) * t), int(a.g + (b.g - a.g) * t), int(a.b + (b.b - a.b) * t)};
}

// The colour at (u, v), both 0..1 with v = 0 at the top.
Colour Scene(double u, double v) {
    Colour c = Mix({40, 70, 160}, {250, 170, 90}, v);  // sky, darker at the top
    const double du = u - 0.7, dv = (v - 0.35) * 0.6;
    if (du * du + dv * dv < 0.012) c = {255, 230, 120};  // the sun
    const double hill = 0.62 + 0.06 * std::sin(u * 9.0) + 0.03 * std::sin(u * 23.0);
    if (v > hill) c = Mix({60, 130, 60}, {20, 70, 30}, (v - hill) / (1.0 - hill));
    for (int i = 0; i < 5; ++i) {  // houses on the hills
        const double left = 0.08 + i * 0.18, top = 0.6 + (i % 2) * 0.05;
        if (u > left && u < left + 0.09 && v > top && v < top + 0.12) {
            const Colour walls[] = {{200, 60, 50}, {230, 220, 200}, {90, 110, 200}};
            c = walls[i % 3];
            const bool window =
                std::fmod((u - left) * 60.0, 2.0) < 0.8 && std::fmod((v - top) * 50.0, 2.0) < 0.8;
            if (window) c = {250, 240, 150};
        }
    }
    if (v > 0.9) {  // a checked band along the bottom
        const bool dark = (int(u * 32) + int(v * 80)) % 2;
        c = dark ? Colour{30, 30, 30} : Colour{220, 220, 220};
    }
    return c;
}

}  // namespace

uint8_t* MakeTestPicture(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    uint8_t* pixels = static_cast<uint8_t*>(malloc(size_t(width) * height * 4));
    if (!pixels) return nullptr;
    for (int row = 0; row < height; ++row) {
        const double v = 1.0 - (row + 0.5) / height;  // stored bottom row first
        for (int x = 0; x < width; ++x) {
            const Colour c = Scene((x + 0.5) / width, v);
            uint8_t* p = pixels + (size_t(row) * width + x) * 4;
            p[0] = uint8_t(c.r), p[1] = uint8_t(c.g), p[2] = uint8_t(c.b), p[3] = 255;
        }
    }
    return pixels;
}
