#include "kindora_view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "fireclass.h"
#include "memory_store.h"
#include "pack_loader.h"
#include "picfile.h"
#include "random_choice.h"
#include "ssmain.h"

bool KindoraView::initWithFrame(const HOSTRECT& frame, bool isPreview, const HOSTPLATFORM& host) {
    // The store is opened first; a platform without one leaves it empty and
    // the settings come out as the defaults.
    PREFSTORE store;
    if (host.OpenPrefStore) host.OpenPrefStore(host.context, kPrefsModuleName, &store);
    if (!ScreenSaverView::initWithFrame(frame, isPreview, host)) {
        ClosePrefStore(&store);
        return false;
    }
    defaults = store;
    // The platform made the OpenGL surface for the window before the view.
    viewAllocated = true;
    glReady = false;
    if (!defaults.ReadString) {
        // No store could be opened: the defaults, kept in memory for this run.
        scratchStore = new (std::nothrow) MEMORYSTORE;
        if (scratchStore) defaults = MemoryStoreInterface(scratchStore);
    }
    if (defaults.ReadString) LoadSettings(defaults, &mySettings, &MainMonitorOnly);
    if (platform.OverrideSettings) {
        platform.OverrideSettings(platform.context, &mySettings, &MainMonitorOnly);
    }
    Scrn = bounds();
    ThisScreenIsOn = true;
    initialized = false;
    setAnimationTimeInterval(1.0 / 60.0);
    if (mySettings.BGTYPE == 0) {
        DeskTex.texID = 0;
        GetDesktopTexture(&DeskTex.texID, isPreview ? 0 : mySettings.BGRES, frame);
        // Only this view's record changes; the store keeps saying 0.
        if (DeskTex.texID == 0) mySettings.BGTYPE = 1;
    }
    return true;
}

void KindoraView::startAnimation() {
    ThisScreenIsOn = true;
    if (MainMonitorOnly && platform.MainScreen &&
        windowScreen() != platform.MainScreen(platform.context)) {
        ThisScreenIsOn = false;
    }
    // Every view, taking part or not, shows opaque black at once.
    if (MakeCurrent()) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        platform.Flush(platform.context);
    }
    ScreenSaverView::startAnimation();
}

void KindoraView::stopAnimation() {
    ScreenSaverView::stopAnimation();
}

void KindoraView::setFrameSize(float width, float height) {
    ScreenSaverView::setFrameSize(width, height);
    glReady = false;
}

void KindoraView::glInit() {
    Scrn = bounds();
    const int w = int(Scrn.width), h = int(Scrn.height);
    glViewport(0, 0, w, h);
    if (ssMain) ssMain->SetSize(w, h);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glReshape();
}

void KindoraView::glReshape() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, Scrn.width / Scrn.height, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void KindoraView::animateOneFrame() {
    if (!ThisScreenIsOn) {
        stopAnimation();
        return;
    }
    // A window that has gone takes its context with it: nothing to draw on.
    if (!MakeCurrent()) return;
    if (!glReady) {
        glInit();
        glReady = true;
    }
    if (!initialized) {
        mainSetup();
        initialized = true;
        glClear(GL_COLOR_BUFFER_BIT);
    }
    const double dt = Now() - animtime;
    if (dt > 2.0) {
        // A long pause is skipped rather than burnt through in one step.
        animtime = Now();
        return;
    }
    if (dt > 0.01) {
        animtime = Now();
        if (ssMain) ssMain->Update(dt);
        glReshape();
        if (ssMain) {
            ssMain->keepsPixels = platform.KeepsPixels && platform.KeepsPixels(platform.context);
            ssMain->Draw();
        }
        if (ssMain && !ssMain->damage.whole && platform.FlushChanged) {
            platform.FlushChanged(platform.context, ssMain->damage.rects, ssMain->damage.count);
        } else {
            platform.Flush(platform.context);
        }
    }
}

void KindoraView::dealloc() {
    if (!viewAllocated) return;
    MakeCurrent();
    if (ssMain) {
        ssMain->Cleanup();
        delete ssMain;
        ssMain = nullptr;
    }
    delete[] dtData;
    dtData = nullptr;
    // A background never handed over (a view that took no part) and any
    // pixels a loader left go with the view, in the view's own context.
    free(DeskTex.imageData);
    DeskTex.imageData = nullptr;
    if (DeskTex.texID) glDeleteTextures(1, &DeskTex.texID);
    DeskTex.texID = 0;
    ClosePrefStore(&defaults);
    delete scratchStore;
    scratchStore = nullptr;
    viewAllocated = false;
    animating = false;
}

// A loader's new copy replaces the one held (a capture's, say).
void KindoraView::KeepFireCopy(uint8_t* fresh) {
    if (!fresh) return;
    delete[] dtData;
    dtData = fresh;
}

bool KindoraView::LoadFallbackPicture() {
    char path[1024] = "";
    if (!platform.ResourcePath || !platform.ResourcePath(platform.context, kFallbackPictureName,
                                                         kFallbackPictureType, path, sizeof path)) {
        return false;
    }
    uint8_t* fresh = nullptr;
    const bool loaded = loadPicFile(path, &DeskTex, kTextureSize512, &fresh, mySettings.FIRERES);
    KeepFireCopy(fresh);
    return loaded;
}

void KindoraView::LoadDesktopPicture(int sizeChoice) {
    char path[1024] = "";
    const int32_t screen = windowScreen();
    const bool known = platform.DesktopPicturePath &&
                       platform.DesktopPicturePath(platform.context, screen, path, sizeof path);
    path[sizeof path - 1] = '\0';
    if (!known || strlen(path) <= kShortestPicturePath) {
        LoadFallbackPicture();
        return;
    }
    uint8_t* fresh = nullptr;
    const bool loaded = loadPicFile(path, &DeskTex, sizeChoice, &fresh, mySettings.FIRERES);
    KeepFireCopy(fresh);
    // A desktop picture that cannot be read (gone, or in a form nobody
    // decodes) would leave only black to burn: the fixed picture stands in.
    if (!loaded) LoadFallbackPicture();
}

void KindoraView::LoadFolderPicture(int sizeChoice) {
    uint8_t* fresh = nullptr;
    const bool loaded =
        LoadPicture(mySettings.BGPath, &DeskTex, sizeChoice, &fresh, mySettings.FIRERES);
    KeepFireCopy(fresh);
    if (!loaded) LoadFallbackPicture();
}

void KindoraView::HandBackgroundToMain() {
    ssMain->deskTex = DeskTex.texID;
    DeskTex.texID = 0;  // the main object owns it from now on
    FIRECLASS* fire = ssMain->fire;
    if (fire && fire->desk && dtData) {
        const size_t side = size_t(fire->width);
        memcpy(fire->desk, dtData, side * side * 4);
        fire->ResetDesktop();
    }
    delete[] dtData;
    dtData = nullptr;
}

bool KindoraView::mainSetup() {
    const HOSTRECT area = bounds();
    // The time in whole seconds, moved on by the screen's number: the views
    // of several monitors start in the same second, often in processes of
    // their own, and would otherwise burn in step.
    srand(uint32_t(int64_t(Now())) + uint32_t(windowScreen()));
    if (ssMain) {
        ssMain->Cleanup();
        delete ssMain;
        ssMain = nullptr;
    }
    ssMain = new (std::nothrow) SSMAIN;
    if (!ssMain) return false;
    if (!ssMain->Setup(isPreview(), int(area.width), int(area.height), &mySettings)) {
        // A fire that was never set up must not burn.
        ssMain->Cleanup();
        return false;
    }
    char pack[1024] = "";
    if (!platform.ResourcePath ||
        !platform.ResourcePath(platform.context, "zarnish", "vellumry", pack, sizeof pack)) {
        Notice("the resource pack zarnish.vellumry is missing; no banner or caption");
        return false;
    }
    if (!LoadTexturesFromDataFile(pack, &ssMain->textures, &ssMain->texCount)) {
        Notice("the resource pack did not load; no banner or caption");
        return false;
    }
    const int sizeChoice = isPreview() ? kTextureSize512 : mySettings.BGRES;
    if (mySettings.BGTYPE == 1) LoadDesktopPicture(sizeChoice);
    if (mySettings.BGTYPE == 2) LoadFolderPicture(sizeChoice);
    HandBackgroundToMain();
    animtime = Now();
    return true;
}
