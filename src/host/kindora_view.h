#ifndef KINDORA_HOST_KINDORA_VIEW_H
#define KINDORA_HOST_KINDORA_VIEW_H

#include <cstdint>

#include "preferences.h"
#include "screensaver_view.h"
#include "settings.h"
#include "texture.h"

class SSMAIN;
struct MEMORYSTORE;

// The view that the host creates on every screen and for the preview. It
// reads the stored settings, takes the background picture (the screen as it
// was, the desktop picture or a random file), owns the saver's main object
// and measures the time between ticks. Every OpenGL call it makes runs with
// its own context current, so views of one process do not disturb each
// other.
class KindoraView : public ScreenSaverView {
   public:
    KindoraView() = default;
    ~KindoraView() { dealloc(); }
    KindoraView(const KindoraView&) = delete;
    KindoraView& operator=(const KindoraView&) = delete;

    // Creation: settings, the tick period and, for the screen as background,
    // the capture. False when the host's table lacks what a view needs.
    bool initWithFrame(const HOSTRECT& frame, bool isPreview, const HOSTPLATFORM& platform);
    void setFrameSize(float width, float height);
    void startAnimation();
    void animateOneFrame();
    void stopAnimation();
    // Releases the main object, the fire copy and the background; safe twice.
    void dealloc();

    bool mainSetup();
    void glInit();
    void glReshape();
    // Reads the screen under `frame` into a texture (reusing *texName when it
    // is not 0) and the fire-sized copy in dtData. *texName comes back 0 when
    // the capture failed or showed only black.
    void GetDesktopTexture(uint32_t* texName, int32_t detail, const HOSTRECT& frame);
    // The number of the first screen that overlaps `frame`, else the main one.
    int32_t getScreenMaskForFrame(const HOSTRECT& frame);
    static bool performGammaFade() { return false; }
    bool hasConfigureSheet() const { return true; }

    bool MainMonitorOnly = false;
    bool ThisScreenIsOn = false;
    bool viewAllocated = false;
    bool glReady = false;
    bool initialized = false;
    SETTINGS mySettings;
    double animtime = 0.0;
    HOSTRECT Scrn;
    SSMAIN* ssMain = nullptr;
    Texture DeskTex;
    uint8_t* dtData = nullptr;
    PREFSTORE defaults;                   // the store the settings came from, kept for the sheet
    MEMORYSTORE* scratchStore = nullptr;  // stands in when no store opens

   private:
    double Now() const { return platform.Now(platform.context); }
    bool MakeCurrent() { return platform.MakeCurrent(platform.context); }
    void Notice(const char* text) {
        if (platform.Notice) platform.Notice(platform.context, text);
    }
    void KeepFireCopy(uint8_t* fresh);
    void LoadDesktopPicture(int sizeChoice);
    void LoadFolderPicture(int sizeChoice);
    bool LoadFallbackPicture();
    void HandBackgroundToMain();
};

// The fixed picture used when neither the desktop picture nor a folder gives
// one: the saver's own resource "fallback.jpg".
constexpr const char* kFallbackPictureName = "fallback";
constexpr const char* kFallbackPictureType = "jpg";

// Desktop-picture paths this short (or shorter) count as none.
constexpr size_t kShortestPicturePath = 4;

#endif
