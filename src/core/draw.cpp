#include <GL/gl.h>

#include <cstdlib>

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

void SSMAIN::Draw() {
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    DoOverlay();
    glDisable(GL_TEXTURE_2D);
}

void SSMAIN::DoOverlay() {
    AdvanceBanner();
    DrawLayers();
    if (!preview) {
        DrawBanner();
        DrawCaption();
    }
    glDisable(GL_BLEND);  // the preview leaves it on after the fire layer
    glEnable(GL_DEPTH_TEST);
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
void SSMAIN::DrawLayers() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);

    const float c = 1.0f - captionAlpha;
    glColor4f(c, c, c, 1.0f);
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
// once its timer has fallen below -40: a 60 s cycle drawn in a 1024 x 768
// space stretched over the view.
void SSMAIN::DrawCaption() {
    glScaled(width * 0.0009765625, height / 768.0, 1.0);
    captionTimer = float(captionTimer - frameTime);
    if (captionTimer > 0) {
        captionAlpha = captionAlpha < 1.0f ? float(captionAlpha + 0.5 * frameTime) : 1.0f;
    } else if (captionAlpha > 0) {
        captionAlpha = float(captionAlpha - 0.5 * frameTime);
    } else {
        captionAlpha = 0.0f;
        if (captionTimer < -40.0f) captionTimer = 20.0f;
    }
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
