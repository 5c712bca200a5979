// kindora-render: runs the saver core headless, as a host would, with a
// fixed time step, and writes frames as PNG files, so that what the saver
// draws can be looked at on a machine without a display.
#include <GL/gl.h>
#include <GL/glu.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli.h"
#include "headless_host.h"
#include "kindora_view.h"
#include "picfile.h"
#include "picture_decode.h"
#include "png_writer.h"
#include "random_choice.h"
#include "test_picture.h"

namespace {

struct RenderOptions {
    int size[2] = {1280, 720};
    bool preview = false;
    double seconds = 10.0;
    long fps = 30;
    double framesEvery = 1.0;
    const char* out = "frames";
    long bgRes = 1;
    const char* picture = nullptr;
    const char* folder = nullptr;
    FireOptions fire;
};

void Usage() {
    fprintf(stderr,
            "usage: kindora-render [--size WxH] [--preview] [--seconds S] [--fps N] "
            "[--frames-every S] [--out DIR] [--bg-res N] [--picture FILE | --folder DIR] "
            "[--seed N] [--fire-res N] "
            "[--burn-style N] [--colours N] [--burn-speed N] [--burn-delay N]\n");
}

bool ParseOptions(int argc, char** argv, RenderOptions* o) {
    std::vector<CliOption> table = {
        {"--size", CliOption::kSize, o->size},
        {"--preview", CliOption::kFlag, &o->preview},
        {"--seconds", CliOption::kReal, &o->seconds},
        {"--fps", CliOption::kInteger, &o->fps, 1, 1000},
        {"--frames-every", CliOption::kReal, &o->framesEvery},
        {"--out", CliOption::kText, &o->out},
        {"--bg-res", CliOption::kInteger, &o->bgRes, INT_MIN, INT_MAX},
        {"--picture", CliOption::kText, &o->picture},
        {"--folder", CliOption::kText, &o->folder},
    };
    AddFireOptions(&o->fire, &table);
    return ParseCli(argc, argv, table) && o->seconds >= 0 && o->seconds <= 86400 &&
           o->framesEvery > 0 && !(o->picture && o->folder);
}

// The screen the view captures: the made-up picture at the texture size the
// detail setting gives, so that the capture's scaling keeps it as drawn.
HEADLESSHOST::Capture MadeUpScreen(int viewWidth, int viewHeight, int32_t bgRes) {
    int tw = 1024, th = 1024;
    if (bgRes == 0) {
        tw = th = 512;
    } else if (bgRes != 1) {
        GLint maxSide = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
        tw = int(TextureSideFor(uint32_t(viewWidth), uint32_t(maxSide)));
        th = int(TextureSideFor(uint32_t(viewHeight), uint32_t(maxSide)));
    }
    HEADLESSHOST::Capture screen;
    uint8_t* pixels = MakeTestPicture(tw, th);
    if (!pixels) return screen;
    screen.wide = uint32_t(tw);
    screen.high = uint32_t(th);
    screen.rgba.assign(pixels, pixels + size_t(tw) * th * 4);
    free(pixels);
    return screen;
}

// A picture file or folder must offer something to burn before the view
// starts, so that a bad one is named rather than replaced by the fixed picture.
bool CheckBackground(const RenderOptions& o) {
    if (o.picture) {
        PictureBitmap bitmap;
        PictureReason reason;
        if (!DecodePictureFile(o.picture, &bitmap, &reason)) {
            fprintf(stderr, "kindora-render: %s: %s\n", o.picture, reason.text);
            return false;
        }
        free(bitmap.pixels);
    }
    if (o.folder) {
        int32_t files = 0;
        for (const char* ext : kPictureExtensions)
            files += CountFiles(o.folder, ext);
        if (files <= 0) {
            fprintf(stderr, "kindora-render: %s: no .jpg, .gif or .png files\n", o.folder);
            return false;
        }
    }
    return true;
}

// The host around the view: one screen the size of the view, the settings
// from the command line, and a clock that starts at the seed so that the
// view's seeding gives the same fire for the same seed.
bool SetUpHost(const RenderOptions& o, HEADLESSHOST* host) {
    const int width = o.size[0], height = o.size[1];
    if (!CreateHeadlessHost(host, width, height)) {
        fprintf(stderr, "kindora-render: no OpenGL context: %s\n", host->gl.error);
        return false;
    }
    SETTINGS settings = FireSettings(o.fire, int32_t(o.bgRes));
    if (o.picture) {
        settings.BGTYPE = 1;
        host->desktopPictures[0] = o.picture;
    } else if (o.folder) {
        settings.BGTYPE = 2;
        SetBGPath(&settings, o.folder);
    }
    StoreSettings(host, settings, false);
    host->screens.push_back(HeadlessScreen(0, 0, 0, float(width), float(height)));
    if (!o.picture && !o.folder)
        host->captures[0] = MadeUpScreen(width, height, o.preview ? 0 : settings.BGRES);
    host->clock = double(o.fire.seed);
    return true;
}

bool MakeFolder(const char* path) {
    if (mkdir(path, 0755) == 0 || errno == EEXIST) return true;
    fprintf(stderr, "kindora-render: cannot create %s: %s\n", path, strerror(errno));
    return false;
}

bool WriteFrame(const char* folder, double seconds, int width, int height,
                std::vector<uint8_t>* pixels) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels->data());
    for (size_t i = 3; i < pixels->size(); i += 4)
        (*pixels)[i] = 255;  // the screen is opaque
    char path[4096];
    snprintf(path, sizeof path, "%s/frame-%07.2f.png", folder, seconds);
    if (!WritePngBottomUp(path, pixels->data(), width, height)) return false;
    printf("%s\n", path);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    RenderOptions o;
    if (!ParseOptions(argc, argv, &o)) {
        Usage();
        return 2;
    }
    const int width = o.size[0], height = o.size[1];
    InstallPlatformPictureDecoder();
    if (!CheckBackground(o)) return 1;
    HEADLESSHOST host;
    if (!SetUpHost(o, &host)) return 1;
    if (!MakeFolder(o.out)) return 1;

    KindoraView view;
    HOSTRECT frame;
    frame.width = float(width);
    frame.height = float(height);
    if (!view.initWithFrame(frame, o.preview, HeadlessHostPlatform(&host))) return 1;
    view.startAnimation();
    const double start = host.clock;
    view.animateOneFrame();  // the set-up tick, which draws nothing
    for (const std::string& notice : host.notices)
        fprintf(stderr, "kindora-render: %s\n", notice.c_str());

    const double dt = 1.0 / double(o.fps);
    const long frames = lround(o.seconds * double(o.fps));
    const long writeEvery = std::max(1L, lround(o.framesEvery * double(o.fps)));
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (long frame = 1; frame <= frames; ++frame) {
        host.clock = start + double(frame) * dt;
        view.animateOneFrame();
        if (frame % writeEvery != 0 && frame != frames) continue;
        if (!WriteFrame(o.out, double(frame) * dt, width, height, &pixels)) return 1;
    }
    view.dealloc();
    return 0;
}
