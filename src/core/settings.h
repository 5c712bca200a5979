#ifndef KINDORA_CORE_SETTINGS_H
#define KINDORA_CORE_SETTINGS_H

#include <cstdint>

// Everything the user can choose about the saver. Copied by value wherever a
// copy is handed on; a new record is all zero with an empty folder.
struct SETTINGS {
    int32_t FIRERES = 0;     // 0: 128 cells a side, 2: 512, anything else: 256
    int32_t BURNSTYLE = 0;   // 0..3, or 4 for a random style at every set-up
    int32_t COLOURS = 0;     // palette 0..3, anything else acts as 0
    int32_t BURNSPEED = 0;   // divisor of the flame speed draw, at least 1
    int32_t BURNDELAY = 0;   // divisor of the hot-zone delay draw, at least 1
    bool LIMITFPS = false;   // set only after the defaults were written; changes nothing
    int32_t BGRES = 0;       // 0: 512, 1: 1024, 2: the source's own size (power of two)
    int32_t BGTYPE = 0;      // 0: screen capture, 1: desktop picture, 2: random file
    char BGPath[1024] = {};  // picture folder, NUL-terminated, at most 1023 bytes
};

// The values written into a new or outdated preference store.
constexpr int32_t kDefaultFireRes = 1;
constexpr int32_t kDefaultBurnStyle = 4;
constexpr int32_t kDefaultColours = 0;
constexpr int32_t kDefaultBurnSpeed = 20;
constexpr int32_t kDefaultBurnDelay = 20;
constexpr int32_t kDefaultBGRes = 1;
constexpr int32_t kDefaultBGType = 0;
// Linux distributions keep their desktop pictures here.
constexpr const char* kDefaultBGPath = "/usr/share/backgrounds/";

// Side of the square fire grid, and of the background's fire-sized copy:
// FIRERES 0 gives 128 cells, 2 gives 512, anything else 256.
constexpr int FireGridSide(int32_t fireRes) {
    return fireRes == 0 ? 128 : fireRes == 2 ? 512 : 256;
}

// A record for tools, tests and benchmarks: the given fire settings, the
// background detail `bgRes`, a screen capture as the source and no folder.
SETTINGS FireSettingsRecord(int32_t fireRes, int32_t burnStyle, int32_t colours = kDefaultColours,
                            int32_t burnSpeed = kDefaultBurnSpeed,
                            int32_t burnDelay = kDefaultBurnDelay, int32_t bgRes = 0);

// Stores `path` (null reads as empty) in BGPath, cut at 1023 bytes.
void SetBGPath(SETTINGS* settings, const char* path);

#endif
