#ifndef KINDORA_ASSETS_PACK_LOADER_H
#define KINDORA_ASSETS_PACK_LOADER_H

#include "texture.h"

// Turns the resource pack at `path` into a texture table: one record per
// pack entry, created with new[] (release with delete[]), each picture entry
// decoded and uploaded with its alpha mode; other entries stay empty records.
// Needs a current OpenGL context.
//
// A pack that cannot be opened or fails its checks returns false silently
// and leaves `*table` and `*count` as they were. Otherwise the table in
// `*table` is released (delete[]) and replaced by the new one, with its
// length in `*count`; a picture that fails to decode (which shows the
// decoder's notice), to seek or to upload then stops the loading with false,
// the records before it loaded and those after it empty.
bool LoadTexturesFromDataFile(const char* path, Texture** table, int* count);

#endif
