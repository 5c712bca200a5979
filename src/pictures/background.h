#ifndef KINDORA_PICTURES_BACKGROUND_H
#define KINDORA_PICTURES_BACKGROUND_H

#include <cstdint>

#include "picture_decoder.h"
#include "random_choice.h"
#include "texture.h"

// A background picture loaded the way the saver view loads it: the texture
// drawn behind the fire and the square copy that the fire burns away.
struct BackgroundPicture {
    Texture texture;              // texID: the texture; width, height: the picture's own size
    uint8_t* fireCopy = nullptr;  // fireSide x fireSide x 4 bytes RGBA, bottom row first
    int fireSide = 0;
    char path[kJoinedPathChars + 1] = "";  // the file loaded (the chosen one for a folder)
    PictureReason reason;                  // on failure: the file or folder, and why

    BackgroundPicture() = default;
    ~BackgroundPicture() { delete[] fireCopy; }
    BackgroundPicture(const BackgroundPicture&) = delete;
    BackgroundPicture& operator=(const BackgroundPicture&) = delete;
};

// Loads the picture file `path` through loadPicFile with the view's texture
// size choice (BGRES, 0 for a preview) and fire resolution (FIRERES). True
// when the texture was built and the fire-sized copy made; otherwise false
// with `out->reason` naming the file and the cause. Needs a current OpenGL
// context and an installed picture decoder.
bool LoadBackgroundFile(const char* path, int sizeChoice, int fireRes, BackgroundPicture* out);

// The same for a random picture of `folder`, through LoadPicture; rand()
// makes the choice, so seed it first.
bool LoadBackgroundFromFolder(const char* folder, int sizeChoice, int fireRes,
                              BackgroundPicture* out);

#endif
