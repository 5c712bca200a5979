// The screen as it was when the saver started, as the background texture
// and the fire-sized copy.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "kindora_view.h"
#include "picfile.h"

namespace {

// The largest texture side a detail value allows.
uint32_t DetailLimit(int32_t detail) {
    if (detail == 0) return 512;
    if (detail == 1) return 1024;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    return uint32_t(maxSide);
}

// True when some pixel has a red, green or blue byte that is not 0.
bool AnyColour(const uint8_t* rgba, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i, rgba += 4) {
        if (rgba[0] | rgba[1] | rgba[2]) return true;
    }
    return false;
}

void BindCaptureTexture(uint32_t* texName) {
    if (*texName == 0) glGenTextures(1, texName);
    glBindTexture(GL_TEXTURE_2D, *texName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void DropTexture(uint32_t* texName) {
    glDeleteTextures(1, texName);
    *texName = 0;
}

}  // namespace

int32_t KindoraView::getScreenMaskForFrame(const HOSTRECT& frameRect) {
    HOSTSCREEN screens[kMaxHostScreens];
    const int count =
        platform.Screens ? platform.Screens(platform.context, screens, kMaxHostScreens) : 0;
    for (int i = 0; i < count; ++i) {
        if (!RectIsEmpty(IntersectRects(screens[i].frame, frameRect))) return screens[i].number;
    }
    return platform.MainScreen ? platform.MainScreen(platform.context) : 0;
}

void KindoraView::GetDesktopTexture(uint32_t* texName, int32_t detail, const HOSTRECT& frameRect) {
    const int32_t screen = getScreenMaskForFrame(frameRect);
    uint8_t* capture = nullptr;
    uint32_t wide = 0, high = 0;
    if (!platform.ReadScreen ||
        !platform.ReadScreen(platform.context, screen, &capture, &wide, &high)) {
        return;  // nothing read: the name stays as it was and no copy is made
    }
    if (!capture || !wide || !high || !MakeCurrent()) {
        free(capture);
        return;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    BindCaptureTexture(texName);
    const uint32_t limit = DetailLimit(detail);
    const uint32_t texWide = TextureSideFor(wide, limit);
    const uint32_t texHigh = TextureSideFor(high, limit);
    const size_t texPixels = size_t(texWide) * texHigh;
    uint8_t* texels = static_cast<uint8_t*>(malloc(texPixels * 4));
    const bool scaled = texels && ScaleRGBA(capture, wide, high, texels, texWide, texHigh);
    if (!scaled) {
        DropTexture(texName);
    } else if (AnyColour(texels, texPixels)) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(texWide), GLsizei(texHigh), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, texels);
    } else {
        DropTexture(texName);  // an all-black screen counts as no capture
    }
    const int side = FireSideFor(mySettings.FIRERES);
    uint8_t* copy = new (std::nothrow) uint8_t[size_t(side) * side * 4];
    if (copy) {
        if (scaled) {
            ScaleRGBA(texels, texWide, texHigh, copy, uint32_t(side), uint32_t(side));
        } else {
            memset(copy, 0, size_t(side) * side * 4);
        }
        KeepFireCopy(copy);
    }
    free(texels);
    free(capture);
}
