#ifndef KINDORA_CORE_SSMAIN_H
#define KINDORA_CORE_SSMAIN_H

#include <cstdint>

#include "damage.h"
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

// What a frame is drawn from besides the fire image. Two frames with equal
// inputs differ only where the fire's texels changed and, when the banner
// moved, where it was and where it is.
struct FRAMEINPUTS {
    int32_t width = 0;
    int32_t height = 0;
    bool preview = false;
    float shade = 0.0f;    // brightness of the picture and the fire
    float caption = 0.0f;  // the caption's opacity as drawn; 0 when not drawn
    uint32_t deskTex = 0;
    uint32_t fireTex = 0;
    uint32_t corner = 0;
    uint32_t message = 0;
    const Texture* table = nullptr;
    int32_t texCount = 0;
    point2d bannerPos = {0.0f, 0.0f};
};

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

    // Set by the host before each Draw: the surface still holds the frame
    // drawn last, so Draw may redraw only what changed. False (the default)
    // draws every frame whole.
    bool keepsPixels;
    // What the last Draw redrew: the whole view or these rectangles.
    FRAMEDAMAGE damage;

   private:
    void ReleaseFire();
    void ReleaseTable();
    int TableLength() const;
    uint32_t TextureName(int index) const;
    void AdvanceBanner();
    void AdvanceCaption();
    float AdvanceOverlay();
    void DrawOverlay(float shade);
    void DrawPass(float shade);
    void DrawLayers(float shade);
    void DrawBanner();
    void DrawCaption();
    FRAMEINPUTS Inputs(float shade) const;
    void PlanFrame(float shade);
    bool TrackFire(DAMAGEGRID* grid);
    void MarkBanner(const FRAMEINPUTS& now, DAMAGEGRID* grid);

    // The last frame's inputs and fire image, while the surface keeps it.
    FRAMEINPUTS shown;
    bool shownValid;
    uint8_t* shownFire;
    int32_t shownFireSide;
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
