#ifndef KINDORA_PICTURES_PICFILE_H
#define KINDORA_PICTURES_PICFILE_H

#include <cstdint>

#include "picture_decoder.h"
#include "settings.h"
#include "texture.h"

// Texture-size choices: a fixed square, or the picture's own size rounded to
// powers of two (any other value).
constexpr int kTextureSize512 = 0;
constexpr int kTextureSize1024 = 1;

// The power of two nearest to `pixels` on a logarithmic scale (724 gives 512,
// 725 gives 1024), lowered to `maxSide` when larger.
uint32_t TextureSideFor(uint32_t pixels, uint32_t maxSide);

// The texture's sides for a picture of `wide` x `high` pixels. Only the
// picture's own size is limited by `maxSide` (the OpenGL maximum).
void PictureTextureSize(int sizeChoice, uint32_t wide, uint32_t high, uint32_t maxSide,
                        uint32_t* texWide, uint32_t* texHigh);

// Side of the fire-sized copy: the fire grid's side (FireGridSide).
int FireSideFor(int fireRes);

// Scales tightly packed RGBA pixels with GLU's box filter, whatever the
// current pixel-store state (a plain copy at the same size). The bytes are
// gluScaleImage's; our own arithmetic gives them where it covers the sizes
// (BoxFilterScale), GLU the rest, and only then is a current OpenGL context
// needed.
bool ScaleRGBA(const uint8_t* source, uint32_t sourceWide, uint32_t sourceHigh, uint8_t* out,
               uint32_t outWide, uint32_t outHigh);

// Turns texture-sized texels (malloc'd, 4 bytes RGBA each, bottom row first)
// into the background: `*scaledOut` (when not null) gets the fire-sized copy
// scaled from them, a new[] array or null, and the texels are handed to
// `texture` and uploaded opaque. `rgba` tells the picture's own format, kept
// in the record's `type`. False when the upload failed.
bool BuildBackground(uint8_t* texels, bool rgba, uint32_t texWide, uint32_t texHigh, int fireRes,
                     Texture* texture, uint8_t** scaledOut);

// Turns the picture file at `path` into the background texture and the
// fire-sized copy. The texture is the picture resampled (nearest neighbour)
// to the chosen size with its rows reversed, uploaded opaque; afterwards the
// record's `width` and `height` hold the picture's own size and `texID` the
// texture. `*scaledOut` receives a new[] array of side x side x 4 bytes
// (RGBA, bottom row first) that the caller deletes, or null when it could not
// be made. Needs a current OpenGL context.
//
// A file that cannot be decoded returns false and touches neither the record
// nor `*scaledOut`. When the upload fails the result is false, the copy is
// still handed over and the record holds the picture's size.
bool loadPicFile(const char* path, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                 int fireRes);

// loadPicFile that also says why it failed (`reason` may be null).
bool LoadPicFileWithReason(const char* path, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                           int fireRes, PictureReason* reason);

#endif
