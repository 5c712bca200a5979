#ifndef KINDORA_APPS_PNG_WRITER_H
#define KINDORA_APPS_PNG_WRITER_H

#include <cstdint>

// Writes RGBA pixels stored bottom row first (as glReadPixels gives them)
// to a PNG file. False, with the reason on stderr, when it cannot.
bool WritePngBottomUp(const char* path, const uint8_t* rgba, int width, int height);

#endif
