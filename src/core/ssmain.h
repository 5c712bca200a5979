#ifndef KINDORA_CORE_SSMAIN_H
#define KINDORA_CORE_SSMAIN_H

#include <cstdint>

#include "point2d.h"
#include "settings.h"

class FIRECLASS;
struct Texture;

// Records of the texture table that the frame draws.
constexpr int kBannerCorner = 1;
constexpr int kIntroFirst = 2;
constexpr int kIntroSecond = 3;
constexpr int kMessageFirst = 4;
constexpr int kTableRecords = 6;  // what Setup installs, so drawing is always safe

// The saver's core for one view: it owns the fire and the texture table,
// advances them by the elapsed time and draws each frame with the banner
// and the caption.
class SSMAIN {
   public:
    SSMAIN();
    ~SSMAIN();
    SSMAIN(const SSMAIN&) = delete;
    SSMAIN& operator=(const SSMAIN&) = delete;

    // Builds a new fire from the settings and six empty texture records
    // (texCount becomes 6). False only when the table cannot be made.
    bool Setup(bool isPreview, int w, int h, SETTINGS* settings);
    void SetSize(int w, int h);
    void Update(double elapsed);
    void Draw();
    void DoOverlay();
    void DoIntro();
    // Releases the fire, the table and the background texture; safe twice.
    void Cleanup();

    double totalTime;
    double frameTime;
    int32_t width;
    int32_t height;
    bool preview;
    float bannerTimer;
    bool bannerShown;
    bool bannerAtTop;
    point2d bannerPos;
    uint32_t messageIndex;
    float captionTimer;
    float captionAlpha;
    bool introDone;
    float introSlide;
    float introAlpha1;
    float introAlpha2;
    int32_t texCount;
    Texture* textures;
    FIRECLASS* fire;
    uint32_t deskTex;

   private:
    void ReleaseFire();
    void ReleaseTable();
    int TableLength() const;
    uint32_t TextureName(int index) const;
    void AdvanceBanner();
    void DrawLayers();
    void DrawBanner();
    void DrawCaption();
};

// Frame-rate meter over process-wide counters; the running saver uses neither.
extern double frameRate;
extern int32_t fCount;
extern double lastcountTime;
extern int32_t lastcountFrame;
void CalcFrameRate(double now);

// The local time of day.
void Clock(int* hour, int* minute, int* second);

#endif
