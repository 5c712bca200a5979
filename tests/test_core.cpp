// Saver core: the main object's life cycle, the frame-rate meter, and whole
// frames drawn in a headless context and read back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

}  // namespace
