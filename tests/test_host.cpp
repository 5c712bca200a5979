// The host view driven by a headless host (virtual clock, made-up screens
// and captures, preferences in memory), and the X11 host under Xvfb.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fireclass.h"
#include "gl_support.h"
#include "headless_host.h"
#include "kindora_view.h"
#include "picture_decoder.h"
#include "ssmain.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 320, kH = 200;

// Every path the views ask a picture of; each decodes to 8 x 8 of one colour
// unless its name holds "broken".
std::vector<std::string> decodedPaths;

bool FakeDecode(const char* path, PictureBitmap* out, PictureReason* reason) {
    decodedPaths.push_back(path);
    if (strstr(path, "broken")) {
        SetReason(reason, "broken on purpose");
        return false;
    }
    out->bitsPerPixel = 24;
    out->pixelsWide = out->pixelsHigh = 8;
    out->bytesPerRow = 24;
    out->pixels = static_cast<uint8_t*>(malloc(8 * 24));
    for (int i = 0; i < 8 * 8; ++i) {
        out->pixels[3 * i] = 40, out->pixels[3 * i + 1] = 200, out->pixels[3 * i + 2] = 90;
    }
    return true;
}

// A folder holding the pack and a fallback picture (any bytes: the fake
// decoder reads none).
struct ResourceFolder {
    fs::path path;
    ResourceFolder() {
        path = fs::path(testing::TempDir()) / ("kindora-host-" + std::to_string(getpid()));
        fs::create_directories(path);
        fs::copy_file(fs::path(KINDORA_DATA_DIR) / "zarnish.vellumry", path / "zarnish.vellumry",
                      fs::copy_options::overwrite_existing);
        std::ofstream(path / "fallback.jpg") << "stand-in";
    }
    std::string Fallback() const { return (path / "fallback.jpg").string(); }
};

const ResourceFolder& Resources() {
    static ResourceFolder folder;
    return folder;
}

SETTINGS Settings(int32_t bgType, int32_t bgRes = 1) {
    SETTINGS s;
    s.FIRERES = 0;
    s.BURNSTYLE = 1;
    s.COLOURS = 0;
    s.BURNSPEED = 20;
    s.BURNDELAY = 20;
    s.BGRES = bgRes;
    s.BGTYPE = bgType;
    SetBGPath(&s, "/nowhere/at/all");
    return s;
}

// One host with two screens side by side, the view on the first.
struct HostFixture : testing::Test {
    HEADLESSHOST host;
    KindoraView view;

    void SetUp() override {
        if (!CreateHeadlessHost(&host, kW, kH)) {
            if (RunningInCI()) FAIL() << "no headless GL: " << host.gl.error;
            GTEST_SKIP() << "no headless GL: " << host.gl.error;
        }
        SetPictureDecoder(FakeDecode);
        decodedPaths.clear();
        host.resourceFolder = Resources().path.string();
        host.screens = {HeadlessScreen(0, 0, 0, 1024, 768), HeadlessScreen(1, 1024, 0, 1024, 768)};
        host.captures[0] = SolidCapture(1024, 768, 200, 40, 30);
        host.captures[1] = SolidCapture(1024, 768, 30, 40, 200);
        host.clock = 1000.0;
    }
    void TearDown() override {
        view.dealloc();
        SetPictureDecoder(nullptr);
    }
    bool Create(const SETTINGS& s, bool mainOnly = false, bool preview = false,
                HOSTRECT frame = Frame(0, 0, kW, kH)) {
        StoreSettings(&host, s, mainOnly);
        return view.initWithFrame(frame, preview, HeadlessHostPlatform(&host));
    }
    // startAnimation and the set-up tick.
    void Start() {
        view.startAnimation();
        view.animateOneFrame();
    }
    void TickAt(double t) {
        host.clock = t;
        view.animateOneFrame();
    }
    static HOSTRECT Frame(float x, float y, float w, float h) {
        HOSTRECT r;
        r.x = x, r.y = y, r.width = w, r.height = h;
        return r;
    }
    GLint TextureSide(uint32_t name, GLenum which) {
        GLint side = 0;
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, which, &side);
        return side;
    }
};

TEST_F(HostFixture, ScreenAsBackgroundIsCapturedAtCreationAndBurnt) {
    ASSERT_TRUE(Create(Settings(0)));
    EXPECT_EQ(host.screensRead, std::vector<int32_t>{0});
    ASSERT_NE(view.DeskTex.texID, 0u);
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_WIDTH), 1024);
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_HEIGHT), 1024);
    ASSERT_NE(view.dtData, nullptr);
    const uint32_t captured = view.DeskTex.texID;
    Start();
    ASSERT_NE(view.ssMain, nullptr);
    EXPECT_EQ(view.ssMain->deskTex, captured);  // handed over, not copied
    EXPECT_EQ(view.DeskTex.texID, 0u);
    EXPECT_EQ(view.dtData, nullptr);
    // The fire's picture is the capture's red.
    const uint8_t* desk = view.ssMain->fire->desk;
    EXPECT_EQ(desk[0], 200);
    EXPECT_EQ(desk[2], 30);
    EXPECT_TRUE(decodedPaths.empty());
    TickAt(1000.0 + 1.0 / 60.0);
    const std::vector<unsigned char> p = ReadPixels(kW / 2, kH / 2, 1, 1);
    EXPECT_GT(p[0], 150);
    EXPECT_LT(p[2], 80);
}

TEST_F(HostFixture, BlackCaptureFallsBackToTheDesktopPictureInMemoryOnly) {
    host.captures[0] = SolidCapture(1024, 768, 0, 0, 0);
    host.captures[0].rgba[3] = 255;  // alpha does not count as colour
    host.desktopPictures[0] = "/pictures/screen0.png";
    ASSERT_TRUE(Create(Settings(0)));
    EXPECT_EQ(view.DeskTex.texID, 0u);
    EXPECT_EQ(view.mySettings.BGTYPE, 1);
    EXPECT_EQ(host.prefs.values["BGType"].number, 0);
    Start();
    EXPECT_EQ(decodedPaths, std::vector<std::string>{"/pictures/screen0.png"});
    EXPECT_NE(view.ssMain->deskTex, 0u);
    EXPECT_EQ(view.ssMain->fire->desk[1], 200);  // the picture's green, not the capture's black
}

TEST_F(HostFixture, OneColouredPixelIsEnoughForACapture) {
    host.captures[0] = SolidCapture(1024, 768, 0, 0, 0);
    for (int i = 0; i < 16; ++i) host.captures[0].rgba[size_t(4 * (700 * 1024 + 500 + i))] = 255;
    ASSERT_TRUE(Create(Settings(0)));
    EXPECT_NE(view.DeskTex.texID, 0u);
    EXPECT_EQ(view.mySettings.BGTYPE, 0);
}

TEST_F(HostFixture, DesktopPictureLookupAndItsFallbacks) {
    struct Case {
        const char* screen0;    // null: no entry for the screen
        const char* wide;       // desktop-wide entry, or null
        std::string expected;   // the one path asked for
    };
    const std::string fallback = Resources().Fallback();
    const Case cases[] = {
        {"/a/bc", nullptr, "/a/bc"},      // five bytes are a path
        {"/a/b", "/wide.png", fallback},  // four are none, even with a wide entry
        {nullptr, "/wide.png", "/wide.png"},
        {nullptr, nullptr, fallback},
    };
    for (const Case& c : cases) {
        KindoraView v;
        host.desktopPictures.clear();
        if (c.screen0) host.desktopPictures[0] = c.screen0;
        if (c.wide) host.desktopPictures[-1] = c.wide;
        decodedPaths.clear();
        StoreSettings(&host, Settings(1), false);
        ASSERT_TRUE(v.initWithFrame(Frame(0, 0, kW, kH), false, HeadlessHostPlatform(&host)));
        v.startAnimation();
        v.animateOneFrame();
        EXPECT_EQ(decodedPaths, std::vector<std::string>{c.expected}) << c.expected;
        v.dealloc();
    }
}

TEST_F(HostFixture, UnreadableDesktopPictureGivesTheFixedPicture) {
    host.desktopPictures[0] = "/pictures/broken.webp";
    ASSERT_TRUE(Create(Settings(1, 2)));
    Start();
    EXPECT_EQ(decodedPaths,
              (std::vector<std::string>{"/pictures/broken.webp", Resources().Fallback()}));
    EXPECT_NE(view.ssMain->deskTex, 0u);
}

TEST_F(HostFixture, EmptyFolderLoadsTheFixedPictureAtTheSmallestSize) {
    const fs::path empty = Resources().path / "empty";
    fs::create_directories(empty);
    SETTINGS s = Settings(2, 2);
    SetBGPath(&s, empty.c_str());
    ASSERT_TRUE(Create(s));
    Start();
    EXPECT_EQ(decodedPaths, std::vector<std::string>{Resources().Fallback()});
    EXPECT_EQ(TextureSide(view.ssMain->deskTex, GL_TEXTURE_WIDTH), 512);
}

TEST_F(HostFixture, MainMonitorOnlyLeavesOtherScreensBlackAndIdle) {
    host.mainScreen = 1;
    host.windowScreen = 0;
    ASSERT_TRUE(Create(Settings(0), true));
    const uint32_t captured = view.DeskTex.texID;
    EXPECT_NE(captured, 0u);
    const int lookups = host.resourceLookups;
    view.startAnimation();
    EXPECT_FALSE(view.ThisScreenIsOn);
    const std::vector<unsigned char> p = ReadPixels(10, 10, 1, 1);
    EXPECT_EQ(std::vector<unsigned char>(p.begin(), p.end()),
              (std::vector<unsigned char>{0, 0, 0, 255}));
    view.animateOneFrame();
    EXPECT_FALSE(view.animating);
    EXPECT_EQ(view.ssMain, nullptr);
    EXPECT_EQ(host.resourceLookups, lookups);  // the pack was never read
    EXPECT_EQ(view.DeskTex.texID, captured);   // the capture stays until the view goes
    // A preview on a secondary screen is no different.
    KindoraView preview;
    ASSERT_TRUE(preview.initWithFrame(Frame(0, 0, 100, 60), true, HeadlessHostPlatform(&host)));
    preview.startAnimation();
    EXPECT_FALSE(preview.ThisScreenIsOn);
    host.windowScreen = 1;  // on the main screen it takes part
    preview.startAnimation();
    EXPECT_TRUE(preview.ThisScreenIsOn);
    preview.dealloc();
}

TEST_F(HostFixture, PreviewUsesTheSmallestDetail) {
    host.captures[0] = SolidCapture(1920, 1200, 90, 90, 90);
    ASSERT_TRUE(Create(Settings(0, 2), false, true));
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_HEIGHT), 512);
    Start();
    EXPECT_TRUE(view.ssMain->preview);
}

TEST_F(HostFixture, CaptureSidesFollowTheDetail) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    ASSERT_GE(maxSide, 2048);
    host.captures[0] = SolidCapture(1920, 1200, 90, 90, 90);
    ASSERT_TRUE(Create(Settings(0, 2)));
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_WIDTH), 2048);
    EXPECT_EQ(TextureSide(view.DeskTex.texID, GL_TEXTURE_HEIGHT), 1024);
    // A name passed in is reused for the upload.
    GLuint mine = 0;
    glGenTextures(1, &mine);
    uint32_t name = mine;
    view.GetDesktopTexture(&name, 0, Frame(0, 0, 10, 10));
    EXPECT_EQ(name, mine);
    EXPECT_EQ(TextureSide(mine, GL_TEXTURE_WIDTH), 512);
    glDeleteTextures(1, &mine);
}

TEST_F(HostFixture, CaptureReadsTheFirstScreenUnderTheFrame) {
    ASSERT_TRUE(Create(Settings(1)));
    EXPECT_EQ(view.getScreenMaskForFrame(Frame(1000, 10, 100, 100)), 0);  // across both
    EXPECT_EQ(view.getScreenMaskForFrame(Frame(1500, 10, 100, 100)), 1);
    host.mainScreen = 1;
    EXPECT_EQ(view.getScreenMaskForFrame(Frame(5000, 5000, 10, 10)), 1);  // over none
    host.screens = {host.screens[1], host.screens[0]};  // the platform's order decides
    EXPECT_EQ(view.getScreenMaskForFrame(Frame(1000, 10, 100, 100)), 1);
}

// The tick: over 2 s only resets the clock, over 0.01 s updates and draws,
// anything shorter gathers.
TEST_F(HostFixture, TicksUpdateOnlyAfterMoreThanAHundredthOfASecond) {
    ASSERT_TRUE(Create(Settings(0)));
    host.clock = 0.0;
    Start();
    ASSERT_EQ(view.animtime, 0.0);
    const int flushes = host.flushes;
    TickAt(0.01);  // exactly 0.01 does not count
    EXPECT_EQ(view.ssMain->totalTime, 0.0);
    EXPECT_EQ(host.flushes, flushes);
    TickAt(0.0149);
    EXPECT_EQ(host.flushes, flushes + 1);
    // Ticks about 5 ms apart: every third one draws, with the time of all three.
    const double drawn = view.animtime;
    for (int i = 1; i <= 6; ++i) TickAt(drawn + i * 0.0049);
    EXPECT_EQ(host.flushes, flushes + 3);
    EXPECT_NEAR(view.ssMain->frameTime, 3 * 0.0049, 1e-9);
    const double before = view.ssMain->totalTime;
    TickAt(view.animtime + 1.0 / 60.0);
    EXPECT_NEAR(view.ssMain->totalTime - before, 1.0 / 60.0, 1e-9);
}

TEST_F(HostFixture, LongPauseOnlyResetsTheClock) {
    ASSERT_TRUE(Create(Settings(0)));
    host.clock = 0.0;
    Start();
    TickAt(0.02);
    const double total = view.ssMain->totalTime;
    const int flushes = host.flushes;
    TickAt(3.02);
    EXPECT_EQ(view.ssMain->totalTime, total);
    EXPECT_EQ(host.flushes, flushes);
    EXPECT_EQ(view.animtime, 3.02);
    TickAt(3.04);  // measured from the skipped tick
    EXPECT_NEAR(view.ssMain->frameTime, 0.02, 1e-9);
    // Stopped and started again: the same main object, and a pause over 2 s
    // is skipped the same way.
    SSMAIN* main = view.ssMain;
    view.stopAnimation();
    view.startAnimation();
    TickAt(10.0);
    EXPECT_EQ(view.ssMain, main);
    EXPECT_NEAR(view.ssMain->frameTime, 0.02, 1e-9);
    EXPECT_EQ(view.animtime, 10.0);
}

TEST_F(HostFixture, ResizeReachesTheViewportAndTheMainObjectOnly) {
    ASSERT_TRUE(Create(Settings(0)));
    Start();
    const int fireSide = view.ssMain->fire->width;
    view.setFrameSize(160, 100);
    EXPECT_FALSE(view.glReady);
    TickAt(host.clock + 0.02);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 160);
    EXPECT_EQ(viewport[3], 100);
    EXPECT_EQ(view.ssMain->width, 160);
    EXPECT_EQ(view.ssMain->height, 100);
    EXPECT_EQ(view.ssMain->fire->width, fireSide);
}

TEST_F(HostFixture, MissingPackStopsSetUpButTheViewKeepsTicking) {
    const fs::path bare = Resources().path / "bare";
    fs::create_directories(bare);
    host.resourceFolder = bare.string();
    ASSERT_TRUE(Create(Settings(0)));
    const uint32_t captured = view.DeskTex.texID;
    Start();
    EXPECT_TRUE(view.initialized);
    EXPECT_EQ(view.animtime, host.clock);  // the set-up tick saw over 2 s and reset the clock
    EXPECT_EQ(view.ssMain->deskTex, 0u);
    EXPECT_EQ(view.DeskTex.texID, captured);
    TickAt(host.clock + 0.02);
    EXPECT_GT(view.ssMain->totalTime, 0.0);
}

TEST_F(HostFixture, NoStoreGivesTheDefaults) {
    host.storeOpens = false;
    ASSERT_TRUE(Create(Settings(2)));
    EXPECT_EQ(view.mySettings.BGTYPE, kDefaultBGType);
    EXPECT_EQ(view.mySettings.FIRERES, kDefaultFireRes);
}

// Two views of one process, ticked in turn, each in its own context.
TEST_F(HostFixture, TwoViewsInterleavedKeepTheirOwnPictures) {
    HEADLESSHOST other;
    ASSERT_TRUE(CreateHeadlessHost(&other, kW, kH));
    other.resourceFolder = host.resourceFolder;
    other.screens = host.screens;
    other.captures = host.captures;
    other.windowScreen = 1;
    other.clock = host.clock;
    ASSERT_TRUE(Create(Settings(0)));
    StoreSettings(&other, Settings(0), false);
    KindoraView right;
    ASSERT_TRUE(right.initWithFrame(Frame(1024, 0, kW, kH), false, HeadlessHostPlatform(&other)));
    view.startAnimation();
    right.startAnimation();
    for (int i = 0; i <= 30; ++i) {
        host.clock = other.clock = 1000.0 + i / 60.0;
        view.animateOneFrame();
        right.animateOneFrame();
    }
    host.gl.MakeCurrent();
    const std::vector<unsigned char> left = ReadPixels(kW / 2, kH / 2, 1, 1);
    other.gl.MakeCurrent();
    const std::vector<unsigned char> rightPixel = ReadPixels(kW / 2, kH / 2, 1, 1);
    EXPECT_GT(left[0], left[2]);
    EXPECT_GT(rightPixel[2], rightPixel[0]);
    right.dealloc();  // deletes its textures in its own context
    host.clock += 1.0 / 60.0;
    view.animateOneFrame();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(glIsTexture(view.ssMain->deskTex));
}

}  // namespace
