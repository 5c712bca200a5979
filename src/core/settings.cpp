#include "settings.h"

#include <cstring>

void SetBGPath(SETTINGS* settings, const char* path) {
    size_t length = path ? strnlen(path, sizeof settings->BGPath - 1) : 0;
    memcpy(settings->BGPath, path ? path : "", length);
    settings->BGPath[length] = '\0';
}

SETTINGS FireSettingsRecord(int32_t fireRes, int32_t burnStyle, int32_t colours, int32_t burnSpeed,
                            int32_t burnDelay, int32_t bgRes) {
    SETTINGS settings;
    settings.FIRERES = fireRes;
    settings.BURNSTYLE = burnStyle;
    settings.COLOURS = colours;
    settings.BURNSPEED = burnSpeed;
    settings.BURNDELAY = burnDelay;
    settings.BGRES = bgRes;
    return settings;
}
