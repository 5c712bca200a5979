#include "fireclass.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "tables.h"
#include "vector_path.h"

namespace {

// The planes start on a cache line: a run of sixteen cells, or of their
// colours, then spans no more lines than it must.
constexpr std::align_val_t kPlaneAlignment{64};

uint8_t* NewPlane(size_t bytes) {
    uint8_t* plane = new (kPlaneAlignment, std::nothrow) uint8_t[bytes];
    if (plane) memset(plane, 0, bytes);
    return plane;
}

void DeletePlane(uint8_t* plane) {
    if (plane) operator delete[](plane, kPlaneAlignment);
}

}  // namespace

FIRECLASS::FIRECLASS()
    : heatMem(nullptr),
      nextMem(nullptr),
      coolMap(nullptr),
      heat(nullptr),
      nextHeat(nullptr),
      fireImage(nullptr),
      palette(),
      deskMem(nullptr),
      hotzones(),
      numHotzones(0),
      spawnTimer(0.0f),
      resetTimer(0.0f),
      mesh(),
      warpPhase(0),
      blockSize(0),
      restLength(),
      sparks(),
      numSparks(0),
      fireTexID(0),
      width(0),
      height(0),
      desk(nullptr),
      FIRERES(0),
      BURNSTYLE(0),
      COLOURS(0),
      BURNSPEED(0),
      BURNDELAY(0),
      packedPalette(),
      coldHeat(0),
      coolMem(nullptr),
      coldRuns(nullptr),
      under(nullptr),
      underMarks(nullptr),
      paintedLeft(0),
      paintedRight(-1),
      paintedTop(0),
      paintedBottom(-1),
      hotGroups(),
      flameGroups(),
      hotGroupsValid(false),
      wideForms(CpuRunsAvx2()) {}

FIRECLASS::~FIRECLASS() {
    Cleanup();
}

void FIRECLASS::Setup(SETTINGS settings) {
    Cleanup();  // a second set-up starts afresh
    FIRERES = settings.FIRERES;
    BURNSTYLE = settings.BURNSTYLE;
    COLOURS = settings.COLOURS;
    // Both are divisors of random draws in the step.
    BURNSPEED = settings.BURNSPEED < 1 ? 1 : settings.BURNSPEED;
    BURNDELAY = settings.BURNDELAY < 1 ? 1 : settings.BURNDELAY;
    if (BURNSTYLE == 4) BURNSTYLE = rand() % 4;

    numSparks = 0;
    warpPhase = 0;

    width = height = FireGridSide(FIRERES);
    // The warp mesh spans the grid in ten blocks: 12, 25 or 51 cells.
    blockSize = width / 10;
    const float* norms = width == 128 ? norms128 : width == 512 ? norms512 : norms256;
    memcpy(restLength, norms, sizeof restLength);

    spawnTimer = 0.5f;
    resetTimer = float(rand() % 600 + 600.0);

    const size_t W = size_t(width), H = size_t(height), B = size_t(blockSize);
    const size_t heatBytes = (H + 2 * B) * W;
    heatMem = NewPlane(heatBytes);
    // The warp's copies may read past the last cell.
    nextMem = NewPlane(heatBytes + kWarpCopy);
    coolMem = NewPlane(2 * W * H);
    fireImage = NewPlane(W * H * 4);
    deskMem = NewPlane((4 * H + 16) * W);
    coldRuns = NewPlane(W * H / kImageRun);
    if (BURNSTYLE == 0) {
        under = NewPlane(W * H * 4);
    } else {
        underMarks = NewPlane(W * H);
    }
    if (!heatMem || !nextMem || !coolMem || !fireImage || !deskMem || !coldRuns ||
        !(under || underMarks)) {
        // Without its planes the fire stays empty; Burn then does nothing.
        Cleanup();
        width = height = 0;
        return;
    }
    coolMap = coolMem;
    heat = heatMem + 2 * W;
    nextHeat = nextMem + 2 * W;
    desk = deskMem + 2 * W;

    CreateCoolMap();
    // The smoothing used nextHeat as scratch; its top rows start cold.
    memset(nextHeat, 0, W * 2 * B);
    BuildPalette();
    CreateFireTexture();
    LayOutMesh();
}

void FIRECLASS::CreateCoolMap() {
    unsigned char seed[128 * 128] = {};
    for (int i = 0; i < 2000; ++i) {
        int x = rand() % 128;
        int y = rand() % 128;
        seed[y * 128 + x] = 255;
    }
    gluScaleImage(GL_LUMINANCE, 128, 128, GL_UNSIGNED_BYTE, seed, width, height, GL_UNSIGNED_BYTE,
                  coolMap);
    for (int pass = 0; pass < 5; ++pass) {
        Smooth(coolMap, nextHeat, width, height);
        Smooth(nextHeat, coolMap, width, height);
    }
}

void FIRECLASS::BuildPalette() {
    for (int k = 0; k < 256; ++k) {
        const uint16_t r = uint16_t(FireRed[k] * 4.0);
        const uint16_t g = uint16_t(FireGreen[k] * 4.0);
        const uint16_t b = uint16_t(FireBlue[k] * 5.0);
        uint16_t* p = palette[k];
        switch (COLOURS) {
            case 1:
                p[0] = b, p[1] = g, p[2] = r;
                break;
            case 2:
                p[0] = g, p[1] = r, p[2] = b;
                break;
            case 3:
                p[0] = r, p[1] = b, p[2] = g;
                break;
            default:
                p[0] = r, p[1] = g, p[2] = b;
                break;
        }
        p[3] = r;
        // Every component is at most 248, so each fits its byte.
        packedPalette[k] =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    coldHeat = 0;
    while (coldHeat < 256 && packedPalette[coldHeat] == 0)
        ++coldHeat;
}

void FIRECLASS::CreateFireTexture() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glGenTextures(1, &fireTexID);
    glBindTexture(GL_TEXTURE_2D, fireTexID);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, width, 0, GL_RGBA, GL_UNSIGNED_BYTE, fireImage);
}

void FIRECLASS::LayOutMesh() {
    const int B = blockSize;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, a4 = 0.0f;
    for (int r = 0; r < kMeshRows; ++r) {
        for (int c = 0; c < kMeshColumns; ++c) {
            a1 += 0.081f;
            a2 += 0.083f;
            a3 += 0.085f;
            a4 += 0.087f;
            MESHPOINT& p = mesh[c][r];
            const float bc = float(B * c), br = float(B * r);
            p.x = bc;
            p.y = br;
            p.vx = p.vy = 0.0f;
            if (c == 0 || c == kMeshColumns - 1 || r == 0 || r == kMeshRows - 1) continue;
            const float fc = float(c), fr = float(r);
            const double dx = std::sin(double(a3 - fc)) + std::cos(double(fr + a3)) +
                              std::sin(double(a1 - fr)) - std::cos(double(fc + a1));
            const double dy = std::sin(double(a2 - fc)) + std::cos(double(fr + a4)) +
                              std::sin(double(a4 - fr)) - std::cos(double(fc + a2));
            p.x = float(double(bc) + dx);
            p.y = float(double(br) + dy);
        }
    }
}

void FIRECLASS::Cleanup() {
    desk = nextHeat = heat = nullptr;
    for (uint8_t* plane :
         {heatMem, nextMem, coolMem, fireImage, deskMem, coldRuns, under, underMarks})
        DeletePlane(plane);
    heatMem = nextMem = coolMem = coolMap = fireImage = deskMem = coldRuns = under = underMarks =
        nullptr;
    // The name is forgotten once deleted, so that a second clean-up cannot
    // delete a texture that has since been given the same name.
    if (fireTexID) glDeleteTextures(1, &fireTexID);
    fireTexID = 0;
}

void FIRECLASS::ClearDesktopAlpha() {
    if (!desk) return;
    const size_t cells = size_t(width) * size_t(height);
    for (size_t i = 0; i < cells; ++i)
        desk[4 * i + 3] = 0;
    DeskChanged();
}

void FIRECLASS::ResetDesktop() {
    ClearDesktopAlpha();
}

void Smooth(unsigned char* src, unsigned char* dst, int width, int height) {
    if (!src || !dst || width < 1 || height < 1) return;
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = src + size_t(y) * width;
        const unsigned char* up = src + size_t(y == 0 ? height - 1 : y - 1) * width;
        const unsigned char* down = src + size_t(y == height - 1 ? 0 : y + 1) * width;
        unsigned char* out = dst + size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            const int right = x == width - 1 ? 0 : x + 1;
            const int left = x == 0 ? width - 1 : x - 1;
            // The sum wraps in the byte before the shift, as the cooling map expects.
            const unsigned char sum = uint8_t(row[right] + row[left] + down[x] + up[x]);
            out[x] = sum >> 2;
        }
    }
}
