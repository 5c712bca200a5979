// The host view driven by a headless host (virtual clock, made-up screens
// and captures, preferences in memory), and the X11 host under Xvfb.
#include <GL/gl.h>
#include <GL/glu.h>
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

// On a surface that keeps its pixels, a frame that changed in parts ends by
// naming those parts, so that a host can show only them.
TEST_F(HostFixture, FramesThatChangedInPartsEndByNamingThem) {
    ASSERT_TRUE(Create(Settings(0)));
    Start();
    for (int i = 1; i <= 600; ++i)
        TickAt(1000.0 + i / 60.0);
    EXPECT_GT(host.changedFlushes, 100) << host.flushes;
    EXPECT_LT(host.changedFlushes, host.flushes);  // the first frame at least is whole
    EXPECT_LT(host.changedPixels, int64_t(host.changedFlushes) * kW * kH * 6 / 10);
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
    EXPECT_EQ(host.notices.size(), 1u);
    TickAt(host.clock + 0.02);
    EXPECT_GT(view.ssMain->totalTime, 0.0);
}

TEST_F(HostFixture, ViewsOfOneScreenSetUpInOneSecondBurnAlike) {
    host.clock = 1234.25;
    ASSERT_TRUE(Create(Settings(0)));
    Start();
    KindoraView second;  // the same second gives the same fire
    ASSERT_TRUE(second.initWithFrame(Frame(0, 0, kW, kH), false, HeadlessHostPlatform(&host)));
    second.startAnimation();
    second.animateOneFrame();
    const size_t cells = size_t(view.ssMain->fire->width) * view.ssMain->fire->width;
    EXPECT_EQ(memcmp(view.ssMain->fire->coolMap, second.ssMain->fire->coolMap, cells), 0);
    second.dealloc();
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
    // Started in the same second, the two monitors still burn differently.
    const size_t cells = size_t(view.ssMain->fire->width) * view.ssMain->fire->width;
    EXPECT_NE(memcmp(view.ssMain->fire->coolMap, right.ssMain->fire->coolMap, cells), 0);
    right.dealloc();  // deletes its textures in its own context
    host.clock += 1.0 / 60.0;
    view.animateOneFrame();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(glIsTexture(view.ssMain->deskTex));
}

}  // namespace

// ---------------------------------------------------------------------------
// The X11 host under Xvfb: two RandR monitors side by side, LEFT primary.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <random>
#include <thread>

#include "x11_capture.h"
#include "x11_errors.h"
#include "x11_monitors.h"
#include "x11_view_host.h"

namespace {

// An Xvfb of its own for this test binary, started on first use.
struct XSERVER {
    pid_t pid = -1;
    std::string name;
    std::string error;
};

pid_t StartXvfb(const std::vector<std::string>& extra, std::string* name) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-noreset", "-nolisten",
                                         "tcp", "-screen", "0", "2048x768x24"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    char number[32] = "";
    size_t got = 0;
    pollfd p = {fds[0], POLLIN, 0};
    while (got < sizeof number - 1 && poll(&p, 1, 10000) > 0) {
        const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
        if (n <= 0) break;
        got += size_t(n);
        if (memchr(number, '\n', got)) break;
    }
    close(fds[0]);
    number[got] = '\0';
    if (!got) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    *name = ":" + std::to_string(atoi(number));
    return pid;
}

XSERVER& Server() {
    static XSERVER server;
    static bool tried = false;
    if (!tried) {
        tried = true;
        server.pid = StartXvfb({}, &server.name);
        if (server.pid < 0) {
            server.error = "Xvfb could not be started";
            return server;
        }
        const std::string d = "DISPLAY=" + server.name + " ";
        if (system((d + "xrandr --setmonitor '*LEFT' 1024/270x768/203+0+0 screen").c_str()) != 0 ||
            system((d + "xrandr --setmonitor RIGHT 1024/270x768/203+1024+0 none").c_str()) != 0) {
            server.error = "xrandr --setmonitor failed";
        }
        atexit([] {
            if (Server().pid > 0) kill(Server().pid, SIGTERM);
        });
    }
    return server;
}

#define REQUIRE_X()                                                                       \
    do {                                                                                  \
        XSERVER& s_ = Server();                                                           \
        if (s_.pid < 0 || !s_.error.empty()) {                                            \
            if (RunningInCI()) FAIL() << "no X server: " << s_.error;                     \
            GTEST_SKIP() << "no X server: " << s_.error;                                  \
        }                                                                                 \
    } while (0)

struct X11Fixture : testing::Test {
    Display* display = nullptr;
    X11SESSION session;
    void SetUp() override {
        REQUIRE_X();
        display = XOpenDisplay(Server().name.c_str());
        ASSERT_NE(display, nullptr);
        session.display = display;
        session.monitors = ListMonitors(display);
    }
    void TearDown() override {
        if (display) XCloseDisplay(display);
    }
    void Fill(Drawable d, unsigned long pixel, int x, int y, int w, int h) {
        GC gc = XCreateGC(display, d, 0, nullptr);
        XSetForeground(display, gc, pixel);
        XFillRectangle(display, d, gc, x, y, unsigned(w), unsigned(h));
        XFreeGC(display, gc);
        XSync(display, False);
    }
    Window Child(int x, int y, int w, int h) {
        Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, unsigned(w),
                                            unsigned(h), 0, 0, 0);
        XSync(display, False);
        return window;
    }
    // The first pixel of the bottom row and of the top row of a capture.
    static uint32_t PixelAt(const uint8_t* rgba, uint32_t wide, uint32_t row, uint32_t x) {
        const uint8_t* p = rgba + (size_t(row) * wide + x) * 4;
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

TEST_F(X11Fixture, MonitorsComeInTheServersOrderWithThePrimaryAsMain) {
    ASSERT_EQ(session.monitors.size(), 2u);
    EXPECT_EQ(session.monitors[0].name, "LEFT");
    EXPECT_EQ(session.monitors[1].name, "RIGHT");
    EXPECT_EQ(session.monitors[1].x, 1024);
    EXPECT_EQ(MainMonitorIndex(session.monitors), 0);
    EXPECT_EQ(MonitorUnder(session.monitors, 1000, 0, 100, 100), 0);
    EXPECT_EQ(MonitorUnder(session.monitors, 1100, 0, 100, 100), 1);
    EXPECT_EQ(MonitorUnder(session.monitors, 5000, 5000, 1, 1), 0);
}

TEST_F(X11Fixture, RootCaptureReadsEachMonitorBottomRowFirst) {
    const Window root = DefaultRootWindow(display);
    Fill(root, 0xff0000, 0, 0, 1024, 384);     // LEFT, top half red
    Fill(root, 0x00ff00, 0, 384, 1024, 384);   // LEFT, bottom half green
    Fill(root, 0x0000ff, 1024, 0, 1024, 768);  // RIGHT, blue
    X11VIEWHOST host;
    std::string error;
    ASSERT_TRUE(CreateViewHost(&session, Child(10, 10, 100, 100), &host, &error)) << error;
    HOSTPLATFORM platform = X11HostPlatform(&host);
    uint8_t* rgba = nullptr;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(platform.ReadScreen(platform.context, 0, &rgba, &w, &h));
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(h, 768u);
    EXPECT_EQ(PixelAt(rgba, w, 0, 0), 0x00ff00u);
    EXPECT_EQ(PixelAt(rgba, w, h - 1, 0), 0xff0000u);
    EXPECT_EQ(rgba[3], 255);
    free(rgba);
    ASSERT_TRUE(platform.ReadScreen(platform.context, 1, &rgba, &w, &h));
    EXPECT_EQ(PixelAt(rgba, w, 0, 0), 0x0000ffu);
    free(rgba);
    EXPECT_FALSE(platform.ReadScreen(platform.context, 2, &rgba, &w, &h));
    session.grabsAllowed = false;  // the user refused screen grabs
    EXPECT_FALSE(platform.ReadScreen(platform.context, 0, &rgba, &w, &h));
    DestroyViewHost(&host);
}

TEST_F(X11Fixture, ScreenshotPropertyWinsAndARootSizedOneIsCropped) {
    const Window window = Child(1100, 10, 100, 100);
    const int depth = DefaultDepth(display, DefaultScreen(display));
    const Atom property = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
    auto setShot = [&](Pixmap pixmap) {
        XChangeProperty(display, window, property, XA_PIXMAP, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pixmap), 1);
        XSync(display, False);
    };
    X11VIEWHOST host;
    std::string error;
    ASSERT_TRUE(CreateViewHost(&session, window, &host, &error)) << error;
    HOSTPLATFORM platform = X11HostPlatform(&host);
    uint8_t* rgba = nullptr;
    uint32_t w = 0, h = 0;

    const Pixmap monitorShot = XCreatePixmap(display, window, 1024, 768, unsigned(depth));
    Fill(monitorShot, 0xffff00, 0, 0, 1024, 768);
    setShot(monitorShot);
    ASSERT_TRUE(platform.ReadScreen(platform.context, 1, &rgba, &w, &h));
    EXPECT_EQ(PixelAt(rgba, w, 0, 0), 0xffff00u);
    free(rgba);

    const Pixmap rootShot = XCreatePixmap(display, window, 2048, 768, unsigned(depth));
    Fill(rootShot, 0xff00ff, 0, 0, 1024, 768);
    Fill(rootShot, 0x00ffff, 1024, 0, 1024, 768);
    setShot(rootShot);
    ASSERT_TRUE(platform.ReadScreen(platform.context, 1, &rgba, &w, &h));
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(PixelAt(rgba, w, 0, 0), 0x00ffffu);
    free(rgba);

    XFreePixmap(display, rootShot);  // a pixmap that went away reads as nothing
    XSync(display, False);
    EXPECT_FALSE(platform.ReadScreen(platform.context, 1, &rgba, &w, &h));
    XFreePixmap(display, monitorShot);
    DestroyViewHost(&host);
}

// A double buffer that can be copied from keeps every pixel drawn: a frame
// that changed in one rectangle shows that rectangle alone, and once the
// window was covered it shows all of the frame again.
TEST_F(X11Fixture, ACopiedBackBufferShowsTheChangedRectanglesThenAllOnceCovered) {
    const int w = 200, h = 120;
    const Window window = Child(300, 200, w, h);
    XMapWindow(display, window);
    XSync(display, False);
    X11VIEWHOST host;
    std::string error;
    ASSERT_TRUE(CreateViewHost(&session, window, &host, &error)) << error;
    if (!host.doubleBuffered || !host.copySubBuffer) {
        DestroyViewHost(&host);
        GTEST_SKIP() << "the default visual is single-buffered or cannot be copied from";
    }
    HOSTPLATFORM platform = X11HostPlatform(&host);
    ASSERT_TRUE(platform.MakeCurrent(platform.context));
    EXPECT_TRUE(platform.KeepsPixels(platform.context));
    auto clear = [](float r, float g, float b) {
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    };
    auto shown = [&](int x, int yUp) {
        glFinish();
        XSync(display, False);
        XImage* image = XGetImage(display, window, x, h - 1 - yUp, 1, 1, AllPlanes, ZPixmap);
        const unsigned long pixel = image ? XGetPixel(image, 0, 0) & 0xffffff : 1;
        if (image) XDestroyImage(image);
        return pixel;
    };
    glViewport(0, 0, w, h);
    clear(1, 0, 0);
    platform.Flush(platform.context);
    EXPECT_EQ(shown(5, 5), 0xff0000u);

    clear(0, 0, 1);  // the whole back buffer, of which one rectangle is shown
    PIXELRECT changed;
    changed.x0 = 10, changed.y0 = 20, changed.x1 = 60, changed.y1 = 50;
    platform.FlushChanged(platform.context, &changed, 1);
    EXPECT_EQ(shown(10, 20), 0x0000ffu);
    EXPECT_EQ(shown(59, 49), 0x0000ffu);
    EXPECT_EQ(shown(60, 49), 0xff0000u);
    EXPECT_EQ(shown(59, 50), 0xff0000u);
    EXPECT_EQ(shown(150, 100), 0xff0000u);
    EXPECT_TRUE(platform.KeepsPixels(platform.context));  // nothing was swapped away

    host.exposed = true;  // as an Expose event sets it
    platform.FlushChanged(platform.context, &changed, 1);
    EXPECT_EQ(shown(150, 100), 0x0000ffu);
    EXPECT_EQ(shown(0, h - 1), 0x0000ffu);
    DestroyViewHost(&host);
    XDestroyWindow(display, window);
}

TEST(X11Convert, SixteenBitPixelsWidenThroughTheMasks) {
    Visual visual;
    memset(&visual, 0, sizeof visual);
    visual.c_class = TrueColor;
    visual.red_mask = 0xf800;
    visual.green_mask = 0x07e0;
    visual.blue_mask = 0x001f;
    uint16_t pixels[2] = {0xf800, 0x07ff};  // top row: red; bottom row: cyan
    XImage image;
    memset(&image, 0, sizeof image);
    image.width = 1;
    image.height = 2;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(pixels);
    image.byte_order = LSBFirst;
    image.bitmap_unit = 16;
    image.bitmap_bit_order = LSBFirst;
    image.bitmap_pad = 16;
    image.depth = 16;
    image.bytes_per_line = 2;
    image.bits_per_pixel = 16;
    image.red_mask = visual.red_mask;
    image.green_mask = visual.green_mask;
    image.blue_mask = visual.blue_mask;
    ASSERT_TRUE(XInitImage(&image));
    uint8_t* rgba = nullptr;
    ASSERT_TRUE(ConvertXImage(&image, &visual, &rgba));
    const uint8_t expected[8] = {0, 255, 255, 255, 255, 0, 0, 255};
    EXPECT_EQ(memcmp(rgba, expected, 8), 0);
    free(rgba);
    visual.c_class = PseudoColor;
    EXPECT_FALSE(ConvertXImage(&image, &visual, &rgba));
}

// The real executable: started on a display, its stderr kept.
struct RUN {
    pid_t pid = -1;
    int errFd = -1;
};

RUN StartKindora(const std::string& display, const std::vector<std::string>& args,
                 const std::string& configHome = "", const std::string& home = "") {
    RUN run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    run.pid = fork();
    if (run.pid == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        if (display.empty()) {
            unsetenv("DISPLAY");
        } else {
            setenv("DISPLAY", display.c_str(), 1);
        }
        unsetenv("XSCREENSAVER_WINDOW");
        // "-" takes the variable away.
        if (configHome == "-") {
            unsetenv("XDG_CONFIG_HOME");
        } else if (!configHome.empty()) {
            setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        }
        // A home of the test's own, so that the user's settings of this
        // machine play no part.
        const std::string ownHome = home.empty() ? configHome + "/no-home" : home;
        if (home == "-") {
            unsetenv("HOME");
        } else if (!configHome.empty() || !home.empty()) {
            setenv("HOME", ownHome.c_str(), 1);
        }
        unsetenv("XDG_CURRENT_DESKTOP");
        std::string exe = std::string(KINDORA_BINARY_DIR) + "/apps/kindora";
        std::vector<std::string> all = {exe};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    run.errFd = fds[0];
    return run;
}

// Waits up to `seconds` for the process; -1 when it is still running.
int WaitFor(const RUN& run, double seconds, std::string* err) {
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    pid_t done = 0;
    while ((done = waitpid(run.pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
        close(run.errFd);
        return -1;
    }
    char buffer[4096];
    ssize_t n = 0;
    fcntl(run.errFd, F_SETFL, O_NONBLOCK);
    while ((n = read(run.errFd, buffer, sizeof buffer)) > 0) err->append(buffer, size_t(n));
    close(run.errFd);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// Waits until the process catches SIGTERM and SIGINT, so that a test's signal lands
// in the saver and not in the loading of its libraries.
bool WaitUntilCatchingSignals(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    for (int i = 0; i < 2000; ++i) {
        std::ifstream status(path);
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0 &&
                ((std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1) &&
                ((std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1)) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::string ConfigHome() {
    const fs::path dir = fs::path(testing::TempDir()) / ("kindora-x11-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir.string();
}

std::string Hex(Window w) {
    char text[32];
    snprintf(text, sizeof text, "0x%lx", w);
    return text;
}

TEST_F(X11Fixture, DrawsIntoTheGivenWindow) {
    Fill(DefaultRootWindow(display), 0xc08040, 0, 0, 2048, 768);
    const Window window = Child(100, 100, 600, 400);
    XMapWindow(display, window);
    XSync(display, False);
    RUN run = StartKindora(Server().name, {"--window-id", Hex(window)}, ConfigHome());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // The window shows its monitor as captured: the root's colour around the
    // black of the window itself.
    XImage* image = XGetImage(display, window, 0, 0, 600, 400, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int coloured = 0;
    for (int y = 0; y < 400; y += 20) {
        for (int x = 0; x < 600; x += 20) coloured += (XGetPixel(image, x, y) & 0xffffff) != 0;
    }
    XDestroyImage(image);
    EXPECT_GT(coloured, 300) << "the window stayed black";
    kill(run.pid, SIGTERM);
    std::string err;
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    EXPECT_EQ(err, "");
    XDestroyWindow(display, window);
}

// The share of a grid of the window's pixels that show the green test
// picture rather than the red screen under it. Flames may burn at any spot a
// few seconds in, so no single pixel can tell.
double GreenShare(Display* display, Window window, int width, int height) {
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return 0.0;
    int green = 0, all = 0;
    for (int y = 10; y < height; y += 40) {
        for (int x = 10; x < width; x += 40, ++all) {
            const unsigned long pixel = XGetPixel(image, x, y) & 0xffffff;
            green += ((pixel >> 8) & 0xff) > 150 && (pixel >> 16) < 60;
        }
    }
    XDestroyImage(image);
    return all ? double(green) / all : 0.0;
}

// A user who refused screen grabs in XScreenSaver gets the desktop picture.
TEST_F(X11Fixture, RefusedGrabsGiveTheDesktopPicture) {
    Fill(DefaultRootWindow(display), 0xff0000, 0, 0, 2048, 768);
    const fs::path home = fs::path(ConfigHome()) / "home";
    fs::create_directories(home);
    std::ofstream(home / ".xscreensaver") << "grabDesktopImages:\tFalse\n";
    const fs::path picture = fs::path(KINDORA_TEST_DATA) / "pictures" / "green.png";
    std::ofstream(home / ".fehbg") << "feh --bg-fill '" << picture.string() << "'\n";
    ASSERT_TRUE(fs::exists(picture));
    const Window window = Child(0, 0, 1024, 768);
    XMapWindow(display, window);
    XSync(display, False);
    RUN run = StartKindora(Server().name, {"--window-id", Hex(window)}, ConfigHome(), home);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_GT(GreenShare(display, window, 1024, 768), 0.5);
    kill(run.pid, SIGTERM);
    std::string err;
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    XDestroyWindow(display, window);
}

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Switches change the run, never the stored settings.
TEST_F(X11Fixture, SwitchesChangeTheRunAndLeaveTheKeyFileAlone) {
    Fill(DefaultRootWindow(display), 0xff0000, 0, 0, 2048, 768);
    const fs::path config = fs::path(ConfigHome()) / "switches";
    const fs::path home = config / "home";
    fs::create_directories(home);
    const fs::path picture = fs::path(KINDORA_TEST_DATA) / "pictures" / "green.png";
    std::ofstream(home / ".fehbg") << "feh --bg-fill '" << picture.string() << "'\n";
    const Window window = Child(0, 0, 1024, 768);
    XMapWindow(display, window);
    XSync(display, False);
    std::string err;
    RUN first = StartKindora(Server().name, {"--window-id", Hex(window)}, config.string(),
                             home.string());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(first.pid, SIGTERM);
    ASSERT_EQ(WaitFor(first, 1.0, &err), 0);
    const fs::path keyFile = config / "kindora" / "qxKindora.conf";
    const std::string stored = FileBytes(keyFile);
    ASSERT_NE(stored.find("BGType=0"), std::string::npos) << stored;

    RUN run = StartKindora(Server().name,
                           {"--window-id", Hex(window), "--bg-type", "1", "--fire-res", "2",
                            "--burn-style", "0", "--main-monitor-only", "--folder", "/tmp"},
                           config.string(), home.string());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_GT(GreenShare(display, window, 1024, 768), 0.5);  // the desktop picture, not the red screen
    kill(run.pid, SIGTERM);
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    EXPECT_EQ(FileBytes(keyFile), stored);
    XDestroyWindow(display, window);
}

// The key file of a store with a picture folder as background.
void WriteKeyFile(const fs::path& configHome, const std::string& folder) {
    fs::create_directories(configHome / "kindora");
    std::ofstream(configHome / "kindora" / "qxKindora.conf")
        << "[qxKindora]\nversion=1.1\nMainMonitorOnly=false\nFireRes=0\nBurnStyle=1\n"
           "BurnSpeed=20\nBurnDelay=20\nColours=0\nBGType=2\nBGRes=0\nBGPath="
        << folder << "\n";
}

// Runs kindora in the window for a while: it must keep running, end at once
// on SIGTERM with status 0, and never hit a sanitizer.
void RunsAndStops(const std::string& display, Window window, const std::string& configHome,
                  const std::string& home, const std::string& what) {
    RUN run = StartKindora(display, {"--window-id", Hex(window)}, configHome, home);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(waitpid(run.pid, nullptr, WNOHANG), 0) << what << ": it ended by itself";
    kill(run.pid, SIGTERM);
    std::string err;
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0) << what << ": " << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << what << ": " << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << what << ": " << err;
}

TEST_F(X11Fixture, HostileHomesAndConfigFoldersNeitherStopItNorLoseSettings) {
    const fs::path base = fs::path(ConfigHome()) / "hostile";
    fs::create_directories(base);
    const Window window = Child(0, 0, 800, 600);
    XMapWindow(display, window);
    XSync(display, False);
    const std::string name = Server().name;
    RunsAndStops(name, window, "-", "-", "HOME and XDG_CONFIG_HOME unset");
    RunsAndStops(name, window, "-", "/nonexistent/home", "a home that does not exist");
    RunsAndStops(name, window, "relative/config", (base / "h1").string(), "a relative config folder");
    std::ofstream(base / "a-file") << "not a folder";
    RunsAndStops(name, window, (base / "a-file").string(), (base / "h2").string(),
                 "a config folder that is a file");
    // A read-only folder holding good settings: they are used and kept.
    const fs::path readOnly = base / "read-only";
    WriteKeyFile(readOnly, "/usr/share/backgrounds/");
    const std::string before = FileBytes(readOnly / "kindora" / "qxKindora.conf");
    chmod((readOnly / "kindora").c_str(), 0500);
    chmod(readOnly.c_str(), 0500);
    RunsAndStops(name, window, readOnly.string(), (base / "h3").string(), "a read-only config");
    chmod(readOnly.c_str(), 0700);
    chmod((readOnly / "kindora").c_str(), 0700);
    EXPECT_EQ(FileBytes(readOnly / "kindora" / "qxKindora.conf"), before);
    // A damaged key file is set aside, not overwritten unread.
    const fs::path damaged = base / "damaged";
    fs::create_directories(damaged / "kindora");
    std::ofstream(damaged / "kindora" / "qxKindora.conf") << "[qxKindora\n\xff\xfe garbage";
    RunsAndStops(name, window, damaged.string(), (base / "h4").string(), "a damaged key file");
    int setAside = 0;
    for (const auto& entry : fs::directory_iterator(damaged / "kindora")) {
        setAside += entry.path().filename().string().find(".bad-") != std::string::npos;
    }
    EXPECT_EQ(setAside, 1);
    XDestroyWindow(display, window);
}

// A picture folder of odd names: not UTF-8, a symbolic link to itself, a
// link to a folder that loops, a FIFO named like a picture, and many entries.
TEST_F(X11Fixture, OddPictureFoldersNeitherStopItNorHangIt) {
    const fs::path base = fs::path(ConfigHome()) / "odd-folder";
    const fs::path pictures = base / "pictures";
    fs::create_directories(pictures);
    std::ofstream(pictures / "caf\xe9-\xff.jpg") << "not a picture at all";
    fs::create_symlink("self.png", pictures / "self.png");
    fs::create_symlink(".", pictures / "loop.gif");
    mkfifo((pictures / "pipe.jpg").c_str(), 0600);
    for (int i = 0; i < 5000; ++i) std::ofstream(pictures / ("note-" + std::to_string(i) + ".txt"));
    WriteKeyFile(base / "config", pictures.string());
    const Window window = Child(0, 0, 800, 600);
    XMapWindow(display, window);
    XSync(display, False);
    RunsAndStops(Server().name, window, (base / "config").string(), (base / "home").string(),
                 "an odd picture folder");
    XDestroyWindow(display, window);
}

// SIGTERM or SIGINT at fixed moments of set-up and running, then at moments
// drawn from a seeded generator (KINDORA_SIGNAL_TRIALS sets how many, 24 by
// default): each ends it within a second, with status 0 and nothing said.
TEST_F(X11Fixture, TerminatingSignalsEndItQuietlyAtAnyMoment) {
    const Window window = Child(0, 0, 1024, 768);
    XMapWindow(display, window);
    XSync(display, False);
    std::vector<int> delays = {0, 5, 20, 50, 100, 200, 400, 1500};
    const char* trials = getenv("KINDORA_SIGNAL_TRIALS");
    std::mt19937 draw(20261208);
    for (int i = 0, n = trials ? atoi(trials) : 24; i < n; ++i)
        delays.push_back(int(draw() % 1200));
    for (size_t i = 0; i < delays.size(); ++i) {
        const int signal = i % 3 == 2 ? SIGINT : SIGTERM;
        const std::string when =
            "signal " + std::to_string(signal) + " after " + std::to_string(delays[i]) + " ms";
        RUN run = StartKindora(Server().name, {"--root", "--window-id", Hex(window)}, ConfigHome());
        ASSERT_TRUE(WaitUntilCatchingSignals(run.pid)) << when;
        std::this_thread::sleep_for(std::chrono::milliseconds(delays[i]));
        kill(run.pid, signal);
        std::string err;
        EXPECT_EQ(WaitFor(run, 1.0, &err), 0) << when;
        EXPECT_EQ(err, "") << when;
    }
    XDestroyWindow(display, window);
}

TEST_F(X11Fixture, SigintAndAPauseWithSigstop) {
    const Window window = Child(0, 0, 1024, 768);
    XMapWindow(display, window);
    XSync(display, False);
    RUN run = StartKindora(Server().name, {"--window-id", Hex(window)}, ConfigHome());
    ASSERT_TRUE(WaitUntilCatchingSignals(run.pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // Paused as MATE pauses a saver, then let go: it carries on and still
    // answers the next signal at once.
    kill(run.pid, SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    kill(run.pid, SIGCONT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string err;
    EXPECT_EQ(waitpid(run.pid, nullptr, WNOHANG), 0);
    kill(run.pid, SIGINT);
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    EXPECT_EQ(err, "");
    XDestroyWindow(display, window);
}

TEST(KindoraCommand, ServerKilledUnderItEndsIt) {
    std::string name;
    const pid_t server = StartXvfb({}, &name);
    if (server < 0) {
        if (RunningInCI()) FAIL() << "Xvfb could not be started";
        GTEST_SKIP() << "Xvfb could not be started";
    }
    RUN run = StartKindora(name, {"--window", "640x400"}, ConfigHome());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    std::string err;
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(X11Fixture, WindowDestroyedUnderItEndsItWithAtMostOneLine) {
    const Window window = Child(0, 0, 800, 600);
    XMapWindow(display, window);
    XSync(display, False);
    RUN run = StartKindora(Server().name, {"--window-id", Hex(window)}, ConfigHome());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    XDestroyWindow(display, window);
    XSync(display, False);
    std::string err;
    EXPECT_EQ(WaitFor(run, 1.0, &err), 0);
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(KindoraCommand, UsageNoDisplayAndNoGLX) {
    std::string err;
    EXPECT_EQ(WaitFor(StartKindora("", {"--bogus"}), 5.0, &err), 2);
    EXPECT_NE(err.find("usage: kindora"), std::string::npos);
    err.clear();
    EXPECT_EQ(WaitFor(StartKindora("", {"--window-id", "zebra"}), 5.0, &err), 2);
    err.clear();
    EXPECT_EQ(WaitFor(StartKindora(":9999", {}), 5.0, &err), 1);
    EXPECT_NE(err.find("kindora-render"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    std::string name;
    const pid_t server = StartXvfb({"-extension", "GLX"}, &name);
    if (server < 0) {
        if (RunningInCI()) FAIL() << "Xvfb could not be started";
        GTEST_SKIP() << "Xvfb could not be started";
    }
    err.clear();
    EXPECT_EQ(WaitFor(StartKindora(name, {}), 5.0, &err), 1);
    EXPECT_NE(err.find("GLX"), std::string::npos) << err;
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// The capture's texture and fire copy are GLU's box filter of the screen, byte
// for byte, on a noisy screen: enlarging one side and shrinking the other
// (1080p), and odd sides shrunk to a square.
TEST(CaptureScaling, TextureAndFireCopyAreGlusScaling) {
    const struct {
        uint32_t wide, high;
        int detail;
    } screens[] = {{1920, 1080, 2}, {1366, 777, 1}};
    for (const auto& screen : screens) {
        HEADLESSHOST host;
        if (!CreateHeadlessHost(&host, 64, 64)) {
            if (RunningInCI()) FAIL() << "no headless GL: " << host.gl.error;
            GTEST_SKIP() << "no headless GL: " << host.gl.error;
        }
        host.resourceFolder = Resources().path.string();
        host.screens = {HeadlessScreen(0, 0, 0, float(screen.wide), float(screen.high))};
        HEADLESSHOST::Capture capture = SolidCapture(screen.wide, screen.high, 0, 0, 0);
        uint32_t seed = screen.wide;
        for (auto& b : capture.rgba) {
            seed = seed * 1664525u + 1013904223u;
            b = uint8_t(seed >> 24);
        }
        host.captures[0] = capture;
        StoreSettings(&host, Settings(0, screen.detail), false);
        KindoraView view;
        HOSTRECT frame;
        frame.width = float(screen.wide);
        frame.height = float(screen.high);
        ASSERT_TRUE(view.initWithFrame(frame, false, HeadlessHostPlatform(&host)));
        ASSERT_NE(view.DeskTex.texID, 0u);
        ASSERT_NE(view.dtData, nullptr);
        GLint tw = 0, th = 0;
        glBindTexture(GL_TEXTURE_2D, view.DeskTex.texID);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
        std::vector<uint8_t> texels(size_t(tw) * th * 4), expected(texels.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        ASSERT_EQ(gluScaleImage(GL_RGBA, GLint(screen.wide), GLint(screen.high), GL_UNSIGNED_BYTE,
                                capture.rgba.data(), tw, th, GL_UNSIGNED_BYTE, expected.data()),
                  0);
        EXPECT_TRUE(texels == expected) << screen.wide << "x" << screen.high;
        std::vector<uint8_t> copy(128 * 128 * 4);
        ASSERT_EQ(gluScaleImage(GL_RGBA, tw, th, GL_UNSIGNED_BYTE, expected.data(), 128, 128,
                                GL_UNSIGNED_BYTE, copy.data()),
                  0);
        EXPECT_EQ(memcmp(view.dtData, copy.data(), copy.size()), 0) << screen.wide;
        view.dealloc();
    }
}

}  // namespace
