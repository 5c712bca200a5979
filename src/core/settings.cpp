#include "settings.h"

#include <cstring>

void SetBGPath(SETTINGS* settings, const char* path) {
    size_t length = path ? strnlen(path, sizeof settings->BGPath - 1) : 0;
    memcpy(settings->BGPath, path ? path : "", length);
    settings->BGPath[length] = '\0';
}
