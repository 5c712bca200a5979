#include "ssmain.h"

#include <GL/gl.h>

#include <ctime>
#include <new>

#include "fireclass.h"
#include "texture.h"

SSMAIN::SSMAIN()
    : totalTime(0.0),
      frameTime(0.0),
      width(0),
      height(0),
      preview(false),
      bannerTimer(75.0f),
      bannerShown(false),
      bannerAtTop(false),
      // Any x serves: the banner sits below the view until its first arrival sets it.
      bannerPos(Make2DPoint(float(0 - 256), -35.0f)),
      messageIndex(5),
      captionTimer(0.0f),
      captionAlpha(0.0f),
      introDone(false),
      introSlide(1.0f),
      introAlpha1(-5.0f),
      introAlpha2(-1.0f),
      texCount(0),
      textures(nullptr),
      fire(nullptr),
      deskTex(0),
      keepsPixels(false),
      shownValid(false),
      shownFire(nullptr),
      shownFireSide(0) {}

SSMAIN::~SSMAIN() {
    Cleanup();
}

bool SSMAIN::Setup(bool isPreview, int w, int h, SETTINGS* settings) {
    captionAlpha = 0.0f;
    preview = isPreview;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ReleaseFire();
    fire = new (std::nothrow) FIRECLASS;
    ReleaseTable();
    textures = new (std::nothrow) Texture[kTableRecords];
    if (!textures || !fire) return false;
    // The count always gives the length of the table held: a count left
    // from an earlier pack could be longer than these six records.
    texCount = kTableRecords;
    width = w;
    height = h;
    fire->Setup(*settings);
    // A copy of the fire image as last drawn, to find the texels a frame
    // changed; without it every frame is drawn whole.
    if (fire->fireImage && fire->width > 0 && fire->height == fire->width) {
        shownFireSide = fire->width;
        shownFire = new (std::nothrow) uint8_t[size_t(shownFireSide) * shownFireSide * 4];
    }
    return true;
}

void SSMAIN::SetSize(int w, int h) {
    width = w;
    height = h;
}

void SSMAIN::Update(double elapsed) {
    frameTime = elapsed;
    totalTime += elapsed;
    if (fire) fire->Burn(elapsed);
}

// Runs the fire's Cleanup, then destroys it (whose destructor runs it again).
void SSMAIN::ReleaseFire() {
    shownValid = false;
    delete[] shownFire;
    shownFire = nullptr;
    shownFireSide = 0;
    if (!fire) return;
    fire->Cleanup();
    delete fire;
    fire = nullptr;
}

// Destroys every record, the last first, then the array.
void SSMAIN::ReleaseTable() {
    delete[] textures;
    textures = nullptr;
}

void SSMAIN::Cleanup() {
    ReleaseFire();
    ReleaseTable();
    if (deskTex) glDeleteTextures(1, &deskTex);
    deskTex = 0;
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_CULL_FACE);
}

int SSMAIN::TableLength() const {
    return textures ? texCount : 0;
}

// The texture of record `index`, or 0 when the table has no such record.
uint32_t SSMAIN::TextureName(int index) const {
    return index >= 0 && index < TableLength() ? textures[index].texID : 0;
}

double frameRate = 0.0;
int32_t fCount = 0;
double lastcountTime = 0.0;
int32_t lastcountFrame = 0;

void CalcFrameRate(double now) {
    if (now < 0.25) return;
    if (now > lastcountTime + 0.25) {
        frameRate = double(fCount - lastcountFrame) / (now - lastcountTime);
        lastcountTime = now;
        lastcountFrame = fCount;
    }
}

void Clock(int* hour, int* minute, int* second) {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    *hour = local.tm_hour;
    *minute = local.tm_min;
    *second = local.tm_sec;
}
