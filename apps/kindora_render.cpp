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

#include "background.h"
#include "bundle.h"
#include "cli.h"
#include "fireclass.h"
#include "headless_gl.h"
#include "pack_loader.h"
#include "picfile.h"
#include "picture_decode.h"
#include "png_writer.h"
#include "ssmain.h"
#include "test_picture.h"
#include "texture.h"

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

// The host's GL state and projection, set at every resize.
void SetUpView(int width, int height) {
    glViewport(0, 0, width, height);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
}

void Perspective(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, float(width) / float(height), 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Uploads the made-up picture as the background and copies it, at the
// fire's resolution, into the fire's desktop plane.
bool InstallTestPicture(SSMAIN* main, int viewWidth, int viewHeight, long bgRes) {
    int tw = 1024, th = 1024;
    if (bgRes == 0) {
        tw = th = 512;
    } else if (bgRes != 1) {
        // The view's own size, rounded as a picture file's would be.
        GLint maxSide = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
        tw = int(TextureSideFor(uint32_t(viewWidth), uint32_t(maxSide)));
        th = int(TextureSideFor(uint32_t(viewHeight), uint32_t(maxSide)));
    }
    Texture picture;
    picture.imageData = MakeTestPicture(tw, th);
    if (!picture.imageData) return false;
    picture.width = uint32_t(tw);
    picture.height = uint32_t(th);
    picture.bpp = 32;
    picture.type = GL_RGBA;
    if (main->fire && main->fire->desk) {
        const int side = main->fire->width;
        gluScaleImage(GL_RGBA, tw, th, GL_UNSIGNED_BYTE, picture.imageData, side, side,
                      GL_UNSIGNED_BYTE, main->fire->desk);
        main->fire->ResetDesktop();
    }
    if (!BuildTexture(&picture, kAlphaOpaque)) return false;
    main->deskTex = picture.texID;
    picture.texID = 0;  // the main object owns it now
    return true;
}

// Loads the background from a picture file or a random file of a folder,
// as the saver does, and hands the fire its copy.
bool InstallPictureFile(SSMAIN* main, const RenderOptions& o, const SETTINGS& settings) {
    InstallPlatformPictureDecoder();
    BackgroundPicture background;
    const bool loaded =
        o.picture
            ? LoadBackgroundFile(o.picture, settings.BGRES, settings.FIRERES, &background)
            : LoadBackgroundFromFolder(o.folder, settings.BGRES, settings.FIRERES, &background);
    if (!loaded) {
        fprintf(stderr, "kindora-render: %s\n", background.reason.text);
        return false;
    }
    if (o.folder) fprintf(stderr, "kindora-render: burning %s\n", background.path);
    main->deskTex = background.texture.texID;
    background.texture.texID = 0;  // the main object owns it now
    if (main->fire && main->fire->desk && background.fireSide == main->fire->width) {
        const size_t side = size_t(background.fireSide);
        memcpy(main->fire->desk, background.fireCopy, side * side * 4);
        main->fire->ResetDesktop();
    }
    return true;
}

bool InstallPack(SSMAIN* main) {
    char path[4096];
    if (!BundleResourcePath("zarnish", "vellumry", path, sizeof path)) {
        fprintf(stderr, "kindora-render: the resource pack zarnish.vellumry was not found\n");
        return false;
    }
    if (!LoadTexturesFromDataFile(path, &main->textures, &main->texCount)) {
        fprintf(stderr, "kindora-render: the resource pack %s did not load\n", path);
        return false;
    }
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
    HeadlessGL gl;
    if (!gl.Create(width, height)) {
        fprintf(stderr, "kindora-render: no OpenGL context: %s\n", gl.error);
        return 1;
    }
    if (!MakeFolder(o.out)) return 1;
    SetUpView(width, height);
    Perspective(width, height);

    srand(unsigned(o.fire.seed));
    SSMAIN main;
    SETTINGS settings = FireSettings(o.fire, int32_t(o.preview ? 0 : o.bgRes));
    if (!main.Setup(o.preview, width, height, &settings)) {
        fprintf(stderr, "kindora-render: out of memory setting up the saver\n");
        return 1;
    }
    InstallPack(&main);  // without it the banner and caption stay away
    if (o.picture || o.folder) {
        if (!InstallPictureFile(&main, o, settings)) return 1;
    } else if (!InstallTestPicture(&main, width, height, settings.BGRES)) {
        fprintf(stderr, "kindora-render: out of memory making the picture\n");
        return 1;
    }
    glClear(GL_COLOR_BUFFER_BIT);

    const double dt = 1.0 / double(o.fps);
    const long frames = lround(o.seconds * double(o.fps));
    const long writeEvery = std::max(1L, lround(o.framesEvery * double(o.fps)));
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (long frame = 1; frame <= frames; ++frame) {
        main.Update(dt);
        Perspective(width, height);
        main.Draw();
        glFlush();
        if (frame % writeEvery != 0 && frame != frames) continue;
        if (!WriteFrame(o.out, frame * dt, width, height, &pixels)) return 1;
    }
    main.Cleanup();
    return 0;
}
