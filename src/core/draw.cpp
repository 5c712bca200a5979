#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fireclass.h"
#include "ssmain.h"
#include "texture.h"

namespace {

// A textured quad at z = 0, corners bottom-left, bottom-right, top-right,
// top-left. `flipped` puts the texture's first row at the top.
void Quad(float x0, float y0, float x1, float y1, bool flipped = false) {
    const float t0 = flipped ? 1.0f : 0.0f, t1 = flipped ? 0.0f : 1.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, t0);
    glVertex3f(x0, y0, 0.0f);
    glTexCoord2f(1.0f, t0);
    glVertex3f(x1, y0, 0.0f);
    glTexCoord2f(1.0f, t1);
    glVertex3f(x1, y1, 0.0f);
    glTexCoord2f(0.0f, t1);
    glVertex3f(x0, y1, 0.0f);
    glEnd();
}

}  // namespace

// A surface that keeps its pixels gets only the rectangles that changed,
// each drawn as the whole frame under the scissor: every pixel drawn is the
// pixel a whole redraw gives, and every pixel left holds it already.
void SSMAIN::Draw() {
    glLoadIdentity();
    const float shade = AdvanceOverlay();
    PlanFrame(shade);
    if (damage.whole) {
        DrawPass(shade);
        return;
    }
    glEnable(GL_SCISSOR_TEST);
    for (int i = 0; i < damage.count; ++i) {
        const PIXELRECT& r = damage.rects[i];
        glScissor(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
        DrawPass(shade);
    }
    glDisable(GL_SCISSOR_TEST);
}

void SSMAIN::DrawPass(float shade) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    DrawOverlay(shade);
    glDisable(GL_TEXTURE_2D);
}

// Drawn outside Draw, the frame is not one Draw can build on.
void SSMAIN::DoOverlay() {
    DrawOverlay(AdvanceOverlay());
    shownValid = false;
}

// The timing of the banner and the caption; the picture and the fire are
// shaded by the caption's opacity as the previous frame left it.
float SSMAIN::AdvanceOverlay() {
    AdvanceBanner();
    const float shade = 1.0f - captionAlpha;
    if (!preview) AdvanceCaption();
    return shade;
}

void SSMAIN::DrawOverlay(float shade) {
    DrawLayers(shade);
    if (!preview) {
        DrawBanner();
        DrawCaption();
    }
    glDisable(GL_BLEND);  // the preview leaves it on after the fire layer
    glEnable(GL_DEPTH_TEST);
}

// Above this share of the view one whole pass costs less than the
// rectangles' passes.
constexpr int64_t kWholeAbovePercent = 60;

FRAMEINPUTS SSMAIN::Inputs(float shade) const {
    FRAMEINPUTS in;
    in.width = width;
    in.height = height;
    in.preview = preview;
    in.shade = shade;
    in.deskTex = deskTex;
    in.fireTex = fire ? fire->fireTexID : 0;
    in.table = textures;
    in.texCount = texCount;
    if (!preview) {  // the preview draws neither banner nor caption
        in.caption = captionAlpha > 0 ? captionAlpha : 0.0f;
        in.corner = TextureName(kBannerCorner);
        in.message = TextureName(int(messageIndex));
        in.bannerPos = bannerPos;
    }
    return in;
}

namespace {

// Whether the picture, the shading, the caption and the pictures drawn are
// as they were; the banner's place aside.
bool SameScene(const FRAMEINPUTS& a, const FRAMEINPUTS& b) {
    return a.width == b.width && a.height == b.height && a.preview == b.preview &&
           a.shade == b.shade && a.caption == b.caption && a.deskTex == b.deskTex &&
           a.fireTex == b.fireTex && a.corner == b.corner && a.message == b.message &&
           a.table == b.table && a.texCount == b.texCount;
}

}  // namespace

// Decides what this frame draws again (`damage`) and remembers its inputs.
// Whole: when the surface does not keep its pixels, on the first frame, and
// whenever the size, the shading, the caption or a picture changed.
void SSMAIN::PlanFrame(float shade) {
    const FRAMEINPUTS now = Inputs(shade);
    damage.count = 0;
    damage.whole = !keepsPixels || !shownValid || !SameScene(now, shown);
    // A whole frame is remembered too: the next one may build on it.
    DAMAGEGRID grid;
    StartGrid(&grid, width, height);
    if (!TrackFire(damage.whole ? nullptr : &grid)) damage.whole = true;
    if (!damage.whole) {
        MarkBanner(now, &grid);
        GridRects(grid, width, height, &damage);
        damage.whole =
            DamageArea(damage, width, height) * 100 > kWholeAbovePercent * int64_t(width) * height;
    }
    if (damage.whole) damage.count = 0;
    shown = now;
    shownValid = true;
}

// Brings the copy of the fire image as last drawn up to date and marks in
// `grid` (unless null) the pixels that its changed texels reach. False when
// the changes cannot be told.
bool SSMAIN::TrackFire(DAMAGEGRID* grid) {
    if (!fire || !fire->fireTexID) return true;  // no fire layer is drawn
    const uint8_t* image = fire->fireImage;
    if (!image || !shownFire || fire->width != shownFireSide || fire->height != shownFireSide)
        return false;
    if (grid && MarkChangedTexels(image, shownFire, shownFireSide, width, height, grid))
        return true;
    memcpy(shownFire, image, size_t(shownFireSide) * shownFireSide * 4);
    return !grid;
}

namespace {

// The pixels a quad at (x, y) of w x h can touch, a pixel wider each side.
PIXELRECT QuadPixels(double x, double y, double w, double h) {
    return {int32_t(std::floor(x)) - 1, int32_t(std::floor(y)) - 1, int32_t(std::ceil(x + w)) + 1,
            int32_t(std::ceil(y + h)) + 1};
}

}  // namespace

// A banner that moved is drawn again where it was and where it is.
void SSMAIN::MarkBanner(const FRAMEINPUTS& now, DAMAGEGRID* grid) {
    if (now.bannerPos.x == shown.bannerPos.x && now.bannerPos.y == shown.bannerPos.y) return;
    const FRAMEINPUTS* frames[2] = {&shown, &now};
    for (const FRAMEINPUTS* f : frames) {
        MarkPixels(grid, QuadPixels(f->bannerPos.x, f->bannerPos.y, 256.0, 32.0));
        MarkPixels(grid, QuadPixels(f->width * 0.5 - 256.0, f->bannerPos.y, 512.0, 32.0));
    }
}

// The banner arrives after 75 s, stays 20 s, leaves for 30 s, and so on,
// alternating between the top and the bottom edge, the top first.
void SSMAIN::AdvanceBanner() {
    bannerTimer = float(bannerTimer - frameTime);
    if (bannerTimer < 0) {
        bannerTimer = 30.0f;
        if (!bannerShown) {
            messageIndex = kMessageFirst + rand() % 2;
            bannerPos.x = (rand() & 1) ? float(width - 256) : 0.0f;
            bannerAtTop = !bannerAtTop;
            bannerPos.y = bannerAtTop ? float(height + 40) : -40.0f;
            bannerTimer = 20.0f;
        }
        bannerShown = !bannerShown;
    }
    double target;
    if (bannerShown) {
        target = bannerAtTop ? height - 40 : 5.0;
    } else {
        target = bannerAtTop ? height + 40 : -40.0;
    }
    bannerPos.y = float(bannerPos.y + (target - bannerPos.y) * frameTime);
}

// The picture, darkened while the caption shows, and the fire over it.
// Layers without a texture are left out rather than drawn as blank quads.
void SSMAIN::DrawLayers(float shade) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    glColor4f(shade, shade, shade, 1.0f);
    glDisable(GL_BLEND);
    if (deskTex) {
        glBindTexture(GL_TEXTURE_2D, deskTex);
        Quad(0.0f, 0.0f, float(width), float(height));
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    if (fire && fire->fireTexID) {
        glBindTexture(GL_TEXTURE_2D, fire->fireTexID);
        Quad(0.0f, 0.0f, float(width), float(height), true);
    }
}

void SSMAIN::DrawBanner() {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    if (const uint32_t corner = TextureName(kBannerCorner)) {
        glPushMatrix();
        glTranslatef(bannerPos.x, bannerPos.y, 0.0f);
        glBindTexture(GL_TEXTURE_2D, corner);
        Quad(0.0f, 0.0f, 256.0f, 32.0f);
        glPopMatrix();
    }
    if (const uint32_t message = TextureName(int(messageIndex))) {
        glPushMatrix();
        glTranslated(width * 0.5 - 256.0, bannerPos.y, 0.0);
        glBindTexture(GL_TEXTURE_2D, message);
        Quad(0.0f, 0.0f, 512.0f, 32.0f);
        glPopMatrix();
    }
    glDisable(GL_BLEND);
}

// The caption fades in at 0.5 per second, holds, fades out, and comes back
// once its timer has fallen below -40: a 60 s cycle.
void SSMAIN::AdvanceCaption() {
    captionTimer = float(captionTimer - frameTime);
    if (captionTimer > 0) {
        captionAlpha = captionAlpha < 1.0f ? float(captionAlpha + 0.5 * frameTime) : 1.0f;
    } else if (captionAlpha > 0) {
        captionAlpha = float(captionAlpha - 0.5 * frameTime);
    } else {
        captionAlpha = 0.0f;
        if (captionTimer < -40.0f) captionTimer = 20.0f;
    }
}

// Drawn in a 1024 x 768 space stretched over the view.
void SSMAIN::DrawCaption() {
    glScaled(width * 0.0009765625, height / 768.0, 1.0);
    if (!(captionAlpha > 0)) return;
    glColor4f(1.0f, 1.0f, 1.0f, captionAlpha);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    if (const uint32_t message = TextureName(int(messageIndex))) {
        glPushMatrix();
        glTranslatef(0.0f, 352.0f, 0.0f);
        glBindTexture(GL_TEXTURE_2D, message);
        Quad(0.0f, 0.0f, 1024.0f, 64.0f);
        glPopMatrix();
    }
    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

// Two pictures fading in and out over the first seconds, in the matrices
// current when it is called. The running saver does not call it.
void SSMAIN::DoIntro() {
    glPushMatrix();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    if (totalTime < 12.0) {
        if (introAlpha1 < 1.0f) {
            introAlpha1 = float(introAlpha1 + frameTime);
        } else if (introAlpha2 < 1.0f) {
            introAlpha2 = float(introAlpha2 + frameTime);
        }
    } else if (introAlpha1 > 0) {
        introAlpha1 = float(introAlpha1 - frameTime);
    } else if (introAlpha2 > 0) {
        introAlpha2 = float(introAlpha2 - frameTime);
    } else {
        introDone = true;
    }
    if (const uint32_t first = TextureName(kIntroFirst)) {
        glPushMatrix();
        glBindTexture(GL_TEXTURE_2D, first);
        glTranslatef(512.0f, 614.4f, 0.0f);
        glColor4f(1.0f, 1.0f, 1.0f, introAlpha1);
        glScalef(2.0f, 2.0f, 1.0f);
        Quad(-128.0f, -32.0f, 128.0f, 32.0f);
        glPopMatrix();
    }
    if (const uint32_t second = TextureName(kIntroSecond)) {
        glPushMatrix();
        glBindTexture(GL_TEXTURE_2D, second);
        glTranslated(1024.0 * introSlide * -0.5 + 1024.0, 192.0, 0.0);
        glColor4f(1.0f, 1.0f, 1.0f, introAlpha2);
        glScalef(2.0f, 2.0f, 1.0f);
        Quad(-128.0f, -64.0f, 128.0f, 64.0f);
        glPopMatrix();
    }
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glPopMatrix();
}
