#ifndef KINDORA_FIRE_FIRECLASS_H
#define KINDORA_FIRE_FIRECLASS_H

#include <cstdint>

#include "settings.h"

constexpr int kMaxHotzones = 15;
constexpr int kMaxSparks = 64;
constexpr int kZoneColumns = 513;  // enough for the widest grid, plus one
constexpr int kMeshColumns = 11;
constexpr int kMeshRows = 13;
constexpr int kImageRun = 16;   // cells of the fire image that are painted or kept together
constexpr int kHeatGroup = 16;  // cells of a row whose heat is noted together
// The warp copies a run of cells this many at a time, so its last copy may
// read and write up to kWarpCopy - 1 cells past the run's end.
constexpr int kWarpCopy = 16;
constexpr int kMaxGridSide = FireGridSide(2);  // the widest grid

// One flame front: a flame per grid column, burning between left and right.
struct HOTZONE {
    float life;     // seconds left
    int32_t shift;  // column shift applied when a column looks up its speed
    float left, right;
    float spread;  // columns per second by which the range widens
    float row[kZoneColumns];
    int32_t fuel[kZoneColumns];
    float speed[kZoneColumns];  // rows per second, positive towards row 0
};

// A rising ember.
struct SPARK {
    float x, y, vx, vy;  // cells, cells per step
    int32_t glow;
};

// A point of the warp mesh and its velocity.
struct MESHPOINT {
    float x, y, vx, vy;
};

// The rows of nextHeat that hold heat in the box about a block's corners:
// bit y - top for row y, rows top to bottom. With `all`, the box was too
// tall to tell and every row counts as hot.
struct HEATROWS {
    uint64_t bits;
    int32_t top, bottom;
    bool all;
};

struct ROWNOTES;

// The fire that burns the picture of one view. Planes are W x W bytes,
// indexed y * W + x with row 0 at the top; the desktop plane is RGBA and
// stored bottom row first.
class FIRECLASS {
   public:
    FIRECLASS();
    ~FIRECLASS();
    FIRECLASS(const FIRECLASS&) = delete;
    FIRECLASS& operator=(const FIRECLASS&) = delete;

    void Setup(SETTINGS settings);
    void Cleanup();
    void ResetDesktop();
    // To be called whenever the desk plane was written from outside the
    // step: the step paints from what it keeps of the plane.
    void DeskChanged();
    void Burn(double elapsed);

    void AddHotzone();
    void Relax();
    void TextureBlock(int bx, int by);
    void TextureWarp();
    void WarpVisibleRows();

    uint8_t* heatMem;
    uint8_t* nextMem;
    uint8_t* coolMap;    // W * H bytes, a window that slides through coolMem
    uint8_t* heat;       // heatMem + 2 rows; margin rows above and below
    uint8_t* nextHeat;   // nextMem + 2 rows
    uint8_t* fireImage;  // W * H RGBA, row 0 at the top
    uint16_t palette[256][4];
    uint8_t* deskMem;
    HOTZONE hotzones[kMaxHotzones];
    int32_t numHotzones;
    float spawnTimer;
    float resetTimer;
    MESHPOINT mesh[kMeshColumns][kMeshRows];
    int32_t warpPhase;
    int32_t blockSize;
    float restLength[9];
    SPARK sparks[kMaxSparks];
    int32_t numSparks;
    uint32_t fireTexID;
    int32_t width;
    int32_t height;
    uint8_t* desk;  // deskMem + 2 rows: W * H RGBA cells, bottom row first
    int32_t FIRERES;
    int32_t BURNSTYLE;
    int32_t COLOURS;
    int32_t BURNSPEED;
    int32_t BURNDELAY;

    // The palette packed as the RGBA bytes of one 32-bit word, for the image build.
    uint32_t packedPalette[256];
    // Heat values below this have an all-zero palette entry (no flame at all).
    int32_t coldHeat;
    // Storage of the cooling map: 2 * W * H bytes, in which coolMap moves
    // down one row per scroll instead of the plane moving up.
    uint8_t* coolMem;
    // One byte per run of the fire image: 1 while the run holds the picture's
    // part alone, for the picture as it stands.
    uint8_t* coldRuns;
    // What shows under the flames of each cell, kept from the desk plane,
    // row 0 at the top as in the image. With style 0, `under`: W * H RGBA,
    // half the picture's colour and the burn mark as alpha. With the others
    // the colour under the flames is black, so `underMarks` keeps the marks
    // alone, one byte a cell; the other plane is null.
    uint8_t* under;
    uint8_t* underMarks;
    // The cells that the last band of an image build painted: columns
    // paintedLeft to paintedRight of rows paintedTop to paintedBottom; none if
    // left > right.
    int32_t paintedLeft, paintedRight, paintedTop, paintedBottom;
    // Where the last propagation left heat, by groups of kHeatGroup columns:
    // bit g of hotGroups[y + 1] is clear only where cells 16g to 16g + 15 of
    // nextHeat row y are all zero, for the rows -1 to H - 2 that it writes.
    // Only valid while `hotGroupsValid`: from the propagation to the end of
    // the image build of its step.
    uint32_t hotGroups[kMaxGridSide];
    // Likewise, bit g of flameGroups[y + 1] is set only where some cell of
    // those has a flame: a heat of coldHeat or more. It means nothing while
    // coldHeat is 0, when every heat has a flame.
    uint32_t flameGroups[kMaxGridSide];
    bool hotGroupsValid;
    // The propagation, the warp and the image build run their AVX2 forms:
    // set where the processor has it. Both forms give the same bytes and
    // notes.
    bool wideForms;

    // The steps of Burn, in the order it runs them.
    void AdvanceSpawnTimer(double elapsed);
    void AdvanceResetTimer(double elapsed);
    void ScrollCoolMap();
    void PropagateHeat();
    void BuildFireImage();
    // BuildFireImage, painting only the runs that may have changed, and each
    // band of painted rows sent to the texture as it is done.
    void BuildChangedImage();
    // PropagateHeat and the copy of nextHeat into heat, in one pass.
    void PropagateAndCopy();
    void UploadFireImage();
    void UploadPaintedImage();
    void RemoveDeadHotzones();
    void AdvanceHotzones(double elapsed);
    void StartSpark();
    void AdvanceSparks();

   private:
    void ClearDesktopAlpha();
    void RebuildUnder();
    void ShowUnder(int deskRow, int x);
    // The last row of nextHeat that the warp may sample: the margin below
    // the plane ends there.
    int LastSampledRow() const { return height + 2 * blockSize - 3; }
    // The grid's width is a power of two: row y starts at cell y << WidthShift().
    int WidthShift() const { return width == 128 ? 7 : width == 256 ? 8 : 9; }
    void RepaintEveryRun();
    void BuildPalette();
    void LayOutMesh();
    void CreateCoolMap();
    void CreateFireTexture();
    void WarpBlockRowAcross(int by, int rows);
    void WarpBlockRows(int bx, int by, int rows, bool roomRight);
    void WarpRowsInLanes(const MESHPOINT& q00, const MESHPOINT& q10, const MESHPOINT& q01,
                         const MESHPOINT& q11, bool inside, const HEATROWS& heatRows, int rows,
                         uint8_t* dst, bool roomRight);
    void PropagateRows(bool copyToHeat);
    void PropagateRow(int y, bool copyToHeat, ROWNOTES* notes);
    uint64_t HeatRows(int left, int right, int top, int bottom) const;
    HEATROWS HeatRowsAround(float x0, float x1, float y0, float y1) const;
    void BuildImageRow(int y, bool keepColdRuns);
    void PaintRuns(int y, uint32_t toPaint, uint32_t cold);
    void AdvanceHotzone(HOTZONE* zone, double elapsed);
    void Scorch(int x, int c0);
    bool SparkAlive(const SPARK& spark) const;
    void StampSpark(const SPARK& spark);
};

// One smoothing pass: each destination cell is the sum of its four wrapped
// neighbours, modulo 256, shifted right by 2 (so always 0..63).
void Smooth(unsigned char* src, unsigned char* dst, int width, int height);

#endif
