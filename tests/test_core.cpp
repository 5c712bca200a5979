// Saver core: the main object's life cycle, the frame-rate meter, and whole
// frames drawn in a headless context and read back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <vector>

#include "damage.h"
#include "fireclass.h"
#include "gl_support.h"
#include "ssmain.h"
#include "texture.h"

namespace {

constexpr int kW = 640, kH = 480;

HeadlessGL& FrameGL() {
    static HeadlessGL gl;
    static bool tried = false;
    if (!tried) {
        tried = true;
        gl.Create(kW, kH);
    }
    return gl;
}

SETTINGS FireSettings() {
    return FireSettingsRecord(0, 1);
}

// Gives the record a solid 64 x 64 picture of the colour. (Linear filtering
// with clamping fades the outer half texel of a texture towards its black
// border, so the tests look well inside the quads.)
void SolidRecord(Texture* record, uint8_t r, uint8_t g, uint8_t b) {
    record->width = record->height = 64;
    record->bpp = 24;
    record->type = GL_RGB;
    record->imageData = static_cast<uint8_t*>(malloc(64 * 64 * 3));
    for (int i = 0; i < 64 * 64; ++i) {
        record->imageData[3 * i] = r, record->imageData[3 * i + 1] = g,
                              record->imageData[3 * i + 2] = b;
    }
    BuildTexture(record, kAlphaOpaque);
}

struct Pixel {
    int r, g, b;
};

Pixel At(int x, int y) {
    std::vector<unsigned char> p = ReadPixels(x, y, 1, 1);
    return {p[0], p[1], p[2]};
}

class CoreTest : public ::testing::Test {
   protected:
    void SetUp() override {
        HeadlessGL& gl = FrameGL();
        if (!gl.width) {
            if (RunningInCI()) FAIL() << "no headless GL context: " << gl.error;
            GTEST_SKIP() << "no headless GL context: " << gl.error;
        }
        gl.MakeCurrent();
        glViewport(0, 0, kW, kH);
        srand(3);
    }

    // A view with a blue picture, a transparent fire and the banner and
    // message records in green and red.
    void SetUpView(SSMAIN& main, bool isPreview = false) {
        SETTINGS s = FireSettings();
        ASSERT_TRUE(main.Setup(isPreview, kW, kH, &s));
        Texture picture;
        SolidRecord(&picture, 0, 0, 200);
        main.deskTex = picture.texID;
        picture.texID = 0;  // handed over to the main object
        SolidRecord(&main.textures[kBannerCorner], 0, 255, 0);
        SolidRecord(&main.textures[kMessageFirst], 255, 0, 0);
        SolidRecord(&main.textures[kMessageFirst + 1], 255, 0, 255);
        memset(main.fire->fireImage, 0, size_t(main.fire->width) * main.fire->width * 4);
        main.fire->UploadFireImage();
    }

    // Draws frames of `step` seconds until `seconds` of frames have passed,
    // without burning, so that only the overlay's timing moves.
    static void DrawFor(SSMAIN& main, double seconds, double step = 0.25) {
        for (double t = 0; t < seconds - 1e-9; t += step) {
            main.frameTime = step;
            main.Draw();
        }
    }
};

TEST(CoreMain, ConstructionUpdateAndCleanup) {
    SSMAIN main;
    EXPECT_EQ(main.totalTime, 0.0);
    EXPECT_EQ(main.bannerTimer, 75.0f);
    EXPECT_EQ(main.bannerPos.y, -35.0f);
    EXPECT_EQ(main.messageIndex, 5u);
    EXPECT_EQ(main.introAlpha1, -5.0f);
    EXPECT_EQ(main.introAlpha2, -1.0f);
    EXPECT_EQ(main.fire, nullptr);
    EXPECT_EQ(main.textures, nullptr);
    for (int i = 0; i < 3; ++i)
        main.Update(0.5);  // no fire yet: time only
    EXPECT_DOUBLE_EQ(main.totalTime, 1.5);
    EXPECT_DOUBLE_EQ(main.frameTime, 0.5);
    main.Cleanup();
    main.Cleanup();
    EXPECT_EQ(main.fire, nullptr);
    EXPECT_EQ(main.textures, nullptr);
    EXPECT_EQ(main.deskTex, 0u);
}

TEST(CoreMain, FrameRateMeter) {
    fCount = 30;
    frameRate = lastcountTime = 0.0;
    lastcountFrame = 0;
    CalcFrameRate(0.2);
    EXPECT_EQ(frameRate, 0.0);
    CalcFrameRate(1.0);
    EXPECT_DOUBLE_EQ(frameRate, 30.0);
    EXPECT_DOUBLE_EQ(lastcountTime, 1.0);
    EXPECT_EQ(lastcountFrame, 30);
    fCount = 40;
    CalcFrameRate(1.2);  // not past 1.25
    EXPECT_DOUBLE_EQ(frameRate, 30.0);
    CalcFrameRate(2.0);
    EXPECT_DOUBLE_EQ(frameRate, 10.0);
    int h = -1, m = -1, s = -1;
    Clock(&h, &m, &s);
    EXPECT_TRUE(h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s <= 60);
}

TEST_F(CoreTest, SecondSetupReplacesFireAndTableButKeepsTheTimers) {
    SSMAIN main;
    SetUpView(main);
    main.Update(0.25);
    DrawFor(main, 80.0);
    main.fire->AddHotzone();
    const GLuint oldCorner = main.textures[kBannerCorner].texID;
    const float bannerTimer = main.bannerTimer, captionTimer = main.captionTimer;
    const bool shown = main.bannerShown;
    ASSERT_TRUE(glIsTexture(oldCorner));
    main.texCount = 40;  // left by a larger pack: the new table has six records
    SETTINGS s = FireSettings();
    ASSERT_TRUE(main.Setup(false, kW, kH, &s));
    EXPECT_EQ(main.texCount, kTableRecords);
    EXPECT_NE(main.fire, nullptr);
    EXPECT_EQ(main.fire->numHotzones, 0);
    EXPECT_FALSE(glIsTexture(oldCorner));
    for (int i = 0; i < kTableRecords; ++i) {
        EXPECT_EQ(main.textures[i].texID, 0u);
        EXPECT_EQ(main.textures[i].imageData, nullptr);
    }
    EXPECT_DOUBLE_EQ(main.totalTime, 0.25);
    EXPECT_EQ(main.bannerTimer, bannerTimer);
    EXPECT_EQ(main.captionTimer, captionTimer);
    EXPECT_EQ(main.bannerShown, shown);
    EXPECT_EQ(main.captionAlpha, 0.0f);
    main.Cleanup();
    EXPECT_EQ(main.fire, nullptr);
    EXPECT_EQ(main.deskTex, 0u);
}

TEST_F(CoreTest, PictureUnderFireWithTheFireFirstRowOnTop) {
    SSMAIN main;
    SetUpView(main, true);
    FIRECLASS& f = *main.fire;
    // Opaque orange in the fire image's first rows only.
    for (int x = 0; x < f.width * 16; ++x) {
        uint8_t* p = f.fireImage + 4 * x;
        p[0] = 250, p[1] = 120, p[2] = 0, p[3] = 255;
    }
    f.UploadFireImage();
    main.frameTime = 0.016;
    main.Draw();
    const Pixel top = At(kW / 2, kH - 20), middle = At(kW / 2, kH / 2);
    EXPECT_EQ(top.r, 250);
    EXPECT_EQ(top.g, 120);
    EXPECT_EQ(middle.r, 0);
    EXPECT_EQ(middle.b, 200);
    GLboolean texturing = GL_TRUE, blending = GL_TRUE, depth = GL_FALSE;
    glGetBooleanv(GL_TEXTURE_2D, &texturing);
    glGetBooleanv(GL_BLEND, &blending);
    glGetBooleanv(GL_DEPTH_TEST, &depth);
    EXPECT_FALSE(texturing);
    EXPECT_FALSE(blending);
    EXPECT_TRUE(depth);
}

TEST_F(CoreTest, BannerArrivesAtTheTopAfter75Seconds) {
    SSMAIN main;
    SetUpView(main);
    DrawFor(main, 74.9);
    EXPECT_FALSE(main.bannerShown);
    DrawFor(main, 0.2);
    ASSERT_TRUE(main.bannerShown);
    EXPECT_TRUE(main.bannerAtTop);
    DrawFor(main, 10.0);  // settles at height - 40
    EXPECT_NEAR(main.bannerPos.y, kH - 40.0f, 0.5f);
    // Twenty seconds on it leaves upwards; the next arrival is at the bottom.
    DrawFor(main, 10.1);
    EXPECT_FALSE(main.bannerShown);
    DrawFor(main, 30.1);
    EXPECT_TRUE(main.bannerShown);
    EXPECT_FALSE(main.bannerAtTop);
    DrawFor(main, 10.0);
    EXPECT_NEAR(main.bannerPos.y, 5.0f, 0.5f);
}

// On arrival the message is drawn first (rand() % 2), then the corner's side
// (rand() & 1); both show where they were drawn. The seeds include ones
// whose two draws differ, so swapping the draws cannot pass.
TEST_F(CoreTest, BannerShowsTheDrawnMessageAtTheDrawnCorner) {
    bool drawsDiffered = false;
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE(seed);
        SSMAIN main;
        SetUpView(main);
        srand(seed);
        const int message = rand() % 2;
        const bool right = rand() & 1;
        drawsDiffered |= message != int(right);
        srand(seed);
        main.bannerTimer = 0.1f;
        DrawFor(main, 0.25);
        ASSERT_TRUE(main.bannerShown);
        EXPECT_EQ(main.messageIndex, uint32_t(kMessageFirst + message));
        EXPECT_EQ(main.bannerPos.x, right ? kW - 256.0f : 0.0f);
        DrawFor(main, 10.0);
        const Pixel corner = At(right ? kW - 30 : 30, kH - 25);
        const Pixel otherCorner = At(right ? 30 : kW - 30, kH - 25);
        EXPECT_EQ(corner.g, 255);
        EXPECT_EQ(otherCorner.g, 0);
        const Pixel centre = At(kW / 2, kH - 25);  // the message, 512 wide
        EXPECT_EQ(centre.r, 255);
        EXPECT_EQ(centre.b, message ? 255 : 0);
    }
    EXPECT_TRUE(drawsDiffered);
}

// Each frame moves the banner by (target - y) x frameTime: from height + 40
// towards height - 40, a quarter of the way in a frame of 0.25 s.
TEST_F(CoreTest, BannerApproachesItsEdgeAtTheFrameTimeRate) {
    SSMAIN main;
    SetUpView(main);
    main.bannerTimer = 0.1f;
    DrawFor(main, 0.25);
    ASSERT_TRUE(main.bannerAtTop);
    EXPECT_EQ(main.bannerPos.y, float(kH + 40 - 80 * 0.25));
    DrawFor(main, 0.5, 0.5);
    EXPECT_EQ(main.bannerPos.y, float(kH + 20 - 60 * 0.5));
}

TEST_F(CoreTest, CaptionFadesInAndDarkensThePicture) {
    SSMAIN main;
    SetUpView(main);
    DrawFor(main, 39.9);
    EXPECT_EQ(main.captionAlpha, 0.0f);
    EXPECT_EQ(At(20, 100).b, 200);
    DrawFor(main, 1.2);
    const float alpha = main.captionAlpha;
    ASSERT_GT(alpha, 0.2f);
    ASSERT_LT(alpha, 0.8f);
    // Halfway: the picture at 1 - alpha, and the message blended over it.
    main.frameTime = 0.0;  // nothing moves
    main.Draw();
    EXPECT_NEAR(At(20, 100).b, 200 * (1 - alpha), 1.5);
    const Pixel halfway = At(kW / 2, int(384 * kH / 768.0));
    EXPECT_NEAR(halfway.r, 255 * alpha, 1.5);
    const double messageBlue = main.messageIndex == kMessageFirst + 1 ? 255 : 0;
    EXPECT_NEAR(halfway.b, messageBlue * alpha + 200 * (1 - alpha) * (1 - alpha), 1.5);
    DrawFor(main, 3.0);
    EXPECT_EQ(main.captionAlpha, 1.0f);
    main.frameTime = 0.1;
    main.Draw();
    // The picture is drawn at 1 - alpha: black; the caption band (352..416
    // of 768) shows the message in full.
    EXPECT_EQ(At(20, 100).b, 0);
    const Pixel caption = At(kW / 2, int(384 * kH / 768.0));
    EXPECT_EQ(caption.r, 255);
    // It fades out again after 20 s, and the picture comes back.
    DrawFor(main, 20.0);
    EXPECT_EQ(main.captionAlpha, 0.0f);
    EXPECT_EQ(At(20, 100).b, 200);
}

TEST_F(CoreTest, PreviewDrawsOnlyPictureAndFire) {
    SSMAIN main;
    SetUpView(main, true);
    DrawFor(main, 90.0);
    EXPECT_EQ(main.captionTimer, 0.0f);
    EXPECT_EQ(main.captionAlpha, 0.0f);
    EXPECT_TRUE(main.bannerShown);  // the banner's timing still runs
    EXPECT_NEAR(main.bannerPos.y, kH - 40.0f, 1.0f);
    EXPECT_EQ(At(30, kH - 25).b, 200);
    EXPECT_EQ(At(kW / 2, kH - 25).b, 200);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
}

TEST_F(CoreTest, NewSizeDrawsAtTheNewSize) {
    SSMAIN main;
    SetUpView(main);
    main.SetSize(320, 240);
    glViewport(0, 0, 320, 240);
    glClearColor(0, 0, 0, 0);
    main.frameTime = 0.1;
    main.Draw();
    EXPECT_EQ(At(100, 100).b, 200);
    EXPECT_EQ(At(500, 400).b, 0);
    glViewport(0, 0, kW, kH);
}

TEST_F(CoreTest, DrawsWhatItHasWithoutFireOrRecords) {
    SSMAIN main;
    SetUpView(main);
    DrawFor(main, 90.0);  // banner and caption due
    delete[] main.textures;
    main.textures = new Texture[3];  // a short table from a small pack
    main.texCount = 3;
    DrawFor(main, 1.0);
    main.fire->Cleanup();
    delete main.fire;
    main.fire = nullptr;
    DrawFor(main, 1.0);
    delete[] main.textures;
    main.textures = nullptr;
    DrawFor(main, 1.0);
    main.DoIntro();
    EXPECT_EQ(At(20, 20).b, 200);
}

TEST_F(CoreTest, IntroTimingFollowsTotalTime) {
    SSMAIN main;
    SetUpView(main);
    main.frameTime = 0.5;
    for (int i = 0; i < 12; ++i)
        main.DoIntro();  // 6 s: first picture full
    EXPECT_FLOAT_EQ(main.introAlpha1, 1.0f);
    EXPECT_FLOAT_EQ(main.introAlpha2, -1.0f);
    for (int i = 0; i < 4; ++i)
        main.DoIntro();
    EXPECT_FLOAT_EQ(main.introAlpha2, 1.0f);
    main.totalTime = 12.0;
    for (int i = 0; i < 4; ++i)
        main.DoIntro();
    EXPECT_FALSE(main.introDone);
    main.DoIntro();
    EXPECT_TRUE(main.introDone);
}

TEST_F(CoreTest, UpdateBurnsTheFire) {
    SSMAIN main;
    SetUpView(main);
    for (int i = 0; i < 3; ++i)
        main.Update(0.5);
    EXPECT_DOUBLE_EQ(main.totalTime, 1.5);
    EXPECT_DOUBLE_EQ(main.frameTime, 0.5);
    EXPECT_EQ(main.fire->numHotzones, 1);  // the spawn timer ran out
}

// ---- Frames that redraw only what changed ----

bool PixelsHitBy(const PIXELRECT& r, int px, int py) {
    return px >= r.x0 && px < r.x1 && py >= r.y0 && py < r.y1;
}

TEST(FrameDamage, AreaCountsOverlapsOnceAndAFullListStillCoversAll) {
    FRAMEDAMAGE d;
    d.whole = false;
    AddDamage(&d, {0, 0, 10, 10}, 100, 100);
    AddDamage(&d, {5, 5, 15, 15}, 100, 100);
    AddDamage(&d, {-20, 90, 5, 130}, 100, 100);  // clipped to 0..5 x 90..100
    AddDamage(&d, {50, 50, 50, 60}, 100, 100);   // empty: nothing added
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(DamageArea(d, 100, 100), 100 + 100 - 25 + 50);
    d.whole = true;
    EXPECT_EQ(DamageArea(d, 100, 100), 10000);

    FRAMEDAMAGE full;
    full.whole = false;
    std::vector<PIXELRECT> added;
    for (int i = 0; i < 3 * kDamageRects; ++i) {
        const PIXELRECT r = {(i * 37) % 90, (i * 53) % 90, (i * 37) % 90 + 7, (i * 53) % 90 + 5};
        added.push_back(r);
        AddDamage(&full, r, 100, 100);
    }
    EXPECT_EQ(full.count, kDamageRects);
    for (const PIXELRECT& r : added) {
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                bool covered = false;
                for (int k = 0; k < full.count; ++k)
                    covered = covered || PixelsHitBy(full.rects[k], x, y);
                ASSERT_TRUE(covered) << x << "," << y;
            }
        }
    }
}

// Every pixel whose linearly filtered sample weighs a texel (its centre
// within one texel of the texel's centre) lies in that texel's rectangle,
// magnified, minified and at odd sizes; the first texture row is at the top.
TEST(FrameDamage, TexelRectanglesHoldEveryPixelTheFilterReaches) {
    struct Case {
        int side, w, h;
    } cases[] = {{128, 640, 480}, {256, 1920, 1080}, {512, 333, 211}, {128, 101, 77}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.side);
        for (int t = 0; t < c.side; t += 7) {
            const PIXELRECT r = TexelsOnScreen(t, t, t + 1, t + 1, c.side, c.w, c.h);
            for (int px = 0; px < c.w; ++px) {
                const double u = (px + 0.5) * c.side / c.w - 0.5;
                if (std::abs(u - t) < 1.0) {
                    ASSERT_TRUE(px >= r.x0 && px < r.x1) << t << " " << px;
                }
            }
            for (int row = 0; row < c.h; ++row) {  // counted from the top
                const double v = (row + 0.5) * c.side / c.h - 0.5;
                const int py = c.h - 1 - row;
                if (std::abs(v - t) < 1.0) {
                    ASSERT_TRUE(py >= r.y0 && py < r.y1) << t << " " << row;
                }
            }
        }
    }
}

// One changed texel marks the cells around its place, the copy catches up,
// and the grid's rectangles cover the marks without overlapping.
TEST(FrameDamage, ChangedTexelsMarkTheirCellsAndTheCopyCatchesUp) {
    const int side = 128, w = 640, h = 480;
    std::vector<uint8_t> now(side * side * 4, 9), shown(now);
    now[(10 * side + 100) * 4 + 3] = 200;  // texel (100, 10): right, near the top
    now[(120 * side + 3) * 4] = 1;         // texel (3, 120): left, near the bottom
    DAMAGEGRID grid;
    StartGrid(&grid, w, h);
    ASSERT_TRUE(MarkChangedTexels(now.data(), shown.data(), side, w, h, &grid));
    EXPECT_EQ(now, shown);
    FRAMEDAMAGE d;
    d.whole = false;
    GridRects(grid, w, h, &d);
    ASSERT_GE(d.count, 2);
    int64_t sum = 0;
    for (int i = 0; i < d.count; ++i)
        sum += int64_t(d.rects[i].x1 - d.rects[i].x0) * (d.rects[i].y1 - d.rects[i].y0);
    EXPECT_EQ(sum, DamageArea(d, w, h));
    EXPECT_LT(sum, w * h / 10);
    auto covered = [&](int x, int y) {
        for (int i = 0; i < d.count; ++i)
            if (PixelsHitBy(d.rects[i], x, y)) return true;
        return false;
    };
    EXPECT_TRUE(covered(100 * w / side + 2, h - 1 - 10 * h / side));
    EXPECT_TRUE(covered(3 * w / side + 2, h - 1 - 120 * h / side));
    EXPECT_FALSE(covered(w / 2, h / 2));

    StartGrid(&grid, w, h);
    ASSERT_TRUE(MarkChangedTexels(now.data(), shown.data(), side, w, h, &grid));
    FRAMEDAMAGE none;
    none.whole = false;
    GridRects(grid, w, h, &none);
    EXPECT_EQ(none.count, 0);
    EXPECT_FALSE(MarkChangedTexels(now.data(), shown.data(), 126, w, h, &grid));
}

// A picture with detail everywhere, so that a pixel drawn from the wrong
// place or left stale shows.
void PatternRecord(Texture* record, int seed, int alphaMode) {
    record->width = record->height = 64;
    record->bpp = 24;
    record->type = GL_RGB;
    record->imageData = static_cast<uint8_t*>(malloc(64 * 64 * 3));
    for (int i = 0; i < 64 * 64 * 3; ++i)
        record->imageData[i] = uint8_t(i * 13 + seed * 71 + (i >> 7) * 5);
    BuildTexture(record, alphaMode);
}

struct SavedOverlay {
    float bannerTimer, captionTimer, captionAlpha;
    bool bannerShown, bannerAtTop;
    point2d bannerPos;
    uint32_t messageIndex;
};

SavedOverlay SaveOverlay(const SSMAIN& m) {
    return {m.bannerTimer, m.captionTimer, m.captionAlpha, m.bannerShown,
            m.bannerAtTop, m.bannerPos,    m.messageIndex};
}

void RestoreOverlay(SSMAIN& m, const SavedOverlay& s) {
    m.bannerTimer = s.bannerTimer, m.captionTimer = s.captionTimer;
    m.captionAlpha = s.captionAlpha, m.bannerShown = s.bannerShown;
    m.bannerAtTop = s.bannerAtTop, m.bannerPos = s.bannerPos, m.messageIndex = s.messageIndex;
}

struct SequenceCase {
    int fireRes, burnStyle;
    bool preview;
    int w, h, resizedW, resizedH;
};

void PrintTo(const SequenceCase& c, std::ostream* os) {
    *os << "fire " << c.fireRes << ", style " << c.burnStyle << (c.preview ? ", preview " : ", ")
        << c.w << "x" << c.h << " then " << c.resizedW << "x" << c.resizedH;
}

// 18 s of frames: burning with char, the banner arriving at the top, a
// caption fading in and out, the banner leaving and arriving at the bottom,
// the picture restored, and a new view size. Every frame is drawn twice from
// the same state: first building on the frame before (only what changed),
// then whole; the two must agree in every byte.
class FrameSequenceTest : public CoreTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(FrameSequenceTest, DamageOnlyFramesEqualWholeRedraws) {
    const SequenceCase c = GetParam();
    SSMAIN main;
    SETTINGS s = FireSettingsRecord(c.fireRes, c.burnStyle, kDefaultColours, kDefaultBurnSpeed, 1);
    ASSERT_TRUE(main.Setup(c.preview, c.w, c.h, &s));
    glViewport(0, 0, c.w, c.h);
    Texture picture;
    PatternRecord(&picture, 1, kAlphaOpaque);
    main.deskTex = picture.texID;
    picture.texID = 0;
    PatternRecord(&main.textures[kBannerCorner], 2, kAlphaBrightness);
    PatternRecord(&main.textures[kMessageFirst], 3, kAlphaBrightness);
    PatternRecord(&main.textures[kMessageFirst + 1], 4, kAlphaColourKey);
    FIRECLASS& f = *main.fire;
    for (int i = 0; i < f.width * f.width * 4; ++i)
        f.desk[i] = uint8_t(i * 3 + (i >> 9));
    f.ResetDesktop();
    f.resetTimer = 12.0f;
    main.bannerTimer = 1.0f;
    main.captionTimer = -38.5f;  // fades in from 1.5 s

    const double dt = 0.05;
    int w = c.w, h = c.h, partial = 0, frames = 0;
    bool captionShown = false, bannerArrived = false, charred = false;
    for (int i = 0; i < 360; ++i, ++frames) {
        const double t = i * dt;
        if (i == 100) main.captionTimer = 0.1f;              // fades out from 5 s
        if (i == 160 || i == 200) main.bannerTimer = 0.05f;  // leaves, then arrives below
        if (i == 280) {
            w = c.resizedW, h = c.resizedH;
            main.SetSize(w, h);
            glViewport(0, 0, w, h);
        }
        main.Update(dt);
        const SavedOverlay before = SaveOverlay(main);
        srand(unsigned(i));
        main.keepsPixels = true;
        main.Draw();
        if (!main.damage.whole) ++partial;
        const std::vector<unsigned char> changed = ReadPixels(0, 0, w, h);
        RestoreOverlay(main, before);
        srand(unsigned(i));
        main.keepsPixels = false;
        main.Draw();
        ASSERT_TRUE(main.damage.whole);
        const std::vector<unsigned char> whole = ReadPixels(0, 0, w, h);
        size_t differ = 0, first = 0;
        for (size_t k = 0; k < whole.size(); ++k) {
            if (whole[k] != changed[k] && differ++ == 0) first = k / 4;
        }
        ASSERT_EQ(differ, 0u) << "frame " << i << " at " << t << " s, first pixel ("
                              << first % size_t(w) << ", " << first / size_t(w) << ")";
        captionShown = captionShown || main.captionAlpha > 0.5f;
        bannerArrived = bannerArrived || main.bannerShown;
        for (int k = 3; k < f.width * f.width * 4 && !charred; k += 4)
            charred = f.desk[k] != 0;
    }
    EXPECT_GT(partial, frames / 3);  // the fades and the resize draw whole
    EXPECT_TRUE(charred);
    if (!c.preview) {
        EXPECT_TRUE(captionShown);
        EXPECT_TRUE(bannerArrived);
        EXPECT_FALSE(main.bannerAtTop);  // the second arrival came from below
    }
    if (c.burnStyle != 0) {
        EXPECT_GT(f.resetTimer, 500.0f);  // the picture was restored
    }
    glViewport(0, 0, kW, kH);
}

INSTANTIATE_TEST_SUITE_P(Views, FrameSequenceTest,
                         ::testing::Values(SequenceCase{0, 0, false, 640, 480, 333, 211},
                                           SequenceCase{1, 1, false, 517, 389, 640, 480},
                                           SequenceCase{2, 2, true, 301, 157, 639, 479}));

// What the surface gives decides: a surface that does not keep its pixels
// gets whole frames; one that does gets nothing redrawn when nothing moved,
// and a whole frame again once the caption starts to shade the picture.
TEST_F(CoreTest, FramesRedrawOnlyWhatTheSurfaceLacks) {
    SSMAIN main;
    SetUpView(main);
    main.frameTime = 0.05;
    for (int i = 0; i < 3; ++i) {
        main.Draw();
        EXPECT_TRUE(main.damage.whole);
    }
    main.keepsPixels = true;
    main.Draw();
    EXPECT_FALSE(main.damage.whole);
    EXPECT_EQ(main.damage.count, 0);
    main.fire->fireImage[0] = 77;  // one texel, top left
    main.fire->UploadFireImage();
    main.Draw();
    ASSERT_FALSE(main.damage.whole);
    EXPECT_GT(main.damage.count, 0);
    EXPECT_LT(DamageArea(main.damage, kW, kH), kW * kH / 20);
    main.DoOverlay();  // drawn outside Draw: the next frame starts afresh
    main.Draw();
    EXPECT_TRUE(main.damage.whole);
    main.captionTimer = -40.5f;
    main.Draw();  // the caption's timer comes round
    main.Draw();  // and its opacity rises
    EXPECT_GT(main.captionAlpha, 0.0f);
    EXPECT_TRUE(main.damage.whole);
}

size_t gAllocations = 0;

}  // namespace

// Every allocation of the test program is counted, so that a frame can show
// it makes none. (The compiler cannot see that these pairs match.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
    ++gAllocations;
    void* p = malloc(size ? size : 1);
    if (!p) abort();
    return p;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t) noexcept {
    free(p);
}
#pragma GCC diagnostic pop

namespace {

// The GL driver may allocate (llvmpipe builds a program for each new mix of
// state, the scissor's first use among them), so the frames are counted on
// their second pass, once the driver has seen every state they use.
TEST_F(CoreTest, AFrameAllocatesNothing) {
    SSMAIN main;
    SetUpView(main);
    main.keepsPixels = true;
    for (int i = 0; i < 40; ++i)
        main.Update(0.25);
    auto frames = [&main] {
        for (int i = 0; i < 20; ++i) {
            main.frameTime = 0.25;
            main.keepsPixels = i % 5 != 0;
            main.fire->fireImage[i * 64] ^= 0x55;
            main.fire->UploadFireImage();
            main.Draw();
        }
    };
    frames();
    const size_t before = gAllocations;
    frames();
    EXPECT_EQ(gAllocations, before);
}

}  // namespace
